#include "sim/DeviceState.h"

namespace Vantrel::Sim {

namespace {

QStringList repeat(const QString& value, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i) {
        list.append(value);
    }
    return list;
}

} // namespace

DeviceState::DeviceState(Profile_t profile)
{
    reset(profile);
}

void DeviceState::reset(Profile_t profile)
{
    generation = profile == PROFILE_DFR_V1 ? GENERATION_V1 : GENERATION_V2;
    mode = profile == PROFILE_DFR_V2_BL ? MODE_BL : MODE_APP;
    if (generation == GENERATION_V1) {
        applicationVersion = QStringLiteral("1.9");
        bootloaderVersion = QStringLiteral("1.2");
        fpgaVersion = QStringLiteral("1.0");
    } else {
        applicationVersion = QStringLiteral("2.2");
        bootloaderVersion = QStringLiteral("1.4");
        fpgaVersion = QStringLiteral("3.1");
    }
    status = Status_t();
    clockOffsetMs = 0;

    // audio, backlight, contrast, GPS, coordinates, distance, offset, clock (5),
    // then band and "all to favourites" on the second generation
    setupSoftware = QStringList{"1", "1", "20", "1", "0", "0", "0", "", "", "", "", "", "0", "0"}
                        .mid(0, softwareSetupCount());
    // direction mode, antenna position, cable length, antenna type, compass, declination, proximity
    setupHardware = QStringList{"0", "0", "5", "0", "2", "1.5", "0"}.mid(0, hardwareSetupCount());

    platforms.clear();
    for (int slot = 0; slot < platformSlotCount(); ++slot) {
        platforms.append(emptyPlatform(slot));
    }
    gpsFormats.clear();
    for (int slot = 0; slot < gpsFormatSlotCount(); ++slot) {
        gpsFormats.append(emptyGpsFormat(slot));
    }

    flashAreas = QVector<QByteArray>(generation == GENERATION_V1 ? platformSlotCount() : 0);
    flashImage.clear();

    bootloaderUnlocked = false;
    applicationErased = false;
    applicationValid = true;
    firmwareLines.clear();
}

int DeviceState::firmwareLevel() const
{
    const QStringList pieces = applicationVersion.split(QLatin1Char('.'));
    bool ok = false;
    if (pieces.value(0).toInt(&ok) != 2 || !ok) {
        return 0;
    }
    if (pieces.size() < 2) {
        return 2;
    }
    const int minor = pieces.at(1).toInt(&ok);
    return ok && minor > 1 ? 2 : 1;
}

QDateTime DeviceState::clock() const
{
    return QDateTime::currentDateTimeUtc().addMSecs(clockOffsetMs);
}

void DeviceState::setClock(const QDateTime& utc)
{
    clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(utc);
}

QStringList DeviceState::emptyPlatform(int slot) const
{
    // What a factory-fresh slot reads: no identifier, no GPS format, wide band.
    QStringList values = repeat(QStringLiteral("0"), platformValueCount());
    values[ipIndex] = QString::number(slot);
    values[ipId] = QString();
    values[ipLabel] = QString();
    values[ipFormat] = QString();
    if (generation == GENERATION_V2) {
        values[ipV2FrequencyMode] = QStringLiteral("1");
    }
    values[ipEncryption() + 5] = QStringLiteral("1");
    return values;
}

QStringList DeviceState::emptyGpsFormat(int slot) const
{
    QStringList values = repeat(QStringLiteral("0"), gpsFormatValueCount);
    values[fgIndex] = QString::number(slot);
    values[fgName] = QStringLiteral("NONE");
    values[gpsFormatValueCount - 1] = QStringLiteral("1");
    return values;
}

bool DeviceState::isPlatformOccupied(int slot) const
{
    return slot >= 0 && slot < platforms.size() && platforms.at(slot).value(ipOccupied) == QLatin1String("1");
}

void DeviceState::setPlatform(int slot, const Platform_t& p)
{
    QStringList values = emptyPlatform(slot);
    values[ipOccupied] = QStringLiteral("1");
    values[ipIdType] = p.id.size() <= 5 ? QStringLiteral("1") : p.id.size() <= 7 ? QStringLiteral("2") : QStringLiteral("3");
    values[ipId] = p.id;
    values[ipLabel] = p.label;
    if (p.gpsFormat.size() == 22) {
        values[ipGpsMode] = QStringLiteral("1");
        for (int i = 0; i < 22; ++i) {
            values[ipFormat + i] = p.gpsFormat.at(i);
        }
    }
    values[ipPeriod] = QString::number(p.repetitionPeriod);
    if (generation == GENERATION_V1) {
        values[ipV1MeanDirection] = QString::number(p.meanDirectionValues);
    } else {
        values[ipV2Band] = QString::number(p.band);
        values[ipV2Modulation] = QString::number(p.modulation);
        values[ipV2FrequencyMode] = p.wideFrequency ? QStringLiteral("1") : QStringLiteral("0");
        values[ipV2NarrowFrequency] = QString::number(p.narrowFrequencyHz);
    }
    for (int i = 0; i < 6; ++i) {
        values[ipEncryption() + i] = p.encryption.value(i);
    }
    platforms[slot] = values;
}

void DeviceState::clearPlatform(int slot)
{
    platforms[slot] = emptyPlatform(slot);
}

void DeviceState::setGpsFormat(int slot, const QStringList& nameAndValues)
{
    QStringList values = emptyGpsFormat(slot);
    for (int i = 0; i < nameAndValues.size() && i + fgName < gpsFormatValueCount; ++i) {
        values[fgName + i] = nameAndValues.at(i);
    }
    gpsFormats[slot] = values;
}

bool DeviceState::isGpsFormatOccupied(int slot) const
{
    const QString name = gpsFormats.value(slot).value(fgName);
    return !name.isEmpty() && name != QLatin1String("NONE");
}

QStringList DeviceState::softwareSetup() const
{
    QStringList values = setupSoftware;
    const QDateTime now = clock();
    values[softwareClockFirst] = QString::number(now.date().year() - 2000);
    values[softwareClockFirst + 1] = QString::number(now.date().month());
    values[softwareClockFirst + 2] = QString::number(now.date().day());
    values[softwareClockFirst + 3] = QString::number(now.time().hour());
    values[softwareClockFirst + 4] = QString::number(now.time().minute());
    if (generation == GENERATION_V2) {
        values[softwareBand] = QString::number(status.band);
    }
    return values;
}

} // namespace Vantrel::Sim
