#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <QThread>
#include <QVector>

#include "maps/MbtilesFile.h"
#include "maps/TileKey.h"

namespace Vantrel::Maps {

class TileLoader;

// The base map under a view: the tiles of the chosen files that cover it, from a
// bounded cache, the rest read in the loader's thread and announced by changed().
// Where several files cover a place, the first with a tile there is on top.
class BaseMap : public QObject
{
    Q_OBJECT
public:
    // A tile to draw, or the part of a coarser one that stands in while it loads.
    struct Piece_t
    {
        QImage image;
        QRectF source;  // in the image
        // The tile's edges, degrees; west and east run past ±180 across the date line.
        double west = 0.0;
        double east = 0.0;
        double north = 0.0;
        double south = 0.0;
        int file = 0;
        bool standIn = false;  // a coarser tile's part
    };

    // The cache holds tilesPerFile a file, and twice a view's tiles when that is more.
    explicit BaseMap(QObject* parent = nullptr, int tilesPerFile = 256);
    ~BaseMap() override;

    // The files in the order they win; those that fail are warned of and left out.
    void setFiles(const QStringList& paths);
    QStringList files() const { return paths; }
    // Whether each file opened (false too while it is opening).
    bool opened(int index) const;

    // The pieces to draw, in order, over a view of the box (x: longitude, y: latitude,
    // degrees; x may run past ±180) at the ground metres per view pixel.
    // Asks the loader for what it lacks.
    QVector<Piece_t> cover(const QRectF& box, double metresPerPx);
    // The attributions of the files that gave pieces to the last cover, one a line.
    QString attribution() const { return lastAttribution; }
    // Tiles asked for and not in yet.
    int pending() const { return int(asked.size()); }

    // A view needing more tiles than this from a file is too coarse for it: left bare.
    static constexpr int maxTilesPerView = 400;

Q_SIGNALS:
    void changed();
    void fileFailed(const QString& path, const QString& reason);
    // To the loader in its thread: a queued signal, whose copies of the arguments Qt makes.
    void sigOpenFiles(int generation, const QStringList& paths);
    void sigWant(int generation, const QVector<Vantrel::Maps::TileKey_t>& keys);

private:
    struct File_t
    {
        MapInfo_t info;
        bool ready = false;
    };
    void takeTile(int generation, const TileKey_t& key, const QImage& image);
    void coverFile(int index, const QRectF& box, double metresPerPx, QVector<Piece_t>* pieces,
                   QVector<TileKey_t>* wanted) const;

    QStringList paths;
    QVector<File_t> chosen;
    // LRU of decoded tiles; a null image marks a place the file has none.
    mutable QCache<TileKey_t, QImage> cache;
    int perFile;
    int generation = 0;
    QVector<TileKey_t> asked;
    QString lastAttribution;
    QThread thread;
    TileLoader* loader;
};

} // namespace Vantrel::Maps
