#pragma once

#include <QString>
#include <QtGlobal>
#include <QByteArray>
#include <QMetaType>
#include <exception>

namespace Tarsk::Utils {

// The one failure carrier of the program: thrown by value, caught by reference.
// Catchers decide by its kind; the text is for people and may be reworded.
class Exception : public std::exception
{
public:
    enum Kind_t : qint32 {
        KIND_GENERAL = 0,      // nothing more is known
        KIND_REFUSED,          // the receiver answered, and said no
        KIND_UNRELATED_REPLY,  // the receiver answered something else than what was asked
        KIND_NO_ANSWER,        // the receiver stayed silent
        KIND_LINK_LOST,        // the link failed while a request waited
        KIND_NOT_CONNECTED,    // no link to send on
        KIND_BUSY,             // another request still waits for its answer
        KIND_PORT_IN_USE,      // another program holds the port
        KIND_BAD_INPUT,        // a value or record that cannot be used as it is
        KIND_FILE              // a file that cannot be opened, read or written
    };

    Exception(const QString& message, QtMsgType severity = QtCriticalMsg);
    Exception(Kind_t kind, const QString& message, QtMsgType severity = QtCriticalMsg);

    QString message() const { return msg; }
    QtMsgType severity() const { return level; }
    Kind_t kind() const { return sort; }
    const char* what() const noexcept override { return utf8.constData(); }

private:
    QString msg;
    QtMsgType level;
    Kind_t sort;
    QByteArray utf8;
};

// Throws the failure a reader or a request reports, critical unless said otherwise.
[[noreturn]] void fail(const QString& message, QtMsgType severity = QtCriticalMsg);
[[noreturn]] void fail(Exception::Kind_t kind, const QString& message, QtMsgType severity = QtCriticalMsg);

} // namespace Tarsk::Utils

Q_DECLARE_METATYPE(Tarsk::Utils::Exception::Kind_t)
