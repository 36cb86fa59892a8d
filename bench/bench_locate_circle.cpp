// A circle drive round the beacon, clean and with reflections, and a receiver
// parked at two places: where a fix is most tempted to lie.
#include <QtGlobal>
#include <cstdio>

#include "LocateBenchSupport.h"

using namespace LocateBench;

namespace {

constexpr int circleBearings = 24;
constexpr double circleRadiusM = 1000.0;

struct Lies_t
{
    Figures_t figures;
    int farOff = 0;     // accepted fixes more than five semi-major axes from the truth
    int pinned = 0;     // accepted fixes within a metre of a receiver, the truth farther than 20 m
    double worstAxes = 0.0;
};

void tallyLies(Lies_t& lies, const Fix_t& fix, const Search_t& search)
{
    tally(lies.figures, fix, search);
    if (!fix.ok()) {
        return;
    }
    const double axes = errorInAxes(fix, search);
    lies.worstAxes = std::max(lies.worstAxes, axes);
    lies.farOff += axes > 5.0 ? 1 : 0;
    for (const Bearing_t& bearing : search.bearings) {
        double distance = 0.0;
        Geodesic::WGS84().Inverse(bearing.latitude, bearing.longitude, fix.latitude, fix.longitude, distance);
        if (distance < 1.0 && errorM(fix.latitude, fix.longitude, search) > 20.0) {
            ++lies.pinned;
            break;
        }
    }
}

void printLies(const char* title, const Lies_t (&lies)[3])
{
    std::printf("\n%s\n  %-8s %8s %8s %9s %10s %8s %8s %10s\n", title, "method", "refused", "RMS m", "CRB RMS m",
                "RMS/CRB", "95% holds", ">5 axes", "pinned");
    for (int e = 0; e < 3; ++e) {
        const Figures_t& f = lies[e].figures;
        std::printf("  %-8s %7.1f%% %8.0f %9.0f %10.3f %8.1f%% %8d %8d (worst %.1f axes)\n",
                    qPrintable(estimatorName(Estimator_t(e))), f.refusedPercent(), f.rms(), f.crbRms(),
                    f.rms() / f.crbRms(), f.coverage(), lies[e].farOff, lies[e].pinned, lies[e].worstAxes);
    }
}

// Two places, fifty bearings at each in whole degrees, as a flash read of a parked receiver gives.
Search_t makeParkedSearch(std::mt19937_64& random)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    Search_t search;
    const Geodesic& geodesic = Geodesic::WGS84();
    search.truthLatitude = -50.0 + 100.0 * uniform(random);
    search.truthLongitude = -180.0 + 360.0 * uniform(random);
    std::vector<std::pair<double, double>> places;
    const LocalFrame frame(search.truthLatitude, search.truthLongitude);
    const double first = 360.0 * uniform(random);
    for (int place = 0; place < 2; ++place) {
        double latitude = 0.0, longitude = 0.0, back = 0.0;
        geodesic.Direct(search.truthLatitude, search.truthLongitude, first + place * (60.0 + 60.0 * uniform(random)),
                        2000.0 + 3000.0 * uniform(random), latitude, longitude, back);
        // The reflections of a parked spot stay: its bearings share one error.
        const double spotError = noise(random);
        for (int k = 0; k < 50; ++k) {
            Bearing_t bearing;
            bearing.latitude = latitude;
            bearing.longitude = longitude;
            bearing.azimuth = std::fmod(std::round(back + 180.0 + spotError + 0.3 * noise(random)) + 720.0, 360.0);
            bearing.timeMs = 60000LL * (place * 50 + k);
            search.bearings.append(bearing);
        }
        double east = 0.0, north = 0.0;
        frame.forward(latitude, longitude, &east, &north);
        places.emplace_back(east, north);
    }
    search.crbTrace = boundTrace(places, sigmaDeg);
    return search;
}

void run(int searches, quint64 seed)
{
    std::mt19937_64 random(seed + 10);
    Lies_t clean[3], spoiled[3], parked[3];
    for (int s = 0; s < searches; ++s) {
        const Search_t cleanSearch = makeCircleSearch(random, circleBearings, circleRadiusM, 1000.0, 0.0);
        const Search_t spoiledSearch = makeCircleSearch(random, circleBearings, circleRadiusM, 1000.0, 0.3);
        const Search_t parkedSearch = makeParkedSearch(random);
        for (int e = 0; e < 3; ++e) {
            FixOptions_t options;
            options.estimator = Estimator_t(e);
            tallyLies(clean[e], locate(cleanSearch.bearings, options), cleanSearch);
            tallyLies(spoiled[e], locate(spoiledSearch.bearings, options), spoiledSearch);
            tallyLies(parked[e], locate(parkedSearch.bearings, options), parkedSearch);
        }
    }
    std::printf("\nCircle drive: %d searches of %d bearings round %.0f m, the beacon within 1 km of its centre\n",
                searches, circleBearings, circleRadiusM);
    printLies("Clean (baseline: the Cramer-Rao bound)", clean);
    printLies("30 % reflections (bound of the bearings that are not reflections)", spoiled);
    printLies("Parked at two places, 50 bearings in whole degrees at each, one error per place", parked);
    std::printf("\nTargets\n");
    for (int e = 0; e < 3; ++e) {
        const Figures_t& f = clean[e].figures;
        std::printf("  %s clean: 95%% ellipse holds %.1f%% (93-97), RMS/CRB %.3f (at most 1.1)\n",
                    qPrintable(estimatorName(Estimator_t(e))), f.coverage(), f.rms() / f.crbRms());
        check(f.coverage() >= 93.0 && f.coverage() <= 97.0, "circle, clean: ellipse holds the truth in 93-97 %");
        check(f.rms() <= 1.1 * f.crbRms(), "circle, clean: RMS within 1.1x the bound");
    }
    int farOff = 0, pinned = 0, parkedFarOff = 0;
    for (int e = 0; e < 3; ++e) {
        farOff += spoiled[e].farOff;
        pinned += spoiled[e].pinned + clean[e].pinned;
        parkedFarOff += parked[e].farOff;
    }
    std::printf("  reflections: %d accepted fixes farther than 5 semi-major axes (none), %d pinned on a receiver (none)\n",
                farOff, pinned);
    check(farOff == 0, "reflections: no accepted fix farther than 5 semi-major axes from the truth");
    check(pinned == 0, "no fix pinned on a receiver");
    const Figures_t& andrews = spoiled[ESTIMATOR_ANDREWS].figures;
    std::printf("  Andrews with reflections: RMS / bound of the unspoiled bearings = %.3f (at most 1.25)\n",
                andrews.rms() / andrews.crbRms());
    check(andrews.rms() <= 1.25 * andrews.crbRms(), "Andrews within 1.25x the bound of the unspoiled bearings");
    std::printf("  parked: %d accepted fixes farther than 5 semi-major axes (none)\n", parkedFarOff);
    check(parkedFarOff == 0, "parked at two places: no fix farther than 5 semi-major axes");
}

const bool registered = addSection("circle", run);

} // namespace
