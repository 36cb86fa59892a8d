#pragma once

#include <QString>
#include <QtGlobal>
#include <QByteArray>
#include <exception>

namespace Tarsk::Utils {

// The one failure carrier of the program: thrown by value, caught by reference.
class Exception : public std::exception
{
public:
    Exception(const QString& message, QtMsgType severity = QtCriticalMsg);

    QString message() const { return msg; }
    QtMsgType severity() const { return level; }
    const char* what() const noexcept override { return utf8.constData(); }

private:
    QString msg;
    QtMsgType level;
    QByteArray utf8;
};

// Throws the failure a reader or a request reports, critical unless said otherwise.
[[noreturn]] void fail(const QString& message, QtMsgType severity = QtCriticalMsg);

} // namespace Tarsk::Utils
