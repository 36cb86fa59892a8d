#include "com/UartLink.h"

#include <QtDebug>

#include "utils/Settings.h"
#include "utils/TextUtils.h"

namespace Vantrel::Com {

namespace {

const QByteArray packetStart = QByteArrayLiteral("$RFP,");
constexpr int countBytes = 4;
constexpr int dataBytes = 128;
constexpr int trailerBytes = 5;  // "*", two checksum digits, CR LF

// End of the header (just past its third comma), or -1 while incomplete.
int headerEnd(const QByteArray& buffer)
{
    int comma = -1;
    for (int i = 0; i < 3; ++i) {
        comma = buffer.indexOf(',', comma + 1);
        if (comma < 0) {
            return -1;
        }
    }
    return comma + 1;
}

// Bytes in front of the next possible packet start, which can never be part of a
// packet; a tail that may be a header cut by the chunk boundary is kept.
int bytesBeforePacketStart(const QByteArray& buffer)
{
    const int found = buffer.indexOf(packetStart);
    if (found >= 0) {
        return found;
    }
    for (int keep = std::min(int(packetStart.size()) - 1, int(buffer.size())); keep > 0; --keep) {
        if (packetStart.startsWith(buffer.right(keep))) {
            return int(buffer.size()) - keep;
        }
    }
    return int(buffer.size());
}

} // namespace

void UartLink::reportSkippedRfpBytes()
{
    qWarning().noquote() << QStringLiteral("RFP binary data: %1 bytes without a packet header dropped")
                                .arg(rfpReader.skipped);
    rfpReader.skipped = 0;
}

int UartLink::computeBinaryChecksum(const QByteArray& data)
{
    quint8 checksum = 0;
    for (const char byte : data) {
        checksum ^= static_cast<quint8>(byte);
    }
    return checksum;
}

void UartLink::readRpfBinaryData(const QByteArray& data)
{
    // After a bad packet the rest of the stream cannot be trusted: it is let run
    // out, and the link is ready again once the receiver has been quiet a while,
    // so that the read can be asked again.
    if (rfpStreamFailed) {
        timeoutTimer.start(rfpDrainQuietMs);
        return;
    }
    RfpBinaryReaderState_t& reader = rfpReader;
    reader.buffer.append(data);

    bool alive = false;
    while (!reader.buffer.isEmpty()) {
        if (!reader.headerRead) {
            // Noise on the line is skipped up to the next packet, so that a read asked
            // again after it finds its answer.
            const int junk = bytesBeforePacketStart(reader.buffer);
            reader.buffer.remove(0, junk);
            reader.skipped += junk;
            if (reader.skipped > maxLineBytes) {
                reportSkippedRfpBytes();
            }
            const int end = reader.buffer.startsWith(packetStart) ? headerEnd(reader.buffer) : -1;
            if (end < 0) {
                // A real header is a few bytes long: one without an end is noise too.
                if (reader.buffer.size() > maxLineBytes) {
                    reader.skipped += reader.buffer.size();
                    reader.buffer.clear();
                    reportSkippedRfpBytes();
                }
                break;
            }
            if (reader.skipped > 0) {
                reportSkippedRfpBytes();
            }
            alive = true;
            reader.header = QString::fromUtf8(reader.buffer.left(end));
            reader.buffer.remove(0, end);
            reader.headerRead = true;
            if (reader.remaining == 0) {
                reader.blockRead = true;
            }
        }
        if (!reader.blockRead) {
            const int length = !reader.countKnown ? countBytes : reader.remaining != 1 ? dataBytes : 0;
            if (reader.buffer.size() < length) {
                break;
            }
            reader.block = reader.buffer.left(length);
            reader.buffer.remove(0, length);
            reader.blockRead = true;
        }
        if (reader.buffer.size() < trailerBytes) {
            break;
        }
        const int received = static_cast<int>(reader.buffer.mid(1, 2).toUInt(nullptr, 16) & 0xFF);
        reader.buffer.remove(0, trailerBytes);

        const int computed = computeBinaryChecksum(reader.header.mid(1).toLatin1() + reader.block + '*');
        if (received != computed) {
            rfpStreamFailed = true;
            reader.buffer.clear();
            timeoutTimer.start(rfpDrainQuietMs);
            emit sigErrorOccured(QStringLiteral("Bad checksum in RFP binary data: %1 vs %2.")
                                     .arg(Utils::TextUtils::hexByte(received), Utils::TextUtils::hexByte(computed)),
                                 Tarsk::Utils::Exception::KIND_LINK_LOST);
            return;
        }
        if (Utils::Settings::instance()->printAtCmdDebugInfo) {
            qDebug().noquote() << QStringLiteral("RFP binary data received: %1")
                                      .arg(reader.header + QString::fromLatin1(reader.block.toHex()));
        }
        reader.headerRead = false;
        reader.blockRead = false;

        if (!reader.countKnown) {
            // Through the hex text on purpose: a count of 2^31 or more reads as 0.
            reader.remaining = reader.block.toHex().toInt(nullptr, 16);
            reader.countKnown = true;
        } else if (reader.remaining == 1) {
            const int period = Utils::Settings::instance()->keepAlivePeriodMs;
            if (period > 0) {
                keepAliveTimer.start(period);
            }
            timeoutTimer.stop();
            emit sigBinaryRfpDataReceived(reader.rfpData, false);
            changeStatus(UART_READY);
            // Bytes after the end packet are not part of the stream; slotReadyRead reads them as lines.
            return;
        } else {
            reader.rfpData.append(reader.block);
            --reader.remaining;
        }
    }

    // The timeout measures the silence between packets. Bytes that can never start
    // one are no sign of life: counted as such, a noisy line would hold the request open.
    alive = alive || reader.headerRead;

    if (linkStatus == UART_WAITING_RFP_BINARY_REPLY && (alive || !timeoutTimer.isActive())) {
        timeoutTimer.start(Utils::Settings::instance()->dfrCommandTimeoutMs);
    }
}

} // namespace Vantrel::Com
