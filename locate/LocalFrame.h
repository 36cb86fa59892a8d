#pragma once

#include <GeographicLib/LocalCartesian.hpp>

namespace Vantrel::Locate {

// A plane around a point of the search: metres east and north of its origin in
// the local tangent plane of the WGS84 ellipsoid (local Cartesian coordinates,
// height dropped). Within the 50 km of a search a bearing drawn as a straight ray
// from its receiver strays well under a metre from the geodesic it stands for,
// and a projection costs a few trigonometric calls, not a geodesic.
class LocalFrame
{
public:
    LocalFrame(double latitude, double longitude);

    double originLatitude() const { return latitude0; }
    double originLongitude() const { return longitude0; }

    void forward(double latitude, double longitude, double* east, double* north) const;
    // The point on the ellipsoid that projects to (east, north).
    void reverse(double east, double north, double* latitude, double* longitude) const;
    // Where a geodesic leaving (latitude, longitude) at a true azimuth runs on the plane:
    // its grid azimuth, degrees clockwise from the plane's north. Also gives the point.
    double gridAzimuth(double latitude, double longitude, double azimuth, double* east, double* north) const;
    // The true azimuth at the plane point (east, north) of the grid direction gridAzimuthDeg.
    double trueAzimuth(double east, double north, double gridAzimuthDeg) const;

private:
    GeographicLib::LocalCartesian projection;
    double latitude0;
    double longitude0;
};

} // namespace Vantrel::Locate
