#include "ui/TrafficLog.h"

#include <QDateTime>
#include <QTextStream>
#include <QtDebug>

namespace Vantrel::Ui {

bool TrafficLog::open(const QString& generation, const QString& serialNumber)
{
    if (file.isOpen()) {
        return true;
    }
    const bool existed = file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return false;
    }
    if (existed) {
        QTextStream out(&file);
        out << Qt::endl << Qt::endl << Qt::endl;
    }
    writeLine(QDateTime::currentDateTimeUtc(), QStringLiteral(" : USB connection to %1 SN %2").arg(generation, serialNumber));
    return file.isOpen();
}

void TrafficLog::writeMessage(const QDateTime& received, bool live, const QString& nprText)
{
    writeLine(received, QStringLiteral(" %1 : %2").arg(live ? QStringLiteral("Received") : QStringLiteral("Flash"), nprText));
}

void TrafficLog::closeByUser()
{
    closeWith(QStringLiteral(" : Log file closed"));
}

void TrafficLog::closeOnDisconnection(const QString& generation, const QString& reason)
{
    closeWith(QStringLiteral(" : USB disconnection from %1 (%2)").arg(generation, reason));
}

void TrafficLog::closeOnShutdown()
{
    closeWith(QStringLiteral(" : Application shutdown"));
}

void TrafficLog::closeWith(const QString& text)
{
    if (!file.isOpen()) {
        return;
    }
    writeLine(QDateTime::currentDateTimeUtc(), text);
    file.close();
}

void TrafficLog::writeLine(const QDateTime& utc, const QString& text)
{
    if (!file.isOpen()) {
        return;
    }
    QTextStream out(&file);
    out << utc.date().toString(Qt::ISODate) << ' ' << utc.toString(QStringLiteral("HH:mm:ss")) << text << Qt::endl;
    // The stream flushes the file at endl and reports a write that did not land.
    if (out.status() != QTextStream::Ok) {
        qWarning().noquote() << QStringLiteral("Unable to write log file %1 (%2): logging stopped")
                                    .arg(file.fileName(), file.errorString());
        file.close();
    }
}

} // namespace Vantrel::Ui
