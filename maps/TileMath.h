#pragma once

namespace Vantrel::Maps {

// Web Mercator tiles (EPSG:3857, 256 px, XYZ rows from the north): where a point
// falls at a zoom, where a tile's edges are, and the zoom that suits a view.
class TileMath
{
public:
    static constexpr int tilePx = 256;
    // The latitude where the square world of zoom 0 ends.
    static constexpr double maxLatitude = 85.05112877980659;
    // Ground metres per tile pixel at the equator, zoom 0.
    static constexpr double equatorMetresPerPx = 156543.03392804097;

    static int tileCount(int zoom) { return 1 << zoom; }
    // Fractional tile coordinates; latitudes beyond the square world are held at its edge.
    static double tileX(double longitude, int zoom);
    static double tileY(double latitude, int zoom);
    // The tile holding the point: a column wrapped into the world, a row within it.
    static int column(double longitude, int zoom);
    static int row(double latitude, int zoom);
    // A tile edge's longitude (not wrapped: x past the count lies east of the date line) and latitude.
    static double longitude(double x, int zoom);
    static double latitude(double y, int zoom);
    // The file's rows count from the south.
    static int tmsRow(int y, int zoom) { return tileCount(zoom) - 1 - y; }
    // Ground metres a tile pixel spans at the latitude.
    static double metresPerPx(double latitude, int zoom);
    // The zoom whose pixels come nearest the view's, within [minZoom, maxZoom].
    static int bestZoom(double metresPerViewPx, double latitude, int minZoom, int maxZoom);
};

} // namespace Vantrel::Maps
