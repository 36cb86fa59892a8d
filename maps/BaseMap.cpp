#include "maps/BaseMap.h"

#include <QDebug>
#include <algorithm>
#include <cmath>

#include "maps/TileLoader.h"
#include "maps/TileMath.h"

namespace Vantrel::Maps {

BaseMap::BaseMap(QObject* parent, int tilesPerFile) : QObject(parent), perFile(tilesPerFile), loader(new TileLoader)
{
    loader->moveToThread(&thread);
    connect(&thread, &QThread::finished, loader, &QObject::deleteLater);
    connect(loader, &TileLoader::fileOpened, this, [this](int asOf, int index, const MapInfo_t& info) {
        if (asOf == generation && index < chosen.size()) {
            chosen[index] = {info, true};
            Q_EMIT changed();
        }
    });
    connect(loader, &TileLoader::fileFailed, this, [this](int asOf, int index, const QString& reason) {
        if (asOf == generation && index < paths.size()) {
            qWarning().noquote() << reason;
            Q_EMIT fileFailed(paths.at(index), reason);
        }
    });
    connect(loader, &TileLoader::tileReady, this, &BaseMap::takeTile);
    connect(this, &BaseMap::sigOpenFiles, loader, &TileLoader::openFiles);
    connect(this, &BaseMap::sigWant, loader, &TileLoader::want);
    thread.setObjectName(QStringLiteral("BaseMap"));
    thread.start();
}

BaseMap::~BaseMap()
{
    thread.quit();
    thread.wait();
}

void BaseMap::setFiles(const QStringList& newPaths)
{
    paths = newPaths;
    ++generation;
    chosen = QVector<File_t>(paths.size());
    cache.clear();
    cache.setMaxCost(std::max(1, perFile * int(paths.size())));
    asked.clear();
    lastAttribution.clear();
    Q_EMIT sigOpenFiles(generation, newPaths);
    Q_EMIT changed();
}

bool BaseMap::opened(int index) const
{
    return index >= 0 && index < chosen.size() && chosen.at(index).ready;
}

void BaseMap::takeTile(int asOf, const TileKey_t& key, const QImage& image)
{
    if (asOf != generation) {
        return;
    }
    asked.removeOne(key);
    cache.insert(key, new QImage(image), 1);
    Q_EMIT changed();
}

QVector<BaseMap::Piece_t> BaseMap::cover(const QRectF& box, double metresPerPx)
{
    QVector<Piece_t> pieces;
    QVector<TileKey_t> wanted;
    QStringList attributions;
    // The last file first, so that the first is drawn on top.
    for (int index = int(chosen.size()) - 1; index >= 0; --index) {
        const qsizetype before = pieces.size();
        QVector<TileKey_t> fileWanted;
        coverFile(index, box, metresPerPx, &pieces, &fileWanted);
        wanted = fileWanted + wanted;
        const QString& attribution = chosen.at(index).info.attribution;
        if (pieces.size() > before && !attribution.isEmpty() && !attributions.contains(attribution)) {
            attributions.prepend(attribution);
        }
    }
    lastAttribution = attributions.join(QLatin1Char('\n'));
    // A cache smaller than the view would drop tiles as fast as they come and read them for ever.
    const int needed = 2 * int(pieces.size() + wanted.size());
    if (cache.maxCost() < needed) {
        cache.setMaxCost(needed);
    }
    // Unchanged wishes are not sent again: the loader is busy with them.
    if (!wanted.isEmpty() && wanted != asked) {
        asked = wanted;
        Q_EMIT sigWant(generation, wanted);
    }
    return pieces;
}

void BaseMap::coverFile(int index, const QRectF& box, double metresPerPx, QVector<Piece_t>* pieces,
                        QVector<TileKey_t>* wanted) const
{
    const File_t& file = chosen.at(index);
    if (!file.ready) {
        return;
    }
    const MapInfo_t& info = file.info;
    const int zoom = TileMath::bestZoom(metresPerPx, box.center().y(), info.minZoom, info.maxZoom);
    const int count = TileMath::tileCount(zoom);
    // Rows within the file's bounds and the view; columns unwrapped, so that a view across the date line is one run.
    const int top = std::max(TileMath::row(box.bottom(), zoom), TileMath::row(info.bounds.bottom(), zoom));
    const int bottom = std::min(TileMath::row(box.top(), zoom), TileMath::row(info.bounds.top(), zoom));
    const int left = int(std::floor(TileMath::tileX(box.left(), zoom)));
    const int right = int(std::floor(TileMath::tileX(box.right(), zoom)));
    if (top > bottom || right < left || double(right - left + 1) * (bottom - top + 1) > maxTilesPerView) {
        return;
    }
    const double boundsLeft = TileMath::tileX(info.bounds.left(), zoom);
    const double boundsRight = TileMath::tileX(info.bounds.right(), zoom);
    const double middleX = TileMath::tileX(box.center().x(), zoom);
    const double middleY = TileMath::tileY(box.center().y(), zoom);
    QVector<std::pair<double, TileKey_t>> missing;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const int wrapped = ((x % count) + count) % count;
            if (wrapped + 1 <= boundsLeft || wrapped >= boundsRight) {
                continue;
            }
            Piece_t piece;
            piece.file = index;
            piece.west = TileMath::longitude(x, zoom);
            piece.east = TileMath::longitude(x + 1, zoom);
            piece.north = TileMath::latitude(y, zoom);
            piece.south = TileMath::latitude(y + 1, zoom);
            const TileKey_t key{index, zoom, wrapped, y};
            if (const QImage* image = cache.object(key)) {
                if (!image->isNull()) {
                    piece.image = *image;
                    piece.source = QRectF(image->rect());
                    pieces->append(piece);
                }
                continue;
            }
            missing.append({std::hypot(x + 0.5 - middleX, y + 0.5 - middleY), key});
            // While it loads, the nearest coarser tile in the cache stands in, its part scaled up.
            for (int up = 1; up <= zoom - info.minZoom; ++up) {
                const QImage* parent = cache.object({index, zoom - up, wrapped >> up, y >> up});
                if (!parent) {
                    continue;
                }
                if (!parent->isNull()) {
                    const double side = parent->width() / double(1 << up);
                    const double sideY = parent->height() / double(1 << up);
                    const int mask = (1 << up) - 1;
                    piece.image = *parent;
                    piece.source = QRectF((wrapped & mask) * side, (y & mask) * sideY, side, sideY);
                    piece.standIn = true;
                    pieces->append(piece);
                }
                break;
            }
        }
    }
    std::stable_sort(missing.begin(), missing.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : missing) {
        wanted->append(entry.second);
    }
}

} // namespace Vantrel::Maps
