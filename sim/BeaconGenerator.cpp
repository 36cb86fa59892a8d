#include "sim/BeaconGenerator.h"

#include "sim/DeviceState.h"

#include <QtMath>

namespace Vantrel::Sim {

namespace {

// Every heard beacon carries the receiver's own position and heading at the time.
void addReceiverStatus(const DeviceState& state, BeaconBuilder::BeaconMessage_t& m)
{
    m.receiverLatitude = state.status.latitude;
    m.receiverLongitude = state.status.longitude;
    m.receiverDirection = state.status.direction;
    m.receiverPositionValid = state.status.gpsValid;
    m.receiverDirectionValid = state.status.directionValid;
}

// Centre of each band, EESS3 first.
constexpr quint32 bandCentreHz[] = {401650000, 402910000, 402980000, 399940000, 401040000,
                                    401110000, 401180000, 401340000, 401410000, 401480000};

// Offset in degrees (latitude, longitude) of each favourite's beacon from the
// receiver; slot 0 lands near 48.85 N 2.35 E with the default status.
constexpr double spotOffsets[8][2] = {{0.05, 0.05},  {-0.03, 0.06}, {0.04, -0.07},  {-0.02, 0.11},
                                      {0.08, 0.01},  {-0.06, -0.04}, {0.01, -0.09}, {-0.09, 0.03}};

quint32 centreOf(int band)
{
    return bandCentreHz[band >= 0 && band < 10 ? band : 0];
}

int bearing(double fromLat, double fromLon, double toLat, double toLon)
{
    const double north = toLat - fromLat;
    const double east = (toLon - fromLon) * qCos(qDegreesToRadians(fromLat));
    const int degrees = qRound(qRadiansToDegrees(qAtan2(east, north)));
    return (degrees + 360) % 360;
}

QByteArray filler(int seed, int sequence)
{
    QByteArray data(8, '\0');
    for (int i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((seed * 37 + sequence * 11 + i * 29) & 0xFF);
    }
    return data;
}

} // namespace

BeaconGenerator::BeaconGenerator(const DeviceState& state)
    : state(state)
{
}

void BeaconGenerator::beaconPosition(const DeviceState& state, int slot, double* latitude, double* longitude)
{
    double dLat = 0.12;
    double dLon = -0.02;
    if (slot >= 0) {
        const int ring = slot / 8;  // eight spots a ring, each ring a step further out
        dLat = spotOffsets[slot % 8][0] + ring * 0.005;
        dLon = spotOffsets[slot % 8][1] + ring * 0.005;
    }
    *latitude = state.status.latitude + dLat;
    *longitude = state.status.longitude + dLon;
}

QString BeaconGenerator::wireIdentifier(const DeviceState& state, const QString& id, int modulation, bool npr)
{
    // Level-2 firmware reports a 28-bit identifier of an NPR with one spare digit.
    if (npr && state.wideFlashIdentifiers() && id.size() == 7 && modulation <= 2) {
        return id + QLatin1Char('0');
    }
    return id;
}

QByteArray BeaconGenerator::wirePayload(const DeviceState& state, const QString& id, int modulation,
                                        const QByteArray& data)
{
    const bool level2 = state.wideFlashIdentifiers();
    const QByteArray dataHex = data.toHex().toUpper();
    if (modulation == 0 && (id.size() == 7 || (!level2 && id.size() == 8))) {
        return QByteArray::fromHex(id.mid(5, 2).toLatin1()) + data;
    }
    if (level2 && id.size() == 8 && modulation == 0) {
        return QByteArray::fromHex(id.mid(5, 3).toLatin1() + dataHex + '0');
    }
    if (level2 && id.size() == 8 && modulation == 2) {
        return QByteArray::fromHex(id.mid(7, 1).toLatin1() + dataHex + '0');
    }
    return data;
}

BeaconBuilder::BeaconMessage_t BeaconGenerator::next(const QDateTime& time)
{
    QList<int> occupied;
    for (int slot = 0; slot < state.platformSlotCount(); ++slot) {
        if (state.isPlatformOccupied(slot)) {
            occupied.append(slot);
        }
    }
    ++sequence;
    if (occupied.isEmpty() || sequence % 4 == 0) {
        return stranger(time, sequence);
    }
    int pick = occupied.first();
    for (int slot : occupied) {
        if (slot > cursor) {
            pick = slot;
            break;
        }
    }
    cursor = pick;
    return favourite(pick, time, sequence);
}

BeaconBuilder::BeaconMessage_t BeaconGenerator::favourite(int slot, const QDateTime& time, int seq) const
{
    const QStringList& values = state.platforms.at(slot);
    const bool v2 = state.generation == DeviceState::GENERATION_V2;
    BeaconBuilder::BeaconMessage_t m;
    m.slotIndex = slot;
    m.time = time;
    m.platformId = values.at(DeviceState::ipId);
    m.modulation = v2 ? values.at(DeviceState::ipV2Modulation).toInt() : 0;
    m.band = v2 ? values.at(DeviceState::ipV2Band).toInt() : 0;
    m.period = values.at(DeviceState::ipPeriod).toUInt();
    m.periodValid = m.period > 0;

    double lat = 0.0;
    double lon = 0.0;
    beaconPosition(state, slot, &lat, &lon);
    lat += 0.0002 * (seq % 10);  // a slow drift, so that positions differ
    if (values.at(DeviceState::ipGpsMode) == QLatin1String("1")) {
        m.payload = BeaconBuilder::gpsPayload(values.mid(DeviceState::ipFormat, 22), lat, lon, 8);
    } else {
        m.payload = wirePayload(state, m.platformId, m.modulation, filler(slot, seq));
    }

    m.meanDirection = bearing(state.status.latitude, state.status.longitude, lat, lon);
    m.direction = (m.meanDirection + (seq % 5) - 2 + 360) % 360;
    m.frequencyHz = centreOf(m.band) - 15000 + 4000 * (slot % 8) + (seq % 5) * 10;
    m.level = -95 - 4 * (slot % 6) - seq % 3;
    addReceiverStatus(state, m);
    return m;
}

BeaconBuilder::BeaconMessage_t BeaconGenerator::stranger(const QDateTime& time, int seq) const
{
    const QString id = QString::fromLatin1(strangerId);
    BeaconBuilder::BeaconMessage_t m;
    m.time = time;
    m.platformId = wireIdentifier(state, id, 0, true);
    m.payload = wirePayload(state, id, 0, filler(99, seq));
    m.band = state.generation == DeviceState::GENERATION_V2 ? state.status.band : 0;
    m.periodValid = false;
    double lat = 0.0;
    double lon = 0.0;
    beaconPosition(state, -1, &lat, &lon);
    m.direction = bearing(state.status.latitude, state.status.longitude, lat, lon);
    m.frequencyHz = centreOf(m.band) + 7000 + (seq % 7) * 10;
    m.level = -121 + seq % 4;
    addReceiverStatus(state, m);
    return m;
}

} // namespace Vantrel::Sim
