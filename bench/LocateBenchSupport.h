// What the sections of the Locate benchmark share: simulated searches and their figures.
#pragma once

#include <GeographicLib/Geodesic.hpp>
#include <QElapsedTimer>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "locate/BearingFix.h"
#include "locate/LocalFrame.h"

namespace LocateBench {

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;


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
// 3–8 km from the middle within 45° of the normal; bearings evenly spaced on it, with
// the receiver's own sigma and a compass bias added to every bearing it measures (the
// offset that puts it right is -biasDeg); the bound is for that sigma.
inline Search_t makeBiasedSearch(std::mt19937_64& random, int count, double reflections, double sigma,
                                 double biasDeg)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigma);
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
        bearing.azimuth = uniform(random) < reflections
                              ? 360.0 * uniform(random)
                              : std::fmod(azimuth1 + biasDeg + noise(random) + 720.0, 360.0);
        bearing.timeMs = 1000 * k;
        search.bearings.append(bearing);
        double east = 0.0, north = 0.0;
        frame.forward(bearing.latitude, bearing.longitude, &east, &north);
        const double d2 = east * east + north * north;
        const double gx = -north / d2;
        const double gy = east / d2;
        fEE += gx * gx;
        fEN += gx * gy;
        fNN += gy * gy;
    }
    const double s2 = sigma * degree * sigma * degree;
    search.crbTrace = s2 * (fEE + fNN) / (fEE * fNN - fEN * fEN);
    return search;
}

// The same with the benchmark's sigma and no bias.
inline Search_t makeSearch(std::mt19937_64& random, int count, double reflections)
{
    return makeBiasedSearch(random, count, reflections, sigmaDeg, 0.0);
}

inline double errorM(double latitude, double longitude, const Search_t& search)
{
    double distance = 0.0;
    Geodesic::WGS84().Inverse(latitude, longitude, search.truthLatitude, search.truthLongitude, distance);
    return distance;
}

inline bool ellipseHolds(const Fix_t& fix, const Search_t& search)
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
inline bool naiveFix(const QVector<Bearing_t>& bearings, double* latitude, double* longitude)
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

inline double medianOf(std::vector<double> values)
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

inline void tally(Figures_t& figures, const Fix_t& fix, const Search_t& search)
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

// The bound's trace, m², of bearings taken from (east, north) points around the truth at the origin.
inline double boundTrace(const std::vector<std::pair<double, double>>& points, double sigmaDegrees)
{
    double fEE = 0.0, fEN = 0.0, fNN = 0.0;
    for (const auto& [east, north] : points) {
        const double d2 = east * east + north * north;
        const double gx = -north / d2;
        const double gy = east / d2;
        fEE += gx * gx;
        fEN += gx * gy;
        fNN += gy * gy;
    }
    const double s2 = std::pow(sigmaDegrees * degree, 2);
    return s2 * (fEE + fNN) / (fEE * fNN - fEN * fEN);
}

// A drive round a circle of `radius`, `count` bearings evenly spaced on it, the beacon
// anywhere within `within` of its centre; the bound is that of the bearings that are
// not reflections.
inline Search_t makeCircleSearch(std::mt19937_64& random, int count, double radius, double within, double reflections)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, sigmaDeg);
    Search_t search;
    const double centreLatitude = -60.0 + 120.0 * uniform(random);
    const double centreLongitude = -180.0 + 360.0 * uniform(random);
    double back = 0.0;
    geodesic.Direct(centreLatitude, centreLongitude, 360.0 * uniform(random), within * std::sqrt(uniform(random)),
                    search.truthLatitude, search.truthLongitude, back);
    const LocalFrame frame(search.truthLatitude, search.truthLongitude);
    const double phase = 360.0 * uniform(random);
    std::vector<std::pair<double, double>> good;
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        geodesic.Direct(centreLatitude, centreLongitude, phase + 360.0 * k / count, radius, bearing.latitude,
                        bearing.longitude, back);
        double distance = 0.0, azimuth1 = 0.0, azimuth2 = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, search.truthLatitude, search.truthLongitude, distance,
                         azimuth1, azimuth2);
        const bool reflected = uniform(random) < reflections;
        bearing.azimuth = reflected ? 360.0 * uniform(random) : std::fmod(azimuth1 + noise(random) + 720.0, 360.0);
        bearing.timeMs = 60000 * k;
        search.bearings.append(bearing);
        if (!reflected) {
            double east = 0.0, north = 0.0;
            frame.forward(bearing.latitude, bearing.longitude, &east, &north);
            good.emplace_back(east, north);
        }
    }
    search.crbTrace = good.size() >= 3 ? boundTrace(good, sigmaDeg) : NAN;
    return search;
}

// The truth's distance from the fix in semi-major axes of its 95 % ellipse.
inline double errorInAxes(const Fix_t& fix, const Search_t& search)
{
    return errorM(fix.latitude, fix.longitude, search) / fix.semiMajorM;
}

// The benchmark's count of targets that fail.
inline int& failures()
{
    static int count = 0;
    return count;
}

inline void check(bool holds, const char* what)
{
    std::printf("  [%s] %s\n", holds ? "ok" : "FAILS", what);
    failures() += holds ? 0 : 1;
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

// A section of the benchmark: its figures over `searches` searches from `seed`.
using Section_t = void (*)(int searches, quint64 seed);
struct SectionEntry_t
{
    const char* name;
    Section_t run;
};
inline std::vector<SectionEntry_t>& sections()
{
    static std::vector<SectionEntry_t> all;
    return all;
}
// Each section's file registers itself at start-up: static const bool registered = addSection("name", run);
inline bool addSection(const char* name, Section_t run)
{
    sections().push_back({name, run});
    return true;
}

} // namespace LocateBench
