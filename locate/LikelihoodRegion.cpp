#include "locate/LikelihoodRegion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <vector>

#include "locate/LocalFrame.h"
#include "locate/RobustLoss.h"

namespace Vantrel::Locate {

namespace {

constexpr double degree = M_PI / 180.0;
constexpr double chiSquare2Dof95 = 5.991464547107979;
// The grid: coarse cells per side, each cut into refinement² where the boundary runs.
constexpr int coarseCells = 24;
constexpr int refinement = 4;
// The grid is sized on a subset of this many bearings before all of them are evaluated.
constexpr int sizingBearings = 64;
constexpr int maxGrowths = 24;
// The ellipse's semi-axes the grid starts from, on each side of the fix.
constexpr double startAxes = 2.0;

// A bearing on the plane, as the estimator sees it.
struct Ray_t
{
    double x;
    double y;
    double sinTheta;
    double cosTheta;
};

struct Point_t
{
    double x;
    double y;
};

double residual(const Ray_t& ray, double x, double y)
{
    const double dx = x - ray.x;
    const double dy = y - ray.y;
    return std::atan2(ray.sinTheta * dy - ray.cosTheta * dx, ray.sinTheta * dx + ray.cosTheta * dy);
}

// The estimator's loss on every stride-th bearing, scaled up to stand for all of them.
struct Objective_t
{
    const std::vector<Ray_t>& rays;
    RobustLoss loss;
    size_t stride = 1;

    double operator()(double x, double y) const
    {
        double sum = 0.0;
        size_t count = 0;
        for (size_t i = 0; i < rays.size(); i += stride) {
            sum += loss.rho(residual(rays[i], x, y) / loss.sigma);
            ++count;
        }
        return sum * double(rays.size()) / double(count);
    }
};

// 95 % quantile of twice the loss's rise: chi-square with 2 degrees of freedom for a
// known sigma, 2 F(2, m) when sigma came from m degrees of freedom of residuals, as for the ellipse.
double regionQuantile(bool estimated, double degreesOfFreedom)
{
    if (!estimated || degreesOfFreedom <= 0.0) {
        return chiSquare2Dof95;
    }
    return degreesOfFreedom * (std::pow(0.05, -2.0 / degreesOfFreedom) - 1.0);
}

// A grid on the ellipse's axes: u along the major axis, v across it, metres from the fix.
// Each side's extent is its own, so that a band can grow one way only.
struct Grid_t
{
    Point_t fix{};
    Point_t along{};
    Point_t across{};
    std::array<double, 4> extent{};  // -u, +u, -v, +v, each > 0
    int cells = coarseCells;

    double u(int i) const { return -extent[0] + (extent[0] + extent[1]) * i / cells; }
    double v(int j) const { return -extent[2] + (extent[2] + extent[3]) * j / cells; }
    Point_t plane(double u, double v) const
    {
        return {fix.x + u * along.x + v * across.x, fix.y + u * along.y + v * across.y};
    }
    int nodes() const { return cells + 1; }
};

// Twice the scaled rise of the loss minus the quantile, at every node: inside where <= 0.
template <typename Loss>
std::vector<double> sample(const Grid_t& grid, const Loss& objective, double lowest, double scale, double quantile)
{
    const int n = grid.nodes();
    std::vector<double> values(size_t(n) * size_t(n));
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const Point_t p = grid.plane(grid.u(i), grid.v(j));
            values[size_t(j) * size_t(n) + size_t(i)] = 2.0 * scale * (objective(p.x, p.y) - lowest) - quantile;
        }
    }
    return values;
}

// Which sides of the grid the region reaches: -u, +u, -v, +v.
std::array<bool, 4> touched(const std::vector<double>& values, int n)
{
    std::array<bool, 4> sides{};
    for (int k = 0; k < n; ++k) {
        sides[0] = sides[0] || values[size_t(k) * size_t(n)] <= 0.0;
        sides[1] = sides[1] || values[size_t(k) * size_t(n) + size_t(n - 1)] <= 0.0;
        sides[2] = sides[2] || values[size_t(k)] <= 0.0;
        sides[3] = sides[3] || values[size_t(n - 1) * size_t(n) + size_t(k)] <= 0.0;
    }
    return sides;
}

// Doubles the extent of each side the region reaches, up to the cap. Returns whether any grew;
// *capped tells whether the region reaches a side that may grow no more.
bool grow(Grid_t* grid, const std::array<bool, 4>& sides, double cap, bool* capped)
{
    bool grew = false;
    *capped = false;
    for (int s = 0; s < 4; ++s) {
        if (!sides[size_t(s)]) {
            continue;
        }
        if (grid->extent[size_t(s)] >= cap) {
            *capped = true;
            continue;
        }
        grid->extent[size_t(s)] = std::min(2.0 * grid->extent[size_t(s)], cap);
        grew = true;
    }
    return grew;
}

// Fits the grid to the nodes inside with a margin of two cells, never wider than it was.
void shrink(Grid_t* grid, const std::vector<double>& values)
{
    const int n = grid->nodes();
    double low[2] = {0.0, 0.0}, high[2] = {0.0, 0.0};  // the fix is inside
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            if (values[size_t(j) * size_t(n) + size_t(i)] <= 0.0) {
                low[0] = std::min(low[0], grid->u(i));
                high[0] = std::max(high[0], grid->u(i));
                low[1] = std::min(low[1], grid->v(j));
                high[1] = std::max(high[1], grid->v(j));
            }
        }
    }
    const double cellU = (grid->extent[0] + grid->extent[1]) / grid->cells;
    const double cellV = (grid->extent[2] + grid->extent[3]) / grid->cells;
    grid->extent[0] = std::min(grid->extent[0], 2.0 * cellU - low[0]);
    grid->extent[1] = std::min(grid->extent[1], 2.0 * cellU + high[0]);
    grid->extent[2] = std::min(grid->extent[2], 2.0 * cellV - low[1]);
    grid->extent[3] = std::min(grid->extent[3], 2.0 * cellV + high[1]);
}

// The coarse values carried to a grid refinement times finer: exact near the boundary,
// where the coarse cell's corners disagree, interpolated elsewhere.
template <typename Loss>
std::vector<double> refine(const Grid_t& coarse, const std::vector<double>& values, const Loss& objective,
                           double lowest, double scale, double quantile, Grid_t* fine)
{
    *fine = coarse;
    fine->cells = coarse.cells * refinement;
    const int n = coarse.nodes();
    const int m = fine->nodes();
    std::vector<double> out(size_t(m) * size_t(m));
    for (int j = 0; j < m; ++j) {
        for (int i = 0; i < m; ++i) {
            const int ci = std::min(i / refinement, coarse.cells - 1), cj = std::min(j / refinement, coarse.cells - 1);
            const double s = double(i - ci * refinement) / refinement, t = double(j - cj * refinement) / refinement;
            const auto at = [&](int a, int b) { return values[size_t(cj + b) * size_t(n) + size_t(ci + a)]; };
            out[size_t(j) * size_t(m) + size_t(i)] =
                (1 - s) * (1 - t) * at(0, 0) + s * (1 - t) * at(1, 0) + (1 - s) * t * at(0, 1) + s * t * at(1, 1);
        }
    }
    std::vector<bool> exact(out.size(), false);
    for (int cj = 0; cj < coarse.cells; ++cj) {
        for (int ci = 0; ci < coarse.cells; ++ci) {
            const auto at = [&](int a, int b) { return values[size_t(cj + b) * size_t(n) + size_t(ci + a)]; };
            const double lowCorner = std::min({at(0, 0), at(1, 0), at(0, 1), at(1, 1)});
            const double highCorner = std::max({at(0, 0), at(1, 0), at(0, 1), at(1, 1)});
            if (lowCorner > 0.0 || highCorner <= 0.0) {
                continue;
            }
            for (int j = cj * refinement; j <= (cj + 1) * refinement; ++j) {
                for (int i = ci * refinement; i <= (ci + 1) * refinement; ++i) {
                    const size_t index = size_t(j) * size_t(m) + size_t(i);
                    if (exact[index] || (i % refinement == 0 && j % refinement == 0)) {
                        continue;
                    }
                    const Point_t p = fine->plane(fine->u(i), fine->v(j));
                    out[index] = 2.0 * scale * (objective(p.x, p.y) - lowest) - quantile;
                    exact[index] = true;
                }
            }
        }
    }
    return out;
}

// Marching squares: the closed outlines of {value <= 0} in grid coordinates (u, v). The grid
// is padded with outside nodes at its own edge, so that a region cut off there closes along it.
std::vector<std::vector<Point_t>> outline(const Grid_t& grid, const std::vector<double>& values)
{
    const int m = grid.nodes();
    const int p = m + 2;
    const auto value = [&](int i, int j) {
        if (i == 0 || j == 0 || i == p - 1 || j == p - 1) {
            return 1.0;
        }
        return values[size_t(j - 1) * size_t(m) + size_t(i - 1)];
    };
    const auto where = [&](int i, int j) {
        return Point_t{grid.u(std::clamp(i - 1, 0, m - 1)), grid.v(std::clamp(j - 1, 0, m - 1))};
    };
    struct Crossing_t
    {
        Point_t point;
        long neighbours[2];
        int count;
    };
    std::unordered_map<long, Crossing_t> crossings;
    // An edge from node (i, j) to the right (horizontal) or upwards.
    const auto edge = [&](int i, int j, bool upwards) {
        const long id = 2L * (long(j) * p + i) + (upwards ? 1 : 0);
        auto found = crossings.find(id);
        if (found == crossings.end()) {
            const int i2 = upwards ? i : i + 1, j2 = upwards ? j + 1 : j;
            const double a = value(i, j), b = value(i2, j2);
            const double t = a / (a - b);
            const Point_t pa = where(i, j), pb = where(i2, j2);
            found = crossings.emplace(id, Crossing_t{{pa.x + t * (pb.x - pa.x), pa.y + t * (pb.y - pa.y)}, {-1, -1}, 0})
                        .first;
        }
        return id;
    };
    const auto link = [&](long a, long b) {
        Crossing_t& first = crossings[a];
        Crossing_t& second = crossings[b];
        if (first.count < 2 && second.count < 2) {
            first.neighbours[first.count++] = b;
            second.neighbours[second.count++] = a;
        }
    };
    for (int j = 0; j + 1 < p; ++j) {
        for (int i = 0; i + 1 < p; ++i) {
            const double c[4] = {value(i, j), value(i + 1, j), value(i + 1, j + 1), value(i, j + 1)};
            int kind = 0;
            for (int k = 0; k < 4; ++k) {
                kind |= c[k] <= 0.0 ? 1 << k : 0;
            }
            if (kind == 0 || kind == 15) {
                continue;
            }
            // Edges: bottom, right, top, left.
            const auto e = [&](int which) {
                switch (which) {
                case 0: return edge(i, j, false);
                case 1: return edge(i + 1, j, true);
                case 2: return edge(i, j + 1, false);
                default: return edge(i, j, true);
                }
            };
            const bool centreInside = c[0] + c[1] + c[2] + c[3] <= 0.0;
            switch (kind) {
            case 1: case 14: link(e(3), e(0)); break;
            case 2: case 13: link(e(0), e(1)); break;
            case 4: case 11: link(e(1), e(2)); break;
            case 8: case 7: link(e(2), e(3)); break;
            case 3: case 12: link(e(3), e(1)); break;
            case 6: case 9: link(e(0), e(2)); break;
            case 5:
                if (centreInside) {
                    link(e(0), e(1));
                    link(e(2), e(3));
                } else {
                    link(e(3), e(0));
                    link(e(1), e(2));
                }
                break;
            default:  // 10
                if (centreInside) {
                    link(e(3), e(0));
                    link(e(1), e(2));
                } else {
                    link(e(0), e(1));
                    link(e(2), e(3));
                }
                break;
            }
        }
    }
    std::vector<std::vector<Point_t>> rings;
    std::unordered_map<long, bool> visited;
    for (const auto& [id, crossing] : crossings) {
        if (visited[id] || crossing.count != 2) {
            continue;
        }
        std::vector<Point_t> ring;
        long previous = -1, current = id;
        while (!visited[current]) {
            visited[current] = true;
            const Crossing_t& here = crossings[current];
            const Point_t point = here.point;
            if (ring.empty() || std::hypot(point.x - ring.back().x, point.y - ring.back().y) > 1e-9) {
                ring.push_back(point);
            }
            const long next = here.neighbours[0] != previous ? here.neighbours[0] : here.neighbours[1];
            previous = current;
            current = next;
            if (current < 0) {
                break;
            }
        }
        if (ring.size() >= 3) {
            ring.push_back(ring.front());
            rings.push_back(ring);
        }
    }
    return rings;
}

double signedArea(const std::vector<Point_t>& ring)
{
    double sum = 0.0;
    for (size_t k = 1; k < ring.size(); ++k) {
        sum += ring[k - 1].x * ring[k].y - ring[k].x * ring[k - 1].y;
    }
    return 0.5 * sum;
}

template <typename Ring>
bool insideRing(const Ring& ring, double x, double y)
{
    bool inside = false;
    for (int k = 1; k < int(ring.size()); ++k) {
        const auto& a = ring[k - 1];
        const auto& b = ring[k];
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y)) {
            inside = !inside;
        }
    }
    return inside;
}

} // namespace

LikelihoodRegion::LikelihoodRegion(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& fix)
{
    if (!fix.ok() || !(fix.semiMajorM > 0.0) || !(fix.sigmaDeg > 0.0)) {
        return;
    }
    // The bearings and the plane of the estimator: those in the window, centred on their receivers.
    QVector<int> used;
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
        used.append(i);
        latitudeSum += bearing.latitude;
        longitudeSum += std::remainder(bearing.longitude - bearings.at(used.first()).longitude, 360.0);
    }
    if (used.size() < 2) {
        return;
    }
    originLatitude = latitudeSum / used.size();
    originLongitude = bearings.at(used.first()).longitude + longitudeSum / used.size();
    const LocalFrame frame(originLatitude, originLongitude);
    std::vector<Ray_t> rays;
    rays.reserve(size_t(used.size()));
    double farthestReceiver = 0.0;
    for (int i : used) {
        const Bearing_t& bearing = bearings.at(i);
        Ray_t ray{};
        const double theta =
            frame.gridAzimuth(bearing.latitude, bearing.longitude, bearing.azimuth + options.offsetDeg, &ray.x, &ray.y)
            * degree;
        ray.sinTheta = std::sin(theta);
        ray.cosTheta = std::cos(theta);
        farthestReceiver = std::max(farthestReceiver, std::hypot(ray.x, ray.y));
        rays.push_back(ray);
    }

    Grid_t grid;
    frame.forward(fix.latitude, fix.longitude, &grid.fix.x, &grid.fix.y);
    const double majorGrid = (fix.majorAzimuthDeg - frame.trueAzimuth(grid.fix.x, grid.fix.y, 0.0)) * degree;
    grid.along = {std::sin(majorGrid), std::cos(majorGrid)};
    grid.across = {std::cos(majorGrid), -std::sin(majorGrid)};
    const double semiMajor = fix.semiMajorM;
    const double semiMinor = std::max({fix.semiMinorM, 1e-3 * semiMajor, 0.01});

    const RobustLoss loss{fix.estimator, fix.sigmaDeg * degree};
    const Objective_t objective{rays, loss, 1};
    // The quantile of the ellipse, from the same degrees of freedom: ML estimates sigma from
    // all bearings, the M-estimators from those whose loss still curves.
    double inliers = 0.0;
    double hEE = 0.0, hEN = 0.0, hNN = 0.0;  // curvature of the loss at the fix, per m²
    for (const Ray_t& ray : rays) {
        const double dx = grid.fix.x - ray.x, dy = grid.fix.y - ray.y;
        const double d2 = std::max(dx * dx + dy * dy, 1e-6);
        const double gx = dy / d2, gy = -dx / d2;
        const double curvature = std::max(loss.dpsi(residual(ray, grid.fix.x, grid.fix.y) / loss.sigma), 0.0);
        inliers += curvature > 0.0 ? 1.0 : 0.0;
        const double w = curvature / (loss.sigma * loss.sigma);
        hEE += w * gx * gx;
        hEN += w * gx * gy;
        hNN += w * gy * gy;
    }
    const bool ml = fix.estimator == ESTIMATOR_ML;
    threshold = regionQuantile(fix.sigmaEstimated, ml ? double(fix.used - 2) : inliers - 2.0);
    // ML's loss is the negative log-likelihood of von Mises bearings and needs no scale.
    // An M-estimator's loss is none: it is scaled so that near the fix, where the loss is
    // quadratic with the curvature H, the region {2 s dL <= q} has the area of the sandwich
    // ellipse, pi a b = pi q / (s sqrt(det H)).
    const double curvatureDet = hEE * hNN - hEN * hEN;
    if (!ml) {
        if (!(curvatureDet > 0.0)) {
            return;
        }
        scale = threshold / (fix.semiMajorM * std::max(fix.semiMinorM, 1e-9) * std::sqrt(curvatureDet));
    }
    const double lowest = objective(grid.fix.x, grid.fix.y);
    const double cap = capDistances * std::max({std::hypot(grid.fix.x, grid.fix.y), farthestReceiver, semiMajor});
    grid.extent = {std::min(startAxes * semiMajor, cap), std::min(startAxes * semiMajor, cap),
                   std::min(startAxes * semiMinor, cap), std::min(startAxes * semiMinor, cap)};

    // Sized on a subset first, so that growing the grid costs little; then on all bearings.
    bool capped = false;
    if (rays.size() > size_t(sizingBearings)) {
        const Objective_t subset{rays, loss, (rays.size() + sizingBearings - 1) / sizingBearings};
        const double subsetLowest = subset(grid.fix.x, grid.fix.y);
        std::vector<double> values;
        for (int growth = 0; growth < maxGrowths; ++growth) {
            values = sample(grid, subset, subsetLowest, scale, threshold);
            if (!grow(&grid, touched(values, grid.nodes()), cap, &capped)) {
                break;
            }
        }
        shrink(&grid, values);
    }
    std::vector<double> values;
    for (int growth = 0; growth < maxGrowths; ++growth) {
        values = sample(grid, objective, lowest, scale, threshold);
        if (!grow(&grid, touched(values, grid.nodes()), cap, &capped)) {
            break;
        }
    }
    if (!capped) {
        shrink(&grid, values);
        values = sample(grid, objective, lowest, scale, threshold);
    }
    reachesCap = capped;
    Grid_t fine;
    const std::vector<double> fineValues = refine(grid, values, objective, lowest, scale, threshold, &fine);

    // Outlines on the plane, outer rings counterclockwise and holes, inside an odd number of others, clockwise.
    std::vector<std::vector<Point_t>> rings = outline(fine, fineValues);
    for (std::vector<Point_t>& ring : rings) {
        for (Point_t& point : ring) {
            point = fine.plane(point.x, point.y);
        }
    }
    for (size_t r = 0; r < rings.size(); ++r) {
        int depth = 0;
        for (size_t other = 0; other < rings.size(); ++other) {
            depth += other != r && insideRing(rings[other], rings[r].front().x, rings[r].front().y) ? 1 : 0;
        }
        if ((signedArea(rings[r]) > 0.0) != (depth % 2 == 0)) {
            std::reverse(rings[r].begin(), rings[r].end());
        }
        area += signedArea(rings[r]);
        QVector<PlanePoint_t> plane;
        Ring_t geographic;
        for (const Point_t& point : rings[r]) {
            plane.append({point.x, point.y});
            double latitude = 0.0, longitude = 0.0;
            frame.reverse(point.x, point.y, &latitude, &longitude);
            geographic.append({latitude, longitude});
        }
        planeRings.append(plane);
        outlines.append(geographic);
    }

    // The ellipse against the region, at the centres of the fine cells.
    ellipseArea = M_PI * fix.semiMajorM * fix.semiMinorM;
    const int m = fine.nodes();
    const double cellArea = (fine.extent[0] + fine.extent[1]) * (fine.extent[2] + fine.extent[3])
                            / (double(fine.cells) * double(fine.cells));
    double regionSampled = 0.0, shared = 0.0;
    for (int j = 0; j < fine.cells; ++j) {
        for (int i = 0; i < fine.cells; ++i) {
            const size_t k = size_t(j) * size_t(m) + size_t(i);
            const double centre = 0.25 * (fineValues[k] + fineValues[k + 1] + fineValues[k + size_t(m)]
                                          + fineValues[k + size_t(m) + 1]);
            if (centre > 0.0) {
                continue;
            }
            regionSampled += cellArea;
            const double u = 0.5 * (fine.u(i) + fine.u(i + 1)) / fix.semiMajorM;
            const double v = 0.5 * (fine.v(j) + fine.v(j + 1)) / std::max(fix.semiMinorM, 1e-9);
            shared += u * u + v * v <= 1.0 ? cellArea : 0.0;
        }
    }
    symmetricDifference = ellipseArea > 0.0 ? (regionSampled + ellipseArea - 2.0 * shared) / ellipseArea
                                            : std::numeric_limits<double>::infinity();
    departsFromEllipse = reachesCap || symmetricDifference > departingMismatch
                         || !(std::fabs(area / ellipseArea - 1.0) <= departingAreaRatio);
}

bool LikelihoodRegion::contains(double latitude, double longitude) const
{
    if (isEmpty()) {
        return false;
    }
    const LocalFrame frame(originLatitude, originLongitude);
    double x = 0.0, y = 0.0;
    frame.forward(latitude, longitude, &x, &y);
    bool inside = false;
    for (const QVector<PlanePoint_t>& ring : planeRings) {
        inside = inside != insideRing(ring, x, y);
    }
    return inside;
}

} // namespace Vantrel::Locate
