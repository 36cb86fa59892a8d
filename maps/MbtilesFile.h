#pragma once

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <memory>

class QSqlQuery;

namespace Vantrel::Maps {

// What a tile file says of itself.
struct MapInfo_t
{
    QString path;
    QString name;
    QString attribution;
    QString format;  // "png", "jpg", … as the file says; the tiles are decoded by their content
    int minZoom = 0;
    int maxZoom = 0;
    // Degrees: x west → east, y south → north; the whole square world when the file says none.
    QRectF bounds;
};

// An MBTiles file (SQLite: tiles with rows counted from the south, metadata) opened
// read-only, on the thread that opened it: Qt's SQL connections stay in their thread.
class MbtilesFile
{
public:
    // connectionName: unique per file and thread.
    MbtilesFile(const QString& path, const QString& connectionName);
    ~MbtilesFile();
    MbtilesFile(const MbtilesFile&) = delete;
    MbtilesFile& operator=(const MbtilesFile&) = delete;

    // False with the reason in error() for a missing, damaged or non-tile file.
    bool open();
    QString error() const { return failure; }
    const MapInfo_t& info() const { return about; }

    // The stored image of the XYZ tile, empty when the file has none there.
    QByteArray tile(int zoom, int x, int y);

private:
    bool readMetadata();

    QString connection;
    MapInfo_t about;
    QString failure;
    bool opened = false;
    std::unique_ptr<QSqlQuery> lookup;  // prepared once: a view asks for dozens of tiles
};

} // namespace Vantrel::Maps
