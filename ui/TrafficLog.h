#pragma once

#include <QFile>
#include <QString>

class QDateTime;

namespace Vantrel::Ui {

// The traffic log file of the received messages: one line per event, each
// "<UTC date> <UTC time>" and a text, flushed at once. A write that fails
// closes the file with a warning, so a full disk costs one message, not one per beacon.
class TrafficLog
{
public:
    void setFileName(const QString& fileName) { file.setFileName(fileName); }
    QString fileName() const { return file.fileName(); }
    bool isOpen() const { return file.isOpen(); }
    QString errorString() const { return file.errorString(); }

    // Opens the file for appending and writes the connection line, after three
    // empty lines when the file existed. False when it cannot be opened.
    bool open(const QString& generation, const QString& serialNumber);
    void writeMessage(const QDateTime& received, bool live, const QString& nprText);
    void closeByUser();
    void closeOnDisconnection(const QString& generation, const QString& reason);
    void closeOnShutdown();

private:
    void writeLine(const QDateTime& utc, const QString& text);
    void closeWith(const QString& text);

    QFile file;
};

} // namespace Vantrel::Ui
