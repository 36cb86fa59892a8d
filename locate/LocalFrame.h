#pragma once

#include <GeographicLib/LocalCartesian.hpp>

namespace Vantrel::Locate {

// A plane around a point of the search: metres east and north of its origin in
// the local tangent plane of the WGS84 ellipsoid (local Cartesian coordinates,
// height dropped). A projection costs a few trigonometric calls, not a geodesic;
// the price is that a bearing drawn as a straight ray strays from the geodesic it
// stands for as the search grows. A ray of 30 km from a receiver 20 km from the
// origin stays within half a metre of it, but a fix from noiseless bearings is off by
// up to 2 m at 50 km from the receivers, 16 m at 100 km and 55 m at 150 km, the
// ranges of a search from the air.
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
