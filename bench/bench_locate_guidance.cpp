// Guidance in a closed loop: a vehicle turns each leg as its policy says until the
// fix's 95 % ellipse is small and holds the beacon. The guidance against the two
// fixed policies field teams use, on the same beacons and the same bearing errors.
#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

#include "LocateBenchSupport.h"
#include "locate/Guidance.h"

using namespace LocateBench;

namespace {

constexpr double vehicleMps = 15.0;
constexpr int bearingEveryS = 60;
constexpr int legS = 120;
constexpr int giveUpS = 3600;
constexpr double targetSemiMajorM = 200.0;
constexpr double reflectionShare = 0.1;
constexpr int leastSearches = 300;
constexpr int mostSearches = 1000;
constexpr double knownPassM = 400.0;

enum Policy_t
{
    POLICY_GUIDED,
    POLICY_ACROSS_FIRST,     // straight across the first bearing, no more turns
    POLICY_FOLLOW_LATEST,    // along the latest bearing, every leg
    // References no receiver can follow: they know where the beacon is and pass it at knownPassM.
    POLICY_KNOWN,
    POLICY_KNOWN_AFTER_ACROSS,  // the same after a first leg across the first bearing, as guided drives it
};
constexpr int POLICIES = POLICY_KNOWN_AFTER_ACROSS + 1;
const char* const policyNames[] = {"guided", "across the first bearing", "follow the latest bearing",
                                   "(knows the beacon)", "(knows it, after a leg across)"};

// A vehicle: metres from the beacon, and its heading.
struct Vehicle_t
{
    double east = 0.0;
    double north = 0.0;
    double headingDeg = 0.0;
};

struct Start_t
{
    Search_t beacon;  // only the truth is used
    Vehicle_t vehicles[2];  // the second one only for the team search
    quint64 noiseSeed = 0;
};

Vehicle_t makeVehicle(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const double range = 5000.0 + 5000.0 * uniform(random);
    const double direction = 2.0 * M_PI * uniform(random);
    return {range * std::sin(direction), range * std::cos(direction), 360.0 * uniform(random)};
}

Start_t makeStart(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    Start_t start;
    start.beacon.truthLatitude = -60.0 + 120.0 * uniform(random);
    start.beacon.truthLongitude = -180.0 + 360.0 * uniform(random);
    start.vehicles[0] = makeVehicle(random);
    start.noiseSeed = random();
    // From a stream of its own, so that the one-vehicle searches stay as they were.
    std::mt19937_64 second(start.noiseSeed + 1);
    start.vehicles[1] = makeVehicle(second);
    return start;
}

double across(double bearingDeg, double headingDeg)
{
    const double right = bearingDeg + 90.0, left = bearingDeg - 90.0;
    return std::fabs(std::remainder(right - headingDeg, 360.0)) <= std::fabs(std::remainder(left - headingDeg, 360.0))
               ? right
               : left;
}

// Seconds from the first bearing until the ellipse is small and holds the beacon; giveUpS + legS when never.
// With two vehicles, both hear every message and share their bearings.
int timeToFind(const Start_t& start, Policy_t policy, int vehicleCount = 1)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    const LocalFrame frame(start.beacon.truthLatitude, start.beacon.truthLongitude);
    // The same errors for every policy: bearing k gets the k-th draw whoever drives.
    std::mt19937_64 random(start.noiseSeed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    const FixOptions_t defaults;
    QVector<Bearing_t> bearings;
    QVector<qint64> times;
    Vehicle_t vehicles[2] = {start.vehicles[0], start.vehicles[1]};
    for (int t = 0; t <= giveUpS; t += bearingEveryS) {
        for (int v = 0; v < vehicleCount; ++v) {
            double& east = vehicles[v].east;
            double& north = vehicles[v].north;
            double& heading = vehicles[v].headingDeg;
            Bearing_t bearing;
            frame.reverse(east, north, &bearing.latitude, &bearing.longitude);
            double distance = 0.0, azimuth = 0.0, back = 0.0;
            geodesic.Inverse(bearing.latitude, bearing.longitude, start.beacon.truthLatitude,
                             start.beacon.truthLongitude, distance, azimuth, back);
            const bool reflected = uniform(random) < reflectionShare;
            const double reflection = 360.0 * uniform(random);
            const double error = noise(random);
            bearing.azimuth = std::fmod((reflected ? reflection : azimuth + error) + 720.0, 360.0);
            bearing.timeMs = 1000LL * t;
            bearings.append(bearing);
            times.append(bearing.timeMs);
            const Fix_t fix = locate(bearings, defaults);
            if (fix.ok() && fix.semiMajorM < targetSemiMajorM && ellipseHolds(fix, start.beacon)) {
                return t;
            }
            if (t % legS == 0) {
                switch (policy) {
                case POLICY_GUIDED: {
                    GuidanceRequest_t request;
                    request.latitude = bearing.latitude;
                    request.longitude = bearing.longitude;
                    request.headingDeg = heading;
                    request.speedMps = vehicleMps;
                    request.legSeconds = legS;
                    request.periodSeconds = repetitionPeriodS(times);
                    heading = suggestLeg(bearings, fix, defaults, request).headingDeg;
                    break;
                }
                case POLICY_ACROSS_FIRST:
                    if (t == 0) {
                        heading = across(bearing.azimuth, heading);
                    }
                    break;
                case POLICY_FOLLOW_LATEST:
                    heading = bearing.azimuth;
                    break;
                case POLICY_KNOWN_AFTER_ACROSS:
                    if (t == 0) {
                        heading = across(bearing.azimuth, heading);
                        break;
                    }
                    [[fallthrough]];
                case POLICY_KNOWN:
                    heading = azimuth + std::asin(std::min(1.0, knownPassM / distance)) / degree;
                    break;
                }
            }
            double ignoredEast = 0.0, ignoredNorth = 0.0;
            const double grid =
                frame.gridAzimuth(bearing.latitude, bearing.longitude, heading, &ignoredEast, &ignoredNorth) * degree;
            east += vehicleMps * bearingEveryS * std::sin(grid);
            north += vehicleMps * bearingEveryS * std::cos(grid);
        }
    }
    return giveUpS + legS;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(share * double(values.size()))) - 1;
    return values[std::min(rank, values.size() - 1)];
}

QString minutes(double seconds)
{
    return seconds > giveUpS ? QStringLiteral("> %1").arg(giveUpS / 60) : QString::number(seconds / 60.0, 'f', 1);
}

void run(int searches, quint64 seed)
{
    const int count = std::clamp(searches, leastSearches, mostSearches);
    std::printf("\nGuidance, closed loop: %d searches, start 5-10 km off at a random heading, %.0f m/s, a bearing every "
                "%d s, sigma %.0f deg, %.0f %% reflections, a new heading every %d s; time until the 95 %% ellipse's "
                "semi-major axis is under %.0f m with the beacon inside (given up after %d min)\n",
                count, vehicleMps, bearingEveryS, sigmaDeg, 100 * reflectionShare, legS, targetSemiMajorM,
                giveUpS / 60);
    std::mt19937_64 random(seed + 40);
    std::vector<Start_t> starts;
    for (int s = 0; s < count; ++s) {
        starts.push_back(makeStart(random));
    }
    std::vector<double> times[POLICIES];
    std::vector<double> teamTimes;
    QElapsedTimer clock;
    clock.start();
    for (const Start_t& start : starts) {
        for (int p = 0; p < POLICIES; ++p) {
            times[p].push_back(timeToFind(start, Policy_t(p)));
        }
        teamTimes.push_back(timeToFind(start, POLICY_GUIDED, 2));
    }
    std::printf("  %-32s %12s %12s %8s\n", "policy", "median min", "90th pc min", "found");
    double medians[POLICIES];
    for (int p = 0; p < POLICIES; ++p) {
        medians[p] = medianOf(times[p]);
        const auto found = std::count_if(times[p].begin(), times[p].end(), [](double t) { return t <= giveUpS; });
        std::printf("  %-32s %12s %12s %7.1f%%\n", policyNames[p], qPrintable(minutes(medians[p])),
                    qPrintable(minutes(percentile(times[p], 0.9))), 100.0 * double(found) / count);
    }
    const double teamMedian = medianOf(teamTimes);
    const auto teamFound = std::count_if(teamTimes.begin(), teamTimes.end(), [](double t) { return t <= giveUpS; });
    std::printf("  %-32s %12s %12s %7.1f%%\n", "two vehicles, guided, sharing", qPrintable(minutes(teamMedian)),
                qPrintable(minutes(percentile(teamTimes, 0.9))), 100.0 * double(teamFound) / count);
    std::printf("  (%.1f s for the loop)\n", double(clock.elapsed()) / 1000.0);
    std::printf("  two vehicles' median / one guided vehicle's = %.3f (at most 0.65)\n",
                teamMedian / medians[POLICY_GUIDED]);
    check(teamMedian <= 0.65 * medians[POLICY_GUIDED], "two vehicles sharing bearings at least 35 % quicker");
    const double betterFixed = std::min(medians[POLICY_ACROSS_FIRST], medians[POLICY_FOLLOW_LATEST]);
    std::printf("  guided median / better fixed policy's = %.3f (at most 0.70); knowing the beacon gives %.3f, %.3f after "
                "a leg across\n",
                medians[POLICY_GUIDED] / betterFixed, medians[POLICY_KNOWN] / betterFixed,
                medians[POLICY_KNOWN_AFTER_ACROSS] / betterFixed);
    check(medians[POLICY_GUIDED] <= 0.7 * betterFixed, "guided search at least 30 % shorter in the median");
    const double betterFixed90 = std::min(percentile(times[POLICY_ACROSS_FIRST], 0.9),
                                          percentile(times[POLICY_FOLLOW_LATEST], 0.9));
    std::printf("  guided 90th percentile / better fixed policy's = %.3f\n",
                percentile(times[POLICY_GUIDED], 0.9) / betterFixed90);

    // The time of one suggestion for a platform with 1000 bearings, the repetition period estimated too.
    std::mt19937_64 bigRandom(seed + 41);
    const Search_t big = makeSearch(bigRandom, 1000, reflectionShare);
    QVector<Bearing_t> bearings = big.bearings;
    QVector<qint64> messageTimes;
    for (int i = 0; i < bearings.size(); ++i) {
        bearings[i].timeMs = 60000LL * i;
        messageTimes.append(bearings[i].timeMs);
    }
    const FixOptions_t defaults;
    const Fix_t fix = locate(bearings, defaults);
    GuidanceRequest_t request;
    request.latitude = bearings.last().latitude;
    request.longitude = bearings.last().longitude;
    request.speedMps = vehicleMps;
    double heading = 0.0;
    const double guidanceMs = medianMs(21, [&] {
        request.periodSeconds = repetitionPeriodS(messageTimes);
        heading = suggestLeg(bearings, fix, defaults, request).headingDeg;
    });
    std::printf("  guidance for 1000 bearings: %.3f ms, median (at most 100; the fix %s, heading %03.0f)\n", guidanceMs,
                fix.ok() ? "crossed" : "refused", heading);
    check(fix.ok() && guidanceMs <= 100.0, "guidance time with 1000 bearings");
}

const bool registered = addSection("guidance", run);

} // namespace
