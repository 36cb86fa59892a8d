#pragma once

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QVector>
#include <deque>
#include <memory>
#include <vector>

#include "maps/MbtilesFile.h"
#include "maps/TileKey.h"

namespace Vantrel::Maps {

// Reads and decodes tiles in a thread of its own, so that the GUI never waits on the
// disk. Every call is queued to it; each answer names the choice of files (generation)
// it was asked under, so that answers for files since dropped are told apart.
class TileLoader : public QObject
{
    Q_OBJECT
public:
    TileLoader() = default;
    ~TileLoader() override;

    // Opens the files in order, closing those open before.
    void openFiles(int generation, const QStringList& paths);
    // The tiles to read next, nearest first; replaces those not read yet, so that a
    // view panned on does not wait for the tiles of the view it left.
    void want(int generation, const QVector<Vantrel::Maps::TileKey_t>& keys);

Q_SIGNALS:
    void fileOpened(int generation, int index, const Vantrel::Maps::MapInfo_t& info);
    void fileFailed(int generation, int index, const QString& reason);
    // A null image: the file has no tile there, or one that does not decode.
    void tileReady(int generation, const Vantrel::Maps::TileKey_t& key, const QImage& image);

private:
    void readNext();

    std::vector<std::unique_ptr<MbtilesFile>> files;  // null where a file failed
    std::deque<TileKey_t> queue;
    int current = -1;
    bool scheduled = false;
    int opening = 0;  // makes each connection name unique
};

} // namespace Vantrel::Maps
