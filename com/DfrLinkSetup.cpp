// Software setup, clock and hardware setup of the receiver.
#include "com/DfrLink.h"

#include <QDateTime>

namespace Vantrel::Com {

namespace {

constexpr int softwareValuesV1 = 12;
constexpr int softwareValuesV2 = 14;
constexpr int hardwareValuesV1 = 6;
constexpr int hardwareValuesV2 = 7;
constexpr int clockFirstPosition = 7;
constexpr int clockPositions = 5;

QString number(qint64 value)
{
    return QString::number(value);
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

// Qt's conversions give 0 for text that is not a number or does not fit the
// type, which is how the receiver's empty or garbled fields must read.

DfrLink::SetupSoftware_t DfrLink::getSetupSoftware()
{
    const bool v2 = dfrVersion == DFR_V2;
    const int count = v2 ? softwareValuesV2 : softwareValuesV1;
    const QStringList values = sendGetDfrCmd(CMD_SETUPSW, count, {}, {}).values;

    SetupSoftware_t setup;
    setup.audio = values.at(0).toUShort() != 0;
    setup.backlight = values.at(1).toUShort() != 0;
    setup.contrast = values.at(2).toUShort();
    setup.gpsAcquisition = values.at(3).toUShort() != 0;
    setup.coordType = CoordType_t(values.at(4).toUShort());
    setup.distType = DistType_t(values.at(5).toUShort());
    setup.directionOffset = values.at(6).toUShort();

    const QDate date(values.at(7).toUShort() + 2000, values.at(8).toUShort(), values.at(9).toUShort());
    const QTime time(values.at(10).toUShort(), values.at(11).toUShort(), 0);
    setup.dateTime = Tarsk::Utils::DateTime::fromQDateTime(QDateTime(date, time, Qt::UTC));

    // Band and option exist only in the second generation's longer reply; with
    // the generation still unknown only the common twelve values were asked for.
    if (v2) {
        setup.band = OrvanBand_t(values.at(12).toUShort());
        setup.allToFavorites = values.at(13).toUShort() != 0;
    } else {
        setup.band = OrvanBand_t(0);
        setup.allToFavorites = false;
    }
    return setup;
}

void DfrLink::setSetupSoftware(SetupSoftware_t setup)
{
    QStringList params = {flag(setup.audio),          flag(setup.backlight),    number(setup.contrast),
                          flag(setup.gpsAcquisition), number(setup.coordType),  number(setup.distType),
                          number(setup.directionOffset)};
    for (int i = 0; i < clockPositions; ++i) {
        params.append(QString());
    }
    if (dfrVersion == DFR_V2) {
        params << number(setup.band) << flag(setup.allToFavorites);
    }
    sendBlockingRequest(CMD_SETUPSW, params);
}

void DfrLink::setSetupTime(const Tarsk::Utils::DateTime& dateTime)
{
    const QDateTime utc = dateTime.toQDateTime().toUTC();
    QStringList params;
    for (int i = 0; i < clockFirstPosition; ++i) {
        params.append(QString());
    }
    params << number(utc.date().year() - 2000) << number(utc.date().month()) << number(utc.date().day())
           << number(utc.time().hour()) << number(utc.time().minute());
    if (dfrVersion == DFR_V2) {
        params << QString() << QString();
    }
    sendBlockingRequest(CMD_SETUPSW, params);
}

DfrLink::SetupHardware_t DfrLink::getSetupHardware()
{
    const bool v2 = dfrVersion == DFR_V2;
    const QStringList values = sendGetDfrCmd(CMD_SETUPHW, v2 ? hardwareValuesV2 : hardwareValuesV1, {}, {}).values;

    SetupHardware_t setup;
    setup.directionMode = DirectionMode_t(values.at(0).toUShort());
    setup.antennaPosition = AntennaPosition_t(values.at(1).toUShort());
    setup.cableLength = values.at(2).toInt();
    setup.antennaType = AntennaType_t(values.at(3).toUShort());
    setup.compassMode = CompassMode_t(values.at(4).toUShort());
    setup.declination = values.at(5);
    setup.proximityMode = v2 && values.at(6).toUShort() != 0;
    return setup;
}

void DfrLink::setSetupHardware(const SetupHardware_t& setup)
{
    QStringList params = {number(setup.directionMode), number(setup.antennaPosition), number(setup.cableLength),
                          number(setup.antennaType),   number(setup.compassMode),     setup.declination};
    if (dfrVersion == DFR_V2) {
        params << flag(setup.proximityMode);
    }
    sendBlockingRequest(CMD_SETUPHW, params);
}

} // namespace Vantrel::Com
