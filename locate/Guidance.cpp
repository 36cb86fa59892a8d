#include "locate/Guidance.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "locate/LocalFrame.h"

namespace Vantrel::Locate {

namespace {

constexpr double degree = M_PI / 180.0;
constexpr double headingStepDeg = 10.0;
// Slower than this the receiver stands.
constexpr double movingMps = 0.5;
// More bearings on one leg than this add nothing to the choice but time.
constexpr int maxLegBearings = 60;
// Information grows without bound as a bearing is taken ever closer to the beacon, and
// fixes from that near turn overconfident: bearings count as if taken no nearer than
// this, or than the ellipse's own size, within which where the beacon is is unknown.
constexpr double nearestM = 600.0;
// A leg is judged as if the receiver then drove on straight for this many legs: one
// leg alone undervalues getting closer, which pays on the legs after it.
constexpr int plannedLegs = 3;
// Messages closer than this are copies of one message, not two.
constexpr qint64 duplicateMs = 1000;
constexpr double periodTolerance = 0.15;

double wrapped360(double degrees)
{
    const double value = std::fmod(degrees, 360.0);
    return value < 0.0 ? value + 360.0 : value;
}

int shownHeading(double degrees)
{
    return (qRound(degrees) % 360 + 360) % 360;
}

struct Point_t
{
    double x;
    double y;
};

// Sum of the information of bearings on a symmetric 2×2 matrix, east and north.
struct Information_t
{
    double ee = 0.0;
    double en = 0.0;
    double nn = 0.0;

    // A bearing taken at r of a source at p, with sigma in radians.
    void addBearing(Point_t r, Point_t p, double sigma, double nearest)
    {
        const double dx = p.x - r.x;
        const double dy = p.y - r.y;
        const double scale = std::max(dx * dx + dy * dy, nearest * nearest) * sigma;
        // Gradient of the azimuth from r to p, per metre of p, in sigmas.
        const double gx = dy / scale;
        const double gy = -dx / scale;
        ee += gx * gx;
        en += gx * gy;
        nn += gy * gy;
    }
    double det() const { return ee * nn - en * en; }
};

QString legDistance(double legM)
{
    const int rounded = qRound(legM / 10.0) * 10;
    if (rounded < 1000) {
        return QStringLiteral("%1 m").arg(rounded);
    }
    return QStringLiteral("%1 km").arg(legM / 1000.0, 0, 'f', 1);
}

QString squareKm(double km2)
{
    if (km2 >= 10.0) {
        return QString::number(qRound(km2));
    }
    if (km2 < 0.001) {
        return QStringLiteral("< 0.001");
    }
    return QString::number(km2, 'g', 2);
}

// The first bearing the fix could use, in the order they were taken.
const Bearing_t* firstBearing(const QVector<Bearing_t>& bearings, const FixOptions_t& options)
{
    for (const Bearing_t& bearing : bearings) {
        if ((options.fromMs && bearing.timeMs < options.fromMs) || (options.toMs && bearing.timeMs > options.toMs)) {
            continue;
        }
        if (std::isfinite(bearing.latitude) && std::isfinite(bearing.longitude) && std::isfinite(bearing.azimuth)
            && std::fabs(bearing.latitude) <= 90.0) {
            return &bearing;
        }
    }
    return nullptr;
}

void endOfLeg(const GuidanceRequest_t& request, LegSuggestion_t* leg)
{
    GeographicLib::Geodesic::WGS84().Direct(request.latitude, request.longitude, leg->headingDeg, leg->legM,
                                            leg->endLatitude, leg->endLongitude);
}

// No crossing yet: across the first bearing, on the side nearer the present heading,
// so that the receiver does not turn back on its track.
LegSuggestion_t acrossFirst(const QVector<Bearing_t>& bearings, const FixOptions_t& options,
                            const GuidanceRequest_t& request, double legM)
{
    LegSuggestion_t leg;
    leg.legM = legM;
    const Bearing_t* first = firstBearing(bearings, options);
    if (!first) {
        leg.headingDeg = wrapped360(request.headingDeg);
        endOfLeg(request, &leg);
        leg.text = QStringLiteral("Drive %1° for %2 to take a first bearing")
                       .arg(shownHeading(leg.headingDeg), 3, 10, QLatin1Char('0'))
                       .arg(legDistance(legM));
        return leg;
    }
    const double azimuth = first->azimuth + options.offsetDeg;
    const double right = wrapped360(azimuth + 90.0);
    const double left = wrapped360(azimuth - 90.0);
    const bool rightIsNearer =
        std::fabs(std::remainder(right - request.headingDeg, 360.0))
        <= std::fabs(std::remainder(left - request.headingDeg, 360.0));
    leg.headingDeg = rightIsNearer ? right : left;
    endOfLeg(request, &leg);
    leg.text = QStringLiteral("Drive %1° for %2 across the first bearing: the bearings do not cross yet")
                   .arg(shownHeading(leg.headingDeg), 3, 10, QLatin1Char('0'))
                   .arg(legDistance(legM));
    return leg;
}

} // namespace

QString legText(double headingDeg, double legM, double areaNowKm2, double areaAfterKm2)
{
    QString start = QStringLiteral("Drive %1° for %2")
                              .arg(shownHeading(headingDeg), 3, 10, QLatin1Char('0'))
                              .arg(legDistance(legM));
    if (!std::isfinite(areaNowKm2) || !std::isfinite(areaAfterKm2)) {
        return start;
    }
    // Both areas in the unit of the larger.
    if (std::max(areaNowKm2, areaAfterKm2) < 0.01) {
        return QStringLiteral("%1: 95 % area %2 → %3 m² expected")
            .arg(start)
            .arg(qRound(areaNowKm2 * 1e6))
            .arg(qRound(areaAfterKm2 * 1e6));
    }
    return QStringLiteral("%1: 95 % area %2 → %3 km² expected").arg(start, squareKm(areaNowKm2), squareKm(areaAfterKm2));
}

double repetitionPeriodS(QVector<qint64> timesMs)
{
    std::sort(timesMs.begin(), timesMs.end());
    // Gaps from the first of each burst of copies.
    std::vector<double> gaps;
    for (int i = 1, kept = 0; i < timesMs.size(); ++i) {
        const qint64 gap = timesMs.at(i) - timesMs.at(kept);
        if (gap >= duplicateMs) {
            gaps.push_back(double(gap));
            kept = i;
        }
    }
    if (gaps.empty()) {
        return 0.0;
    }
    std::sort(gaps.begin(), gaps.end());
    // The shortest gap that another one repeats is one period: longer ones are
    // several, with the messages between missed. A lone short gap is a stray message.
    const size_t support = gaps.size() >= 4 ? 2 : 1;
    double base = gaps.back();
    for (size_t i = 0; i < gaps.size(); ++i) {
        const auto end = std::upper_bound(gaps.begin(), gaps.end(), gaps[i] * (1.0 + 2.0 * periodTolerance));
        const size_t cluster = size_t(end - gaps.begin()) - i;
        if (cluster >= support) {
            base = gaps[i + (cluster - 1) / 2];
            break;
        }
    }
    // Every gap that is a whole number of periods: their total over the periods they span.
    double spanned = 0.0;
    double periods = 0.0;
    for (const double gap : gaps) {
        const double k = std::round(gap / base);
        if (k >= 1.0 && std::fabs(gap - k * base) <= std::min(0.5, periodTolerance * std::sqrt(k)) * base) {
            spanned += gap;
            periods += k;
        }
    }
    return periods > 0.0 ? spanned / periods / 1000.0 : base / 1000.0;
}

LegSuggestion_t suggestLeg(const QVector<Bearing_t>& bearings, const Fix_t& fix, const FixOptions_t& options,
                           const GuidanceRequest_t& request)
{
    const double speed = std::isfinite(request.speedMps) && request.speedMps >= movingMps
                             ? request.speedMps
                             : GuidanceRequest_t::standingSpeedMps;
    const double legSeconds =
        std::isfinite(request.legSeconds) && request.legSeconds > 0.0 ? request.legSeconds : GuidanceRequest_t().legSeconds;
    const double legM = speed * legSeconds;

    const double det0 = fix.covEE * fix.covNN - fix.covEN * fix.covEN;
    if (!fix.ok() || bearings.size() < 2 || !(det0 > 0.0) || !std::isfinite(det0)) {
        return acrossFirst(bearings, options, request, legM);
    }

    // Bearings of the leg: one per period, the last at its end; one at its end when
    // the period is unknown or longer than the leg.
    int count = 1;
    if (std::isfinite(request.periodSeconds) && request.periodSeconds > 0.0) {
        count = std::clamp(int(std::floor(legSeconds / request.periodSeconds + 1e-9)), 1, maxLegBearings);
    }
    const double stepM = count > 1 && count < maxLegBearings ? speed * request.periodSeconds : legM / count;

    // Information so far, from the fix's covariance, east and north at the fix.
    const Information_t now{fix.covNN / det0, -fix.covEN / det0, fix.covEE / det0};
    // Where the beacon may be: the fix and eight points around it at the unscented
    // transform's radius, sqrt(2) standard deviations.
    const double mean = 0.5 * (fix.covEE + fix.covNN);
    const double half = std::hypot(0.5 * (fix.covEE - fix.covNN), fix.covEN);
    const double major = std::sqrt(mean + half);
    const double minor = std::sqrt(std::max(mean - half, 0.0));
    const double axis = 0.5 * std::atan2(2.0 * fix.covEN, fix.covNN - fix.covEE);
    std::array<Point_t, 9> places{};
    for (int k = 1; k < 9; ++k) {
        const double t = (k - 1) * M_PI / 4.0;
        const double along = M_SQRT2 * major * std::cos(t);
        const double across = M_SQRT2 * minor * std::sin(t);
        places[size_t(k)] = {along * std::sin(axis) + across * std::cos(axis),
                             along * std::cos(axis) - across * std::sin(axis)};
    }
    const double nearest = std::max(nearestM, major);
    const double sigma = (fix.sigmaDeg > 0.0 ? fix.sigmaDeg : options.sigmaDeg) * degree;

    const LocalFrame frame(fix.latitude, fix.longitude);
    // Mean over the places of det(covariance)^(1/2) after `taken` bearings heading that way.
    auto spreadAfter = [&](double headingDeg, int taken) {
        Point_t start{};
        const double theta = frame.gridAzimuth(request.latitude, request.longitude, headingDeg, &start.x, &start.y)
                             * degree;
        const double ux = std::sin(theta), uy = std::cos(theta);
        double sum = 0.0;
        for (const Point_t& place : places) {
            Information_t information = now;
            for (int k = 1; k <= taken; ++k) {
                information.addBearing({start.x + k * stepM * ux, start.y + k * stepM * uy}, place, sigma, nearest);
            }
            sum += 1.0 / std::sqrt(information.det());
        }
        return sum / double(places.size());
    };

    // The present heading first: another wins only when it does better.
    LegSuggestion_t leg;
    leg.crossed = true;
    leg.legM = legM;
    leg.headingDeg = wrapped360(request.headingDeg);
    double best = spreadAfter(leg.headingDeg, count * plannedLegs);
    for (double heading = 0.0; heading < 360.0; heading += headingStepDeg) {
        const double spread = spreadAfter(heading, count * plannedLegs);
        if (spread < best * (1.0 - 1e-9)) {
            best = spread;
            leg.headingDeg = heading;
        }
    }
    leg.areaNowKm2 = M_PI * fix.semiMajorM * fix.semiMinorM / 1e6;
    // The area goes with det^(1/2) at the same quantile.
    leg.areaAfterKm2 = leg.areaNowKm2 * spreadAfter(leg.headingDeg, count) / std::sqrt(det0);
    endOfLeg(request, &leg);
    leg.text = legText(leg.headingDeg, legM, leg.areaNowKm2, leg.areaAfterKm2);
    return leg;
}

} // namespace Vantrel::Locate
