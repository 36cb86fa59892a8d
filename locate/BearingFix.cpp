#include "locate/BearingFix.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
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
// A crossing farther than this from the receivers is no fix but bearings that barely meet.
constexpr double farthestFixM = 1.0e6;
// The receiver's own position is known to about this, one sigma: a source a few
// times closer than that gives its bearing no direction worth the name.
constexpr double receiverPositionM = 10.0;
// Bearings taken within this of each other, one after the other, are one spot: a
// parked receiver hears the same reflections again, so its bearings err together.
constexpr double spotRadiusM = 30.0;
// Beyond this range straight rays on the plane stray by more than a decimetre
// from their geodesics, and the geodesics' own azimuths are used.
constexpr double planeRangeM = 20000.0;
// Fresh fixes of a short search descend from this many of the best starts; in a
// long one reflections cannot outvote the rest and one start does.
constexpr size_t startsTried = 4;
constexpr size_t shortSearch = 100;
// A scale from the residuals' mixture with reflections is worth this share
// of their degrees of freedom: the robust ellipses take their quantile
// from that many, found by simulated searches to hold the truth 95 % of the time.
constexpr double scaleEfficiencyHuber = 0.8;
constexpr double scaleEfficiencyAndrews = 0.6;
// The median of |u| for a standard normal u.
constexpr double absoluteNormalMedian = 0.674490;

// A bearing on the plane: the receiver's point and the grid direction, radians
// clockwise from north.
struct Ray_t
{
    double x;
    double y;
    double theta;
    double sinTheta;
    double cosTheta;
    int index;          // in the caller's list
    double share = 1.0; // 1 / the bearings of its spot: a spot counts as one bearing
    int spot = 0;
    double bend = 0.0;  // geodesic azimuth minus straight grid azimuth to the estimate, radians
    double scale = 1.0; // the bearing's own sigma over the fix's: receivers calibrated apart
};

struct Point_t
{
    double x;
    double y;
};

// Residual of a ray for a source at p and the gradient of the predicted azimuth.
struct Residual_t
{
    double r;
    double gx;
    double gy;
    double d2;  // squared distance from the receiver, m²
    double scale;  // the ray's

    // How much wider than sigma this bearing's error is, the receiver's position
    // error seen from the estimate included: near the receiver, its gradient
    // would otherwise swamp every other bearing and pin the estimate on it. Its
    // logarithm belongs to the loss as to a likelihood, or the receiver is a hole
    // where its bearing costs nothing; but where receivers' positions are better
    // than assumed it pushes the estimate off them, so it is used only to judge
    // starts and to climb out of such a hole.
    double widening(double sigma) const
    {
        return std::sqrt(scale * scale + receiverPositionM * receiverPositionM / (sigma * sigma * d2));
    }
};

// A symmetric 2×2 matrix on east and north: information and covariance.
struct Symmetric_t
{
    double ee = 0.0;
    double en = 0.0;
    double nn = 0.0;

    void add(double weight, double gx, double gy)
    {
        ee += weight * gx * gx;
        en += weight * gx * gy;
        nn += weight * gy * gy;
    }
    double det() const { return ee * nn - en * en; }
    Symmetric_t inverse(double scale) const { return {scale * nn / det(), -scale * en / det(), scale * ee / det()}; }
    // The same covariance in axes turned `angle` radians clockwise.
    Symmetric_t turned(double angle) const
    {
        const double c = std::cos(angle), s = std::sin(angle);
        return {c * c * ee + 2.0 * c * s * en + s * s * nn, (c * c - s * s) * en + c * s * (nn - ee),
                s * s * ee - 2.0 * c * s * en + c * c * nn};
    }
};

Residual_t residualAt(const Ray_t& ray, Point_t p)
{
    const double dx = p.x - ray.x;
    const double dy = p.y - ray.y;
    const double d2 = std::max(dx * dx + dy * dy, 1e-6);
    // The angle from the direction to p to the measured one, without wrapping.
    double r = std::atan2(ray.sinTheta * dy - ray.cosTheta * dx, ray.sinTheta * dx + ray.cosTheta * dy) - ray.bend;
    if (ray.bend != 0.0) {
        r = std::remainder(r, 2.0 * M_PI);
    }
    return {r, dy / d2, -dx / d2, d2, ray.scale};
}

double objective(const std::vector<Ray_t>& rays, const RobustLoss& loss, Point_t p, int stride = 1)
{
    double sum = 0.0;
    for (size_t i = 0; i < rays.size(); i += stride) {
        const Residual_t res = residualAt(rays[i], p);
        const double widening = res.widening(loss.sigma);
        sum += rays[i].share * (loss.rho(res.r / (loss.sigma * widening)) + std::log(widening));
    }
    return sum;
}

// Least-squares point of the bearing lines: minimises the squared distances to them.
bool linesPoint(const std::vector<Ray_t>& rays, Point_t* point)
{
    double a = 0.0, b = 0.0, c = 0.0, u = 0.0, v = 0.0;
    for (const Ray_t& ray : rays) {
        // Projector on the normal of the line.
        const double nx = std::cos(ray.theta);
        const double ny = -std::sin(ray.theta);
        a += nx * nx;
        b += nx * ny;
        c += ny * ny;
        const double k = nx * ray.x + ny * ray.y;
        u += nx * k;
        v += ny * k;
    }
    const double det = a * c - b * b;
    if (det <= 1e-12 * (a + c) * (a + c)) {
        return false;
    }
    point->x = (c * u - b * v) / det;
    point->y = (a * v - b * u) / det;
    return true;
}

// Where two rays cross ahead of both receivers.
bool crossing(const Ray_t& first, const Ray_t& second, Point_t* point)
{
    const double ux = std::sin(first.theta), uy = std::cos(first.theta);
    const double vx = std::sin(second.theta), vy = std::cos(second.theta);
    const double cross = ux * vy - uy * vx;
    if (std::fabs(cross) < std::sin(1.0 * degree)) {
        return false;
    }
    const double wx = second.x - first.x, wy = second.y - first.y;
    const double s = (wx * vy - wy * vx) / cross;
    const double t = (wx * uy - wy * ux) / cross;
    if (s <= 0.0 || t <= 0.0) {
        return false;
    }
    point->x = first.x + s * ux;
    point->y = first.y + s * uy;
    return true;
}

// Starts the estimator can descend from: among the lines' least-squares point and
// the crossings of pairs of rays, the few with the lowest loss, best first. Reflections
// spoil the least-squares point but leave most crossings of good pairs near the source;
// a crossing of two reflections can still score best, so more than one is tried.
std::vector<Point_t> startPoints(const std::vector<Ray_t>& rays, const RobustLoss& loss)
{
    const int n = int(rays.size());
    const int stride = std::max(1, n / 100);
    std::vector<Point_t> candidates;
    Point_t point{};
    if (linesPoint(rays, &point)) {
        candidates.push_back(point);
    }
    if (n <= 30) {
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j) {
                if (crossing(rays[i], rays[j], &point)) {
                    candidates.push_back(point);
                }
            }
        }
    } else {
        quint32 state = 2463534242u;  // xorshift: the same pairs every time
        for (int k = 0; k < 200; ++k) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int i = int(state % quint32(n));
            const int j = int((state / quint32(n)) % quint32(n));
            if (i != j && crossing(rays[i], rays[j], &point)) {
                candidates.push_back(point);
            }
        }
    }
    std::vector<std::pair<double, Point_t>> scored;
    scored.reserve(candidates.size());
    for (const Point_t& candidate : candidates) {
        scored.emplace_back(objective(rays, loss, candidate, stride), candidate);
    }
    const size_t kept = std::min<size_t>(scored.size(), rays.size() <= shortSearch ? startsTried : 1);
    std::partial_sort(scored.begin(), scored.begin() + kept, scored.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Point_t> starts;
    for (size_t k = 0; k < kept; ++k) {
        // Starts within a few metres of a better one would find the same minimum.
        const bool near = std::any_of(starts.begin(), starts.end(), [&](const Point_t& other) {
            return std::hypot(other.x - scored[k].second.x, other.y - scored[k].second.y) < 10.0;
        });
        if (!near) {
            starts.push_back(scored[k].second);
        }
    }
    return starts;
}

struct Solution_t
{
    Point_t p{};
    bool converged = false;
    int iterations = 0;
};

// The loss at p and the normal equations of a reweighted least-squares step from it, in one pass.
struct Pass_t
{
    double loss = 0.0;
    double a = 0.0, b = 0.0, c = 0.0;  // sum of w g g'
    double u = 0.0, v = 0.0;           // sum of w g r
};

Pass_t pass(const std::vector<Ray_t>& rays, const RobustLoss& loss, Point_t p, bool normalised)
{
    Pass_t sums;
    for (const Ray_t& ray : rays) {
        const Residual_t res = residualAt(ray, p);
        const double widening = res.widening(loss.sigma);
        const double standardised = res.r / (loss.sigma * widening);
        const double w = ray.share * loss.weight(standardised) / (widening * widening);
        sums.loss += ray.share * (loss.rho(standardised) + (normalised ? std::log(widening) : 0.0));
        sums.a += w * res.gx * res.gx;
        sums.b += w * res.gx * res.gy;
        sums.c += w * res.gy * res.gy;
        // The widening's own pull: the wider error near a receiver is no free place to sit.
        const double push =
            normalised ? ray.share * loss.sigma * loss.sigma * (1.0 - ray.scale * ray.scale / (widening * widening))
                       : 0.0;
        sums.u += w * res.gx * res.r - push * res.gy;
        sums.v += w * res.gy * res.r + push * res.gx;
    }
    return sums;
}

// Iteratively reweighted least squares from start, each step halved until the loss falls.
Solution_t descend(const std::vector<Ray_t>& rays, const RobustLoss& loss, Point_t start, bool normalised = false)
{
    Solution_t solution;
    solution.p = start;
    Pass_t current = pass(rays, loss, start, normalised);
    for (int iteration = 1; iteration <= maxIterations; ++iteration) {
        solution.iterations = iteration;
        const double det = current.a * current.c - current.b * current.b;
        if (!(det > 0.0)) {
            return solution;
        }
        double stepX = (current.c * current.u - current.b * current.v) / det;
        double stepY = (current.a * current.v - current.b * current.u) / det;
        for (int halving = 0; halving < 30; ++halving) {
            const Point_t next{solution.p.x + stepX, solution.p.y + stepY};
            const Pass_t there = pass(rays, loss, next, normalised);
            if (there.loss <= current.loss) {
                solution.p = next;
                current = there;
                break;
            }
            stepX *= 0.5;
            stepY *= 0.5;
        }
        if (std::hypot(stepX, stepY) < convergedStepM) {
            solution.converged = true;
            return solution;
        }
    }
    return solution;
}

Fix_t refused(Fix_t fix, Refusal_t refusal, const QString& reason)
{
    fix.refusal = refusal;
    fix.reason = reason;
    return fix;
}

// Why the options cannot give a fix, "" when they can. A NaN would otherwise end
// as "did not converge", and a NaN baseline would switch its check off unseen.
QString badOptions(const FixOptions_t& options)
{
    if (!std::isfinite(options.sigmaDeg) || options.sigmaDeg <= 0.0) {
        return QStringLiteral("The bearing sigma must be a positive number of degrees, not %1").arg(options.sigmaDeg);
    }
    if (!std::isfinite(options.offsetDeg)) {
        return QStringLiteral("The compass offset must be a number of degrees, not %1").arg(options.offsetDeg);
    }
    if (!std::isfinite(options.minBaselineM) || options.minBaselineM <= 0.0) {
        return QStringLiteral("The least baseline must be a positive number of metres, not %1").arg(options.minBaselineM);
    }
    return QString();
}

// Puts the rays in time order and groups them into spots, each ray's share being one
// over its spot's size. Returns the number of spots.
int groupSpots(const QVector<Bearing_t>& bearings, std::vector<Ray_t>* rays)
{
    std::stable_sort(rays->begin(), rays->end(), [&bearings](const Ray_t& a, const Ray_t& b) {
        return bearings.at(a.index).timeMs < bearings.at(b.index).timeMs;
    });
    int spot = 0;
    size_t first = 0;
    const auto close = [rays, &first](size_t end) {
        for (size_t j = first; j < end; ++j) {
            (*rays)[j].share = 1.0 / double(end - first);
        }
        first = end;
    };
    for (size_t k = 0; k < rays->size(); ++k) {
        if (k > first && std::hypot((*rays)[k].x - (*rays)[first].x, (*rays)[k].y - (*rays)[first].y) > spotRadiusM) {
            close(k);
            ++spot;
        }
        (*rays)[k].spot = spot;
    }
    close(rays->size());
    return spot + 1;
}

struct Mixture_t
{
    double sigma;
    double logLikelihood;
};

// Reflections come from any direction: residuals (radians) as a mixture of the
// bearings' normal error and a share spread evenly round the circle, fitted by EM
// from a start sigma. Each spot weighs one; two degrees of freedom go to the position.
Mixture_t reflectionMixture(const std::vector<Ray_t>& rays, const std::vector<double>& scaled, double sigma,
                            int spots)
{
    const double evenly = 1.0 / (2.0 * M_PI);
    const double normalPeak = 1.0 / std::sqrt(2.0 * M_PI);
    double reflected = 0.2;
    double logLikelihood = -std::numeric_limits<double>::infinity();
    for (int round = 0; round < 100; ++round) {
        double squares = 0.0, inliers = 0.0;
        logLikelihood = 0.0;
        for (size_t k = 0; k < rays.size(); ++k) {
            const double u = scaled[k] / sigma;
            const double normal = (1.0 - reflected) * normalPeak * std::exp(-0.5 * u * u) / sigma;
            const double density = normal + reflected * evenly;
            const double w = normal / density;
            squares += rays[k].share * w * scaled[k] * scaled[k];
            inliers += rays[k].share * w;
            logLikelihood += rays[k].share * std::log(density);
        }
        reflected = std::clamp(1.0 - inliers / spots, 0.0, 0.9);
        if (inliers <= 3.0) {
            break;
        }
        const double next = std::max(std::sqrt(squares / (inliers - 2.0)), quantisedSigma);
        const bool settled = std::fabs(next - sigma) < 1e-5 * sigma;
        sigma = next;
        if (settled) {
            break;
        }
    }
    return {sigma, logLikelihood};
}

// The bearing sigma the residuals at p show, spot by spot; never less than the
// spread of bearings repeated at one spot, nor than whole degrees can show.
double residualSigma(const std::vector<Ray_t>& rays, const RobustLoss& loss, Point_t p, int spots)
{
    std::vector<double> residuals(rays.size());
    for (size_t k = 0; k < rays.size(); ++k) {
        residuals[k] = residualAt(rays[k], p).r;
    }
    double sigma = loss.sigma;
    for (int round = 0; round < 3; ++round) {
        if (loss.estimator == ESTIMATOR_ML) {
            // The von Mises location does not depend on the concentration: only the spread is estimated.
            double sum = 0.0;
            for (size_t k = 0; k < rays.size(); ++k) {
                const double widening = residualAt(rays[k], p).widening(sigma);
                sum += rays[k].share * 2.0 * (1.0 - std::cos(residuals[k] / widening));
            }
            sigma = std::sqrt(sum / (spots - 2));
        } else {
            // Scale from the median absolute residual, which reflections barely move, each
            // spot weighing one. A lower quartile would also hold when reflections make half
            // the bearings, but bearings that fit in a tight group beside a wider one would
            // give it a scale of nothing and an ellipse of millimetres: the wider scale is
            // the honest one.
            std::vector<std::pair<double, double>> absolute;
            absolute.reserve(rays.size());
            for (size_t k = 0; k < rays.size(); ++k) {
                absolute.emplace_back(std::fabs(residuals[k]) / residualAt(rays[k], p).widening(sigma), rays[k].share);
            }
            std::sort(absolute.begin(), absolute.end());
            double below = 0.0;
            double median = 0.0;
            for (const auto& [value, share] : absolute) {
                below += share;
                median = value;
                if (below >= 0.5 * spots) {
                    break;
                }
            }
            sigma = median / absoluteNormalMedian;
        }
    }
    if (loss.estimator != ESTIMATOR_ML) {
        // The median wastes most of the residuals and breaks when reflections make half
        // the bearings, as they do now and then in a short search: the scale kept is the
        // most likely one of the mixture, from the median's and the user's sigma.
        std::vector<double> scaled(rays.size());
        for (size_t k = 0; k < rays.size(); ++k) {
            scaled[k] = residuals[k] / residualAt(rays[k], p).widening(sigma);
        }
        const Mixture_t fromMedian = reflectionMixture(rays, scaled, sigma, spots);
        const Mixture_t fromUser = reflectionMixture(rays, scaled, loss.sigma, spots);
        sigma = (fromUser.logLikelihood > fromMedian.logLikelihood ? fromUser : fromMedian).sigma;
    }
    // What bearings repeated at one spot scatter by, about their spot's mean.
    double within = 0.0;
    double freedom = 0.0;
    for (size_t first = 0; first < rays.size();) {
        size_t end = first;
        double mean = 0.0;
        while (end < rays.size() && rays[end].spot == rays[first].spot) {
            mean += residuals[end];
            ++end;
        }
        mean /= double(end - first);
        for (size_t k = first; k < end; ++k) {
            within += (residuals[k] - mean) * (residuals[k] - mean);
        }
        freedom += double(end - first - 1);
        first = end;
    }
    if (freedom >= 2.0) {
        sigma = std::max(sigma, std::sqrt(within / freedom));
    }
    return std::max(sigma, quantisedSigma);
}

// Whether p sits where a receiver's own position error blurs its bearing.
bool nearReceiver(const std::vector<Ray_t>& rays, Point_t p)
{
    return std::any_of(rays.begin(), rays.end(), [p](const Ray_t& ray) {
        return std::hypot(p.x - ray.x, p.y - ray.y) < receiverPositionM;
    });
}

bool needsGeodesics(const std::vector<Ray_t>& rays, Point_t p)
{
    return std::any_of(rays.begin(), rays.end(), [p](const Ray_t& ray) {
        return std::hypot(p.x - ray.x, p.y - ray.y) > planeRangeM || std::hypot(ray.x, ray.y) > planeRangeM;
    });
}

// Sets each ray's bend so that its residual at p is that of the geodesic azimuth
// from its receiver to p.
void bendRays(const LocalFrame& frame, const QVector<Bearing_t>& bearings, double offsetDeg, Point_t p,
              std::vector<Ray_t>* rays)
{
    double latitude = 0.0, longitude = 0.0;
    frame.reverse(p.x, p.y, &latitude, &longitude);
    const GeographicLib::Geodesic& geodesic = GeographicLib::Geodesic::WGS84();
    for (Ray_t& ray : *rays) {
        const Bearing_t& bearing = bearings.at(ray.index);
        double azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, latitude, longitude, azimuth, arrival);
        const double geodesicResidual = std::remainder(bearing.azimuth + offsetDeg - azimuth, 360.0) * degree;
        ray.bend = 0.0;
        ray.bend = std::remainder(residualAt(ray, p).r - geodesicResidual, 2.0 * M_PI);
    }
}

Fix_t solve(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t* previous)
{
    Fix_t fix;
    fix.estimator = options.estimator;
    fix.residualDeg = QVector<double>(bearings.size(), std::numeric_limits<double>::quiet_NaN());
    fix.downWeightedFlags = QVector<bool>(bearings.size(), false);
    if (const QString reason = badOptions(options); !reason.isEmpty()) {
        return refused(fix, REFUSAL_BAD_OPTIONS, reason);
    }

    // The bearings in the window, on a plane centred on their receivers.
    QVector<int> usedIndexes;
    double latitudeSum = 0.0, longitudeSum = 0.0;
    for (int i = 0; i < bearings.size(); ++i) {
        const Bearing_t& bearing = bearings.at(i);
        if ((options.fromMs && bearing.timeMs < options.fromMs) || (options.toMs && bearing.timeMs > options.toMs)) {
            continue;
        }
        if (!std::isfinite(bearing.latitude) || !std::isfinite(bearing.longitude) || !std::isfinite(bearing.azimuth)
            || std::fabs(bearing.latitude) > 90.0) {
            continue;
        }
        usedIndexes.append(i);
        latitudeSum += bearing.latitude;
        longitudeSum += std::remainder(bearing.longitude - bearings.at(usedIndexes.first()).longitude, 360.0);
    }
    fix.used = usedIndexes.size();
    if (fix.used < 2) {
        return refused(fix, REFUSAL_TOO_FEW, QStringLiteral("Fewer than two bearings with a receiver position"));
    }
    const double originLongitude = bearings.at(usedIndexes.first()).longitude + longitudeSum / fix.used;
    const LocalFrame frame(latitudeSum / fix.used, originLongitude);
    std::vector<Ray_t> rays;
    rays.reserve(usedIndexes.size());
    for (int i : usedIndexes) {
        const Bearing_t& bearing = bearings.at(i);
        Ray_t ray{};
        ray.theta = frame.gridAzimuth(bearing.latitude, bearing.longitude, bearing.azimuth + options.offsetDeg, &ray.x,
                                      &ray.y) * degree;
        ray.sinTheta = std::sin(ray.theta);
        ray.cosTheta = std::cos(ray.theta);
        ray.index = i;
        if (bearing.sigmaDeg > 0.0 && std::isfinite(bearing.sigmaDeg)) {
            ray.scale = bearing.sigmaDeg / std::max(options.sigmaDeg, 0.1);
        }
        rays.push_back(ray);
    }

    double baseline = 0.0;
    for (const Ray_t& ray : rays) {
        baseline = std::max(baseline, std::hypot(ray.x - rays.front().x, ray.y - rays.front().y));
    }
    if (baseline < options.minBaselineM) {
        return refused(fix, REFUSAL_SHORT_BASELINE,
                       QStringLiteral("All bearings were taken within %1 m of each other").arg(options.minBaselineM));
        }

    const int spots = groupSpots(bearings, &rays);
    fix.spots = spots;
    const double userSigma = std::max(options.sigmaDeg, 0.1) * degree;
    RobustLoss loss{options.estimator, userSigma};
    std::vector<Point_t> starts;
    if (previous && previous->ok()) {
        Point_t start{};
        frame.forward(previous->latitude, previous->longitude, &start.x, &start.y);
        starts.push_back(start);
    } else {
        starts = startPoints(rays, loss);
    }
    if (starts.empty()) {
        return refused(fix, REFUSAL_PARALLEL, QStringLiteral("The bearings are nearly parallel and do not cross"));
    }
    Solution_t solution;
    double lowest = std::numeric_limits<double>::infinity();
    for (const Point_t& start : starts) {
        const Solution_t tried = descend(rays, loss, start);
        const double value = objective(rays, loss, tried.p);
        if (tried.converged && value < lowest) {
            lowest = value;
            solution = tried;
        } else if (!std::isfinite(lowest) && !solution.converged) {
            solution = tried;
        }
    }
    // A spot's bearings err together: the residuals carry one degree of freedom per spot.
    const bool estimate = options.estimateSigma && spots >= FixOptions_t::minBearingsForSigma;
    double sigma = userSigma;
    if (estimate && solution.converged) {
        sigma = residualSigma(rays, loss, solution.p, spots);
        if (options.estimator != ESTIMATOR_ML) {
            // The location is found again with the scale from the residuals.
            loss.sigma = sigma;
            const int previousIterations = solution.iterations;
            solution = descend(rays, loss, solution.p);
            solution.iterations += previousIterations;
        }
    }
    // Far from the receivers the geodesics bend away from the plane's straight rays:
    // each ray takes the difference at the estimate, and the estimate is found again.
    for (int round = 0; round < 4 && solution.converged && needsGeodesics(rays, solution.p); ++round) {
        const Point_t before = solution.p;
        bendRays(frame, bearings, options.offsetDeg, solution.p, &rays);
        const int previousIterations = solution.iterations;
        solution = descend(rays, loss, solution.p);
        solution.iterations += previousIterations;
        if (std::hypot(solution.p.x - before.x, solution.p.y - before.y) < 0.01) {
            break;
        }
    }
    if (solution.converged && nearReceiver(rays, solution.p)) {
        const int previousIterations = solution.iterations;
        solution = descend(rays, loss, solution.p, true);
        solution.iterations += previousIterations;
    }
    fix.iterations = solution.iterations;

    // Residuals, weights and the information the bearings give, a spot counting as one bearing.
    int behind = 0;
    Symmetric_t fisher;  // sum of g g'
    Symmetric_t bend;    // sum of psi' g g'
    double inliers = 0.0;
    double curvatureSum = 0.0, curvatureSquares = 0.0;
    Symmetric_t listened;  // sum of g g' over the bearings with some curvature
    double scoreSquares = 0.0;
    for (const Ray_t& ray : rays) {
        const Residual_t res = residualAt(ray, solution.p);
        const double widening = res.widening(sigma);
        const double u = res.r / (sigma * widening);
        const double gx = res.gx / widening, gy = res.gy / widening;
        fix.residualDeg[ray.index] = res.r / degree;
        const bool light = loss.weight(u) < 0.5;
        fix.downWeightedFlags[ray.index] = light;
        fix.downWeighted += light ? 1 : 0;
        if (std::fabs(res.r) > M_PI / 2) {
            ++behind;
        }
        const double curvature = std::max(loss.dpsi(u), 0.0);
        fisher.add(ray.share, gx, gy);
        bend.add(ray.share * curvature, gx, gy);
        inliers += ray.share * (curvature > 0.0 ? 1.0 : 0.0);
        listened.add(curvature > 0.0 ? ray.share : 0.0, gx, gy);
        scoreSquares += ray.share * loss.psi(u) * loss.psi(u);
        curvatureSum += ray.share * curvature;
        curvatureSquares += ray.share * curvature * curvature;
    }
    // Lines that meet only behind the receivers leave the estimator nowhere to go: say why.
    if (2 * behind > fix.used) {
        return refused(fix, REFUSAL_BEHIND, QStringLiteral("The bearings cross behind the receiver"));
    }
    // Bearings that barely cross send the estimate off along them, out of reach of
    // where they were taken: that is no failure to converge but too short a baseline.
    const double reach = std::hypot(solution.p.x, solution.p.y);
    if (!solution.converged && reach < 20.0 * baseline) {
        return refused(fix, REFUSAL_NO_CONVERGENCE, QStringLiteral("The estimate did not converge"));
    }
    if (!solution.converged || reach > farthestFixM) {
        return refused(fix, REFUSAL_PARALLEL, QStringLiteral("The bearings are nearly parallel and do not cross"));
    }

    // ML: the Fisher information of von Mises bearings. M-estimators under the user's
    // sigma: the information of the bearings they listen to; under a sigma from the
    // residuals, Huber's sandwich, the spread of those bearings through the curvature
    // of the loss.
    const bool ml = options.estimator == ESTIMATOR_ML;
    const bool sandwich = !ml && estimate;
    const Symmetric_t& information = ml ? fisher : bend;
    if (!(information.det() > 0.0) || (sandwich && inliers < 2.5)) {
        return refused(fix, REFUSAL_PARALLEL, QStringLiteral("The bearings are nearly parallel and do not cross"));
    }
    // Huber's small-sample correction of the sandwich: the curvature varies from bearing to bearing.
    const double meanCurvature = curvatureSum / spots;
    const double correction =
        1.0 + 2.0 / spots * (curvatureSquares / spots - meanCurvature * meanCurvature) /
                  (meanCurvature * meanCurvature);
    // The sandwich's scalar form (Huber 1981, 7.10): the geometry of the bearings listened to,
    // scaled by the spread of the scores over the mean curvature. The matrix form
    // came out too narrow on searches of twenty bearings.
    const double meanScore2 = scoreSquares / (inliers - 2.0);
    const Symmetric_t covariance =
        sandwich ? listened.inverse(correction * correction * sigma * sigma * meanScore2 /
                                    ((curvatureSum / inliers) * (curvatureSum / inliers)))
                 : information.inverse(sigma * sigma);
    const double efficiency = options.estimator == ESTIMATOR_HUBER ? scaleEfficiencyHuber : scaleEfficiencyAndrews;
    const double quantile = sandwich ? twoDofQuantile(0.05, true, efficiency * (inliers - 2.0))
                                     : twoDofQuantile(0.05, ml && estimate, spots - 2);

    // Axes of the 95 % ellipse from the eigenvalues of the covariance.
    const double mean = 0.5 * (covariance.ee + covariance.nn);
    const double half = std::hypot(0.5 * (covariance.ee - covariance.nn), covariance.en);
    fix.semiMajorM = std::sqrt(quantile * (mean + half));
    fix.semiMinorM = std::sqrt(quantile * std::max(mean - half, 0.0));
    const double majorGrid = 0.5 * std::atan2(2.0 * covariance.en, covariance.nn - covariance.ee) / degree;
    double major = frame.trueAzimuth(solution.p.x, solution.p.y, majorGrid);
    major = std::fmod(major, 180.0);
    fix.majorAzimuthDeg = major < 0.0 ? major + 180.0 : major;
    if (!std::isfinite(fix.semiMajorM)
        || fix.semiMajorM > 10.0 * std::max(baseline, std::hypot(solution.p.x, solution.p.y))) {
        return refused(fix, REFUSAL_PARALLEL, QStringLiteral("The bearings are nearly parallel and do not cross"));
    }

    frame.reverse(solution.p.x, solution.p.y, &fix.latitude, &fix.longitude);
    // The plane's axes are east and north at its origin, the receivers' mean: at the
    // fix they are turned by the meridians' convergence, so the covariance is turned
    // back into east and north there.
    const Symmetric_t atFix = covariance.turned(frame.trueAzimuth(solution.p.x, solution.p.y, 0.0) * degree);
    fix.covEE = atFix.ee;
    fix.covEN = atFix.en;
    fix.covNN = atFix.nn;
    fix.sigmaDeg = sigma / degree;
    fix.sigmaEstimated = estimate;
    fix.refusal = REFUSAL_NONE;
    return fix;
}

QString hemisphere(double value, int decimals, char positive, char negative)
{
    return QStringLiteral("%1 %2").arg(std::fabs(value), 0, 'f', decimals).arg(QLatin1Char(value < 0 ? negative : positive));
}

QString metres(double value)
{
    return value < 10000.0 ? QString::number(qRound(value)) : QString::number(value / 1000.0, 'f', 1);
}

} // namespace

QString estimatorName(Estimator_t estimator)
{
    switch (estimator) {
    case ESTIMATOR_ML:
        return QStringLiteral("ML");
    case ESTIMATOR_HUBER:
        return QStringLiteral("Huber");
    case ESTIMATOR_ANDREWS:
        break;
    }
    return QStringLiteral("Andrews");
}

Fix_t locate(const QVector<Bearing_t>& bearings, const FixOptions_t& options)
{
    return solve(bearings, options, nullptr);
}

Fix_t locate(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& previous)
{
    Fix_t fix = solve(bearings, options, &previous);
    // A start that has become a poor one (new bearings moved the source far) falls back to a fresh search.
    if (!fix.ok() && previous.ok()) {
        fix = solve(bearings, options, nullptr);
    }
    return fix;
}

QVector<QPair<double, double>> ellipseOutline(const Fix_t& fix, int points)
{
    QVector<QPair<double, double>> outline;
    if (!fix.ok() || points < 3) {
        return outline;
    }
    const LocalFrame frame(fix.latitude, fix.longitude);
    const double azimuth = fix.majorAzimuthDeg * degree;
    for (int k = 0; k <= points; ++k) {
        const double t = 2.0 * M_PI * (k % points) / points;
        const double along = fix.semiMajorM * std::cos(t);
        const double across = fix.semiMinorM * std::sin(t);
        // Major axis along the azimuth, minor axis 90° clockwise of it.
        const double east = along * std::sin(azimuth) + across * std::cos(azimuth);
        const double north = along * std::cos(azimuth) - across * std::sin(azimuth);
        double latitude = 0.0, longitude = 0.0;
        frame.reverse(east, north, &latitude, &longitude);
        outline.append({latitude, longitude});
    }
    return outline;
}

QString fixSummary(const Fix_t& fix, double receiverLatitude, double receiverLongitude)
{
    if (!fix.ok()) {
        return fix.reason;
    }
    double distance = 0.0, azimuth = 0.0, back = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(receiverLatitude, receiverLongitude, fix.latitude, fix.longitude, distance,
                                             azimuth, back);
    const int heading = (qRound(azimuth) % 360 + 360) % 360;
    const QString range = distance < 1000.0 ? QStringLiteral("%1 m").arg(qRound(distance))
                                            : QStringLiteral("%1 km").arg(distance / 1000.0, 0, 'f', 1);
    const QString axesUnit = fix.semiMajorM < 10000.0 ? QStringLiteral("m") : QStringLiteral("km");
    // ML weighs every bearing alike: what it can count is the bearings it fits badly.
    const QString setAside = fix.estimator == ESTIMATOR_ML ? QStringLiteral("with large residuals")
                                                           : QStringLiteral("down-weighted");
    return QStringLiteral("%1 %2 ± %3 × %4 %5 (95 %), %6 at %7° from the receiver, %8 bearings, %9 %10 (%11)")
        .arg(hemisphere(fix.latitude, 4, 'N', 'S'), hemisphere(fix.longitude, 4, 'E', 'W'), metres(fix.semiMajorM),
             fix.semiMajorM < 10000.0 ? metres(fix.semiMinorM) : QString::number(fix.semiMinorM / 1000.0, 'f', 1),
             axesUnit, range, QStringLiteral("%1").arg(heading, 3, 10, QLatin1Char('0')), QString::number(fix.used),
             QString::number(fix.downWeighted), setAside, estimatorName(fix.estimator));
}

} // namespace Vantrel::Locate
