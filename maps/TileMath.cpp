#include "maps/TileMath.h"

#include <algorithm>
#include <cmath>

namespace Vantrel::Maps {

namespace {
constexpr double pi = 3.14159265358979323846;
} // namespace

double TileMath::tileX(double longitude, int zoom)
{
    return (longitude + 180.0) / 360.0 * tileCount(zoom);
}

double TileMath::tileY(double latitude, int zoom)
{
    const double phi = std::clamp(latitude, -maxLatitude, maxLatitude) * pi / 180.0;
    return (1.0 - std::asinh(std::tan(phi)) / pi) / 2.0 * tileCount(zoom);
}

int TileMath::column(double longitude, int zoom)
{
    const int count = tileCount(zoom);
    const int x = int(std::floor(tileX(longitude, zoom)));
    return ((x % count) + count) % count;
}

int TileMath::row(double latitude, int zoom)
{
    return std::clamp(int(std::floor(tileY(latitude, zoom))), 0, tileCount(zoom) - 1);
}

double TileMath::longitude(double x, int zoom)
{
    return x / tileCount(zoom) * 360.0 - 180.0;
}

double TileMath::latitude(double y, int zoom)
{
    return std::atan(std::sinh(pi * (1.0 - 2.0 * y / tileCount(zoom)))) * 180.0 / pi;
}

double TileMath::metresPerPx(double latitude, int zoom)
{
    return equatorMetresPerPx * std::cos(latitude * pi / 180.0) / tileCount(zoom);
}

int TileMath::bestZoom(double metresPerViewPx, double latitude, int minZoom, int maxZoom)
{
    const double ratio = metresPerPx(latitude, 0) / std::max(metresPerViewPx, 1e-6);
    const double zoom = std::round(std::log2(std::max(ratio, 1e-9)));
    return int(std::clamp(zoom, double(minZoom), double(maxZoom)));
}

} // namespace Vantrel::Maps
