// Drifting beacons: the motion model's position at the last bearing against the
// Cramér–Rao bound of the four-parameter model and against the still fix, and the
// automatic choice between the models on still beacons.
#include <cmath>
#include <cstdio>
#include <random>

#include "LocateBenchSupport.h"
#include "locate/DriftFix.h"

using namespace LocateBench;

namespace {

constexpr int driftBearings = 40;
constexpr double driftSpanS = 40.0 * 60.0;
constexpr double driftTrackM = 10000.0;
constexpr double driftSpeedMs = 0.5;

// A drive of two 5 km legs with a turn of 45–135° between them, over 40 minutes; the beacon
// 2–4 km from the turn, as a boat following a buoy keeps it, and at least 1 km from every receiver, drifting at `speed` on a random
// course. The truth is where the beacon is at the last bearing; the bound is that of the
// position then in the four-parameter model.
Search_t makeDriftSearch(std::mt19937_64& random, int count, double speed)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    for (;;) {
        Search_t search;
        const double startLatitude = -60.0 + 120.0 * uniform(random);
        const double startLongitude = -180.0 + 360.0 * uniform(random);
        const double heading = 360.0 * uniform(random);
        const double turn = (uniform(random) < 0.5 ? 1.0 : -1.0) * (45.0 + 90.0 * uniform(random));
        double turnLatitude = 0.0, turnLongitude = 0.0, turnAzimuth = 0.0;
        geodesic.Direct(startLatitude, startLongitude, heading, driftTrackM / 2, turnLatitude, turnLongitude,
                        turnAzimuth);
        double beaconLatitude = 0.0, beaconLongitude = 0.0;
        geodesic.Direct(turnLatitude, turnLongitude, 360.0 * uniform(random), 2000.0 + 2000.0 * uniform(random),
                        beaconLatitude, beaconLongitude);
        const double course = 360.0 * uniform(random);
        geodesic.Direct(beaconLatitude, beaconLongitude, course, speed * driftSpanS, search.truthLatitude,
                        search.truthLongitude);
        const LocalFrame frame(search.truthLatitude, search.truthLongitude);
        const double vx = speed * std::sin(course * degree), vy = speed * std::cos(course * degree);
        double fisher[4][4] = {};
        double nearest = 1e300;
        for (int k = 0; k < count; ++k) {
            const double along = driftTrackM * k / (count - 1);
            const double tau = driftSpanS * k / (count - 1) - driftSpanS;
            Bearing_t bearing;
            double azimuth = 0.0;
            if (along <= driftTrackM / 2) {
                geodesic.Direct(startLatitude, startLongitude, heading, along, bearing.latitude, bearing.longitude,
                                azimuth);
            } else {
                geodesic.Direct(turnLatitude, turnLongitude, turnAzimuth + turn, along - driftTrackM / 2,
                                bearing.latitude, bearing.longitude, azimuth);
            }
            double nowLatitude = 0.0, nowLongitude = 0.0;
            geodesic.Direct(beaconLatitude, beaconLongitude, course, speed * (driftSpanS + tau), nowLatitude,
                            nowLongitude);
            double distance = 0.0, azimuth1 = 0.0, azimuth2 = 0.0;
            geodesic.Inverse(bearing.latitude, bearing.longitude, nowLatitude, nowLongitude, distance, azimuth1,
                             azimuth2);
            nearest = std::min(nearest, distance);
            bearing.azimuth = std::fmod(azimuth1 + noise(random) + 720.0, 360.0);
            bearing.timeMs = 1796000000000LL + qRound64(1000.0 * (driftSpanS + tau));
            search.bearings.append(bearing);
            double east = 0.0, north = 0.0;
            frame.forward(bearing.latitude, bearing.longitude, &east, &north);
            const double dx = vx * tau - east, dy = vy * tau - north;
            const double d2 = dx * dx + dy * dy;
            const double g[4] = {dy / d2, -dx / d2, dy / d2 * tau, -dx / d2 * tau};
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j)
                    fisher[i][j] += g[i] * g[j];
        }
        if (nearest < 1000.0)
            continue;
        // The position block of the inverse: invert by Gauss–Jordan, the matrix is small and well scaled enough.
        double a[4][8] = {};
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j)
                a[i][j] = fisher[i][j];
            a[i][4 + i] = 1.0;
        }
        for (int c = 0; c < 4; ++c) {
            int pivot = c;
            for (int r = c + 1; r < 4; ++r)
                if (std::fabs(a[r][c]) > std::fabs(a[pivot][c]))
                    pivot = r;
            for (int j = 0; j < 8; ++j)
                std::swap(a[c][j], a[pivot][j]);
            const double p = a[c][c];
            for (int j = 0; j < 8; ++j)
                a[c][j] /= p;
            for (int r = 0; r < 4; ++r)
                if (r != c) {
                    const double f = a[r][c];
                    for (int j = 0; j < 8; ++j)
                        a[r][j] -= f * a[c][j];
                }
        }
        search.crbTrace = sigmaDeg * degree * sigmaDeg * degree * (a[0][4] + a[1][5]);
        return search;
    }
}

constexpr double levels[4] = {0.05, 0.01, 0.001, 0.0001};

struct DriftRun_t
{
    Figures_t drift[3];
    Figures_t still[3];
    Figures_t chosen;  // the default estimator's automatic choice
    // The default estimator where the geometry can tell a drift: the bound under 1 km.
    Figures_t observable;
    Figures_t observableStill;
    std::vector<double> crbM;
    int driftChosen = 0;
    // The choice at other levels of its test: how often it takes the drift, and the RMS then.
    int chosenAt[4] = {};
    Figures_t chosenFigures[4];
    int searches = 0;
};

DriftRun_t monteCarlo(int searches, double speed, quint64 seed)
{
    std::mt19937_64 random(seed);
    DriftRun_t run;
    const FixOptions_t defaults;
    for (int s = 0; s < searches; ++s) {
        const Search_t search = makeDriftSearch(random, driftBearings, speed);
        ++run.searches;
        for (int e = 0; e < 3; ++e) {
            FixOptions_t options;
            options.estimator = Estimator_t(e);
            const Fix_t still = locate(search.bearings, options);
            tally(run.still[e], still, search);
            const DriftFix_t drift = locateDrifting(search.bearings, options, still);
            tally(run.drift[e], positionNow(drift), search);
            if (options.estimator == defaults.estimator) {
                run.crbM.push_back(std::sqrt(search.crbTrace));
                if (search.crbTrace < 1000.0 * 1000.0) {
                    tally(run.observable, positionNow(drift), search);
                    tally(run.observableStill, still, search);
                }
                const bool moving = driftSupported(drift);
                run.driftChosen += moving ? 1 : 0;
                tally(run.chosen, moving ? positionNow(drift) : still, search);
                for (int l = 0; l < 4; ++l) {
                    const bool at = driftSupported(drift, levels[l]);
                    run.chosenAt[l] += at ? 1 : 0;
                    tally(run.chosenFigures[l], at ? positionNow(drift) : still, search);
                }
            }
        }
    }
    return run;
}

void printRun(const DriftRun_t& run)
{
    std::printf("  %-10s %8s %10s %10s %9s %9s %9s | %12s %9s %9s\n", "estimator", "refused", "RMS m", "CRB4 RMS m",
                "RMS/CRB4", "median m", "95% holds", "still: RMS m", "median m", "refused");
    for (int e = 0; e < 3; ++e) {
        const Figures_t& f = run.drift[e];
        const Figures_t& s = run.still[e];
        std::printf("  %-10s %7.1f%% %10.0f %10.0f %9.3f %9.0f %8.1f%% | %12.0f %9.0f %8.1f%%\n",
                    qPrintable(estimatorName(Estimator_t(e))), f.refusedPercent(), f.rms(), f.crbRms(),
                    f.rms() / f.crbRms(), f.median(), f.coverage(), s.rms(), s.median(), s.refusedPercent());
    }
    std::printf("  bound of the position now: median %.0f m; where under 1 km (%d searches): drift RMS/CRB4 %.3f, "
                "median %.0f m, 95%% holds %.1f%%; still fix RMS %.0f m, median %.0f m\n",
                medianOf(run.crbM), run.observable.fixes + run.observable.refused,
                run.observable.rms() / run.observable.crbRms(), run.observable.median(), run.observable.coverage(),
                run.observableStill.rms(), run.observableStill.median());
    std::printf("  choice (default estimator) at the test level:");
    for (int l = 0; l < 4; ++l)
        std::printf("  %g: drift %.1f%%, RMS %.0f m", levels[l], 100.0 * run.chosenAt[l] / std::max(run.searches, 1),
                    run.chosenFigures[l].rms());
    std::printf("\n");
}

void drift(int searches, quint64 seed)
{
    const FixOptions_t defaults;
    const int offered = defaults.estimator;
    std::printf("\nDrift: %d searches of %d bearings over %.0f min along %.0f km with one turn, beacon 2-4 km from the turn, "
                "sigma %.0f deg; position at the last bearing\n",
                searches, driftBearings, driftSpanS / 60, driftTrackM / 1000, sigmaDeg);
    std::printf("\nDrifting at %.1f m/s (baselines: the bound of the four-parameter model, the still fix)\n",
                driftSpeedMs);
    const DriftRun_t moving = monteCarlo(searches, driftSpeedMs, seed + 30);
    printRun(moving);
    std::printf("\nStill beacons, same geometry\n");
    const DriftRun_t still = monteCarlo(searches, 0.0, seed + 31);
    printRun(still);

    const Figures_t& d = moving.drift[offered];
    const double keptStill = 100.0 * (still.searches - still.driftChosen) / std::max(still.searches, 1);
    const double movingChosen = 100.0 * moving.driftChosen / std::max(moving.searches, 1);
    const double loss = still.chosen.rms() / still.still[offered].rms();
    std::printf("\nTargets (%s, the default estimator)\n", qPrintable(estimatorName(defaults.estimator)));
    std::printf("  drift ellipse holds the truth in %.1f%% (90-98)\n", d.coverage());
    check(d.coverage() >= 90.0 && d.coverage() <= 98.0, "drift ellipse calibrated");
    std::printf("  drift RMS / CRB4 = %.3f (at most 1.3)\n", d.rms() / d.crbRms());
    check(d.rms() <= 1.3 * d.crbRms(), "drift RMS within 1.3x the four-parameter bound");
    std::printf("  drift RMS / still-fix RMS = %.3f (at most 0.5)\n", d.rms() / moving.still[offered].rms());
    check(d.rms() <= 0.5 * moving.still[offered].rms(), "drift RMS at most 0.5x the still fix's on drifting beacons");
    // The bound caps what any unbiased drift fix can do here: at 0.5x the still fix it would have to beat it.
    std::printf("  the four-parameter bound itself / still-fix RMS = %.3f\n", d.crbRms() / moving.still[offered].rms());
    std::printf("  drifting beacons given the drift model: %.1f%%\n", movingChosen);
    check(movingChosen >= 90.0, "drifting beacons get the drift model (at least 90 %)");
    std::printf("  still beacons kept still: %.1f%% (at least 90)\n", keptStill);
    check(keptStill >= 90.0, "still beacons kept still");
    std::printf("  still beacons, RMS of the choice / always still = %.3f (at most 1.05): %.0f m / %.0f m\n", loss,
                still.chosen.rms(), still.still[offered].rms());
    check(loss <= 1.05, "the choice costs still beacons at most 5 % in RMS");

    // The live update with 1000 bearings: the still fix from the previous one, then the drift from it.
    std::mt19937_64 random(seed + 32);
    Search_t live = makeDriftSearch(random, 1001, driftSpeedMs);
    const Bearing_t newest = live.bearings.takeLast();
    const Fix_t before = locate(live.bearings, defaults);
    live.bearings.append(newest);
    const Fix_t stillNow = locate(live.bearings, defaults, before);
    const double driftMs = medianMs(51, [&] { locateDrifting(live.bearings, defaults, stillNow); });
    const double updateMs = medianMs(51, [&] {
        const Fix_t fix = locate(live.bearings, defaults, before);
        locateDrifting(live.bearings, defaults, fix);
    });
    std::printf("  one drift fix of 1000 bearings: %.2f ms; live update with it, still fix included: %.2f ms "
                "(at most 5)\n",
                driftMs, updateMs);
    check(updateMs <= 5.0, "live update with 1000 bearings, the drift model included");
}

const bool registered = addSection("drift", drift);

} // namespace
