#include "utils/FlashMemory.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QStringList>
#include <QtDebug>

#include "inhouse/Exception.h"
#include "utils/IdUtils.h"

namespace Vantrel::Utils {

using Com::DfrLink;

namespace {

// Records are little-endian bit streams: bit n of byte k is stream bit 8k + n.
quint32 bits(const char* record, int first, int width)
{
    quint64 value = 0;
    const int firstByte = first / 8;
    const int lastByte = (first + width - 1) / 8;
    for (int k = lastByte; k >= firstByte; --k) {
        value = (value << 8) | static_cast<quint8>(record[k]);
    }
    value >>= first % 8;
    return static_cast<quint32>(value & ((quint64(1) << width) - 1));
}

qint32 signedBits(const char* record, int first, int width)
{
    const quint32 raw = bits(record, first, width);
    const quint32 sign = quint32(1) << (width - 1);
    return (raw & sign) ? qint32(raw & (sign - 1)) - qint32(sign) : qint32(raw);
}

// UTC date and time from the record's fields; an impossible date stays the empty DateTime.
Tarsk::Utils::DateTime recordTime(const char* record, int b)
{
    const QDate date(2000 + int(bits(record, b + 26, 7)), int(bits(record, b + 22, 4)), int(bits(record, b + 17, 5)));
    const QTime time(int(bits(record, b, 5)), int(bits(record, b + 5, 6)), int(bits(record, b + 11, 6)));
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    const qint64 ms = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch() + 3506716800000LL;
    return Tarsk::Utils::DateTime(ms / 86400000, double(ms % 86400000) / 1000.0);
}

using Tarsk::Utils::fail;
constexpr auto badInput = Tarsk::Utils::Exception::KIND_BAD_INPUT;

constexpr int progressIntervalMs = 50;
// Records named in the one CRC warning of an area; the rest are only counted.
constexpr int mismatchesNamed = 3;

} // namespace

FlashMemory* FlashMemory::instance()
{
    static FlashMemory* const memory = new FlashMemory;
    return memory;
}

quint8 FlashMemory::crc8(const QByteArray& data, int start, int end)
{
    quint8 crc = 0;
    for (int i = start; i < end; ++i) {
        crc ^= static_cast<quint8>(data.at(i));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x80) ? quint8((crc << 1) ^ 0x57) : quint8(crc << 1);
        }
    }
    return crc;
}

bool FlashMemory::checkCrc(const QByteArray& data, int start, int end, quint8 expected, bool warn,
                           const QString& context)
{
    const bool ok = crc8(data, start, end) == expected;
    if (!ok && warn) {
        if (context.isEmpty()) {
            qWarning().noquote() << QStringLiteral("Flash memory CRC mismatch");
        } else {
            qWarning().noquote() << QStringLiteral("%1: flash memory CRC mismatch").arg(context);
        }
    }
    return ok;
}

void FlashMemory::decodeFlashMemoryDfrV1(quint32 slot, const QString& platformId, const QByteArray& data,
                                         bool crcCheck, int* validCount, int* invalidCount, bool cutShort)
{
    Options_t options;
    options.layout = LAYOUT_V1;
    options.slot = slot;
    options.platformId = platformId;
    options.crcCheck = crcCheck;
    options.cutShort = cutShort;
    decode(data, options, validCount, invalidCount);
}

void FlashMemory::decodeFlashMemoryDfrV2(const QByteArray& data, bool wideIds, bool crcCheck, int* validCount,
                                         int* invalidCount, bool cutShort)
{
    Options_t options;
    options.layout = wideIds ? LAYOUT_V2_32 : LAYOUT_V2_28;
    options.crcCheck = crcCheck;
    options.cutShort = cutShort;
    decode(data, options, validCount, invalidCount);
}

void FlashMemory::decodeFlashMemoryDfrV2(const QByteArray& data, bool wideIds,
                                         const QList<QPair<QString, DfrLink::OrvanModulation_t>>& favorites,
                                         bool crcCheck, int* validCount, int* invalidCount, bool cutShort)
{
    Options_t options;
    options.layout = wideIds ? LAYOUT_V2_32 : LAYOUT_V2_28;
    options.crcCheck = crcCheck;
    options.cutShort = cutShort;
    options.favorites = &favorites;
    decode(data, options, validCount, invalidCount);
}

int FlashMemory::countValidRecordsDfrV2(const QByteArray& data, bool wideIds)
{
    return countValidRecords(data, false, wideIds);
}

int FlashMemory::countValidRecords(const QByteArray& data, bool dfrV1, bool wideIds, int* coveredBytes)
{
    Options_t options;
    options.layout = dfrV1 ? LAYOUT_V1 : wideIds ? LAYOUT_V2_32 : LAYOUT_V2_28;
    options.coveredBytes = coveredBytes;
    if (coveredBytes) {
        *coveredBytes = 0;
    }
    options.cutShort = true;
    options.quiet = true;
    int valid = 0;
    try {
        decode(data, options, &valid, nullptr);
    } catch (const Tarsk::Utils::Exception&) {
        // A layout that does not fit the data simply counts what it found.
    }
    return valid;
}

void FlashMemory::decode(const QByteArray& data, const Options_t& options, int* validCount, int* invalidCount)
{
    if (data.isEmpty()) {
        return;
    }

    const bool v1 = options.layout == LAYOUT_V1;
    const int e = options.layout == LAYOUT_V2_32 ? 1 : 0;
    const int headerLength = v1 ? 22 : 26 + e;
    const int size = int(data.size());
    const char* const area = data.constData();

    int pos = 0;
    int record = 0;
    // Set while the search steps byte by byte after a mismatch: a would-be record
    // there that runs past the end is just more noise, not a broken area, so the
    // records still ahead are not thrown away.
    bool searching = false;
    int valid = 0;
    int invalid = 0;
    // A damaged area mismatches at every byte the search steps over: one warning
    // for the whole area, not one per step that would push the rest out of the log.
    int mismatches = 0;
    QStringList mismatchesShown;
    // Counts are written even when an error leaves, so the caller's totals stay true.
    const auto writeCounts = [&] {
        if (validCount) {
            *validCount = valid;
        }
        if (invalidCount) {
            *invalidCount = invalid;
        }
        if (mismatches == 1) {
            qWarning().noquote() << QStringLiteral("%1: flash memory CRC mismatch").arg(mismatchesShown.first());
        } else if (mismatches > 1) {
            qWarning().noquote() << QStringLiteral("Flash memory CRC mismatch in %1 places, dropped; first: %2%3")
                                        .arg(mismatches)
                                        .arg(mismatchesShown.join(QStringLiteral("; ")))
                                        .arg(mismatches > mismatchesNamed ? QStringLiteral("; ...") : QString());
            }
    };
    QElapsedTimer sinceProgress;
    sinceProgress.start();

    try {
        do {
            ++record;
            DfrLink::OrvanRxMessage_t message{};
            message.flashPosition = record;
            message.platformSlotIndex = v1 ? qint32(options.slot) : -1;

            if (pos + headerLength >= size) {
                if (searching) {
                    invalid += size - pos;
                    break;
                }
                if (options.cutShort) {
                    break;
                }
                fail(badInput, v1 ? QStringLiteral("Unable to decode flash memory (bad header).")
                        : QStringLiteral("Message #%1: unable to decode flash memory (bad header).").arg(record));
            }
            const char* const h = area + pos;
            int payloadLength = 0;
            if (v1) {
                message.periodValid = bits(h, 0, 1);
                message.dfrPositionValid = bits(h, 1, 1);
                message.dateTime = recordTime(h, 8);
                message.frequencyHz = bits(h, 41, 29);
                message.direction = bits(h, 70, 9);
                message.meanDirection = bits(h, 79, 9);
                message.level = signedBits(h, 88, 10);
                message.period = bits(h, 98, 16);
                message.dfrLongitude = signedBits(h, 114, 25) / 60000.0;
                message.dfrLatitude = signedBits(h, 139, 24) / 60000.0;
                message.dfrDirection = bits(h, 163, 9);
                payloadLength = int(bits(h, 173, 3) + 1) * 4;
            } else {
                const int b = 40 + 8 * e;
                message.band = DfrLink::OrvanBand_t(bits(h, 0, 4));
                message.periodValid = bits(h, 4, 1);
                message.dfrPositionValid = bits(h, 5, 1);
                message.dfrDirectionValid = bits(h, 6, 1);
                quint32 id = bits(h, 8, 4) | (bits(h, 16, 24) << 4);
                if (e) {
                    id |= bits(h, 40, 4) << 28;
                }
                message.platformId = QStringLiteral("%1").arg(id, e ? 8 : 7, 16, QLatin1Char('0')).toUpper();
                message.dateTime = recordTime(h, b);
                message.frequencyHz = bits(h, b + 33, 29);
                message.direction = bits(h, b + 62, 9);
                message.level = signedBits(h, b + 71, 10);
                message.period = bits(h, b + 81, 16);
                message.dfrLongitude = signedBits(h, b + 97, 25) / 60000.0;
                message.dfrLatitude = signedBits(h, b + 122, 24) / 60000.0;
                message.dfrDirection = bits(h, b + 146, 9);
                message.modulation = DfrLink::OrvanModulation_t(bits(h, b + 155, 3));
                payloadLength = int(bits(h, b + 158, 9) + 7) / 8;
            }

            const int payloadStart = pos + headerLength;
            const int end = payloadStart + payloadLength;
            if (end >= size) {
                if (searching) {
                    ++invalid;
                    ++pos;
                    continue;
                }
                if (options.cutShort) {
                    break;
                }
                if (!v1) {
                    fail(badInput, QStringLiteral("Message #%1: unable to decode flash memory (bad payload).").arg(record));
                }
                fail(badInput, end > size ? QStringLiteral("Unable to decode flash memory (bad payload).")
                                : QStringLiteral("Unable to decode flash memory (bad CRC)."));
            }
            message.rawPayload = data.mid(payloadStart, payloadLength);

            QString context;
            if (v1) {
                message.platformId = IdUtils::adjustId(options.platformId, DfrLink::PLATFORMIDTYPE_28BITS,
                                                       message.modulation, false);
                message.payload = IdUtils::adjustPayload(message.rawPayload, DfrLink::PLATFORMIDTYPE_28BITS,
                                                         message.modulation, false);
                context = QStringLiteral("DFR V1 Platform #%1 (ID: %2)").arg(options.slot).arg(options.platformId);
            } else {
                const DfrLink::PlatformIdType_t type =
                    options.favorites
                        ? IdUtils::determinePlatformIdTypeFromFavorites(message.platformId, message.modulation,
                                                                        *options.favorites)
                        : IdUtils::determinePlatformIdTypeFromFavorites(message.platformId, message.modulation);
                message.payload = IdUtils::adjustPayload(message.rawPayload, type, message.modulation, e);
                message.platformId = IdUtils::adjustId(message.platformId, type, message.modulation, e);
                context = QStringLiteral("Message #%1 (ID: %2)").arg(record).arg(message.platformId);
            }

            const bool ok = checkCrc(data, pos, end, quint8(area[end]), false, context);
            if (!ok && options.crcCheck && !options.quiet && ++mismatches <= mismatchesNamed) {
                mismatchesShown.append(context);
            }
            message.crcOk = ok;
            searching = !ok;
            if (ok) {
                ++valid;
                if (options.coveredBytes) {
                    *options.coveredBytes += end + 1 - pos;
                }
                pos = end + 1;
            } else {
                ++invalid;
                ++pos;
            }
            if (!options.quiet && (ok || !options.crcCheck)) {
                emit sigOrvanDecoded(message, DfrLink::RXORIGIN_FLASH);
            }
            if (!options.quiet && sinceProgress.elapsed() >= progressIntervalMs) {
                emit sigDecodeProgress(pos, size);
                sinceProgress.restart();
            }
        } while (pos < size);
    } catch (...) {
        writeCounts();
        throw;
    }

    writeCounts();
    if (options.quiet) {
        return;
    }
    qInfo().noquote() << QStringLiteral("Flash memory DFR %1 decoded (%2 valid messages, %3 invalid bytes).")
                             .arg(v1 ? QStringLiteral("V1") : QStringLiteral("V2"))
                             .arg(valid)
                             .arg(invalid);
}

} // namespace Vantrel::Utils
