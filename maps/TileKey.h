#pragma once

#include <QHashFunctions>

namespace Vantrel::Maps {

// One tile of one chosen file, in XYZ numbering (row 0 at the north).
struct TileKey_t
{
    int file = 0;
    int zoom = 0;
    int x = 0;
    int y = 0;

    bool operator==(const TileKey_t& other) const
    {
        return file == other.file && zoom == other.zoom && x == other.x && y == other.y;
    }
    bool operator!=(const TileKey_t& other) const { return !(*this == other); }
};

inline size_t qHash(const TileKey_t& key, size_t seed = 0)
{
    return qHashMulti(seed, key.file, key.zoom, key.x, key.y);
}

} // namespace Vantrel::Maps
