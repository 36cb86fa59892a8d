#include "locate/DriftFix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "locate/LocalFrame.h"
#include "locate/RobustLoss.h"
#include "locate/TwoDofQuantile.h"

namespace Vantrel::Locate {

namespace {

constexpr double degree = M_PI / 180.0;
constexpr int maxIterations = 100;
constexpr double convergedStepM = 0.1;
constexpr int trackPoints = 5;

// A bearing on the plane with its time, seconds before the last bearing (zero or negative).
struct Ray_t
{
    double x;
    double y;
    double sinTheta;
    double cosTheta;
    double tau;
    int index;  // in the caller's list
};

// Position at the last bearing time, then velocity: east, north, east per second, north per second.
using Vector_t = std::array<double, 4>;
using Matrix_t = std::array<Vector_t, 4>;

// Residual of a ray and the gradient of its predicted azimuth by the four parameters.
struct Residual_t
{
    double r;
    Vector_t g;
};

Residual_t residualAt(const Ray_t& ray, const Vector_t& q)
{
    const double dx = q[0] + q[2] * ray.tau - ray.x;
    const double dy = q[1] + q[3] * ray.tau - ray.y;
    const double d2 = std::max(dx * dx + dy * dy, 1e-6);
    // The angle from the direction to the platform to the measured one, without wrapping.
    const double r = std::atan2(ray.sinTheta * dy - ray.cosTheta * dx, ray.sinTheta * dx + ray.cosTheta * dy);
    const double gx = dy / d2, gy = -dx / d2;
    return {r, {gx, gy, gx * ray.tau, gy * ray.tau}};
}

void addOuter(Matrix_t& m, double weight, const Vector_t& g)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            m[i][j] += weight * g[i] * g[j];
        }
    }
}

// Cholesky factor of the leading `dim` block of a positive definite m, false when it is not.
bool cholesky(const Matrix_t& m, int dim, Matrix_t* factor)
{
    Matrix_t l{};
    for (int j = 0; j < dim; ++j) {
        double diagonal = m[j][j];
        for (int k = 0; k < j; ++k) {
            diagonal -= l[j][k] * l[j][k];
        }
        if (!(diagonal > 1e-14 * std::fabs(m[j][j])) || !(diagonal > 0.0)) {
            return false;
        }
        l[j][j] = std::sqrt(diagonal);
        for (int i = j + 1; i < dim; ++i) {
            double sum = m[i][j];
            for (int k = 0; k < j; ++k) {
                sum -= l[i][k] * l[j][k];
            }
            l[i][j] = sum / l[j][j];
        }
    }
    *factor = l;
    return true;
}

Vector_t solveWith(const Matrix_t& l, int dim, Vector_t b)
{
    for (int i = 0; i < dim; ++i) {
        for (int k = 0; k < i; ++k) {
            b[i] -= l[i][k] * b[k];
        }
        b[i] /= l[i][i];
    }
    for (int i = dim - 1; i >= 0; --i) {
        for (int k = i + 1; k < dim; ++k) {
            b[i] -= l[k][i] * b[k];
        }
        b[i] /= l[i][i];
    }
    return b;
}

bool invert(const Matrix_t& m, Matrix_t* inverse)
{
    Matrix_t l{};
    if (!cholesky(m, 4, &l)) {
        return false;
    }
    for (int j = 0; j < 4; ++j) {
        Vector_t unit{};
        unit[j] = 1.0;
        const Vector_t column = solveWith(l, 4, unit);
        for (int i = 0; i < 4; ++i) {
            (*inverse)[i][j] = column[i];
        }
    }
    return true;
}

Matrix_t product(const Matrix_t& a, const Matrix_t& b)
{
    Matrix_t c{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                c[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return c;
}

// The loss at q and the normal equations of a reweighted least-squares step from it.
struct Pass_t
{
    double loss = 0.0;
    Matrix_t normal{};  // sum of w g g'
    Vector_t right{};   // sum of w g r
};

Pass_t pass(const std::vector<Ray_t>& rays, const RobustLoss& loss, const Vector_t& q)
{
    Pass_t sums;
    for (const Ray_t& ray : rays) {
        const Residual_t res = residualAt(ray, q);
        const double u = res.r / loss.sigma;
        const double w = loss.weight(u);
        sums.loss += loss.rho(u);
        addOuter(sums.normal, w, res.g);
        for (int i = 0; i < 4; ++i) {
            sums.right[i] += w * res.g[i] * res.r;
        }
    }
    return sums;
}

struct Solution_t
{
    Vector_t q{};
    double loss = 0.0;
    bool converged = false;
    int iterations = 0;
};

// Iteratively reweighted least squares from start, each step halved until the loss falls.
// With dim 2 the velocity stays where it starts: the still model on the same bearings.
Solution_t descend(const std::vector<Ray_t>& rays, const RobustLoss& loss, const Vector_t& start, int dim,
                   double spanS)
{
    Solution_t solution;
    solution.q = start;
    Pass_t current = pass(rays, loss, start);
    solution.loss = current.loss;
    for (int iteration = 1; iteration <= maxIterations; ++iteration) {
        solution.iterations = iteration;
        Matrix_t l{};
        if (!cholesky(current.normal, dim, &l)) {
            return solution;
        }
        Vector_t step = solveWith(l, dim, current.right);
        for (int i = dim; i < 4; ++i) {
            step[i] = 0.0;
        }
        for (int halving = 0; halving < 30; ++halving) {
            Vector_t next = solution.q;
            for (int i = 0; i < 4; ++i) {
                next[i] += step[i];
            }
            const Pass_t there = pass(rays, loss, next);
            if (there.loss <= current.loss) {
                solution.q = next;
                current = there;
                break;
            }
            for (double& component : step) {
                component *= 0.5;
            }
        }
        solution.loss = current.loss;
        // A velocity step moves the platform farthest at the first bearing.
        if (std::hypot(step[0], step[1]) < convergedStepM && std::hypot(step[2], step[3]) * spanS < convergedStepM) {
            solution.converged = true;
            return solution;
        }
    }
    return solution;
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle];
}

// A symmetric 2×2 block in plane axes turned `angle` radians clockwise, as BearingFix turns its covariance.
void turned(double ee, double en, double nn, double angle, double* outEE, double* outEN, double* outNN)
{
    const double c = std::cos(angle), s = std::sin(angle);
    *outEE = c * c * ee + 2.0 * c * s * en + s * s * nn;
    *outEN = (c * c - s * s) * en + c * s * (nn - ee);
    *outNN = s * s * ee - 2.0 * c * s * en + c * c * nn;
}

DriftFix_t refused(DriftFix_t drift, Refusal_t refusal, const QString& reason)
{
    drift.refusal = refusal;
    drift.reason = reason;
    return drift;
}

} // namespace

DriftFix_t locateDrifting(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& still)
{
    DriftFix_t drift;
    drift.estimator = options.estimator;
    if (!still.ok()) {
        return refused(drift, still.refusal, still.reason);
    }

    // The timed bearings in the window, on a plane centred on their receivers.
    QVector<int> usedIndexes;
    double latitudeSum = 0.0, longitudeSum = 0.0;
    qint64 firstMs = std::numeric_limits<qint64>::max(), lastMs = std::numeric_limits<qint64>::min();
    for (int i = 0; i < bearings.size(); ++i) {
        const Bearing_t& bearing = bearings.at(i);
        if (bearing.timeMs == 0 || (options.fromMs && bearing.timeMs < options.fromMs)
            || (options.toMs && bearing.timeMs > options.toMs)) {
            continue;
        }
        if (!std::isfinite(bearing.latitude) || !std::isfinite(bearing.longitude) || !std::isfinite(bearing.azimuth)
            || std::fabs(bearing.latitude) > 90.0) {
            continue;
        }
        usedIndexes.append(i);
        latitudeSum += bearing.latitude;
        longitudeSum += std::remainder(bearing.longitude - bearings.at(usedIndexes.first()).longitude, 360.0);
        firstMs = std::min(firstMs, bearing.timeMs);
        lastMs = std::max(lastMs, bearing.timeMs);
    }
    drift.used = usedIndexes.size();
    if (drift.used < minBearingsForDrift) {
        return refused(drift, REFUSAL_TOO_FEW,
                       QStringLiteral("Fewer than %1 bearings with a time for a drift").arg(minBearingsForDrift));
    }
    if (firstMs == lastMs) {
        return refused(drift, REFUSAL_TOO_FEW, QStringLiteral("All bearings were taken at one time"));
    }
    drift.timeMs = lastMs;
    const double spanS = double(lastMs - firstMs) / 1000.0;
    const double originLongitude = bearings.at(usedIndexes.first()).longitude + longitudeSum / drift.used;
    const LocalFrame frame(latitudeSum / drift.used, originLongitude);
    std::vector<Ray_t> rays;
    rays.reserve(usedIndexes.size());
    for (int i : usedIndexes) {
        const Bearing_t& bearing = bearings.at(i);
        Ray_t ray{};
        const double theta = frame.gridAzimuth(bearing.latitude, bearing.longitude, bearing.azimuth + options.offsetDeg,
                                               &ray.x, &ray.y) * degree;
        ray.sinTheta = std::sin(theta);
        ray.cosTheta = std::cos(theta);
        ray.tau = double(bearing.timeMs - lastMs) / 1000.0;
        ray.index = i;
        rays.push_back(ray);
    }

    const double userSigma = std::max(options.sigmaDeg, 0.1) * degree;
    RobustLoss loss{options.estimator, userSigma};
    Vector_t start{};
    frame.forward(still.latitude, still.longitude, &start[0], &start[1]);
    Solution_t solution = descend(rays, loss, start, 4, spanS);
    const int n = drift.used;
    const bool estimate = options.estimateSigma && n >= FixOptions_t::minBearingsForSigma;
    double sigma = userSigma;
    // Bearings repeated at one spot err together, which this model does not know: with
    // them, never below the still fix's sigma, which does, or a sigma collapsed on a
    // parked spot would call every still beacon drifting. Whole degrees show no less
    // than the receiver's step.
    const double stillSigma = still.spots < still.used ? still.sigmaDeg * degree : quantisedSigma;
    if (estimate && solution.converged) {
        if (options.estimator == ESTIMATOR_ML) {
            double sum = 0.0;
            for (const Ray_t& ray : rays) {
                sum += 2.0 * (1.0 - std::cos(residualAt(ray, solution.q).r));
            }
            sigma = std::max(std::sqrt(sum / (n - 4)), stillSigma);
            loss.sigma = sigma;
            solution.loss = pass(rays, loss, solution.q).loss;
        } else {
            // As the still fix: the scale from the median absolute residual, then the descent again with it.
            std::vector<double> absolute;
            absolute.reserve(rays.size());
            for (const Ray_t& ray : rays) {
                absolute.push_back(std::fabs(residualAt(ray, solution.q).r));
            }
            sigma = std::max(1.4826 * median(absolute), stillSigma);
            loss.sigma = sigma;
            const int previousIterations = solution.iterations;
            solution = descend(rays, loss, solution.q, 4, spanS);
            solution.iterations += previousIterations;
        }
    }
    drift.iterations = solution.iterations;
    if (!solution.converged) {
        return refused(drift, REFUSAL_NO_CONVERGENCE, QStringLiteral("The drift estimate did not converge"));
    }
    // The still model on the same bearings under the same sigma, for the test between them.
    const Solution_t stillAgain = descend(rays, loss, {start[0], start[1], 0.0, 0.0}, 2, spanS);
    drift.stillLoss = stillAgain.loss;
    drift.driftLoss = solution.loss;

    Matrix_t fisher{};  // sum of g g'
    Matrix_t bend{};    // sum of psi' g g'
    Matrix_t spread{};  // sum of psi² g g'
    double inliers = 0.0, curvatureSum = 0.0, curvatureSquares = 0.0;
    for (const Ray_t& ray : rays) {
        const Residual_t res = residualAt(ray, solution.q);
        const double u = res.r / sigma;
        drift.downWeighted += loss.weight(u) < 0.5 ? 1 : 0;
        const double curvature = std::max(loss.dpsi(u), 0.0);
        addOuter(fisher, 1.0, res.g);
        addOuter(bend, curvature, res.g);
        addOuter(spread, loss.psi(u) * loss.psi(u), res.g);
        inliers += curvature > 0.0 ? 1.0 : 0.0;
        curvatureSum += curvature;
        curvatureSquares += curvature * curvature;
    }
    // The covariance of the same kind as the still fix's: Fisher for ML, the information of
    // the bearings listened to under the user's sigma, Huber's sandwich under an estimated one.
    const bool ml = options.estimator == ESTIMATOR_ML;
    const bool sandwich = !ml && estimate;
    const QString parallel = QStringLiteral("The bearings cannot tell a drift from a still platform");
    Matrix_t inverse{};
    if (!invert(ml ? fisher : bend, &inverse) || (sandwich && inliers < 5.0)) {
        return refused(drift, REFUSAL_PARALLEL, parallel);
    }
    Matrix_t covariance{};
    double scale = sigma * sigma;
    if (sandwich) {
        const double meanCurvature = curvatureSum / n;
        const double correction =
            1.0 + 4.0 / n * (curvatureSquares / n - meanCurvature * meanCurvature) / (meanCurvature * meanCurvature);
        covariance = product(product(inverse, spread), inverse);
        scale *= correction * correction * inliers / (inliers - 4.0);
    } else {
        covariance = inverse;
    }
    drift.sigmaDegreesOfFreedom = sandwich ? inliers - 4.0 : (estimate ? n - 4.0 : 0.0);
    const double quantile = twoDofQuantile(0.05, sandwich || (ml && estimate), drift.sigmaDegreesOfFreedom);

    const double pEE = scale * covariance[0][0], pEN = scale * covariance[0][1], pNN = scale * covariance[1][1];
    const double mean = 0.5 * (pEE + pNN);
    const double half = std::hypot(0.5 * (pEE - pNN), pEN);
    drift.semiMajorM = std::sqrt(quantile * (mean + half));
    drift.semiMinorM = std::sqrt(quantile * std::max(mean - half, 0.0));
    const Vector_t& q = solution.q;
    // As the still fix: an ellipse far larger than the search says the bearings barely tell where it is.
    double baseline = 0.0;
    for (const Ray_t& ray : rays) {
        baseline = std::max(baseline, std::hypot(ray.x - rays.front().x, ray.y - rays.front().y));
    }
    const double reach = std::max(baseline, std::hypot(q[0], q[1]));
    if (!std::isfinite(drift.semiMajorM) || !std::isfinite(q[2]) || !std::isfinite(q[3])
        || drift.semiMajorM > 10.0 * reach) {
        return refused(drift, REFUSAL_PARALLEL, parallel);
    }
    double major = std::fmod(frame.trueAzimuth(q[0], q[1], 0.5 * std::atan2(2.0 * pEN, pNN - pEE) / degree), 180.0);
    drift.majorAzimuthDeg = major < 0.0 ? major + 180.0 : major;

    frame.reverse(q[0], q[1], &drift.latitude, &drift.longitude);
    // Plane axes are east and north at the receivers' mean: turn both blocks into east and north at the platform.
    const double convergence = frame.trueAzimuth(q[0], q[1], 0.0) * degree;
    turned(pEE, pEN, pNN, convergence, &drift.covEE, &drift.covEN, &drift.covNN);
    turned(scale * covariance[2][2], scale * covariance[2][3], scale * covariance[3][3], convergence, &drift.covVEE,
           &drift.covVEN, &drift.covVNN);
    drift.speedMs = std::hypot(q[2], q[3]);
    const double course = std::fmod(frame.trueAzimuth(q[0], q[1], std::atan2(q[2], q[3]) / degree) + 360.0, 360.0);
    drift.courseDeg = course;
    drift.velocityEast = drift.speedMs * std::sin(course * degree);
    drift.velocityNorth = drift.speedMs * std::cos(course * degree);
    for (int k = 0; k < trackPoints; ++k) {
        const double tau = -spanS * (trackPoints - 1 - k) / (trackPoints - 1);
        DriftPoint_t point;
        point.timeMs = lastMs + qRound64(tau * 1000.0);
        frame.reverse(q[0] + q[2] * tau, q[1] + q[3] * tau, &point.latitude, &point.longitude);
        drift.track.append(point);
    }
    drift.sigmaDeg = sigma / degree;
    drift.sigmaEstimated = estimate;
    drift.refusal = REFUSAL_NONE;
    return drift;
}

// Wilks' likelihood-ratio test, not an information criterion: the two extra parameters
// give twice the loss drop a chi-square law of 2 degrees of freedom under a still platform
// (for Huber and Andrews nearly so, at their 95 % efficiency; 2 F(2, m) when sigma came from m degrees of freedom of the drift's residuals), so the
// share of still platforms called drifting is the level we set whatever the number of
// bearings. AIC's fixed penalty of 4 would call 13.5 % of them drifting; BIC's, 2 ln n,
// calls 2.5 % at 40 bearings and 0.1 % at 1000: its rate drifts with the search's length.
bool driftSupported(const DriftFix_t& drift, double level)
{
    if (!drift.ok() || !(level > 0.0 && level < 1.0)) {
        return false;
    }
    const double statistic = 2.0 * (drift.stillLoss - drift.driftLoss);
    return statistic > twoDofQuantile(level, drift.sigmaDegreesOfFreedom > 0.0, drift.sigmaDegreesOfFreedom);
}

Fix_t positionNow(const DriftFix_t& drift)
{
    Fix_t fix;
    fix.refusal = drift.refusal;
    fix.reason = drift.reason;
    fix.estimator = drift.estimator;
    fix.latitude = drift.latitude;
    fix.longitude = drift.longitude;
    fix.covEE = drift.covEE;
    fix.covEN = drift.covEN;
    fix.covNN = drift.covNN;
    fix.semiMajorM = drift.semiMajorM;
    fix.semiMinorM = drift.semiMinorM;
    fix.majorAzimuthDeg = drift.majorAzimuthDeg;
    fix.sigmaDeg = drift.sigmaDeg;
    fix.sigmaEstimated = drift.sigmaEstimated;
    fix.used = drift.used;
    fix.downWeighted = drift.downWeighted;
    fix.iterations = drift.iterations;
    return fix;
}

QString driftSummary(const DriftFix_t& drift)
{
    if (!drift.ok()) {
        return QString();
    }
    const int course = (qRound(drift.courseDeg) % 360 + 360) % 360;
    const QString speed = drift.speedMs < 10.0 ? QString::number(drift.speedMs, 'f', 1)
                                               : QString::number(qRound(drift.speedMs));
    const QString toward = QStringLiteral("%1").arg(course, 3, 10, QLatin1Char('0'));
    return QStringLiteral("drifting %1 m/s toward %2°").arg(speed, toward);
}

} // namespace Vantrel::Locate
