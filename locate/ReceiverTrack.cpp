#include "locate/ReceiverTrack.h"

#include <GeographicLib/Geodesic.hpp>
#include <QtMath>
#include <cmath>

namespace Vantrel::Locate {

namespace {

double distanceM(const Bearing_t& a, const Bearing_t& b, double* azimuthAtB = nullptr)
{
    double distance = 0.0, azimuth1 = 0.0, azimuth2 = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(a.latitude, a.longitude, b.latitude, b.longitude, distance, azimuth1,
                                             azimuth2);
    if (azimuthAtB) {
        *azimuthAtB = azimuth2;
    }
    return distance;
}

} // namespace

double roughDistanceM(const Bearing_t& a, const Bearing_t& b)
{
    constexpr double metresPerDegree = 111195.0;
    const double north = (b.latitude - a.latitude) * metresPerDegree;
    const double east = (b.longitude - a.longitude) * metresPerDegree * std::cos(qDegreesToRadians(a.latitude));
    return std::hypot(east, north);
}

bool trackBreaks(const Bearing_t& before, const Bearing_t& after, const TrackLimits_t& limits)
{
    const qint64 silenceMs = std::llabs(after.timeMs - before.timeMs);
    if (silenceMs > limits.maxSilenceMs) {
        return true;
    }
    return roughDistanceM(before, after) > limits.jitterM + limits.maxSpeedMps * double(silenceMs) / 1000.0;
}

namespace {

// The receiver's last move of at least minMoveM without a break, ending at its last
// bearing in time: its length, the azimuth at its end and its duration. 0 when none.
double lastMove(const QVector<Bearing_t>& bearings, const QVector<int>& order, const TrackLimits_t& limits,
                double* azimuth, double* seconds)
{
    if (order.isEmpty()) {
        return 0.0;
    }
    const Bearing_t& last = bearings.at(order.last());
    for (int i = int(order.size()) - 2; i >= 0; --i) {
        const Bearing_t& earlier = bearings.at(order.at(i));
        if (trackBreaks(earlier, bearings.at(order.at(i + 1)), limits)) {
            break;
        }
        const double distance = distanceM(earlier, last, azimuth);
        if (distance >= limits.minMoveM) {
            *seconds = double(last.timeMs - earlier.timeMs) / 1000.0;
            return distance;
        }
    }
    return 0.0;
}

} // namespace

double receiverHeading(const QVector<Bearing_t>& bearings, const QVector<int>& order, const TrackLimits_t& limits)
{
    double azimuth = 0.0, seconds = 0.0;
    if (lastMove(bearings, order, limits, &azimuth, &seconds) <= 0.0) {
        return qQNaN();
    }
    return std::fmod(azimuth + 360.0, 360.0);
}

double receiverSpeedMps(const QVector<Bearing_t>& bearings, const QVector<int>& order, const TrackLimits_t& limits)
{
    double azimuth = 0.0, seconds = 0.0;
    const double distance = lastMove(bearings, order, limits, &azimuth, &seconds);
    return distance > 0.0 && seconds > 0.0 ? distance / seconds : 0.0;
}

QString rangeAndAzimuth(double fromLatitude, double fromLongitude, double toLatitude, double toLongitude)
{
    double distance = 0.0, azimuth = 0.0, back = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(fromLatitude, fromLongitude, toLatitude, toLongitude, distance, azimuth,
                                             back);
    const int heading = (qRound(azimuth) % 360 + 360) % 360;
    // 999.6 m reads "1.0 km", not "1000 m".
    const QString range = qRound(distance) < 1000 ? QStringLiteral("%1 m").arg(qRound(distance))
                                            : QStringLiteral("%1 km").arg(distance / 1000.0, 0, 'f', 1);
    return QStringLiteral("%1 at %2°").arg(range).arg(heading, 3, 10, QLatin1Char('0'));
}

} // namespace Vantrel::Locate
