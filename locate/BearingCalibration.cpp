#include "locate/BearingCalibration.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "locate/Median.h"
#include "locate/RobustLoss.h"

namespace Vantrel::Locate {

namespace {

using GeographicLib::Geodesic;

constexpr double degree = M_PI / 180.0;
constexpr double normal975 = 1.959963984540054;
// Residuals beyond this many sigmas are reflections, not the receiver's scatter.
constexpr double inlierCut = 3.5;
// Bearings come in whole degrees: their rounding alone has this sigma, and no scale or cut
// below it makes sense (a MAD of zero when most bearings fall on one degree).
constexpr double minScaleDeg = 0.3;
// A spread this wide is no offset but bearings from anywhere.
constexpr double maxSpreadDeg = 30.0;
// Neighbours farther apart in time say nothing of the heading at a bearing.
constexpr qint64 maxHeadingGapMs = 10 * 60 * 1000;

double wrap180(double degrees)
{
    const double wrapped = std::remainder(degrees, 360.0);
    return wrapped >= 180.0 ? wrapped - 360.0 : wrapped;
}

double wrap360(double degrees)
{
    const double wrapped = std::fmod(degrees, 360.0);
    return wrapped < 0.0 ? wrapped + 360.0 : wrapped;
}

// Regularised lower incomplete gamma P(a, x): its series below a + 1, Lentz's continued
// fraction of the upper part above.
double gammaP(double a, double x)
{
    if (x <= 0.0) {
        return 0.0;
    }
    const double logFront = a * std::log(x) - x - std::lgamma(a);
    if (x < a + 1.0) {
        double term = 1.0 / a;
        double sum = term;
        for (int k = 1; k < 500 && std::fabs(term) > 1e-15 * std::fabs(sum); ++k) {
            term *= x / (a + k);
            sum += term;
        }
        return sum * std::exp(logFront);
    }
    const double tiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / tiny;
    double d = 1.0 / b;
    double h = d;
    for (int k = 1; k < 500; ++k) {
        const double an = -k * (k - a);
        b += 2.0;
        d = an * d + b;
        d = std::fabs(d) < tiny ? tiny : d;
        c = b + an / c;
        c = std::fabs(c) < tiny ? tiny : c;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < 1e-15) {
            break;
        }
    }
    return 1.0 - std::exp(logFront) * h;
}

// The p quantile of chi-square with dof degrees of freedom, by bisection on P.
double chiSquareQuantile(double p, double dof)
{
    double low = 0.0;
    double high = dof + 10.0 * std::sqrt(2.0 * dof) + 10.0;
    for (int k = 0; k < 200 && high - low > 1e-12 * high; ++k) {
        const double middle = 0.5 * (low + high);
        if (gammaP(0.5 * dof, 0.5 * middle) < p) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return 0.5 * (low + high);
}

// Student's t 97.5 % quantile by the Cornish–Fisher expansion about the normal one:
// within 0.001 of the table from four degrees of freedom on.
double student975(double dof)
{
    const double z = normal975;
    const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z, z9 = z7 * z * z;
    const double v = dof;
    return z + (z3 + z) / (4.0 * v) + (5.0 * z5 + 16.0 * z3 + 3.0 * z) / (96.0 * v * v) +
           (3.0 * z7 + 19.0 * z5 + 17.0 * z3 - 15.0 * z) / (384.0 * v * v * v) +
           (79.0 * z9 + 776.0 * z7 + 1482.0 * z5 - 1920.0 * z3 - 945.0 * z) / (92160.0 * v * v * v * v);
}

// The variance of a unit normal cut to ±c, to undo the cut in a sigma taken from inliers.
double truncatedVariance(double c)
{
    const double density = std::exp(-0.5 * c * c) / std::sqrt(2.0 * M_PI);
    const double inside = std::erf(c / std::sqrt(2.0));
    return 1.0 - 2.0 * c * density / inside;
}

// The point of the circle with the least sum of arc distances to the angles: the candidates
// are the angles themselves, thinned out evenly when there are many.
double circularMedian(const std::vector<double>& angles)
{
    std::vector<double> sorted(angles);
    std::sort(sorted.begin(), sorted.end());
    const size_t maxCandidates = 400;
    const size_t stride = std::max<size_t>(1, sorted.size() / maxCandidates);
    double best = sorted.front();
    double bestSum = std::numeric_limits<double>::infinity();
    for (size_t i = 0; i < sorted.size(); i += stride) {
        double sum = 0.0;
        for (double angle : sorted) {
            sum += std::fabs(wrap180(angle - sorted[i]));
        }
        if (sum < bestSum) {
            bestSum = sum;
            best = sorted[i];
        }
    }
    return best;
}

double medianAbsolute(const std::vector<double>& values)
{
    std::vector<double> absolute(values.size());
    std::transform(values.begin(), values.end(), absolute.begin(), [](double value) { return std::fabs(value); });
    return medianOf(std::move(absolute));
}

struct M_Estimate_t
{
    double standardError = 0.0;  // of the location, degrees
};

// The M-estimate of the location of the differences on a fixed scale, by Newton steps on the
// sum of psi from the location given; leaves the residuals about the new location.
M_Estimate_t mEstimate(Estimator_t estimator, double scale, double* location, std::vector<double>* residual,
                       const std::vector<double>& difference)
{
    const auto update = [&]() {
        for (size_t i = 0; i < difference.size(); ++i) {
            (*residual)[i] = wrap180(difference[i] - *location);
        }
    };
    M_Estimate_t estimate;
    scale = std::max(scale, minScaleDeg);
    const RobustLoss loss{estimator, scale * degree};
    double sumPsi2 = 0.0;
    double sumDpsi = 0.0;
    for (int iteration = 0; iteration < 100; ++iteration) {
        double sumPsi = 0.0;
        sumPsi2 = 0.0;
        sumDpsi = 0.0;
        for (double r : *residual) {
            const double u = r / scale;
            const double psi = loss.psi(u);
            sumPsi += psi;
            sumPsi2 += psi * psi;
            sumDpsi += loss.dpsi(u);
        }
        if (sumDpsi <= 0.0) {
            break;
        }
        const double step = scale * sumPsi / sumDpsi;
        *location = wrap180(*location + step);
        update();
        if (std::fabs(step) < 1e-10) {
            break;
        }
    }
    // Sandwich variance of an M-estimate of location: scale² Σψ² / (Σψ')².
    estimate.standardError = sumDpsi > 0.0 ? scale * std::sqrt(sumPsi2) / sumDpsi : 0.0;
    return estimate;
}

struct Inliers_t
{
    int count = 0;
    double sigma = 0.0;
    double cut = 0.0;  // residuals within it are inliers
};

// Sigma from the residuals within inlierCut sigmas, the cut made on the sigma itself from the
// start given until the inliers stay the same, and the cut's shrinking of the variance undone.
Inliers_t sigmaOfInliers(const std::vector<double>& residual, double start)
{
    const double correction = truncatedVariance(inlierCut);
    Inliers_t inliers;
    inliers.sigma = start;
    double sumSquares = 0.0;
    for (int round = 0; round < 20; ++round) {
        const double cut = inlierCut * std::max(inliers.sigma, minScaleDeg);
        int count = 0;
        sumSquares = 0.0;
        for (double r : residual) {
            if (std::fabs(r) <= cut) {
                ++count;
                sumSquares += r * r;
            }
        }
        const bool settled = count == inliers.count;
        inliers.count = count;
        inliers.cut = cut;
        if (count < 2) {
            return inliers;
        }
        inliers.sigma = std::sqrt(sumSquares / (count - 1) / correction);
        if (settled) {
            break;
        }
    }
    // Reflections come from anywhere: as many fall within the cut, for its width, as fell
    // outside it. Their expected share comes out of the sum of squares (never more than a
    // quarter of it: the share is a guess from few).
    const double outside = double(residual.size()) - inliers.count;
    const double within = inliers.cut < 180.0 ? outside * 2.0 * inliers.cut / (360.0 - 2.0 * inliers.cut) : 0.0;
    const double background = std::min(within * inliers.cut * inliers.cut / 3.0, 0.25 * sumSquares);
    const double kept = std::max(inliers.count - within, 2.0);
    inliers.sigma = std::sqrt((sumSquares - background) / (kept - 1.0) / correction);
    return inliers;
}

} // namespace

void Calibration_t::applyTo(FixOptions_t* options) const
{
    if (!ok) {
        return;
    }
    options->offsetDeg = offsetDeg;
    // The fix refuses a sigma of zero; noiseless calibration bearings still leave the fix some.
    options->sigmaDeg = std::max(sigmaDeg, 0.1);
    options->estimateSigma = false;
}

QVector<CalibrationPair_t> BearingCalibration::pairsFromPayload(const SearchLog::Platform_t& platform, qint64 maxGapMs)
{
    std::vector<SearchLog::PayloadPosition_t> positions;
    for (const SearchLog::PayloadPosition_t& position : platform.payloadPositions) {
        if (position.timeMs != 0) {
            positions.push_back(position);
        }
    }
    std::sort(positions.begin(), positions.end(),
              [](const auto& left, const auto& right) { return left.timeMs < right.timeMs; });
    QVector<CalibrationPair_t> pairs;
    if (positions.empty()) {
        return pairs;
    }
    for (int k = 0; k < platform.bearings.size(); ++k) {
        const Bearing_t& bearing = platform.bearings.at(k);
        if (bearing.timeMs == 0) {
            continue;
        }
        auto after = std::lower_bound(positions.begin(), positions.end(), bearing.timeMs,
                                      [](const auto& position, qint64 timeMs) { return position.timeMs < timeMs; });
        auto nearest = after;
        if (after == positions.end() ||
            (after != positions.begin() && bearing.timeMs - (after - 1)->timeMs < after->timeMs - bearing.timeMs)) {
            nearest = after - 1;
        }
        if (std::llabs(nearest->timeMs - bearing.timeMs) > maxGapMs) {
            continue;
        }
        pairs.append({bearing, nearest->latitude, nearest->longitude, k});
    }
    return pairs;
}

QVector<CalibrationPair_t> BearingCalibration::pairsFromReference(const QVector<Bearing_t>& bearings, double latitude,
                                                                  double longitude)
{
    QVector<CalibrationPair_t> pairs;
    pairs.reserve(bearings.size());
    for (int k = 0; k < bearings.size(); ++k) {
        pairs.append({bearings.at(k), latitude, longitude, k});
    }
    return pairs;
}

QVector<double> BearingCalibration::headings(const QVector<CalibrationPair_t>& pairs)
{
    QVector<int> order(pairs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&pairs](int left, int right) {
        return pairs.at(left).bearing.timeMs < pairs.at(right).bearing.timeMs;
    });
    const auto near = [&pairs](int a, int b) {
        const qint64 ta = pairs.at(a).bearing.timeMs;
        const qint64 tb = pairs.at(b).bearing.timeMs;
        return ta == 0 || tb == 0 || std::llabs(ta - tb) <= maxHeadingGapMs;
    };
    const Geodesic& geodesic = Geodesic::WGS84();
    QVector<double> heading(pairs.size(), qQNaN());
    for (int k = 0; k < order.size(); ++k) {
        const int here = order.at(k);
        const int before = k > 0 && near(order.at(k - 1), here) ? order.at(k - 1) : here;
        const int after = k + 1 < order.size() && near(order.at(k + 1), here) ? order.at(k + 1) : here;
        if (before == after) {
            continue;
        }
        const Bearing_t& from = pairs.at(before).bearing;
        const Bearing_t& to = pairs.at(after).bearing;
        double distance = 0.0, azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(from.latitude, from.longitude, to.latitude, to.longitude, distance, azimuth, arrival);
        if (distance >= minHeadingMoveM) {
            heading[here] = wrap360(azimuth);
        }
    }
    return heading;
}

Calibration_t BearingCalibration::calibrate(const QVector<CalibrationPair_t>& pairs, Estimator_t estimator)
{
    Calibration_t result;
    result.estimator = estimator;
    result.residualDeg.fill(qQNaN(), pairs.size());
    result.relativeDeg.fill(qQNaN(), pairs.size());
    result.inlierFlags.fill(false, pairs.size());

    // Measured minus true azimuth per usable pair: the negative of the offset plus noise.
    const Geodesic& geodesic = Geodesic::WGS84();
    const QVector<double> heading = headings(pairs);
    std::vector<int> usedIndex;
    std::vector<double> difference;
    for (int k = 0; k < pairs.size(); ++k) {
        const CalibrationPair_t& pair = pairs.at(k);
        if (!std::isfinite(pair.bearing.azimuth) || !std::isfinite(pair.sourceLatitude) ||
            !std::isfinite(pair.sourceLongitude)) {
            continue;
        }
        double distance = 0.0, azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(pair.bearing.latitude, pair.bearing.longitude, pair.sourceLatitude, pair.sourceLongitude,
                         distance, azimuth, arrival);
        // On top of the source the true azimuth means nothing.
        if (!std::isfinite(distance) || distance < 1.0) {
            continue;
        }
        usedIndex.push_back(k);
        difference.push_back(wrap180(pair.bearing.azimuth - azimuth));
        if (std::isfinite(heading.at(k))) {
            result.relativeDeg[k] = wrap360(azimuth - heading.at(k));
        }
    }
    const int n = int(difference.size());
    result.used = n;
    if (n < minPairs) {
        result.reason = QStringLiteral("A calibration needs at least %1 bearings of a source whose position is known; "
                                       "there are %2")
                            .arg(minPairs)
                            .arg(n);
        return result;
    }

    // Location of the circular differences: started at their median, scaled by their MAD,
    // then the M-estimate; once the inliers give a sigma, the M-estimate again on that
    // steadier scale.
    double location = circularMedian(difference);
    std::vector<double> residual(size_t(n), 0.0);
    const auto updateResiduals = [&]() {
        for (int i = 0; i < n; ++i) {
            residual[size_t(i)] = wrap180(difference[size_t(i)] - location);
        }
    };
    updateResiduals();
    const double mad = 1.482602218505602 * medianAbsolute(residual);
    if (mad > maxSpreadDeg) {
        result.reason = QStringLiteral("The bearings scatter by %1° around the true directions: no offset shows")
                            .arg(mad, 0, 'f', 0);
        return result;
    }
    M_Estimate_t estimate = mEstimate(estimator, mad, &location, &residual, difference);
    Inliers_t inliers = sigmaOfInliers(residual, mad);
    if (inliers.count >= minPairs) {
        estimate = mEstimate(estimator, inliers.sigma, &location, &residual, difference);
        inliers = sigmaOfInliers(residual, inliers.sigma);
    }
    if (inliers.count < minPairs) {
        result.reason = QStringLiteral("Only %1 of %2 bearings agree on an offset; at least %3 must")
                            .arg(inliers.count)
                            .arg(n)
                            .arg(minPairs);
        return result;
    }
    result.offsetDeg = -location;
    const double half = student975(n - 1) * estimate.standardError;
    result.offsetLowDeg = result.offsetDeg - half;
    result.offsetHighDeg = result.offsetDeg + half;

    const double dof = inliers.count - 1;
    result.inliers = inliers.count;
    result.sigmaDeg = inliers.sigma;
    result.sigmaLowDeg = inliers.sigma * std::sqrt(dof / chiSquareQuantile(0.975, dof));
    result.sigmaHighDeg = inliers.sigma * std::sqrt(dof / chiSquareQuantile(0.025, dof));
    for (int i = 0; i < n; ++i) {
        const int k = usedIndex[size_t(i)];
        result.residualDeg[k] = residual[size_t(i)];
        result.inlierFlags[k] = std::fabs(residual[size_t(i)]) <= inliers.cut;
    }
    result.ok = true;
    return result;
}

} // namespace Vantrel::Locate
