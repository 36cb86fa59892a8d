// Favourite platform slots of the receiver.
#include "com/DfrLink.h"

#include <QScopedValueRollback>

#include <algorithm>
#include <limits>

#include "inhouse/Exception.h"

namespace Vantrel::Com {

namespace {

constexpr int platformValuesV1 = 36;
constexpr int platformValuesV2 = 39;
constexpr int formatBlockFirst = 6;
constexpr int periodPosition = 28;
constexpr int v2FrequencyModePosition = 31;
constexpr int encryptionFirstV1 = 30;
constexpr int encryptionFirstV2 = 33;
constexpr int formatBlockSize = 22;
constexpr qint32 minDataLength = 1;
constexpr qint32 maxDataLength = 254;

// Identifier type from the identifier's width: 20, 28 or 32 bits.
QString idTypeFor(const QString& platformId)
{
    if (platformId.size() <= 5) {
        return QStringLiteral("1");
    }
    return platformId.size() <= 7 ? QStringLiteral("2") : QStringLiteral("3");
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

[[noreturn]] void refuseText(const QString& what, const QString& text)
{
    throw Tarsk::Utils::Exception(
        Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set platform info, the %1 \"%2\" holds a character the receiver cannot store "
                       "(\",\", \"*\", \"$\", a control character or one outside Latin-1)")
            .arg(what, text),
        QtCriticalMsg);
}

[[noreturn]] void refuseNumber(const QString& what, qint64 value, qint64 max)
{
    throw Tarsk::Utils::Exception(
        Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set platform info, the %1 %2 is out of range (0 to %3)").arg(what).arg(value).arg(max),
        QtCriticalMsg);
}

} // namespace

int DfrLink::platformValueCount() const
{
    return dfrVersion == DFR_V2 ? platformValuesV2 : platformValuesV1;
}

// Qt's conversions give 0 for text that is not a number or does not fit the
// type, which is how the receiver's empty or garbled fields must read.

DfrLink::PlatformInfo_t DfrLink::getPlatformInfo(quint32 index)
{
    const bool v2 = dfrVersion == DFR_V2;
    QStringList values;
    {
        // The read must reach the receiver even while set-requests are being
        // recorded; the recording goes on afterwards, also when the read fails.
        const QScopedValueRollback<bool> reading(noSendCommandMode, false);
        values = sendGetDfrCmd(CMD_IP, platformValueCount(), {QString::number(index)}, {}).values;
    }

    PlatformInfo_t info;
    info.index = values.at(0).toInt();
    info.occupied = values.at(1).toUShort() != 0;
    info.platformIdType = values.at(2).toUShort();
    info.platformId = values.at(3);
    info.label = values.at(4);
    info.gpsModeEnabled = values.at(5).toUShort() != 0;
    readFormatBlock(values, formatBlockFirst, info.gpsFormat);
    info.repetitionPeriod = values.at(periodPosition).toInt();

    if (v2) {
        info.band = OrvanBand_t(values.at(29).toUShort());
        info.modulation = OrvanModulation_t(values.at(30).toUShort());
        info.frequencyMode = OrvanFrequencyMode_t(values.at(v2FrequencyModePosition).toUShort());
        info.narrowFrequencyHz = values.at(32).toUInt();
    } else {
        info.meanDirectionValues = values.at(29).toUShort();
    }
    readEncryptionBlock(values, v2 ? encryptionFirstV2 : encryptionFirstV1, info.gpsFormat);
    return info;
}

void DfrLink::sendPlatformRequest(const QStringList& values)
{
    // A recorded frame has no reply whose values could be counted.
    if (noSendCommandMode) {
        QStringList padded = values;
        while (padded.size() < platformValueCount()) {
            padded.append(QString());
        }
        sendBlockingRequest(CMD_IP, padded);
        return;
    }
    sendGetDfrCmd(CMD_IP, platformValueCount(), values, {});
}

void DfrLink::createPlatformInfo(quint32 index)
{
    QStringList values(platformValueCount());
    values[0] = QString::number(index);
    values[1] = QStringLiteral("1");
    if (dfrVersion == DFR_V2) {
        values[v2FrequencyModePosition] = QString::number(FREQUENCYMODE_WIDE);
    }
    sendPlatformRequest(values);
}

void DfrLink::deletePlatformInfo(quint32 index)
{
    sendPlatformRequest({QString::number(index), QStringLiteral("0")});
}

bool DfrLink::isPlatformId(const QString& id)
{
    if (id.size() != 5 && id.size() != 7 && id.size() != 8) {
        return false;
    }
    return std::all_of(id.cbegin(), id.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

bool DfrLink::isFrameText(const QString& text)
{
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() > 0xFF || c.unicode() < 0x20 || c.unicode() == 0x7F || c == QLatin1Char(',')
            || c == QLatin1Char('*') || c == QLatin1Char('$');
    });
}

void DfrLink::checkPlatformInfo(const PlatformInfo_t& info)
{
    if (!isPlatformId(info.platformId)) {
        throw Tarsk::Utils::Exception(
            Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set platform info, the identifier \"%1\" is not 5, 7 or 8 hexadecimal digits")
                .arg(info.platformId),
            QtCriticalMsg);
        }
    if (!isFrameText(info.label)) {
        refuseText(QStringLiteral("label"), info.label);
    }
    // The ranges the receiver takes; values it reported itself always pass.
    if (quint32(info.band) >= quint32(ORVANBAND_INVALID)) {
        refuseNumber(QStringLiteral("band"), info.band, ORVANBAND_INVALID - 1);
    }
    if (quint32(info.modulation) > quint32(ORVANMODULATION_INVALID)) {
        refuseNumber(QStringLiteral("modulation"), info.modulation, ORVANMODULATION_INVALID);
    }
    if (quint32(info.frequencyMode) > quint32(FREQUENCYMODE_INVALID)) {
        refuseNumber(QStringLiteral("frequency mode"), info.frequencyMode, FREQUENCYMODE_INVALID);
    }
    if (info.repetitionPeriod < 0) {
        refuseNumber(QStringLiteral("repetition period"), info.repetitionPeriod, std::numeric_limits<qint32>::max());
    }
    if (info.gpsModeEnabled) {
        if (!isFrameText(info.gpsFormat.name)) {
            refuseText(QStringLiteral("GPS format name"), info.gpsFormat.name);
        }
        const qint32 dataLen = info.gpsFormat.dataLen;
        if (dataLen < minDataLength || dataLen > maxDataLength) {
            throw Tarsk::Utils::Exception(
                Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set platform info, data length is not between 1 and 254 (%1)").arg(dataLen),
                QtCriticalMsg);
            }
    }
}

void DfrLink::setPlatformInfo(const PlatformInfo_t& info, bool recreate)
{
    // Everything that can refuse the record is checked before the first request,
    // so that a refused write never leaves the slot emptied by the recreate step.
    checkPlatformInfo(info);

    QStringList values{QString::number(info.index)};
    if (recreate) {
        deletePlatformInfo(quint32(info.index));
        values.append(QStringLiteral("1"));
    } else {
        // Empty leaves the receiver's flag as it is; a script must occupy the slot.
        values.append(noSendCommandMode ? QStringLiteral("1") : QString());
    }
    values << idTypeFor(info.platformId) << info.platformId << info.label;

    values.append(flag(info.gpsModeEnabled));
    if (info.gpsModeEnabled) {
        values += formatBlockValues(info.gpsFormat);
    } else {
        values += QStringList(formatBlockSize, QStringLiteral("0"));
    }

    values.append(QString::number(info.repetitionPeriod));
    if (dfrVersion == DFR_V1) {
        values.append(QString::number(info.meanDirectionValues));
    } else {
        values << QString::number(info.band) << QString::number(info.modulation) << QString::number(info.frequencyMode)
               << QString::number(info.narrowFrequencyHz);
    }

    if (info.gpsModeEnabled) {
        values += encryptionBlockValues(info.gpsFormat);
    } else {
        values << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0")
               << QStringLiteral("0") << QStringLiteral("1");
        }

    sendBlockingRequest(CMD_IP, values);
}

} // namespace Vantrel::Com
