// Beacon messages: live NPR/NPRF frames into records, and records back into lines.
#include "com/DfrLink.h"

#include <QDateTime>
#include <cmath>
#include <limits>

#include "com/UartLink.h"
#include "inhouse/Exception.h"
#include "utils/IdUtils.h"
#include "utils/Settings.h"

namespace Vantrel::Com {

namespace {

// Value positions of one frame kind in one generation; -1 when the frame lacks the value.
struct Layout
{
    int count;
    int slotIndex;
    int firstDate;  // year, month, day, hour, minute, second follow in order
    int meanDirection;
    int band;
    int modulation;
    int level;
    int period;
    int longitude;  // identifier, frequency, status and direction precede the date by fixed steps
};

constexpr Layout v1Npr{17, 0, 1, -1, -1, -1, 11, -1, 12};
constexpr Layout v1Nprf{19, 0, 1, 11, -1, -1, 12, 13, 14};
constexpr Layout v2Npr{18, -1, 0, -1, 14, 15, 10, -1, 11};
constexpr Layout v2Nprf{20, 0, 1, -1, 11, 12, 13, 14, 15};

quint32 toUInt16(const QString& text)
{
    return text.toUShort();  // 0 when not a number or above 65535
}

// Degrees to thousandths of a minute, cut toward zero and kept inside 32 bits.
qint32 toMinuteThousandths(double degrees)
{
    const double value = std::trunc(degrees * 60000.0);
    if (std::isnan(value)) {
        return 0;
    }
    return qint32(qBound(double(std::numeric_limits<qint32>::min()), value,
                         double(std::numeric_limits<qint32>::max())));
}

} // namespace

void DfrLink::slotRxReceived(DfrMessageType_t dfrMessageType, const QStringList& values)
{
    // A frame still queued from a released link belongs to another receiver.
    if (sender() && !fromCurrentLink()) {
        return;
    }

    const bool nprf = dfrMessageType == DFRMSG_NPRF;
    // Before TEST has told the generation, the second generation's layout is read
    // with the counts that let the frame through, so the values stay in place.
    const Layout& layout = dfrVersion == DFR_V1 ? (nprf ? v1Nprf : v1Npr) : (nprf ? v2Nprf : v2Npr);
    if (values.size() != layout.count) {
        throw Tarsk::Utils::Exception(QStringLiteral("Wrong number of parameters in NPR/NPRF message."),
                                      QtCriticalMsg);
        }

    OrvanRxMessage_t message{};
    message.platformSlotIndex = layout.slotIndex >= 0 ? values.at(layout.slotIndex).toInt() : -1;

    const int d = layout.firstDate;
    const QDate date(int(toUInt16(values.at(d))) + 2000, int(toUInt16(values.at(d + 1))),
                     int(toUInt16(values.at(d + 2))));
    const QTime time(int(toUInt16(values.at(d + 3))), int(toUInt16(values.at(d + 4))),
                     int(toUInt16(values.at(d + 5))));
    // An impossible date keeps the null date-time rather than a made-up instant,
    // so the message is still shown and its time is visibly unknown. The time is
    // checked apart: QDateTime would quietly take an invalid one as midnight.
    if (date.isValid() && time.isValid()) {
        message.dateTime = Tarsk::Utils::DateTime::fromQDateTime(QDateTime(date, time, Qt::UTC));
    }

    message.platformId = values.at(d + 6);
    message.frequencyHz = values.at(d + 7).toUInt();
    bool statusOk = false;
    const quint16 status = values.at(d + 8).toUShort(&statusOk);
    if (statusOk) {
        message.dfrDirectionValid = (status & 4) != 0;
        message.dfrPositionValid = (status & 2) != 0;
        message.periodValid = (status & 1) != 0;
    }
    message.crcOk = true;
    message.direction = toUInt16(values.at(d + 9));
    if (layout.meanDirection >= 0) {
        message.meanDirection = toUInt16(values.at(layout.meanDirection));
    }
    if (layout.band >= 0) {
        message.band = OrvanBand_t(toUInt16(values.at(layout.band)));
        message.modulation = OrvanModulation_t(toUInt16(values.at(layout.modulation)));
    }
    message.level = values.at(layout.level).toInt();
    if (layout.period >= 0) {
        message.period = values.at(layout.period).toUInt();
    }
    message.dfrLongitude = values.at(layout.longitude).toDouble() / 60000.0;
    message.dfrLatitude = values.at(layout.longitude + 1).toDouble() / 60000.0;
    message.dfrDirection = values.at(layout.longitude + 2).toUInt();
    message.rawPayload = QByteArray::fromHex(values.last().toLatin1());
    message.flashPosition = -1;

    const bool isDfrV2 = dfrVersion == DFR_V2 && firmwareLevel == 2;
    // Every frame's identifier must have a known width, NPR included.
    PlatformIdType_t idType = Utils::IdUtils::determinePlatformIdTypeFromLength(message.platformId);
    if (!nprf) {
        idType = PLATFORMIDTYPE_UNDEFINED;
        message.platformId = Utils::IdUtils::adjustId(message.platformId, idType, message.modulation, isDfrV2);
    }
    message.payload = Utils::IdUtils::adjustPayload(message.rawPayload, idType, message.modulation, isDfrV2);

    emit sigOrvanMessageReceived(message, RXORIGIN_LIVE);
}

QString DfrLink::orvanRxMessageToNprFormat(const OrvanRxMessage_t& message) const
{
    const int stored = Utils::Settings::instance()->nprMessagesFormat;
    const int format = stored != 0 ? stored : int(dfrVersion);
    const bool isDfrV2 = format == 2 && firmwareLevel == 2;
    const QString arg = QStringLiteral("%1,");

    const qint64 index = message.platformSlotIndex;
    const bool nprf = index != -1 && index != qint64(nbIpSlots());
    QString text;
    PlatformIdType_t idType = PLATFORMIDTYPE_UNDEFINED;
    if (nprf) {
        text = QStringLiteral("NPRF,%1,").arg(index);
        idType = Utils::IdUtils::determinePlatformIdTypeFromFavorites(message.platformId, message.modulation);
        if (idType == PLATFORMIDTYPE_UNDEFINED) {
            idType = Utils::IdUtils::determinePlatformIdTypeFromLength(message.platformId);
        }
    } else {
        text = QStringLiteral("NPR,");
        if (index != -1) {
            text += arg.arg(index);
        }
    }

    // Put back the spare digits the receiver sends, so the line reads like its own.
    const bool is28OrUndefined = idType == PLATFORMIDTYPE_28BITS || idType == PLATFORMIDTYPE_UNDEFINED;
    QString id = message.platformId;
    if (isDfrV2) {
        switch (message.modulation) {
        case ORVANMODULATION_A2:
            if (idType == PLATFORMIDTYPE_20BITS) {
                id += QStringLiteral("000");
            } else if (is28OrUndefined) {
                id += QLatin1Char('0');
            }
            break;
        case ORVANMODULATION_A3:
            id += QLatin1Char('0');
            break;
        case ORVANMODULATION_A4:
            if (is28OrUndefined) {
                id += QLatin1Char('0');
            }
            break;
        default:
            break;
        }
    } else if (idType == PLATFORMIDTYPE_20BITS && message.modulation == ORVANMODULATION_A2) {
        id += QLatin1Char('0');
    }

    const QDateTime time = message.dateTime.toQDateTime();
    const QDate date = time.date();
    // A record whose time is unknown (null, as the decoders leave an unreadable
    // date) or no instant keeps its six fields, empty, as the table shows it.
    const bool known = !message.dateTime.isNull() && time.isValid();
    for (int value : {date.year() - 2000, date.month(), date.day(), time.time().hour(), time.time().minute(),
                      time.time().second()}) {
        text += known ? arg.arg(value) : arg.arg(QString());
    }

    const int status = (message.dfrDirectionValid ? 4 : 0) + (message.dfrPositionValid ? 2 : 0)
                       + (message.periodValid ? 1 : 0);
    text += arg.arg(id) + arg.arg(message.frequencyHz) + arg.arg(status) + arg.arg(message.direction);
    if (nprf && format == 1) {
        text += arg.arg(message.meanDirection);
    }
    if (nprf && format == 2) {
        text += arg.arg(int(message.band)) + arg.arg(int(message.modulation));
    }
    text += arg.arg(message.level);
    if (nprf) {
        if (message.period != 0) {
            text += QString::number(message.period);
        }
        text += QLatin1Char(',');
    }
    text += arg.arg(toMinuteThousandths(message.dfrLongitude)) + arg.arg(toMinuteThousandths(message.dfrLatitude))
            + arg.arg(message.dfrDirection);
    if (!nprf && format == 2) {
        text += arg.arg(int(message.band)) + arg.arg(int(message.modulation));
    }

    // The identifier bits the receiver keeps in front of the payload go back too.
    QByteArray payload = message.payload;
    const QString hexPayload = QString::fromLatin1(payload.toHex().toUpper());
    const auto idByte = [&platformId = message.platformId]() { return char(platformId.mid(5, 2).toUInt(nullptr, 16)); };
    if (isDfrV2) {
        if (message.modulation == ORVANMODULATION_A2 && is28OrUndefined) {
            payload.prepend(idByte());
        } else if (message.modulation == ORVANMODULATION_A2 && idType == PLATFORMIDTYPE_32BITS) {
            payload = QByteArray::fromHex((message.platformId.mid(5, 3) + hexPayload).toLatin1());
        } else if (message.modulation == ORVANMODULATION_A4 && idType == PLATFORMIDTYPE_32BITS) {
            payload = QByteArray::fromHex((message.platformId.mid(7, 1) + hexPayload).toLatin1());
        }
    } else if (idType != PLATFORMIDTYPE_20BITS && message.modulation == ORVANMODULATION_A2) {
        payload.prepend(idByte());
    }
    text += arg.arg(payload.size() * 8) + QString::fromLatin1(payload.toHex().toUpper()) + QLatin1Char('*');

    // First-generation receivers leave "*" and the last payload byte out of their sum.
    const bool legacySum = Utils::Settings::instance()->keepChecksumErrorOnNprDfr500 && format == 1;
    const int checksum = UartLink::computeChecksum(legacySum ? text.left(text.size() - 3) : text);
    text += QStringLiteral("%1").arg(checksum & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    return QLatin1Char('$') + text;
}

} // namespace Vantrel::Com
