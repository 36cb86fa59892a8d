#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "maps/BaseMap.h"
#include "maps/TileMath.h"

using Vantrel::Maps::BaseMap;
using Vantrel::Maps::TileMath;

namespace {

const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), yellow = qRgb(255, 255, 0), blue = qRgb(0, 0, 255),
           magenta = qRgb(255, 0, 255);

// A view of 256 × 256 px around the point, at the ground resolution of the zoom there.
QRectF viewAround(double latitude, double longitude, int zoom, double* metresPerPx)
{
    *metresPerPx = TileMath::metresPerPx(latitude, zoom);
    const double halfNorth = 128.0 * *metresPerPx / 111320.0;
    const double halfEast = halfNorth / std::cos(latitude * M_PI / 180.0);
    return {QPointF(longitude - halfEast, latitude - halfNorth), QPointF(longitude + halfEast, latitude + halfNorth)};
}

// The colour the pieces give the view's middle, each drawn by its corners as the map draws them.
QRgb middleColour(const QVector<BaseMap::Piece_t>& pieces, const QRectF& box)
{
    QImage view(256, 256, QImage::Format_RGB32);
    view.fill(Qt::white);
    QPainter painter(&view);
    const auto at = [&box](double latitude, double longitude) {
        return QPointF((longitude - box.left()) / box.width() * 256.0, (box.bottom() - latitude) / box.height() * 256.0);
    };
    for (const BaseMap::Piece_t& piece : pieces) {
        const QRectF& s = piece.source;
        QTransform transform;
        QTransform::quadToQuad(QPolygonF{s.topLeft(), s.topRight(), s.bottomRight(), s.bottomLeft()},
                               QPolygonF{at(piece.north, piece.west), at(piece.north, piece.east),
                                         at(piece.south, piece.east), at(piece.south, piece.west)},
                               transform);
        painter.setTransform(transform);
        painter.drawImage(s, piece.image, s);
    }
    painter.end();
    return view.pixel(128, 128);
}

} // namespace

class TestBaseMap : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir folder;
    QString quads;  // four colour blocks over 2.0–2.4 E, 48.6–49.0 N, zooms 8 and 9
    QString plain;  // magenta over 1.6–2.8 E, 48.2–49.4 N

    QString makeMap(const QString& name, const QImage& image, const QRectF& degrees)
    {
        const QString ppm = folder.filePath(name + QStringLiteral(".ppm"));
        const QString tif = folder.filePath(name + QStringLiteral(".tif"));
        const QString out = folder.filePath(name + QStringLiteral(".mbtiles"));
        image.save(ppm, "PPM");
        const QString ullr = QStringLiteral("%1 %2 %3 %4")
                                 .arg(degrees.left()).arg(degrees.bottom()).arg(degrees.right()).arg(degrees.top());
        const QList<QStringList> steps{
            {QStringLiteral("gdal_translate"), QStringLiteral("-q"), QStringLiteral("-a_srs"), QStringLiteral("EPSG:4326"),
             QStringLiteral("-a_ullr")},
            {QStringLiteral("gdal_translate"), QStringLiteral("-q"), QStringLiteral("-of"), QStringLiteral("MBTILES"), tif, out},
            {QStringLiteral("gdaladdo"), QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("average"), out,
             QStringLiteral("2"), QStringLiteral("4")}};
        for (QStringList step : steps) {
            if (step.size() == 5) {
                step << ullr.split(QLatin1Char(' ')) << ppm << tif;
            }
            const QString tool = step.takeFirst();
            if (QProcess::execute(tool, step) != 0) {
                return {};
            }
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gdal_translate")).isEmpty()) {
            return;
        }
        QImage blocks(256, 256, QImage::Format_RGB32);
        QPainter painter(&blocks);
        painter.fillRect(0, 0, 128, 128, QColor(red));
        painter.fillRect(128, 0, 128, 128, QColor(green));
        painter.fillRect(0, 128, 128, 128, QColor(yellow));
        painter.fillRect(128, 128, 128, 128, QColor(blue));
        painter.end();
        quads = makeMap(QStringLiteral("quads"), blocks, QRectF(QPointF(2.0, 48.6), QPointF(2.4, 49.0)));
        QImage one(256, 256, QImage::Format_RGB32);
        one.fill(QColor(magenta));
        plain = makeMap(QStringLiteral("plain"), one, QRectF(QPointF(1.6, 48.2), QPointF(2.8, 49.4)));
        QVERIFY(!quads.isEmpty() && !plain.isEmpty());
    }

    void tileMath_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::newRow("zoom 0: one tile") << 0 << 179.9 << -85.0 << 0 << 0;
        QTest::newRow("west of the date line") << 3 << -180.0 << 0.1 << 0 << 3;
        QTest::newRow("east of it wraps to the first column") << 3 << 180.0 << -0.1 << 0 << 4;
        QTest::newRow("last column") << 3 << 179.999 << 0.0 << 7 << 4;
        QTest::newRow("past the date line") << 3 << 181.0 << 0.0 << 0 << 4;
        QTest::newRow("north edge of the square world") << 4 << 0.0 << 85.0511 << 8 << 0;
        QTest::newRow("beyond it: held at the first row") << 4 << 0.0 << 89.9 << 8 << 0;
        QTest::newRow("south edge: last row") << 4 << 0.0 << -85.0511 << 8 << 15;
        QTest::newRow("the pole: held at the last row") << 4 << 0.0 << -90.0 << 8 << 15;
        QTest::newRow("Paris at 12") << 12 << 2.3522 << 48.8566 << 2074 << 1409;
    }
    void tileMath()
    {
        QFETCH(int, zoom);
        QFETCH(double, longitude);
        QFETCH(double, latitude);
        QFETCH(int, column);
        QFETCH(int, row);
        QCOMPARE(TileMath::column(longitude, zoom), column);
        QCOMPARE(TileMath::row(latitude, zoom), row);
        // The tile's edges hold the point, wrapped into the world and held within it.
        const double wrapped = longitude - 360.0 * std::floor((longitude + 180.0) / 360.0);
        const double held = std::clamp(latitude, -TileMath::maxLatitude, TileMath::maxLatitude);
        QVERIFY(TileMath::longitude(column, zoom) <= wrapped && wrapped < TileMath::longitude(column + 1, zoom));
        QVERIFY(TileMath::latitude(row + 1, zoom) - 1e-9 <= held && held <= TileMath::latitude(row, zoom) + 1e-9);
    }

    void bestZoom_data()
    {
        QTest::addColumn<double>("exponent");  // log2 of zoom 0's metres per pixel over the view's
        QTest::addColumn<int>("minZoom");
        QTest::addColumn<int>("maxZoom");
        QTest::addColumn<int>("zoom");
        QTest::newRow("exact") << 10.0 << 0 << 18 << 10;
        QTest::newRow("just under half way") << 10.49 << 0 << 18 << 10;
        QTest::newRow("just over") << 10.51 << 0 << 18 << 11;
        QTest::newRow("finer than the file") << 15.0 << 5 << 12 << 12;
        QTest::newRow("coarser than the file") << 3.0 << 5 << 12 << 5;
    }
    void bestZoom()
    {
        QFETCH(double, exponent);
        QFETCH(int, minZoom);
        QFETCH(int, maxZoom);
        QFETCH(int, zoom);
        const double latitude = 60.0;
        QCOMPARE(TileMath::bestZoom(TileMath::metresPerPx(latitude, 0) / std::exp2(exponent), latitude, minZoom, maxZoom),
                 zoom);
    }

    void colours_data()
    {
        QTest::addColumn<bool>("plainFirst");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<int>("tilesPerFile");
        QTest::newRow("north-west, finest") << false << 48.9 << 2.1 << 9 << red << 256;
        QTest::newRow("south-east, finest") << false << 48.7 << 2.3 << 9 << blue << 256;
        QTest::newRow("north-east, coarser") << false << 48.9 << 2.3 << 8 << green << 256;
        QTest::newRow("south-west, coarser") << false << 48.7 << 2.1 << 8 << yellow << 256;
        QTest::newRow("the second file where the first has none") << false << 48.4 << 2.2 << 9 << magenta << 256;
        QTest::newRow("the first file wins") << true << 48.9 << 2.1 << 9 << magenta << 256;
        QTest::newRow("a cache smaller than the view") << false << 48.7 << 2.3 << 9 << blue << 1;
    }
    void colours()
    {
        if (quads.isEmpty()) {
            QSKIP("gdal_translate is not installed: no map to read");
        }
        QFETCH(bool, plainFirst);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(int, zoom);
        QFETCH(QRgb, colour);
        QFETCH(int, tilesPerFile);
        BaseMap map(nullptr, tilesPerFile);
        map.setFiles(plainFirst ? QStringList{plain, quads} : QStringList{quads, plain});
        QTRY_VERIFY(map.opened(0) && map.opened(1));
        double metresPerPx = 0.0;
        const QRectF box = viewAround(latitude, longitude, zoom, &metresPerPx);
        map.cover(box, metresPerPx);
        QVERIFY(map.pending() > 0);
        QTRY_COMPARE(map.pending(), 0);
        QCOMPARE(middleColour(map.cover(box, metresPerPx), box), colour);
        // Zoomed in once more, the tile just read stands in, scaled up, until the finer one is in.
        const QRectF closer = viewAround(latitude, longitude, zoom + 1, &metresPerPx);
        const QVector<BaseMap::Piece_t> standIns = map.cover(closer, metresPerPx);
        QVERIFY(!standIns.isEmpty());
        QCOMPARE(middleColour(standIns, closer), colour);
    }

    void damaged_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("warning");
        QTest::newRow("missing") << "missing" << "no such file";
        QTest::newRow("garbage bytes") << "garbage" << "is no tile file";
        QTest::newRow("no tiles table") << "sqlite" << "is no tile file";
        QTest::newRow("no tiles in it") << "empty" << "holds no tiles";
    }
    void damaged()
    {
        QFETCH(QString, kind);
        QFETCH(QString, warning);
        const QString path = folder.filePath(kind + QStringLiteral(".mbtiles"));
        if (kind == QLatin1String("garbage")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            for (int i = 0; i < 4096; ++i) {
                file.putChar(char(i * 7919 % 251));
            }
        } else if (kind != QLatin1String("missing")) {
            {
                QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kind);
                database.setDatabaseName(path);
                QVERIFY(database.open());
                QSqlQuery query(database);
                QVERIFY(query.exec(kind == QLatin1String("empty")
                                       ? QStringLiteral("CREATE TABLE tiles (zoom_level, tile_column, tile_row, tile_data)")
                                       : QStringLiteral("CREATE TABLE metadata (name, value)")));
            }
            QSqlDatabase::removeDatabase(kind);
        }
        BaseMap map;
        QSignalSpy failed(&map, &BaseMap::fileFailed);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(path) + ".*" + warning));
        map.setFiles(quads.isEmpty() ? QStringList{path} : QStringList{path, quads});
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), path);
        QVERIFY(!map.opened(0));
        if (!quads.isEmpty()) {
            // The map carries on with the others.
            QTRY_VERIFY(map.opened(1));
            double metresPerPx = 0.0;
            const QRectF box = viewAround(48.9, 2.1, 9, &metresPerPx);
            map.cover(box, metresPerPx);
            QTRY_COMPARE(map.pending(), 0);
            QCOMPARE(middleColour(map.cover(box, metresPerPx), box), red);
        }
    }
};

QTEST_MAIN(TestBaseMap)
#include "tst_basemap.moc"
