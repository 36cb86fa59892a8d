#include "com/DfrLink.h"

#include "inhouse/Exception.h"

namespace Vantrel::Com {

namespace {

// Thousandths of a minute of arc to degrees.
double toDegrees(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value / 60000.0 : 0.0;
}

QString serialPart1(const QString& text)
{
    return text.rightJustified(4, QLatin1Char('0'));
}

} // namespace

DfrLink::DfrVersionsAndStatus_t DfrLink::getDfrVersionsAndStatus()
{
    DfrVersionsAndStatus_t result;

    const QStringList test = sendGetDfrCmd(CMD_TEST, 0, {}, {2, 6, 8}).values;
    if (test.size() == 2) {
        receiverVersion = result.dfrVersion = DFR_V1;
        result.mode = DFR_UNDEFINEDMODE;
    } else if (test.size() == 6) {
        receiverVersion = result.dfrVersion = DFR_V2;
        if (test.at(4) != QLatin1String("BL")) {
            throw Tarsk::Utils::Exception(QStringLiteral("Unknown mode, should be BL"), QtCriticalMsg);
        }
        // The bootloader tells its serial number and its own version, nothing
        // more; firmwareLevel keeps the application's value for when it comes back.
        const QString unknown = QStringLiteral("UNKNOWN");
        result.mode = DFR_BL;
        result.bootloaderVersion = test.at(5);
        result.serialNumberPart1 = test.at(2).isEmpty() ? unknown : serialPart1(test.at(2));
        result.serialNumberPart2 = test.at(3).isEmpty() ? unknown : test.at(3);
        if (!test.at(2).isEmpty()) {
            receiverSerialNumber = result.serialNumberPart1;
        }
        result.applicationVersion = unknown;
        result.fpgaVersion = unknown;
        result.band = ORVANBAND_INVALID;
        return result;
    } else {
        receiverVersion = result.dfrVersion = DFR_V2;
        if (test.at(4) != QLatin1String("APP")) {
            throw Tarsk::Utils::Exception(QStringLiteral("Unknown mode, should be APP"), QtCriticalMsg);
        }
        result.mode = DFR_APP;
    }

    if (dfrVersion == DFR_V2) {
        const QStringList gsn = sendGetDfrCmd(CMD_GSN, 0, {}, {2}).values;
        result.serialNumberPart1 = serialPart1(gsn.at(0));
        result.serialNumberPart2 = gsn.at(1);
    } else {
        const QStringList pieces = sendGetDfrCmd(CMD_GSN, 0, {}, {1}).values.at(0).split(QLatin1Char('-'));
        result.serialNumberPart1 = serialPart1(pieces.at(0));
        result.serialNumberPart2 = pieces.value(1);  // empty when the receiver sent no "-"
    }
    receiverSerialNumber = result.serialNumberPart1;

    const bool v1 = dfrVersion == DFR_V1;
    const QStringList lig = sendGetDfrCmd(CMD_LIG, 0, {}, {v1 ? 15 : 16}).values;
    const quint16 flags = lig.at(0).toUShort();
    result.gpsValid = flags & 0x1;
    result.directionValid = flags & 0x2;
    result.latitude = toDegrees(lig.at(1));
    result.longitude = toDegrees(lig.at(2));
    result.direction = lig.at(3).toUInt();
    result.voltage = lig.at(4).toUInt() / 1000.0;
    result.temperature = lig.at(5).toUInt();
    if (v1) {
        result.band = ORVANBAND_EESS3;
        result.applicationVersion = lig.at(12);
        result.bootloaderVersion = lig.at(13);
        result.fpgaVersion = lig.at(14);
    } else {
        // Kept as read (0 when not a 16-bit number): the enumeration's fixed
        // 32-bit type holds it, and the panel shows no text for one it does not know.
        result.band = OrvanBand_t(lig.at(12).toUShort());
        result.applicationVersion = lig.at(13);
        result.bootloaderVersion = lig.at(14);
        result.fpgaVersion = lig.at(15);
    }

    receiverFirmwareLevel = firmwareLevelOf(result.applicationVersion);
    return result;
}

quint32 DfrLink::firmwareLevelOf(const QString& applicationVersion)
{
    const QStringList pieces = applicationVersion.split(QLatin1Char('.'));
    if (pieces.at(0).toInt() != 2) {
        return 0;
    }
    if (pieces.size() < 2) {
        return 2;
    }
    bool ok = false;
    const int minor = pieces.at(1).toInt(&ok);
    return ok && minor > 1 ? 2 : 1;
}

} // namespace Vantrel::Com
