// Monte Carlo of simulated searches: each estimator's error and ellipse against
// the Cramér–Rao bound and the mean of pairwise crossings (the naive method),
// clean and with reflections, then the time of a fix.
// Usage: bench_locate [searches, default 5000] [seed]
#include <GeographicLib/Geodesic.hpp>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "locate/BearingFix.h"
#include "locate/LocalFrame.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

constexpr double degree = M_PI / 180.0;
constexpr double sigmaDeg = 5.0;
constexpr int bearingsPerSearch = 20;
constexpr double trackM = 4000.0;

struct Search_t
{
    QVector<Bearing_t> bearings;
    double truthLatitude = 0.0;
    double truthLongitude = 0.0;
    double crbTrace = 0.0;  // m², trace of the bound's covariance at the truth
};

// A drive of trackM along a random heading somewhere in mid latitudes, the beacon
// 3–8 km from the middle within 45° of the normal; bearings evenly spaced on it.
Search_t makeSearch(std::mt19937_64& random, int count, double reflections)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    Search_t search;
    const double middleLatitude = -60.0 + 120.0 * uniform(random);
    const double middleLongitude = -180.0 + 360.0 * uniform(random);
    const double heading = 360.0 * uniform(random);
    const double side = uniform(random) < 0.5 ? 90.0 : -90.0;
    const double off = -45.0 + 90.0 * uniform(random);
    const double range = 3000.0 + 5000.0 * uniform(random);
    geodesic.Direct(middleLatitude, middleLongitude, heading + side + off, range, search.truthLatitude,
                    search.truthLongitude);
    double startLatitude = 0.0, startLongitude = 0.0;
    geodesic.Direct(middleLatitude, middleLongitude, heading + 180.0, trackM / 2, startLatitude, startLongitude);
    const LocalFrame frame(search.truthLatitude, search.truthLongitude);
    double fEE = 0.0, fEN = 0.0, fNN = 0.0;
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        double azimuth1 = 0.0, azimuth2 = 0.0;
        geodesic.Direct(startLatitude, startLongitude, heading, trackM * k / (count - 1), bearing.latitude,
                        bearing.longitude, azimuth2);
        double distance = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, search.truthLatitude, search.truthLongitude, distance,
                         azimuth1, azimuth2);
        bearing.azimuth = uniform(random) < reflections ? 360.0 * uniform(random)
                                                         : std::fmod(azimuth1 + noise(random) + 720.0, 360.0);
        bearing.timeMs = 1000 * k;
        search.bearings.append(bearing);
        // Gradient of the azimuth to the truth, per metre of the truth's position.
        double east = 0.0, north = 0.0;
        frame.forward(bearing.latitude, bearing.longitude, &east, &north);
        const double d2 = east * east + north * north;
        const double gx = -north / d2;
        const double gy = east / d2;
        fEE += gx * gx;
        fEN += gx * gy;
        fNN += gy * gy;
    }
    const double s2 = sigmaDeg * degree * sigmaDeg * degree;
    const double det = fEE * fNN - fEN * fEN;
    search.crbTrace = s2 * (fEE + fNN) / det;
    return search;
}

double errorM(double latitude, double longitude, const Search_t& search)
{
    double distance = 0.0;
    Geodesic::WGS84().Inverse(latitude, longitude, search.truthLatitude, search.truthLongitude, distance);
    return distance;
}

bool ellipseHolds(const Fix_t& fix, const Search_t& search)
{
    const LocalFrame frame(fix.latitude, fix.longitude);
    double east = 0.0, north = 0.0;
    frame.forward(search.truthLatitude, search.truthLongitude, &east, &north);
    const double azimuth = fix.majorAzimuthDeg * degree;
    const double along = east * std::sin(azimuth) + north * std::cos(azimuth);
    const double across = east * std::cos(azimuth) - north * std::sin(azimuth);
    return std::pow(along / fix.semiMajorM, 2) + std::pow(across / fix.semiMinorM, 2) <= 1.0;
}

// The naive method: the mean of the crossings of every pair of bearing lines.
bool naiveFix(const QVector<Bearing_t>& bearings, double* latitude, double* longitude)
{
    const LocalFrame frame(bearings.first().latitude, bearings.first().longitude);
    std::vector<double> x, y, t;
    for (const Bearing_t& bearing : bearings) {
        double east = 0.0, north = 0.0;
        t.push_back(frame.gridAzimuth(bearing.latitude, bearing.longitude, bearing.azimuth, &east, &north) * degree);
        x.push_back(east);
        y.push_back(north);
    }
    double sumX = 0.0, sumY = 0.0;
    int pairs = 0;
    for (size_t i = 0; i < x.size(); ++i)
        for (size_t j = i + 1; j < x.size(); ++j) {
            const double ux = std::sin(t[i]), uy = std::cos(t[i]), vx = std::sin(t[j]), vy = std::cos(t[j]);
            const double cross = ux * vy - uy * vx;
            if (std::fabs(cross) < 1e-9)
                continue;
            const double s = ((x[j] - x[i]) * vy - (y[j] - y[i]) * vx) / cross;
            sumX += x[i] + s * ux;
            sumY += y[i] + s * uy;
            ++pairs;
        }
    if (!pairs)
        return false;
    frame.reverse(sumX / pairs, sumY / pairs, latitude, longitude);
    return true;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

struct Figures_t
{
    int refused = 0;
    int fixes = 0;
    int held = 0;
    double sumSquares = 0.0;
    double crbSum = 0.0;  // over the same searches
    std::vector<double> errors;
    double rms() const { return std::sqrt(sumSquares / std::max(fixes, 1)); }
    double crbRms() const { return std::sqrt(crbSum / std::max(fixes, 1)); }
    double median() const { return medianOf(errors); }
    double coverage() const { return 100.0 * held / std::max(fixes, 1); }
    double refusedPercent() const { return 100.0 * refused / std::max(fixes + refused, 1); }
};

struct Run_t
{
    Figures_t estimators[3];
    Figures_t mlFixedSigma;  // ML with the user's 5° kept, never estimated
    Figures_t naive;
};

void tally(Figures_t& figures, const Fix_t& fix, const Search_t& search);

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

void tally(Figures_t& figures, const Fix_t& fix, const Search_t& search)
{
    if (!fix.ok()) {
        ++figures.refused;
        return;
    }
    const double error = errorM(fix.latitude, fix.longitude, search);
    ++figures.fixes;
    figures.errors.push_back(error);
    figures.sumSquares += error * error;
    figures.crbSum += search.crbTrace;
    figures.held += ellipseHolds(fix, search) ? 1 : 0;
}

int failures = 0;

void check(bool holds, const char* what)
{
    std::printf("  [%s] %s\n", holds ? "ok" : "FAILS", what);
    failures += holds ? 0 : 1;
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

template <typename Work>
double medianMs(int repeats, Work work)
{
    std::vector<double> times;
    for (int k = 0; k < repeats; ++k) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return medianOf(times);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int searches = argc > 1 ? std::max(100, atoi(argv[1])) : 5000;
    const quint64 seed = argc > 2 ? strtoull(argv[2], nullptr, 10) : 20261207;
    const FixOptions_t defaults;
    const int offered = defaults.estimator;
    std::printf("Locate: %d searches of %d bearings along %.0f km, beacon 3-8 km off, sigma %.0f deg, seed %llu\n",
                searches, bearingsPerSearch, trackM / 1000, sigmaDeg, static_cast<unsigned long long>(seed));
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
    std::printf("  ML RMS / CRB = %.3f (at most 1.1)\n", ml.rms() / ml.crbRms());
    check(ml.rms() <= 1.1 * ml.crbRms(), "ML RMS error within 1.1x the Cramer-Rao bound");
    std::printf("  ML median / naive median = %.3f (at most 0.3)\n", ml.median() / clean.naive.median());
    check(ml.median() <= 0.3 * clean.naive.median(), "ML median error at most 0.3x the naive method's");
    std::printf("  ML 95%% ellipse holds the truth in %.1f%% (90-98)\n", ml.coverage());
    check(ml.coverage() >= 90.0 && ml.coverage() <= 98.0, "ML ellipse calibrated");
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
    std::printf("\n%s\n", failures ? "SOME TARGETS FAIL" : "All targets hold");
    return failures ? 1 : 0;
}
