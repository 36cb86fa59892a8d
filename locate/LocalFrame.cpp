#include "locate/LocalFrame.h"

#include <cmath>
#include <vector>

namespace Vantrel::Locate {

namespace {

constexpr double degree = M_PI / 180.0;

} // namespace

LocalFrame::LocalFrame(double latitude, double longitude)
    : projection(latitude, longitude, 0.0), latitude0(latitude), longitude0(longitude)
{
}

void LocalFrame::forward(double latitude, double longitude, double* east, double* north) const
{
    double up = 0.0;
    projection.Forward(latitude, longitude, 0.0, *east, *north, up);
}

void LocalFrame::reverse(double east, double north, double* latitude, double* longitude) const
{
    // The plane point stands for the surface point below or above it: follow the
    // height off along the vertical until the surface is reached.
    double up = 0.0;
    double height = 0.0;
    for (int k = 0; k < 4; ++k) {
        projection.Reverse(east, north, up, *latitude, *longitude, height);
        if (std::fabs(height) < 1e-4) {
            break;
        }
        up -= height;
    }
}

// The local rotation takes the point's own east and north to the plane's axes.
double LocalFrame::gridAzimuth(double latitude, double longitude, double azimuth, double* east, double* north) const
{
    double up = 0.0;
    thread_local std::vector<double> rotation(9);
    projection.Forward(latitude, longitude, 0.0, *east, *north, up, rotation);
    const double s = std::sin(azimuth * degree);
    const double c = std::cos(azimuth * degree);
    return std::atan2(rotation[0] * s + rotation[1] * c, rotation[3] * s + rotation[4] * c) / degree;
}

double LocalFrame::trueAzimuth(double east, double north, double gridAzimuthDeg) const
{
    double latitude = 0.0;
    double longitude = 0.0;
    reverse(east, north, &latitude, &longitude);
    double x = 0.0, y = 0.0, up = 0.0;
    std::vector<double> rotation(9);
    projection.Forward(latitude, longitude, 0.0, x, y, up, rotation);
    // gridAzimuth takes a direction through the horizontal block of the rotation;
    // its inverse brings the grid direction back (the determinant is positive).
    const double s = std::sin(gridAzimuthDeg * degree);
    const double c = std::cos(gridAzimuthDeg * degree);
    return std::atan2(rotation[4] * s - rotation[1] * c, rotation[0] * c - rotation[3] * s) / degree;
}

} // namespace Vantrel::Locate
