// A simulated search against its truth, worked out again here with GeographicLib from what the wire carries.
#include <QtTest>

#include <GeographicLib/Geodesic.hpp>

#include "sim/DemoContent.h"
#include "sim/SearchScenario.h"

using Vantrel::Sim::BeaconBuilder;
using Vantrel::Sim::SearchScenario;
using Config = SearchScenario::Config_t;
Q_DECLARE_METATYPE(SearchScenario::Config_t)

namespace {

const GeographicLib::Geodesic& earth() { return GeographicLib::Geodesic::WGS84(); }

// The flash stretch, then one beacon a second from the start: milliseconds from the start, then the
// second-generation NPRF values (direction at 11, receiver longitude at 16 and latitude at 17).
QList<QStringList> hear(const Config& config, int live = 100)
{
    Vantrel::Sim::DeviceState state;
    Vantrel::Sim::DemoContent::apply(state);
    SearchScenario search(config, state);
    const QDateTime start(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    QList<BeaconBuilder::BeaconMessage_t> beacons = search.pastBeacons(start);
    for (int k = 0; k < live; ++k)
        beacons.append(search.beacon(k, start.addSecs(k)));
    QList<QStringList> heard;
    for (const BeaconBuilder::BeaconMessage_t& m : beacons)
        heard.append(QStringList{QString::number(start.msecsTo(m.time))} + BeaconBuilder::values(m, state.generation));
    return heard;
}

} // namespace

class TstSearchScenario : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bearingsAgainstTruth_data()
    {
        QTest::addColumn<Config>("config");
        QTest::addColumn<double>("rmsMin");    // degrees, of the bearing errors
        QTest::addColumn<double>("rmsMax");
        QTest::addColumn<double>("maxError");  // exact bearings: half a degree of rounding, and the position's

        Config line;
        line.noiseDeg = 0.0;
        Config still = line;  // a hair east of the platform's meridian: 359.7 degrees go out as 0
        still.trackLatitude = 48.80;
        still.trackLongitude = 2.3504;
        still.speed = 0.0;
        Config drifting = line;
        drifting.heading = 200.0;
        drifting.driftEast = 12.0;
        drifting.driftNorth = -7.0;
        // Bearings about north, across the wrap to 0.
        Config circle = line;
        circle.track = SearchScenario::TRACK_CIRCLE;
        circle.trackLatitude = 48.80;
        circle.trackLongitude = 2.35;
        circle.radius = 2000.0;
        circle.speed = 60.0;
        circle.flashBeacons = 8;
        Config noisy = circle;
        noisy.noiseDeg = 5.0;
        Config reflected = circle;
        reflected.reflections = 1.0;
        QTest::newRow("line eastwards, platform still") << line << 0.0 << 0.6 << 0.6;
        QTest::newRow("standing due south, bearing rounded over north") << still << 0.0 << 0.6 << 0.6;
        QTest::newRow("line south-westwards, platform drifting") << drifting << 0.0 << 0.6 << 0.6;
        QTest::newRow("circle south of the platform") << circle << 0.0 << 0.6 << 0.6;
        QTest::newRow("5 degrees of noise") << noisy << 4.0 << 6.0 << 180.0;
        QTest::newRow("every bearing a reflection") << reflected << 90.0 << 118.0 << 180.0;
    }

    void bearingsAgainstTruth()
    {
        QFETCH(Config, config);
        QFETCH(double, rmsMin);
        QFETCH(double, rmsMax);
        QFETCH(double, maxError);
        const QList<QStringList> heard = hear(config);
        QCOMPARE(heard.size(), config.flashBeacons + 100);
        QCOMPARE(heard.at(config.flashBeacons - 1).first().toInt(), -config.beaconPeriodMs);
        double sumSquares = 0.0;
        for (const QStringList& h : heard) {
            const QByteArray at = h.join(',').toLatin1();
            const int direction = h.at(11).toInt();
            const double seconds = h.at(0).toDouble() / 1000.0;
            const double latitude = h.at(17).toInt() / 60000.0, longitude = h.at(16).toInt() / 60000.0;
            // where the receiver should be: along the line, or turned clockwise from the circle's north point
            double lat = 0.0, lon = 0.0, s12 = 0.0, azi1 = 0.0, azi2 = 0.0;
            const bool line = config.track == SearchScenario::TRACK_LINE;
            const double turned = qRadiansToDegrees(config.speed * seconds / config.radius);
            earth().Direct(config.trackLatitude, config.trackLongitude, line ? config.heading : turned,
                           line ? config.speed * seconds : config.radius, lat, lon);
            earth().Inverse(lat, lon, latitude, longitude, s12);
            QVERIFY2(s12 < 3.0, at);  // thousandths of a minute
            const double drift = qRadiansToDegrees(std::atan2(config.driftEast, config.driftNorth));
            earth().Direct(config.latitude, config.longitude, drift,
                           std::hypot(config.driftEast, config.driftNorth) * seconds, lat, lon);
            earth().Inverse(latitude, longitude, lat, lon, s12, azi1, azi2);
            const double error = std::remainder(direction - azi1, 360.0);
            QVERIFY2(direction >= 0 && direction < 360 && std::fabs(error) <= maxError, at);
            sumSquares += error * error;
        }
        const double rms = std::sqrt(sumSquares / heard.size());
        QVERIFY2(rms >= rmsMin && rms <= rmsMax, QByteArray::number(rms));

        // the seed alone makes a run: the same seed repeats it, another one changes what is random in it
        QCOMPARE(hear(config), heard);
        config.seed += 1;
        QCOMPARE(hear(config) == heard, config.noiseDeg == 0.0 && config.reflections == 0.0);
    }

    // A steered line turns to the file's heading once a leg has passed, and drives on without one.
    void steeredTrack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<double>("at");
        QTest::addColumn<int>("heading");  // after the turn, or on without one
        QTest::newRow("turns after a leg") << QByteArray("180.0\n") << 120.0 << 180;
        QTest::newRow("not before a leg") << QByteArray("180.0\n") << 119.9 << 90;
        QTest::newRow("nothing suggested") << QByteArray() << 120.0 << 90;
        QTest::newRow("no number") << QByteArray("north\n") << 120.0 << 90;
    }

    void steeredTrack()
    {
        QFETCH(QByteArray, file);
        QFETCH(double, at);
        QFETCH(int, heading);
        QTemporaryDir dir;
        Config config;
        config.steerFile = dir.filePath(QStringLiteral("steer"));
        QFile steer(config.steerFile);
        QVERIFY(steer.open(QIODevice::WriteOnly) && steer.write(file) == file.size());
        steer.close();
        Vantrel::Sim::DeviceState state;
        SearchScenario search(config, state);
        QVERIFY(!search.steer(0.0));
        QCOMPARE(search.steer(at), heading != 90);
        const SearchScenario::Position_t turn = search.receiverAt(at);
        // A minute on, the receiver is 1200 m along the leg from where it turned, and no earlier point moved.
        double metres = 0.0, azimuth = 0.0, back = 0.0;
        earth().Inverse(turn.latitude, turn.longitude, search.receiverAt(at + 60.0).latitude,
                        search.receiverAt(at + 60.0).longitude, metres, azimuth, back);
        QVERIFY2(std::fabs(metres - 60.0 * config.speed) < 1.0, qPrintable(QString::number(metres)));
        QVERIFY2(std::fabs(std::remainder(azimuth - heading, 360.0)) < 0.5, qPrintable(QString::number(azimuth)));
        QCOMPARE(search.receiverHeading(at + 60.0), heading);
        earth().Inverse(config.trackLatitude, config.trackLongitude, search.receiverAt(at).latitude,
                        search.receiverAt(at).longitude, metres);
        QVERIFY(std::fabs(metres - at * config.speed) < 1.0);
    }
};

QTEST_GUILESS_MAIN(TstSearchScenario)
#include "tst_searchscenario.moc"
