// Flash memory: reading both generations' record areas and erasing them.
#include "com/DfrLink.h"

#include <QScopeGuard>
#include <QtDebug>

#include "inhouse/Exception.h"

namespace Vantrel::Com {

QByteArray DfrLink::readFlashMemoryDfrV1(quint32 slot)
{
    qInfo().noquote() << QStringLiteral("Read data from flash memory for platform at index %1...").arg(slot);
    return sendBlockingRequest(CMD_RFP, {QString::number(slot)}).data;
}

void DfrLink::eraseFlashMemoryDfrV1(quint32 slot)
{
    qInfo().noquote() << QStringLiteral("Delete data from flash memory for platform at index %1...").arg(slot);
    sendBlockingRequest(CMD_DFP, {QString::number(slot)});
}

void DfrLink::eraseFlashMemoryDfrV2()
{
    qInfo().noquote() << QStringLiteral("Delete data from flash memory...");
    sendBlockingRequest(CMD_DFP);
}

QByteArray DfrLink::readFlashChunk(qint64 start, qint64 length, qint64 keep)
{
    for (int attempt = 1;; ++attempt) {
        chunkRetryAllowed = attempt < flashChunkAttempts;
        chunkFailed = false;
        const auto reset = qScopeGuard([this] { chunkRetryAllowed = false; });
        QString failure;
        try {
            const QByteArray data = sendBlockingRequest(CMD_RFP, {QString::number(start), QString::number(length)}).data;
            if (data.size() >= keep) {
                return data.left(keep);
            }
            // Fewer bytes than asked for would shift every record after them.
            failure = QStringLiteral("%1 of %2 bytes received").arg(data.size()).arg(keep);
            if (!chunkRetryAllowed) {
                throw Tarsk::Utils::Exception(Tarsk::Utils::Exception::KIND_LINK_LOST,
                                              QStringLiteral("Link Error: flash data at %1: %2").arg(start).arg(failure),
                                              QtCriticalMsg);
                }
        } catch (const Tarsk::Utils::Exception& error) {
            if (!chunkFailed) {
                throw;
            }
            failure = error.message();
        }
        qWarning().noquote() << QStringLiteral("Flash data at %1 (%2 bytes): %3; asking again (attempt %4 of %5)")
                                    .arg(start)
                                    .arg(length)
                                    .arg(failure)
                                    .arg(attempt + 1)
                                    .arg(flashChunkAttempts);
    }
}

QByteArray DfrLink::readFlashMemoryDfrV2()
{
    flashReadCancelRequested = false;
    flashReadCancelled = false;
    flashReadPartial.clear();

    const QStringList bounds = sendGetDfrCmd(CMD_IFP, 0, {}, {3}).values;
    bool firstOk = false;
    bool lastOk = false;
    const qint64 first = bounds.at(0).toInt(&firstOk);
    const qint64 last = bounds.at(1).toInt(&lastOk);
    // Read as 0, a garbled bound would make a wrong read look like an empty flash.
    if (!firstOk || !lastOk) {
        throw Tarsk::Utils::Exception(
            QStringLiteral("Unable to read reply of command IFP: bad flash bounds (%1).").arg(bounds.join(QLatin1Char(','))),
            QtCriticalMsg);
        }
    const qint64 size = last - first;
    qInfo().noquote() << QStringLiteral("Read %1 bytes of data from flash memory...").arg(size);

    QByteArray result;
    result.reserve(int(std::max<qint64>(0, size)));
    qint64 remaining = size;
    qint64 address = first;
    emit sigFlashReadProgress(0, size);
    while (address < last) {
        const qint64 chunkStart = address;
        address += flashChunkBytes;
        const bool lastChunk = address >= last;
        const qint64 length = lastChunk ? ((remaining - 1) & ~qint64(127)) + 128 : flashChunkBytes;
        try {
            result.append(readFlashChunk(chunkStart, length, lastChunk ? remaining : flashChunkBytes));
        } catch (const Tarsk::Utils::Exception&) {
            flashReadPartial = result;
            throw;
        }
        remaining -= flashChunkBytes;
        emit sigFlashReadProgress(result.size(), size);
        if (flashReadCancelRequested && !lastChunk) {
            flashReadCancelled = true;
            qInfo().noquote() << QStringLiteral("Flash memory read cancelled after %1 of %2 bytes.")
                                        .arg(result.size())
                                        .arg(size);
            break;
        }
    }
    return result;
}

} // namespace Vantrel::Com
