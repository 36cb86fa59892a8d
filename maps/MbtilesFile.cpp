#include "maps/MbtilesFile.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>

#include "maps/TileMath.h"

namespace Vantrel::Maps {

MbtilesFile::MbtilesFile(const QString& path, const QString& connectionName) : connection(connectionName)
{
    about.path = path;
    about.name = QFileInfo(path).completeBaseName();
    about.bounds = QRectF(-180.0, -TileMath::maxLatitude, 360.0, 2.0 * TileMath::maxLatitude);
}

MbtilesFile::~MbtilesFile()
{
    if (!opened) {
        return;
    }
    lookup.reset();
    {
        QSqlDatabase database = QSqlDatabase::database(connection, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

bool MbtilesFile::open()
{
    const QFileInfo file(about.path);
    if (!file.isFile()) {
        failure = QStringLiteral("Base map %1: no such file").arg(about.path);
        return false;
    }
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        opened = true;
        database.setDatabaseName(about.path);
        // Read-only: a map chosen by mistake is never changed, nor a journal left beside it.
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!database.open()) {
            failure = QStringLiteral("Base map %1 cannot be opened: %2").arg(about.path, database.lastError().text());
            return false;
        }
    }
    return readMetadata();
}

bool MbtilesFile::readMetadata()
{
    const QSqlDatabase database = QSqlDatabase::database(connection, false);
    QSqlQuery range(database);
    // SQLite reads the header only now: a damaged file or one of another kind fails here.
    if (!range.exec(QStringLiteral("SELECT MIN(zoom_level), MAX(zoom_level) FROM tiles")) || !range.next()) {
        failure = QStringLiteral("Base map %1 is no tile file (MBTiles): %2").arg(about.path, range.lastError().text());
        return false;
    }
    if (range.value(0).isNull()) {
        failure = QStringLiteral("Base map %1 holds no tiles").arg(about.path);
        return false;
    }
    about.minZoom = range.value(0).toInt();
    about.maxZoom = std::min(range.value(1).toInt(), 30);
    QSqlQuery metadata(database);
    // Metadata is optional: a file without it still has its tiles.
    if (metadata.exec(QStringLiteral("SELECT name, value FROM metadata"))) {
        while (metadata.next()) {
            const QString name = metadata.value(0).toString();
            const QString value = metadata.value(1).toString().trimmed();
            if (name == QLatin1String("name") && !value.isEmpty()) {
                about.name = value;
            } else if (name == QLatin1String("attribution")) {
                about.attribution = value;
            } else if (name == QLatin1String("format")) {
                about.format = value;
            } else if (name == QLatin1String("bounds")) {
                const QStringList parts = value.split(QLatin1Char(','));
                double edges[4] = {};
                bool ok = parts.size() == 4;
                for (int i = 0; ok && i < 4; ++i) {
                    edges[i] = parts.at(i).trimmed().toDouble(&ok);
                }
                if (ok && edges[2] > edges[0] && edges[3] > edges[1]) {
                    about.bounds = QRectF(QPointF(edges[0], edges[1]), QPointF(edges[2], edges[3]));
                }
            }
        }
    }
    return true;
}

QByteArray MbtilesFile::tile(int zoom, int x, int y)
{
    if (!lookup) {
        lookup = std::make_unique<QSqlQuery>(QSqlDatabase::database(connection, false));
        lookup->setForwardOnly(true);
        lookup->prepare(QStringLiteral(
            "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?"));
    }
    lookup->bindValue(0, zoom);
    lookup->bindValue(1, x);
    lookup->bindValue(2, TileMath::tmsRow(y, zoom));
    QByteArray data;
    if (lookup->exec() && lookup->next()) {
        data = lookup->value(0).toByteArray();
    }
    lookup->finish();
    return data;
}

} // namespace Vantrel::Maps
