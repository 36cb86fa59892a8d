// The search log's choice of messages, the map exports as a GIS reader sees them, and the Locate page fed by hand.
#include <GeographicLib/Geodesic.hpp>
#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QGraphicsTextItem>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "locate/GisExport.h"
#include "locate/SearchLog.h"
#include "ui/Dialogs.h"
#include "ui/locate/LocateSightings.h"
#include "ui/locate/LocatePlot.h"
#include "ui/locate/LocateTab.h"
#include "ui/locate/LocateTimeChart.h"
#include "utils/Settings.h"

using namespace Vantrel;
using Message_t = Com::DfrLink::OrvanRxMessage_t;

namespace {

const double truthLatitude = 48.90, truthLongitude = 2.35;

Message_t message(double latitude, double longitude, quint32 direction, int second)
{
    Message_t m;
    m.platformId = QStringLiteral("2DCE81A0");
    m.crcOk = true;
    m.dfrPositionValid = true;
    m.dfrLatitude = latitude;
    m.dfrLongitude = longitude;
    m.direction = direction;
    m.level = -95 + second % 7;
    m.dateTime = Tarsk::Utils::DateTime(61000, 36000 + second);
    return m;
}

// A drive east along a parallel, hearing the platform 5 km to the north of its middle.
QVector<Message_t> search(int bearings)
{
    QVector<Message_t> messages;
    for (int i = 0; i < bearings; ++i) {
        const double longitude = 2.31 + 0.08 * i / (bearings - 1);
        double distance = 0.0, azimuth = 0.0, back = 0.0;
        GeographicLib::Geodesic::WGS84().Inverse(48.855, longitude, truthLatitude, truthLongitude, distance, azimuth,
                                                 back);
        messages.append(message(48.855, longitude, quint32(std::lround(std::fmod(azimuth + 360.0, 360.0))), 30 * i));
    }
    return messages;
}

QPair<double, double> moved(double latitude, double longitude, double azimuth, double metres)
{
    QPair<double, double> to;
    GeographicLib::Geodesic::WGS84().Direct(latitude, longitude, azimuth, metres, to.first, to.second);
    return to;
}

// A bearing a minute, the receiver driving 5 km east then north at 4 m/s, the
// platform 4 km north-east of the turn at first and drifting at `driftMps` toward 210°;
// or `poor`: eight bearings along 1.4 km, the platform 4 km north of them.
QVector<Message_t> heardFrom(bool poor, double driftMps)
{
    const int count = poor ? 8 : 40;
    QVector<Message_t> messages;
    for (int k = 0; k < count; ++k) {
        const auto corner = moved(48.85, 2.30, 90.0, 5000.0);
        const auto receiver = poor ? moved(48.85, 2.30, 90.0, 200.0 * k)
                              : k < 20 ? moved(48.85, 2.30, 90.0, 250.0 * k)
                                       : moved(corner.first, corner.second, 0.0, 250.0 * (k - 19));
        const auto start = poor ? moved(48.85, 2.30, 90.0, 700.0) : corner;
        const auto north = moved(start.first, start.second, poor ? 0.0 : 45.0, 4000.0);
        const auto platform = moved(north.first, north.second, 210.0, driftMps * 60.0 * k);
        double distance = 0.0, azimuth = 0.0, back = 0.0;
        GeographicLib::Geodesic::WGS84().Inverse(receiver.first, receiver.second, platform.first, platform.second,
                                                 distance, azimuth, back);
        const double noise = 3.0 * std::sin(2.4 * k);  // a compass's few degrees, the same every run
        messages.append(message(receiver.first, receiver.second,
                                quint32(std::lround(std::fmod(azimuth + noise + 360.0, 360.0))) % 360, 60 * k));
    }
    return messages;
}

// Every feature of the file, as a GIS reader sees it.
QString ogrinfo(const QString& fileName)
{
    QProcess ogrinfo;
    ogrinfo.start(QStringLiteral("ogrinfo"), {QStringLiteral("-ro"), QStringLiteral("-al"), fileName});
    if (!ogrinfo.waitForFinished(30000) || ogrinfo.exitCode() != 0)
        return QStringLiteral("ogrinfo failed: ") + QString::fromUtf8(ogrinfo.readAllStandardError());
    return QString::fromUtf8(ogrinfo.readAllStandardOutput());
}

// "layer count: TYPE n, ..." per layer: its features and their geometries.
QStringList layers(const QString& listing)
{
    QStringList found;
    QMap<QString, int> geometries;
    const auto close = [&found, &geometries] {
        QStringList counts;
        for (auto it = geometries.cbegin(); it != geometries.cend(); ++it)
            counts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
        if (!found.isEmpty())
            found.last() += QStringLiteral(": ") + counts.join(QStringLiteral(", "));
        geometries.clear();
    };
    static const QRegularExpression geometry(QStringLiteral("^  ([A-Z]+) \\("));
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Layer name: "))) {
            close();
            found << line.mid(12);
        } else if (line.startsWith(QLatin1String("Feature Count: "))) {
            found.last() += QLatin1Char(' ') + line.mid(15);
        } else if (const QRegularExpressionMatch match = geometry.match(line); match.hasMatch()) {
            ++geometries[match.captured(1)];
        }
    }
    close();
    return found;
}

} // namespace

class TestLocateExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void messagesThatCount_data()
    {
        QTest::addColumn<bool>("crcOk");
        QTest::addColumn<bool>("positionValid");
        QTest::addColumn<int>("direction");
        // The same message heard again (from flash), changed by:
        QTest::addColumn<int>("laterSeconds");
        QTest::addColumn<int>("turnedDegrees");
        QTest::addColumn<double>("movedDegrees");
        QTest::addColumn<int>("expected");
        QTest::newRow("flash copy of a live message kept once") << true << true << 90 << 0 << 0 << 0.0 << 1;
        QTest::newRow("a second later counts") << true << true << 90 << 1 << 0 << 0.0 << 2;
        QTest::newRow("another direction counts") << true << true << 90 << 0 << 1 << 0.0 << 2;
        QTest::newRow("another receiver place counts") << true << true << 90 << 0 << 0 << 1e-6 << 2;
        QTest::newRow("bad CRC") << false << true << 90 << 1 << 0 << 0.0 << 0;
        QTest::newRow("no receiver position") << true << false << 90 << 1 << 0 << 0.0 << 0;
        QTest::newRow("direction 359") << true << true << 359 << 0 << 0 << 0.0 << 1;
        QTest::newRow("direction 360 is none") << true << true << 360 << 1 << 0 << 0.0 << 0;
    }

    void messagesThatCount()
    {
        QFETCH(bool, crcOk);
        QFETCH(bool, positionValid);
        QFETCH(int, direction);
        QFETCH(int, laterSeconds);
        QFETCH(int, turnedDegrees);
        QFETCH(double, movedDegrees);
        QFETCH(int, expected);
        Message_t first = message(48.85, 2.30, quint32(direction), 0);
        first.crcOk = crcOk;
        first.dfrPositionValid = positionValid;
        Message_t again = first;
        again.dateTime.seconds += laterSeconds;
        again.direction += quint32(turnedDegrees);
        again.dfrLatitude += movedDegrees;
        again.level -= 3;  // a flash record may report its level otherwise: still the same message
        Locate::SearchLog log;
        log.add(Ui::sightingOf(first), QStringLiteral("Buoy"), true);
        log.add(Ui::sightingOf(again), QString(), false);
        QCOMPARE(log.platformCount(), expected ? 1 : 0);
        if (expected)
            QCOMPARE(log.platform(0).bearings.size(), expected);
    }

    void exportsReadBack_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("withRegion");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("GPX: fix and sent positions, the receiver's track")
            << int(Locate::GisExport::FORMAT_GPX) << ".gpx" << false
            << QStringList{"waypoints 3: POINT 3", "routes 0: ", "tracks 1: MULTILINESTRING 1", "route_points 0: ",
                           "track_points 8: POINT 8"};
        QTest::newRow("KML: a folder per kind") << int(Locate::GisExport::FORMAT_KML) << ".kml" << false
                                                << QStringList{"Fix 1: POINT 1", "Ellipse 1: POLYGON 1",
                                                               "Bearings 8: LINESTRING 8", "Positions sent 2: POINT 2",
                                                               "Receiver 1: LINESTRING 1"};
        QTest::newRow("GeoJSON: one collection") << int(Locate::GisExport::FORMAT_GEOJSON) << ".geojson" << false
                                                 << QStringList{"search 13: LINESTRING 9, POINT 3, POLYGON 1"};
        QTest::newRow("KML: the region in a folder of its own")
            << int(Locate::GisExport::FORMAT_KML) << ".kml" << true
            << QStringList{"Fix 1: POINT 1",           "Ellipse 1: POLYGON 1",      "Region 1: POLYGON 1",
                           "Bearings 8: LINESTRING 8", "Positions sent 2: POINT 2", "Receiver 1: LINESTRING 1"};
        QTest::newRow("GeoJSON: the region beside the ellipse") << int(Locate::GisExport::FORMAT_GEOJSON) << ".geojson"
                                                                << true
                                                                << QStringList{"search 14: LINESTRING 9, POINT 3, POLYGON 2"};
    }

    void exportsReadBack()
    {
        QFETCH(int, format);
        QFETCH(QString, suffix);
        QFETCH(bool, withRegion);
        QFETCH(QStringList, expected);
#if defined(Q_OS_WIN)
        QSKIP("GDAL's ogrinfo, which reads the files back, is a Linux program that Wine cannot start");
#endif
        if (QStandardPaths::findExecutable(QStringLiteral("ogrinfo")).isEmpty())
            QFAIL("ogrinfo is missing: install gdal-bin");
        Locate::SearchLog log;
        const QVector<Message_t> messages = search(8);
        for (int i = 0; i < messages.size(); ++i)
            log.add(Ui::sightingOf(messages[i]), QStringLiteral("Buoy"), true, i < 2, truthLatitude, truthLongitude + 0.001 * i);
        log.updateFixes();
        QVERIFY2(log.platform(0).fix.ok(), qPrintable(log.platform(0).fix.reason));
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("search") + suffix);
        const Locate::LikelihoodRegion region = withRegion
            ? Locate::LikelihoodRegion(log.platform(0).bearings, log.options(), log.platform(0).fix)
            : Locate::LikelihoodRegion();
        QCOMPARE(Locate::GisExport::write(fileName, Locate::GisExport::Format_t(format), log.platform(0), 0.0, region),
                 QString());
        const QString listing = ogrinfo(fileName);
        QCOMPARE(layers(listing), expected);
        // Longitude first: the first position sent reads back where it was.
        QVERIFY2(listing.contains(QStringLiteral("POINT (2.35 48.9)")), qPrintable(listing.left(2000)));
    }

    void refusedWriteLeavesNoFile()
    {
        QTemporaryDir dir;
        // A file where the folder should be: no one may write there, not even root.
        const QString folder = dir.filePath(QStringLiteral("notAFolder"));
        QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        const QString fileName = folder + QStringLiteral("/search.kml");
        Locate::SearchLog log;
        for (const Message_t& m : search(4))
            log.add(Ui::sightingOf(m), QString(), true);
        const QString error = Locate::GisExport::write(fileName, Locate::GisExport::FORMAT_KML, log.platform(0), 0.0);
        QVERIFY2(error.startsWith(QDir::toNativeSeparators(fileName) + QStringLiteral(" was not written: ")) &&
                     error.size() > fileName.size() + 18,
                 qPrintable(error));
        QVERIFY(!QFile::exists(fileName));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("notAFolder")});
    }

    void tabFollowsRows()
    {
        Ui::LocateTab tab;
        tab.show();  // a page out of sight waits until it is looked at
        auto* view = tab.findChild<QTableView*>(QStringLiteral("tableViewLocatePlatforms"));
        QVERIFY(view);
        Ui::RxTableModel::Row_t row;
        row.label = QStringLiteral("Buoy");
        row.live = true;
        for (const Message_t& m : search(6)) {
            row.message = m;
            tab.addRow(row);
        }
        row.message.crcOk = false;
        row.message.dateTime.seconds += 1;
        tab.addRow(row);
        // Recomputed once for the burst, not per row.
        QCOMPARE(view->model()->rowCount(), 0);
        QTRY_COMPARE(view->model()->rowCount(), 1);
        QCOMPARE(view->model()->index(0, 2).data().toInt(), 6);
        QCOMPARE(view->model()->index(0, 3).data().toString(), QStringLiteral("fix"));
        // The first platform heard is chosen; the window's test pins the summary shown for it.
        QCOMPARE(tab.chosenPlatform(), QStringLiteral("2DCE81A0"));
    }

    // What the page makes of the chosen platform beside its still fix.
    void driftRegionAndLeg_data()
    {
        QTest::addColumn<bool>("poor");
        QTest::addColumn<double>("driftMps");
        QTest::addColumn<QStringList>("legend");  // the entries the analysis adds, in order
        QTest::newRow("still") << false << 0.0 << QStringList{"fix, 95 %", "next leg"};
        QTest::newRow("drifting") << false << 1.0 << QStringList{"drift track", "position now, 95 %", "next leg"};
        QTest::newRow("poor geometry") << true << 0.0 << QStringList{"95 % region", "fix, 95 %", "next leg"};
    }
    void driftRegionAndLeg()
    {
        QFETCH(bool, poor);
        QFETCH(double, driftMps);
        QFETCH(QStringList, legend);
        Ui::LocateTab tab;
        tab.resize(1185, 560);
        tab.show();
        Ui::RxTableModel::Row_t row;
        row.label = QStringLiteral("Buoy");
        for (const Message_t& m : heardFrom(poor, driftMps))
            row.message = m, tab.addRow(row);
        const Locate::SearchLog::Platform_t& platform = tab.searchLog().platform(0);
        QTRY_VERIFY(platform.fix.ok());
        auto* plot = tab.findChild<Ui::LocatePlot*>();
        const QStringList known{"drift track", "95 % region", "fix, 95 %", "position now, 95 %", "next leg"};
        const auto added = [plot, &known] {
            QStringList found = plot->legendTexts();
            found.removeIf([&known](const QString& text) { return !known.contains(text); });
            return found;
        };
        QTRY_COMPARE(added(), legend);
        const QString summary = tab.findChild<QLabel*>(QStringLiteral("labelLocateSummary"))->text();
        QVERIFY2(summary.contains(QStringLiteral(", drifting ")) == (driftMps > 0.0) &&
                     summary.endsWith(QStringLiteral("toward 210°")) == (driftMps > 0.0),
                 qPrintable(summary));
        auto* leg = tab.findChild<QLabel*>(QStringLiteral("labelLocateLeg"));
        QVERIFY2(leg->isVisible() && leg->text().startsWith(QStringLiteral("Drive ")) &&
                     leg->text().contains(QString::fromUtf8(" → ")) && leg->text().endsWith(QStringLiteral(" expected")),
                 qPrintable(leg->text()));
        // The tab's KML export holds the still fix's region, drawn or not.
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("search.kml"));
        Ui::Dialogs::setResponder([&fileName](const Ui::Dialogs::Request_t&) -> QVariant { return fileName; });
        for (QPushButton* button : tab.findChildren<QPushButton*>())
            if (button->text() == QString::fromUtf8("KML…"))
                button->click();
        Ui::Dialogs::setResponder({});
        QFile written(fileName);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().contains("Highest-likelihood region"), driftMps == 0.0);
        // Unticked, no leg is suggested.
        tab.findChild<QCheckBox*>(QStringLiteral("checkBoxLocateGuide"))->setChecked(false);
        QTRY_VERIFY(!plot->legendTexts().contains(QStringLiteral("next leg")));
        QVERIFY(leg->isHidden());
    }

    // Two vehicles, north and south of the platform, on clocks 3 s apart, the second one's compass
    // 3° off and calibrated: one fix from both, each receiver's bearings and track apart, drawn and
    // exported with its own offset, and the clocks' offset told.
    void twoReceivers()
    {
        Locate::ReceiverCalibrations calibrations;
        QVERIFY(calibrations.set("0077-3142", {-3.0, 1.0, 30, 0}));
        Utils::Settings::instance()->saveReceiverCalibrations(calibrations);
        Utils::Settings::instance()->saveTeamNames({{"0077-3142", "Boat"}});
        Ui::LocateTab tab;
        tab.resize(1185, 560);
        tab.show();
        auto* plot = tab.findChild<Ui::LocatePlot*>();
        Ui::RxTableModel::Row_t row;
        for (int i = 0; i < 8; ++i) {
            row.message = search(8).at(i), row.receiver = "0077-3141", row.live = true, tab.addRow(row);
            const double longitude = 2.31 + 0.01 * i;
            double distance = 0.0, azimuth = 0.0, back = 0.0;
            GeographicLib::Geodesic::WGS84().Inverse(48.945, longitude, truthLatitude, truthLongitude, distance,
                                                     azimuth, back);
            row.message = message(48.945, longitude, quint32(std::lround(std::fmod(azimuth + 363.0, 360.0))), 30 * i + 3);
            row.receiver = "0077-3142", row.live = false, tab.addRow(row);
        }
        const Locate::SearchLog::Platform_t& platform = tab.searchLog().platform(0);
        QTRY_VERIFY(platform.fix.ok() && platform.fix.used == 16);
        double error = 0.0;
        GeographicLib::Geodesic::WGS84().Inverse(platform.fix.latitude, platform.fix.longitude, truthLatitude,
                                                 truthLongitude, error);
        QVERIFY2(error < 100.0, qPrintable(QString::number(error)));
        QTRY_VERIFY(plot->legendTexts().contains("bearings of Boat (0077-3142)"));
        QVERIFY(plot->legendTexts().contains("bearings of 0077-3141") && !plot->legendTexts().contains("bearing"));
        QCOMPARE(plot->trackPieces(), 2);
        QCOMPARE(tab.findChild<QLabel*>(QStringLiteral("labelLocateClocks"))->text(),
                 QStringLiteral("0077-3142's clock is 3.0 s ahead of 0077-3141's (8 messages both heard)"));
        // The way to the fix is measured from this laptop's receiver, the one heard live.
        QCOMPARE(platform.receivers.value(platform.receiverNow), QStringLiteral("0077-3141"));
        // Every exported bearing, the calibrated receiver's too, points at the fix.
        QTemporaryDir dir;
        const QString fileName = dir.filePath(QStringLiteral("search.geojson"));
        Ui::Dialogs::setResponder([&fileName](const Ui::Dialogs::Request_t&) -> QVariant { return fileName; });
        for (QPushButton* button : tab.findChildren<QPushButton*>())
            if (button->text() == QString::fromUtf8("GeoJSON…"))
                button->click();
        Ui::Dialogs::setResponder({});
        Utils::Settings::instance()->saveReceiverCalibrations({});
        Utils::Settings::instance()->saveTeamNames({});
        QFile written(fileName);
        QVERIFY(written.open(QIODevice::ReadOnly));
        int rays = 0;
        for (const QJsonValue feature : QJsonDocument::fromJson(written.readAll())["features"].toArray()) {
            if (feature["properties"]["kind"] != "bearing")
                continue;
            const QJsonArray line = feature["geometry"]["coordinates"].toArray();
            double ray = 0.0, toFix = 0.0, back = 0.0, metres = 0.0;
            const auto& geodesic = GeographicLib::Geodesic::WGS84();
            geodesic.Inverse(line[0][1].toDouble(), line[0][0].toDouble(), line[1][1].toDouble(),
                             line[1][0].toDouble(), metres, ray, back);
            geodesic.Inverse(line[0][1].toDouble(), line[0][0].toDouble(), platform.fix.latitude,
                             platform.fix.longitude, metres, toFix, back);
            QVERIFY2(std::fabs(std::remainder(ray - toFix, 360.0)) < 1.5, qPrintable(QString::number(ray - toFix)));
            ++rays;
        }
        QCOMPARE(rays, 16);
    }

    // Two weeks of bearings from a parked receiver, read from flash, beside today's drive.
    void currentSearchAfterAFlashRead()
    {
        Ui::LocateTab tab;
        tab.resize(1185, 560);  // the page of a window of 1185 × 646
        tab.show();
        QVector<Message_t> messages(40, message(48.80, 2.20, 40, 0));
        for (int k = 0; k < 40; ++k)
            messages[k].dateTime = Tarsk::Utils::DateTime(61000 - 14 + k / 20, 36000.0 + 240.0 * (k % 20));
        Ui::RxTableModel::Row_t row;
        for (const Message_t& m : messages + search(8))
            row.message = m, tab.addRow(row);
        const Locate::SearchLog::Platform_t& platform = tab.searchLog().platform(0);
        QTRY_VERIFY(platform.fix.ok() && platform.fix.used == 8);
        QCOMPARE(tab.findChild<QTableView*>()->model()->index(0, 2).data().toString(), QStringLiteral("8 of 48"));
        const QString stretch = tab.findChild<QLabel*>(QStringLiteral("labelLocateStretch"))->text();
        QVERIFY2(stretch.endsWith(" (2 earlier searches left out)"), qPrintable(stretch));
        auto* plot = tab.findChild<Ui::LocatePlot*>();
        const QChart* chart = tab.findChild<Ui::LocateTimeChart*>()->chart();
        auto* axis = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).first());
        QCOMPARE(axis->min().date(), QDate(1858, 11, 17).addDays(61000));
        QCOMPARE(plot->trackPieces(), 1);
        // The fit frames the fix and today's drive, whatever the searches shown.
        for (const QString& searches : {QStringLiteral("this one"), QStringLiteral("all")}) {
            tab.findChild<QComboBox*>(QStringLiteral("comboBoxLocateSearches"))->setCurrentText(searches);
            QTRY_COMPARE(platform.fix.used, searches == "all" ? 48 : 8);
            QVERIFY(plot->shows(platform.fix.latitude, platform.fix.longitude) && plot->shows(48.855, 2.31) &&
                    !plot->shows(48.80, 2.20) && !plot->ellipseMarked());
            QWheelEvent out(plot->rect().center(), plot->mapToGlobal(plot->rect().center()), {}, {0, -3000},
                            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(plot, &out);
            QVERIFY(plot->ellipseMarked());
            tab.findChild<QPushButton*>(QStringLiteral("pushButtonLocateFit"))->click();
        }
        QCOMPARE(plot->trackPieces(), 3);  // broken where a day's silence comes
        const QVector<QRectF> rows = plot->legendRows();
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY(!rows[i].intersects(rows[i - 1]) && plot->rect().contains(rows[i].toRect()));
        // Two weeks wide: dated labels, none cut short.
        QTRY_VERIFY(axis->format().contains(QStringLiteral("MMM")));
        const auto cut = [chart] {
            for (const QGraphicsItem* item : chart->scene()->items())
                if (const auto* text = qgraphicsitem_cast<const QGraphicsTextItem*>(item))
                    if (text->toPlainText().contains(QLatin1String("...")))
                        return text->toPlainText();
            return QString();
        };
        for (int width : {1185, 600}) {
            tab.resize(width, 560);
            QTRY_COMPARE(cut(), QString());
        }
    }
};

QTEST_MAIN(TestLocateExport)
#include "tst_locateexport.moc"
