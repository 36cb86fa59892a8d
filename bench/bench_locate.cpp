// Monte Carlo of simulated searches: each estimator's error and ellipse against
// the Cramér–Rao bound and the mean of pairwise crossings (the naive method),
// clean and with reflections, then the time of a fix.
#include <GeographicLib/Geodesic.hpp>
#include <QCoreApplication>
#include <QStringList>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "LocateBenchSupport.h"

using namespace LocateBench;

namespace {

struct Run_t
{
    Figures_t estimators[3];
    Figures_t mlFixedSigma;  // ML with the user's 5° kept, never estimated
    Figures_t naive;
};

Run_t monteCarlo(int searches, double reflections, quint64 seed)
{
    std::mt19937_64 random(seed);
    Run_t run;
    for (int s = 0; s < searches; ++s) {
        const Search_t search = makeSearch(random, bearingsPerSearch, reflections);
        for (int e = 0; e < 3; ++e) {
            FixOptions_t options;
            options.estimator = Estimator_t(e);
            tally(run.estimators[e], locate(search.bearings, options), search);
        }
        FixOptions_t fixedSigma;
        fixedSigma.estimator = ESTIMATOR_ML;
        fixedSigma.estimateSigma = false;
        tally(run.mlFixedSigma, locate(search.bearings, fixedSigma), search);
        double latitude = 0.0, longitude = 0.0;
        if (naiveFix(search.bearings, &latitude, &longitude)) {
            const double error = errorM(latitude, longitude, search);
            ++run.naive.fixes;
            run.naive.errors.push_back(error);
            run.naive.sumSquares += error * error;
            run.naive.crbSum += search.crbTrace;
        } else {
            ++run.naive.refused;
        }
    }
    return run;
}

void printRun(const char* title, const Run_t& run)
{
    std::printf("\n%s\n", title);
    std::printf("  %-22s %8s %10s %10s %10s %9s %10s\n", "method", "refused", "RMS m", "CRB RMS m", "RMS/CRB",
                "median m", "95% holds");
    for (int e = 0; e <= 3; ++e) {
        const Figures_t& f = e < 3 ? run.estimators[e] : run.mlFixedSigma;
        std::printf("  %-22s %7.1f%% %10.0f %10.0f %10.3f %9.0f %9.1f%%\n",
                    e < 3 ? qPrintable(estimatorName(Estimator_t(e))) : "ML, sigma kept at 5", f.refusedPercent(),
                    f.rms(), f.crbRms(), f.rms() / f.crbRms(), f.median(), f.coverage());
    }
    const Figures_t& n = run.naive;
    std::printf("  %-22s %7.1f%% %10.0f %10.0f %10.3f %9.0f %10s\n", "pairwise mean (naive)", n.refusedPercent(),
                n.rms(), n.crbRms(), n.rms() / n.crbRms(), n.median(), "-");
}

// Each estimator clean and with reflections, against the bound and the naive method.
void estimators(int searches, quint64 seed)
{
    const FixOptions_t defaults;
    const int offered = defaults.estimator;
    std::printf("\nEstimators: %d searches of %d bearings along %.0f km, beacon 3-8 km off, sigma %.0f deg\n", searches,
                bearingsPerSearch, trackM / 1000, sigmaDeg);
    std::printf("Estimator offered by default: %s\n", qPrintable(estimatorName(defaults.estimator)));
    const Run_t clean = monteCarlo(searches, 0.0, seed);
    printRun("Clean bearings (baselines: the Cramer-Rao bound and the naive method)", clean);
    const Run_t spoiled = monteCarlo(searches, 0.2, seed + 1);
    printRun("20 % of bearings replaced by reflections", spoiled);

    const Figures_t& ml = clean.estimators[ESTIMATOR_ML];
    const Figures_t& andrewsClean = clean.estimators[ESTIMATOR_ANDREWS];
    const Figures_t& andrewsSpoiled = spoiled.estimators[ESTIMATOR_ANDREWS];
    const Figures_t& mlSpoiled = spoiled.estimators[ESTIMATOR_ML];
    std::printf("\nTargets\n");
    for (int e = ESTIMATOR_ML; e <= ESTIMATOR_ANDREWS; ++e) {
        const Figures_t& figures = clean.estimators[e];
        std::printf("  %s clean: RMS / CRB = %.3f (at most 1.1), 95%% ellipse holds %.1f%% (93-97)\n",
                    qPrintable(estimatorName(Estimator_t(e))), figures.rms() / figures.crbRms(), figures.coverage());
        check(figures.rms() <= 1.1 * figures.crbRms(), "RMS error within 1.1x the Cramer-Rao bound");
        check(figures.coverage() >= 93.0 && figures.coverage() <= 97.0, "ellipse holds the truth in 93-97 %");
    }
    std::printf("  ML median / naive median = %.3f (at most 0.3)\n", ml.median() / clean.naive.median());
    check(ml.median() <= 0.3 * clean.naive.median(), "ML median error at most 0.3x the naive method's");
    std::printf("  default estimator refuses %.2f%% clean (at most 1), %.2f%% with reflections (at most 5)\n",
                clean.estimators[offered].refusedPercent(), spoiled.estimators[offered].refusedPercent());
    check(clean.estimators[offered].refusedPercent() <= 1.0 && spoiled.estimators[offered].refusedPercent() <= 5.0,
          "refusals of the default estimator");
    std::printf("  Andrews median with reflections / clean = %.3f (at most 1.3)\n",
                andrewsSpoiled.median() / andrewsClean.median());
    check(andrewsSpoiled.median() <= 1.3 * andrewsClean.median(), "Andrews holds its median under reflections");
    std::printf("  Andrews median / ML median, with reflections = %.3f (at most 0.5)\n",
                andrewsSpoiled.median() / mlSpoiled.median());
    check(andrewsSpoiled.median() <= 0.5 * mlSpoiled.median(), "Andrews beats ML under reflections");
    std::printf("  Andrews ellipse with reflections holds the truth in %.1f%% (at least 85); ML's in %.1f%%\n",
                andrewsSpoiled.coverage(), mlSpoiled.coverage());
    check(andrewsSpoiled.coverage() >= 85.0, "Andrews ellipse under reflections");

}

void speed(int, quint64 seed)
{
    const FixOptions_t defaults;
    // Speed: a fix from scratch of 10 000 bearings, and the update after one new
    // bearing of a platform with 1000, from the fix before it.
    std::mt19937_64 random(seed + 2);
    const Search_t big = makeSearch(random, 10000, 0.0);
    const double bigMs = medianMs(15, [&] { locate(big.bearings, defaults); });
    Search_t live = makeSearch(random, 1001, 0.0);
    const Bearing_t newest = live.bearings.takeLast();
    const Fix_t before = locate(live.bearings, defaults);
    live.bearings.append(newest);
    const double liveMs = medianMs(51, [&] { locate(live.bearings, defaults, before); });
    const double freshMs = medianMs(51, [&] { locate(live.bearings, defaults); });
    std::printf("\nSpeed (median)\n  fix from 10 000 bearings: %.2f ms (at most 20)\n", bigMs);
    check(bigMs <= 20.0, "fix from 10 000 bearings");
    std::printf("  live update, 1000 bearings: %.2f ms from the previous fix (at most 5); %.2f ms from scratch\n",
                liveMs, freshMs);
    check(liveMs <= 5.0, "live update with 1000 bearings");
}

const bool registered = addSection("estimators", estimators) && addSection("speed", speed);

} // namespace

// Usage: bench_locate [searches, default 5000] [seed] [section ...]; with no section named, all run.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int searches = argc > 1 ? std::max(100, atoi(argv[1])) : 5000;
    const quint64 seed = argc > 2 ? strtoull(argv[2], nullptr, 10) : 20261207;
    QStringList wanted;
    for (int k = 3; k < argc; ++k)
        wanted.append(QString::fromLocal8Bit(argv[k]));
    std::printf("Locate benchmark: %d searches per figure, seed %llu\n", searches, static_cast<unsigned long long>(seed));
    // Sections run in a fixed order whatever order their files were linked in.
    const char* order[] = {"estimators", "circle", "geodesy", "drift", "calibration", "guidance", "region", "speed"};
    for (const char* name : order)
        for (const SectionEntry_t& section : sections())
            if (qstrcmp(section.name, name) == 0 && (wanted.isEmpty() || wanted.contains(QLatin1String(name))))
                section.run(searches, seed);
    std::printf("\n%s\n", failures() ? "SOME TARGETS FAIL" : "All targets hold");
    return failures() ? 1 : 0;
}
