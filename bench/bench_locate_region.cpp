// The 95 % highest-likelihood region on poor geometry, where the ellipse misleads:
// how often each holds the truth, and what the region costs with many bearings.
#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "LocateBenchSupport.h"
#include "locate/LikelihoodRegion.h"

using namespace LocateBench;

namespace {

constexpr double poorTrackM = 1000.0;

// A drive of poorTrackM in mid latitudes, the beacon 4–8 km from its middle within 30°
// of the normal: lines that barely cross.
Search_t makePoorSearch(std::mt19937_64& random, int count)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    Search_t search;
    const double middleLatitude = -60.0 + 120.0 * uniform(random);
    const double middleLongitude = -180.0 + 360.0 * uniform(random);
    const double heading = 360.0 * uniform(random);
    const double side = uniform(random) < 0.5 ? 90.0 : -90.0;
    const double off = -30.0 + 60.0 * uniform(random);
    const double range = 4000.0 + 4000.0 * uniform(random);
    geodesic.Direct(middleLatitude, middleLongitude, heading + side + off, range, search.truthLatitude,
                    search.truthLongitude);
    double startLatitude = 0.0, startLongitude = 0.0;
    geodesic.Direct(middleLatitude, middleLongitude, heading + 180.0, poorTrackM / 2, startLatitude, startLongitude);
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        double azimuth = 0.0, back = 0.0, distance = 0.0;
        geodesic.Direct(startLatitude, startLongitude, heading, poorTrackM * k / (count - 1), bearing.latitude,
                        bearing.longitude, back);
        geodesic.Inverse(bearing.latitude, bearing.longitude, search.truthLatitude, search.truthLongitude, distance,
                         azimuth, back);
        bearing.azimuth = std::fmod(azimuth + noise(random) + 720.0, 360.0);
        bearing.timeMs = 1000 * k;
        search.bearings.append(bearing);
    }
    return search;
}

struct Coverage_t
{
    int fixes = 0;
    int refused = 0;
    int regionHolds = 0;
    int ellipseHolds = 0;
    int departs = 0;
    int open = 0;
    double percent(int count) const { return 100.0 * count / std::max(fixes, 1); }
};

void run(int searches, quint64 seed)
{
    std::printf("\nRegions: %d searches of 5-8 bearings along %.0f km, beacon 4-8 km off, sigma %.0f deg\n", searches,
                poorTrackM / 1000, sigmaDeg);
    std::printf("  %-9s %8s %8s %14s %15s %8s %8s\n", "estimator", "fixes", "refused", "region holds",
                "ellipse holds", "departs", "open");
    Coverage_t coverage[3];
    for (int e = 0; e < 3; ++e) {
        std::mt19937_64 random(seed + 40);
        std::uniform_int_distribution<int> counts(5, 8);
        FixOptions_t options;
        options.estimator = Estimator_t(e);
        Coverage_t& c = coverage[e];
        for (int s = 0; s < searches; ++s) {
            const Search_t search = makePoorSearch(random, counts(random));
            const Fix_t fix = locate(search.bearings, options);
            if (!fix.ok()) {
                ++c.refused;
                continue;
            }
            const LikelihoodRegion region(search.bearings, options, fix);
            ++c.fixes;
            c.regionHolds += region.contains(search.truthLatitude, search.truthLongitude) ? 1 : 0;
            c.ellipseHolds += ellipseHolds(fix, search) ? 1 : 0;
            c.departs += region.departs() ? 1 : 0;
            c.open += region.open() ? 1 : 0;
        }
        std::printf("  %-9s %8d %8d %13.1f%% %14.1f%% %7.1f%% %7.1f%%\n", qPrintable(estimatorName(options.estimator)),
                    c.fixes, c.refused, c.percent(c.regionHolds), c.percent(c.ellipseHolds), c.percent(c.departs),
                    c.percent(c.open));
    }

    // The time of the region from 500 bearings, each estimator, over a few searches.
    std::mt19937_64 random(seed + 41);
    double slowest = 0.0;
    std::printf("  region from 500 bearings, median ms (ellipse's fix from scratch beside it):");
    for (int e = 0; e < 3; ++e) {
        FixOptions_t options;
        options.estimator = Estimator_t(e);
        std::vector<double> regionTimes, fixTimes;
        for (int s = 0; s < 11; ++s) {
            const Search_t search = makePoorSearch(random, 500);
            const Fix_t fix = locate(search.bearings, options);
            if (!fix.ok()) {
                continue;
            }
            regionTimes.push_back(medianMs(3, [&] { LikelihoodRegion(search.bearings, options, fix); }));
            fixTimes.push_back(medianMs(3, [&] { locate(search.bearings, options); }));
        }
        const double ms = medianOf(regionTimes);
        slowest = std::max(slowest, ms);
        std::printf(" %s %.1f (%.1f)", qPrintable(estimatorName(options.estimator)), ms, medianOf(fixTimes));
    }
    std::printf("\n");
    const FixOptions_t defaults;
    const Coverage_t& offered = coverage[defaults.estimator];
    std::printf("  %s region holds the truth in %.1f%% (90-98), its ellipse in %.1f%%\n",
                qPrintable(estimatorName(defaults.estimator)), offered.percent(offered.regionHolds),
                offered.percent(offered.ellipseHolds));
    bool calibrated = true;
    for (const Coverage_t& c : coverage) {
        calibrated = calibrated && c.percent(c.regionHolds) >= 90.0 && c.percent(c.regionHolds) <= 98.0;
    }
    check(calibrated, "every estimator's region holds the truth in 90-98 % on poor geometry");
    std::printf("  slowest median region from 500 bearings: %.1f ms (at most 50)\n", slowest);
    check(slowest <= 50.0, "region from 500 bearings");
}

const bool registered = addSection("region", run);

} // namespace
