#include "sim/SearchScenario.h"

#include "sim/BeaconGenerator.h"
#include "sim/DeviceState.h"

#include <GeographicLib/Geodesic.hpp>

#include <QFile>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace Vantrel::Sim {

namespace {

const GeographicLib::Geodesic& earth()
{
    return GeographicLib::Geodesic::WGS84();
}

SearchScenario::Position_t travel(double latitude, double longitude, double azimuth, double metres,
                                  double* azimuthThere = nullptr)
{
    SearchScenario::Position_t p;
    double azi2 = 0.0;
    earth().Direct(latitude, longitude, azimuth, metres, p.latitude, p.longitude, azi2);
    if (azimuthThere) {
        *azimuthThere = azi2;
    }
    return p;
}

double wrap360(double degrees)
{
    const double d = std::fmod(degrees, 360.0);
    return d < 0.0 ? d + 360.0 : d;
}

// Sign-magnitude 20/21 bits in 1e-4 degree, a layout the format reference knows.
QStringList sm20Block()
{
    return {"SM20", "0", "1", "1", "20", "6", "1", "0", "1", "0", "21", "1", "22", "21", "6", "1", "0", "1", "0",
            "64", "0", "0"};
}

} // namespace

SearchScenario::SearchScenario(const Config_t& config, DeviceState& state)
    : cfg(config)
    , state(state)
    , random(config.seed)
{
    const int slotCount = state.platformSlotCount();
    platformSlot = cfg.slot >= 0 && cfg.slot < slotCount ? cfg.slot : -1;
    for (int slot = 0; platformSlot < 0 && slot < slotCount; ++slot) {
        if (state.isPlatformOccupied(slot)) {
            platformSlot = slot;
        }
    }
    if (platformSlot < 0) {
        platformSlot = 0;
    }
    if (!state.isPlatformOccupied(platformSlot)) {
        DeviceState::Platform_t target;
        target.id = QStringLiteral("3E9A5");
        target.label = QStringLiteral("Search target");
        target.gpsFormat = sm20Block();
        state.setPlatform(platformSlot, target);
    }
}

const SearchScenario::Leg_t* SearchScenario::legAt(double seconds) const
{
    for (auto leg = legs.crbegin(); leg != legs.crend(); ++leg) {
        if (leg->startSeconds <= seconds) {
            return &*leg;
        }
    }
    return nullptr;  // before the start the line runs on backwards
}

bool SearchScenario::steer(double seconds)
{
    if (cfg.track != TRACK_LINE || cfg.steerFile.isEmpty()) {
        return false;
    }
    if (legs.isEmpty()) {
        legs.append({0.0, {cfg.trackLatitude, cfg.trackLongitude}, cfg.heading});
    }
    if (seconds < legs.last().startSeconds + cfg.legSeconds) {
        return false;
    }
    QFile file(cfg.steerFile);
    bool ok = false;
    const double heading = file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toDouble(&ok) : 0.0;
    if (!ok || !std::isfinite(heading)) {
        return false;  // nothing suggested yet: drive on
    }
    legs.append({seconds, receiverAt(seconds), wrap360(heading)});
    return true;
}

SearchScenario::Position_t SearchScenario::receiverAt(double seconds) const
{
    if (const Leg_t* leg = legAt(seconds)) {
        return travel(leg->start.latitude, leg->start.longitude, leg->heading,
                      cfg.speed * (seconds - leg->startSeconds));
    }
    if (cfg.track == TRACK_LINE) {
        return travel(cfg.trackLatitude, cfg.trackLongitude, cfg.heading, cfg.speed * seconds);
    }
    const double turned = qRadiansToDegrees(cfg.speed * seconds / std::max(cfg.radius, 1.0));
    return travel(cfg.trackLatitude, cfg.trackLongitude, wrap360(turned), cfg.radius);
}

int SearchScenario::receiverHeading(double seconds) const
{
    double azimuth = cfg.heading;
    if (const Leg_t* leg = legAt(seconds)) {
        travel(leg->start.latitude, leg->start.longitude, leg->heading, cfg.speed * (seconds - leg->startSeconds),
               &azimuth);
    } else if (cfg.track == TRACK_LINE) {
        travel(cfg.trackLatitude, cfg.trackLongitude, cfg.heading, cfg.speed * seconds, &azimuth);
    } else {
        const double turned = qRadiansToDegrees(cfg.speed * seconds / std::max(cfg.radius, 1.0));
        travel(cfg.trackLatitude, cfg.trackLongitude, wrap360(turned), cfg.radius, &azimuth);
        azimuth += 90.0;  // clockwise: the centre on the right
    }
    return qRound(wrap360(azimuth)) % 360;
}

SearchScenario::Position_t SearchScenario::platformAt(double seconds) const
{
    const double metres = std::hypot(cfg.driftEast, cfg.driftNorth) * seconds;
    if (metres == 0.0) {
        return {cfg.latitude, cfg.longitude};
    }
    const double azimuth = qRadiansToDegrees(std::atan2(cfg.driftEast, cfg.driftNorth));
    return travel(cfg.latitude, cfg.longitude, azimuth, metres);
}

void SearchScenario::moveReceiver(DeviceState& device, double seconds) const
{
    const Position_t here = receiverAt(seconds);
    device.status.latitude = here.latitude;
    device.status.longitude = here.longitude;
    device.status.direction = receiverHeading(seconds);
}

BeaconBuilder::BeaconMessage_t SearchScenario::beacon(double seconds, const QDateTime& time)
{
    BeaconBuilder::BeaconMessage_t message = BeaconGenerator(state).favourite(platformSlot, time, ++sequence);
    dress(message, seconds);
    return message;
}

void SearchScenario::dress(BeaconBuilder::BeaconMessage_t& m, double seconds)
{
    const Position_t receiver = receiverAt(seconds);
    const Position_t platform = platformAt(seconds);
    double metres = 0.0;
    double azimuth = 0.0;
    double azimuthThere = 0.0;
    earth().Inverse(receiver.latitude, receiver.longitude, platform.latitude, platform.longitude, metres, azimuth,
                    azimuthThere);

    // Both draws every time, so that a bearing depends on its place in the run alone.
    const double noise = std::normal_distribution<double>(0.0, 1.0)(random) * cfg.noiseDeg;
    const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const double bearing = draw < cfg.reflections ? draw / cfg.reflections * 360.0 : azimuth + cfg.offsetDeg + noise;
    m.direction = qRound(wrap360(bearing)) % 360;
    m.meanDirection = m.direction;
    m.receiverLatitude = receiver.latitude;
    m.receiverLongitude = receiver.longitude;
    m.receiverDirection = receiverHeading(seconds);
    m.receiverPositionValid = true;
    // Fainter further away: -95 dBm at 1 km, 6 dB less for every doubling.
    m.level = qBound(-130, qRound(-95.0 - 20.0 * std::log10(std::max(metres, 50.0) / 1000.0)), -60);

    const QStringList& values = state.platforms.at(platformSlot);
    if (values.at(DeviceState::ipGpsMode) == QLatin1String("1")) {
        m.payload = BeaconBuilder::gpsPayload(values.mid(DeviceState::ipFormat, 22), platform.latitude,
                                              platform.longitude, 8);
        }
}

QList<BeaconBuilder::BeaconMessage_t> SearchScenario::pastBeacons(const QDateTime& start)
{
    QList<BeaconBuilder::BeaconMessage_t> past;
    const int periodMs = cfg.beaconPeriodMs > 0 ? cfg.beaconPeriodMs : 3000;
    for (int k = cfg.flashBeacons; k > 0; --k) {
        const qint64 backMs = qint64(k) * periodMs;
        past.append(beacon(-backMs / 1000.0, start.addMSecs(-backMs)));
    }
    return past;
}

} // namespace Vantrel::Sim
