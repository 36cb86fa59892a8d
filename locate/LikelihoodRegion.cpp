#include "locate/LikelihoodRegion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_set>
#include <vector>

#include "locate/LocalFrame.h"
#include "locate/RobustLoss.h"
#include "locate/TwoDofQuantile.h"

namespace Vantrel::Locate {

namespace {

constexpr double degree = M_PI / 180.0;
// The grid: coarse cells per side, each cut into refinement² where the boundary runs.
constexpr int coarseCells = 24;
constexpr int refinement = 4;
// The grid is sized on a subset of this many bearings before all of them are evaluated.
constexpr int sizingBearings = 64;
constexpr int maxGrowths = 24;
// The ellipse's semi-axes the grid starts from, on each side of the fix.
constexpr double startAxes = 2.0;
// Farther than this many times the receivers' spread the grid is polar about them,
// reaching down to this fraction of the fix's range.
constexpr double polarRanges = 3.0;
constexpr double polarNearest = 20.0;
// Points over the ellipse to measure how much of it the region holds: radii by angles.
constexpr int ellipseRadii = 12;
constexpr int ellipseAngles = 36;

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

// E psi' / E psi² of an M-estimator's loss under normal residuals, by Simpson's rule.
double normalCurvatureOverSpread(const RobustLoss& loss)
{
    constexpr int steps = 400;
    constexpr double reach = 8.0;
    const double h = 2.0 * reach / steps;
    double curvature = 0.0, spread = 0.0;
    for (int k = 0; k <= steps; ++k) {
        const double u = -reach + k * h;
        const double weight = (k == 0 || k == steps ? 1.0 : (k % 2 ? 4.0 : 2.0)) * std::exp(-0.5 * u * u);
        curvature += weight * loss.dpsi(u);
        spread += weight * loss.psi(u) * loss.psi(u);
    }
    return curvature / spread;
}

// A grid around the fix, with each side's extent its own so that a band can grow one way
// only. Near the receivers it lies on the ellipse's axes: u along the major axis, v across
// it, metres from the fix. Far from them the region is a wedge from the receivers that
// widens with range, and the grid is polar about their mean: u the logarithm of the range,
// v the grid azimuth, so that its cells widen with it.
struct Grid_t
{
    bool polar = false;
    Point_t fix{};
    Point_t along{};
    Point_t across{};
    double u0 = 0.0;  // the fix's u and v
    double v0 = 0.0;
    std::array<double, 4> extent{};  // -u, +u, -v, +v, each > 0
    std::array<double, 4> cap{};
    int cells = coarseCells;

    double u(int i) const { return u0 - extent[0] + (extent[0] + extent[1]) * i / cells; }
    double v(int j) const { return v0 - extent[2] + (extent[2] + extent[3]) * j / cells; }
    Point_t plane(double u, double v) const
    {
        if (polar) {
            const double range = std::exp(u);
            return {range * std::sin(v), range * std::cos(v)};
        }
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
bool grow(Grid_t* grid, const std::array<bool, 4>& sides, bool* capped)
{
    bool grew = false;
    *capped = false;
    for (int s = 0; s < 4; ++s) {
        if (!sides[size_t(s)]) {
            continue;
        }
        if (grid->extent[size_t(s)] >= grid->cap[size_t(s)]) {
            *capped = true;
            continue;
        }
        grid->extent[size_t(s)] = std::min(2.0 * grid->extent[size_t(s)], grid->cap[size_t(s)]);
        grew = true;
    }
    return grew;
}

// Fits the grid to the nodes inside, never wider than it was, with a margin for a subset's
// misjudgement: a quarter of the region's span and two cells.
void shrink(Grid_t* grid, const std::vector<double>& values)
{
    const int n = grid->nodes();
    double low[2] = {grid->u0, grid->v0}, high[2] = {grid->u0, grid->v0};  // the fix is inside
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
    const double marginU = 2.0 * (grid->extent[0] + grid->extent[1]) / grid->cells + 0.25 * (high[0] - low[0]);
    const double marginV = 2.0 * (grid->extent[2] + grid->extent[3]) / grid->cells + 0.25 * (high[1] - low[1]);
    grid->extent[0] = std::min(grid->extent[0], marginU + grid->u0 - low[0]);
    grid->extent[1] = std::min(grid->extent[1], marginU + high[0] - grid->u0);
    grid->extent[2] = std::min(grid->extent[2], marginV + grid->v0 - low[1]);
    grid->extent[3] = std::min(grid->extent[3], marginV + high[1] - grid->v0);
}

// An edge of the fine grid from node (i, j) to the right, or upwards.
struct Edge_t
{
    int i;
    int j;
    bool upwards;
};

// Marching squares on a fine grid whose nodes are evaluated only where the outline is
// followed, cell by cell: a few hundred nodes instead of thousands. The grid is padded with
// outside nodes at its own edge, so that a region cut off there closes along it.
class Tracer_t
{
public:
    Tracer_t(const Grid_t& grid, const Objective_t& objective, double lowest, double scale, double quantile)
        : fine(grid), loss(objective), lowest(lowest), scale(scale), quantile(quantile),
          cache(size_t(grid.nodes()) * size_t(grid.nodes()), std::numeric_limits<double>::quiet_NaN())
    {
    }

    const Grid_t& grid() const { return fine; }
    // The sides of the grid the outlines run along: -u, +u, -v, +v.
    const std::array<bool, 4>& reached() const { return sides; }

    // Twice the scaled rise of the loss minus the quantile: inside where <= 0.
    double value(int i, int j)
    {
        if (i < 0 || j < 0 || i > fine.cells || j > fine.cells) {
            return 1.0;
        }
        double& v = cache[size_t(j) * size_t(fine.nodes()) + size_t(i)];
        if (std::isnan(v)) {
            const Point_t p = fine.plane(fine.u(i), fine.v(j));
            v = 2.0 * scale * (loss(p.x, p.y) - lowest) - quantile;
        }
        return v;
    }
    bool crosses(const Edge_t& e)
    {
        const int i2 = e.upwards ? e.i : e.i + 1, j2 = e.upwards ? e.j + 1 : e.j;
        return (value(e.i, e.j) <= 0.0) != (value(i2, j2) <= 0.0);
    }
    bool traced(const Edge_t& e) const { return seen.count(key(e)) > 0; }

    // The closed outline through a crossing edge, in grid coordinates (u, v).
    std::vector<Point_t> trace(const Edge_t& start)
    {
        std::vector<Point_t> ring;
        Edge_t edge = start;
        int ci = start.i, cj = start.j;  // the cell above or right of the edge
        const long limit = 4L * (fine.cells + 3) * (fine.cells + 3);
        for (long step = 0; step < limit; ++step) {
            const Edge_t next = exit(ci, cj, edge);
            seen.insert(key(next));
            const Point_t point = crossing(next);
            if (ring.empty() || std::hypot(point.x - ring.back().x, point.y - ring.back().y) > 1e-12) {
                ring.push_back(point);
            }
            if (key(next) == key(start)) {
                break;
            }
            // Into the cell on the other side of that edge.
            if (next.upwards) {
                ci = next.i == ci ? ci - 1 : ci + 1;
            } else {
                cj = next.j == cj ? cj - 1 : cj + 1;
            }
            edge = next;
        }
        if (ring.size() >= 3) {
            ring.push_back(ring.front());
        } else {
            ring.clear();
        }
        return ring;
    }

private:
    static long key(const Edge_t& e) { return ((long(e.j) + 1) * 65536L + (long(e.i) + 1)) * 2 + (e.upwards ? 1 : 0); }

    Point_t where(int i, int j) const
    {
        return {fine.u(std::clamp(i, 0, fine.cells)), fine.v(std::clamp(j, 0, fine.cells))};
    }
    Point_t crossing(const Edge_t& e)
    {
        const int i2 = e.upwards ? e.i : e.i + 1, j2 = e.upwards ? e.j + 1 : e.j;
        const double a = value(e.i, e.j), b = value(i2, j2);
        for (const auto& [i, j] : {std::pair{e.i, e.j}, std::pair{i2, j2}}) {
            sides[0] = sides[0] || i < 0;
            sides[1] = sides[1] || i > fine.cells;
            sides[2] = sides[2] || j < 0;
            sides[3] = sides[3] || j > fine.cells;
        }
        const double t = a / (a - b);
        const Point_t pa = where(e.i, e.j), pb = where(i2, j2);
        return {pa.x + t * (pb.x - pa.x), pa.y + t * (pb.y - pa.y)};
    }
    // Where the outline leaves cell (ci, cj) that it entered through edge `in`.
    Edge_t exit(int ci, int cj, const Edge_t& in)
    {
        const Edge_t edges[4] = {{ci, cj, false}, {ci + 1, cj, true}, {ci, cj + 1, false}, {ci, cj, true}};
        const double c[4] = {value(ci, cj), value(ci + 1, cj), value(ci + 1, cj + 1), value(ci, cj + 1)};
        int kind = 0;
        for (int k = 0; k < 4; ++k) {
            kind |= c[k] <= 0.0 ? 1 << k : 0;
        }
        int entry = 0;
        while (entry < 3 && key(edges[entry]) != key(in)) {
            ++entry;
        }
        // Edges 0-3: bottom, right, top, left; each case pairs those the outline joins.
        // A saddle joins the inside corners when the cell's centre is inside.
        const bool centreInside = c[0] + c[1] + c[2] + c[3] <= 0.0;
        static constexpr int single[16][4] = {
            {-1, -1, -1, -1}, {3, -1, -1, 0}, {1, 0, -1, -1}, {-1, 3, -1, 1}, {-1, 2, 1, -1}, {-1, -1, -1, -1},
            {2, -1, 0, -1},   {-1, -1, 3, 2}, {-1, -1, 3, 2}, {2, -1, 0, -1}, {-1, -1, -1, -1}, {-1, 2, 1, -1},
            {-1, 3, -1, 1},   {1, 0, -1, -1}, {3, -1, -1, 0}, {-1, -1, -1, -1}};
        int out = single[kind][entry];
        if (kind == 5 || kind == 10) {
            // Corners 0 and 2 inside (5) or 1 and 3 (10): cut off the corners on the other diagonal, or these.
            static constexpr int cutOneThree[4] = {1, 0, 3, 2};
            static constexpr int cutZeroTwo[4] = {3, 2, 1, 0};
            out = (kind == 5) == centreInside ? cutOneThree[entry] : cutZeroTwo[entry];
        }
        return edges[std::max(out, 0)];
    }

    Grid_t fine;
    const Objective_t& loss;
    double lowest;
    double scale;
    double quantile;
    std::vector<double> cache;
    std::unordered_set<long> seen;
    std::array<bool, 4> sides{};
};

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
    threshold = twoDofQuantile(0.05, fix.sigmaEstimated, ml ? double(fix.used - 2) : inliers - 2.0);
    // ML's loss is the negative log-likelihood of von Mises bearings and needs no scale. An
    // M-estimator's loss is none: it is scaled so that near the fix, where it is quadratic with
    // the curvature H, the region {2 s dL <= q} agrees with the sandwich ellipse. With sigma
    // from the residuals that is the fix's own ellipse, and s matches its area, pi a b =
    // pi q / (s sqrt(det H)). With the user's sigma the fix's ellipse is H's inverse alone,
    // which overstates the spread; under normal bearing errors the sandwich's inverse is
    // (E psi' / E psi²) H, and that ratio is s (the drop-in-dispersion test's scale).
    if (!ml) {
        const double curvatureDet = hEE * hNN - hEN * hEN;
        if (!(curvatureDet > 0.0)) {
            return;
        }
        scale = fix.sigmaEstimated
                    ? threshold / (fix.semiMajorM * std::max(fix.semiMinorM, 1e-9) * std::sqrt(curvatureDet))
                    : normalCurvatureOverSpread(loss);
    }
    const double lowest = objective(grid.fix.x, grid.fix.y);
    const double range = std::hypot(grid.fix.x, grid.fix.y);
    const double reach = capDistances * std::max({range, farthestReceiver, semiMajor});
    grid.polar = range > polarRanges * farthestReceiver;
    if (grid.polar) {
        // The ellipse's half-extents along the range and across it, as the grid's start.
        const double bearing = std::atan2(grid.fix.x, grid.fix.y);
        const double c = std::cos(majorGrid - bearing), s = std::sin(majorGrid - bearing);
        const double radial = startAxes * std::hypot(semiMajor * c, semiMinor * s);
        const double tangential = startAxes * std::hypot(semiMajor * s, semiMinor * c) / range;
        grid.u0 = std::log(range);
        grid.v0 = bearing;
        grid.cap = {std::log(polarNearest), std::log(reach / range), M_PI / 2, M_PI / 2};
        grid.extent = {std::log(range / std::max(range - radial, range / polarNearest)),
                       std::log((range + radial) / range), tangential, tangential};
    } else {
        grid.cap = {reach, reach, reach, reach};
        grid.extent = {startAxes * semiMajor, startAxes * semiMajor, startAxes * semiMinor, startAxes * semiMinor};
    }
    for (int s = 0; s < 4; ++s) {
        grid.extent[size_t(s)] = std::min(grid.extent[size_t(s)], grid.cap[size_t(s)]);
    }

    // Sized on a subset first, so that growing the grid costs little; then all bearings are
    // evaluated once, and again only if the subset misjudged the edge.
    bool capped = false;
    const Objective_t sizing{rays, loss, std::max<size_t>(1, (rays.size() + sizingBearings - 1) / sizingBearings)};
    const double sizingLowest = sizing(grid.fix.x, grid.fix.y);
    std::vector<double> values;
    for (int growth = 0; growth < maxGrowths; ++growth) {
        values = sample(grid, sizing, sizingLowest, scale, threshold);
        if (!grow(&grid, touched(values, grid.nodes()), &capped)) {
            break;
        }
    }
    shrink(&grid, values);
    values = sample(grid, sizing, sizingLowest, scale, threshold);

    // The outlines on all bearings: through the crossing on the fix's row, then through any
    // the sizing's coarse rows show, which finds other parts and holes. A side that the
    // outlines run along and that may still grow is grown, and the outlines followed again.
    std::vector<std::vector<Point_t>> rings;
    Grid_t fine;
    for (int growth = 0; growth < maxGrowths; ++growth) {
        fine = grid;
        fine.cells = grid.cells * refinement;
        Tracer_t tracer(fine, objective, lowest, scale, threshold);
        rings.clear();
        const auto follow = [&](int i, int j) {
            const Edge_t edge{i, j, false};
            if (!tracer.traced(edge) && tracer.crosses(edge)) {
                if (std::vector<Point_t> ring = tracer.trace(edge); !ring.empty()) {
                    rings.push_back(std::move(ring));
                }
            }
        };
        const double cellU = (fine.extent[0] + fine.extent[1]) / fine.cells;
        const double cellV = (fine.extent[2] + fine.extent[3]) / fine.cells;
        const int fixI = std::clamp(int(std::lround(fine.extent[0] / cellU)), 0, fine.cells);
        const int fixJ = std::clamp(int(std::lround(fine.extent[2] / cellV)), 0, fine.cells);
        int i = fixI;
        while (i <= fine.cells && tracer.value(i, fixJ) <= 0.0) {
            ++i;
        }
        if (i > fixI) {
            follow(i - 1, fixJ);
        }
        const int n = grid.nodes();
        for (int row = 0; row < n; ++row) {
            for (int column = -1; column < n; ++column) {
                const bool here = column >= 0 && values[size_t(row) * size_t(n) + size_t(column)] <= 0.0;
                const bool there = column + 1 < n && values[size_t(row) * size_t(n) + size_t(column + 1)] <= 0.0;
                if (here == there) {
                    continue;
                }
                const int from = column < 0 ? -1 : column * refinement;
                const int to = column + 1 < n ? (column + 1) * refinement : fine.cells + 1;
                for (int k = from; k < to; ++k) {
                    follow(k, row * refinement);
                }
            }
        }
        bool grew = false;
        capped = false;
        for (int side = 0; side < 4; ++side) {
            if (!tracer.reached()[size_t(side)]) {
                continue;
            }
            if (grid.extent[size_t(side)] >= grid.cap[size_t(side)]) {
                capped = true;
            } else {
                grid.extent[size_t(side)] = std::min(2.0 * grid.extent[size_t(side)], grid.cap[size_t(side)]);
                grew = true;
            }
        }
        if (!grew) {
            break;
        }
        values = sample(grid, sizing, sizingLowest, scale, threshold);
    }
    reachesCap = capped;

    // Outlines on the plane, outer rings counterclockwise and holes, inside an odd number of others, clockwise.
    for (std::vector<Point_t>& ring : rings) {
        for (Point_t& point : ring) {
            point = fine.plane(point.x, point.y);
        }
    }
    // Each hole goes with the outer ring just around it.
    std::vector<int> depth(rings.size(), 0);
    for (size_t r = 0; r < rings.size(); ++r) {
        for (size_t other = 0; other < rings.size(); ++other) {
            depth[r] += other != r && insideRing(rings[other], rings[r].front().x, rings[r].front().y) ? 1 : 0;
        }
        if ((signedArea(rings[r]) > 0.0) != (depth[r] % 2 == 0)) {
            std::reverse(rings[r].begin(), rings[r].end());
        }
        area += signedArea(rings[r]);
    }
    const auto geographic = [&frame](const std::vector<Point_t>& ring) {
        Ring_t out;
        for (const Point_t& point : ring) {
            double latitude = 0.0, longitude = 0.0;
            frame.reverse(point.x, point.y, &latitude, &longitude);
            out.append({latitude, longitude});
        }
        return out;
    };
    for (size_t r = 0; r < rings.size(); ++r) {
        QVector<PlanePoint_t> plane;
        for (const Point_t& point : rings[r]) {
            plane.append({point.x, point.y});
        }
        planeRings.append(plane);
        if (depth[r] % 2 != 0) {
            continue;
        }
        Polygon_t polygon{geographic(rings[r])};
        for (size_t hole = 0; hole < rings.size(); ++hole) {
            if (depth[hole] == depth[r] + 1 && insideRing(rings[r], rings[hole].front().x, rings[hole].front().y)) {
                polygon.append(geographic(rings[hole]));
            }
        }
        parts.append(polygon);
    }

    // The ellipse against the region: the share of points spread evenly over the ellipse
    // that the region holds.
    ellipseArea = M_PI * fix.semiMajorM * fix.semiMinorM;
    int held = 0;
    for (int r = 0; r < ellipseRadii; ++r) {
        const double radius = std::sqrt((r + 0.5) / ellipseRadii);
        for (int k = 0; k < ellipseAngles; ++k) {
            const double angle = 2.0 * M_PI * (k + 0.5) / ellipseAngles;
            const double a = radius * std::cos(angle) * fix.semiMajorM, b = radius * std::sin(angle) * fix.semiMinorM;
            const double x = grid.fix.x + a * grid.along.x + b * grid.across.x;
            const double y = grid.fix.y + a * grid.along.y + b * grid.across.y;
            bool inside = false;
            for (const QVector<PlanePoint_t>& ring : planeRings) {
                inside = inside != insideRing(ring, x, y);
            }
            held += inside ? 1 : 0;
        }
    }
    const double shared = ellipseArea * held / (ellipseRadii * ellipseAngles);
    symmetricDifference = ellipseArea > 0.0 ? (area + ellipseArea - 2.0 * shared) / ellipseArea
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
