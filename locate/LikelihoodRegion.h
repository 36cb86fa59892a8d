#pragma once

#include <QPair>
#include <QVector>

#include "locate/Bearing.h"
#include "locate/BearingFix.h"

namespace Vantrel::Locate {

// The 95 % highest-likelihood region of a fix: the points where twice the rise of
// the estimator's loss above its value at the fix stays within the 95 % quantile.
// With few bearings or lines that barely cross it is a long curved band that the
// ellipse, drawn from the curvature at the fix alone, misrepresents.
class LikelihoodRegion
{
public:
    using Ring_t = QVector<QPair<double, double>>;  // latitude/longitude, closed (last point = first)
    using Polygon_t = QVector<Ring_t>;               // the outer ring, then its holes

    LikelihoodRegion() = default;  // no region: no fix
    // The region of an accepted fix of these bearings under these options; empty for a refused fix.
    LikelihoodRegion(const QVector<Bearing_t>& bearings, const FixOptions_t& options, const Fix_t& fix);

    bool isEmpty() const { return planeRings.isEmpty(); }
    // The region's parts: outer rings counterclockwise, holes clockwise.
    const QVector<Polygon_t>& polygons() const { return parts; }
    // Whether a point lies inside the outlines.
    bool contains(double latitude, double longitude) const;

    // The region reaches the largest grid allowed: it is cut off there and in truth goes on.
    bool open() const { return reachesCap; }
    // Too unlike the fix's ellipse to leave the ellipse to speak for it: draw the region.
    bool departs() const { return departsFromEllipse; }
    double areaM2() const { return area; }
    double ellipseAreaM2() const { return ellipseArea; }
    // Area of the symmetric difference of region and ellipse over the ellipse's area.
    double mismatch() const { return symmetricDifference; }
    // The loss is scaled by this before the quantile applies: 1 for the likelihood of ML.
    double lossScale() const { return scale; }
    double quantile() const { return threshold; }

    // Departure thresholds: of the symmetric difference, and of the areas' ratio from 1.
    static constexpr double departingMismatch = 0.25;
    static constexpr double departingAreaRatio = 0.25;
    // The grid grows no farther from the fix than this many times its distance to the receivers.
    static constexpr double capDistances = 10.0;

private:
    struct PlanePoint_t
    {
        double x;
        double y;
    };

    double originLatitude = 0.0;
    double originLongitude = 0.0;
    QVector<QVector<PlanePoint_t>> planeRings;  // on the plane of the receivers' mean, metres
    QVector<Polygon_t> parts;
    bool reachesCap = false;
    bool departsFromEllipse = false;
    double area = 0.0;
    double ellipseArea = 0.0;
    double symmetricDifference = 0.0;
    double scale = 1.0;
    double threshold = 0.0;
};

} // namespace Vantrel::Locate
