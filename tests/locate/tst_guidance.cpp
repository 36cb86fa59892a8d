#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>

#include "locate/Guidance.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

const Geodesic& earth = Geodesic::WGS84();

// The bearing of the source from (latitude, longitude), plus error degrees.
Bearing_t bearingOf(double latitude, double longitude, const double source[2], double error)
{
    Bearing_t bearing{latitude, longitude, 0.0, 0, 0};
    double ignored = 0.0;
    earth.Inverse(latitude, longitude, source[0], source[1], ignored, bearing.azimuth, ignored);
    bearing.azimuth += error;
    return bearing;
}

// The 95 % area after a leg with exact bearings halfway and at its end, judged by the fix itself.
double areaAfter(QVector<Bearing_t> bearings, const double source[2], double heading, double legM,
                 const FixOptions_t& options)
{
    const Bearing_t from = bearings.last();
    for (double s : {legM / 2, legM}) {
        double latitude = 0.0, longitude = 0.0;
        earth.Direct(from.latitude, from.longitude, heading, s, latitude, longitude);
        bearings.append(bearingOf(latitude, longitude, source, 0.0));
    }
    const Fix_t fix = locate(bearings, options);
    return fix.ok() ? fix.semiMajorM * fix.semiMinorM : qInf();
}

} // namespace

class TestGuidance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void legBeatsDrivingAlong_data()
    {
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("sourceAzimuth");
        QTest::addColumn<double>("range");
        QTest::addColumn<double>("speed");
        QTest::newRow("north, 6 km") << 45.0 << 0.0 << 6000.0 << 15.0;
        QTest::newRow("south-east, 3 km, standing") << -30.0 << 130.0 << 3000.0 << 0.0;
        QTest::newRow("high latitude, 4 km") << 70.0 << 300.0 << 4000.0 << 15.0;
    }
    // Bearings from 8 points along a track east: the suggested leg shrinks the fix more
    // than going on along the track or along the last bearing, and its arrow is the leg.
    void legBeatsDrivingAlong()
    {
        QFETCH(double, latitude);
        QFETCH(double, sourceAzimuth);
        QFETCH(double, range);
        QFETCH(double, speed);
        double source[2] = {0.0, 0.0};
        earth.Direct(latitude, 10.0, sourceAzimuth, range, source[0], source[1]);
        QVector<Bearing_t> bearings;
        for (int k = 0; k < 8; ++k) {
            double lat = 0.0, lon = 0.0;
            earth.Direct(latitude, 10.0, 90.0, 300.0 * k, lat, lon);
            bearings.append(bearingOf(lat, lon, source, k % 2 ? 2.0 : -2.0));
        }
        FixOptions_t options;
        options.estimateSigma = false;
        const Fix_t fix = locate(bearings, options);
        QVERIFY(fix.ok());
        const Bearing_t& last = bearings.last();
        const LegSuggestion_t leg =
            suggestLeg(bearings, fix, options, {last.latitude, last.longitude, 90.0, speed, 120.0, 60.0});
        QVERIFY(leg.crossed);
        const double suggested = areaAfter(bearings, source, leg.headingDeg, leg.legM, options);
        QVERIFY2(suggested < areaAfter(bearings, source, last.azimuth, leg.legM, options), qPrintable(leg.text));
        QVERIFY2(suggested < areaAfter(bearings, source, 90.0, leg.legM, options), qPrintable(leg.text));
        QCOMPARE(leg.legM, 120.0 * (speed > 0.0 ? speed : GuidanceRequest_t::standingSpeedMps));
        QVERIFY(std::fabs(leg.areaNowKm2 - M_PI * fix.semiMajorM * fix.semiMinorM / 1e6) < 1e-9);
        QVERIFY(leg.areaAfterKm2 < 0.9 * leg.areaNowKm2);
        double distance = 0.0, azimuth = 0.0, ignored = 0.0;
        earth.Inverse(last.latitude, last.longitude, leg.endLatitude, leg.endLongitude, distance, azimuth, ignored);
        QVERIFY(std::fabs(distance - leg.legM) < 0.01 && std::fabs(std::remainder(azimuth - leg.headingDeg, 360.0)) < 1e-6);
    }

    void beforeACrossing_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("spacing");  // metres between the receivers
        QTest::addColumn<double>("heading");
        QTest::addColumn<double>("expected");
        QTest::newRow("no bearing: keep the heading") << 0 << 0.0 << 123.0 << 123.0;
        QTest::newRow("one bearing, heading east") << 1 << 0.0 << 80.0 << 90.0;
        QTest::newRow("one bearing, heading along it") << 1 << 0.0 << 359.0 << 270.0;
        QTest::newRow("two from one place") << 2 << 20.0 << 100.0 << 90.0;
    }
    // Across the first bearing, on the side of the present heading; no area yet.
    void beforeACrossing()
    {
        QFETCH(int, count);
        QFETCH(double, spacing);
        QFETCH(double, heading);
        QFETCH(double, expected);
        QVector<Bearing_t> bearings;
        for (int k = 0; k < count; ++k) {
            bearings.append({45.0, 10.0 + spacing * k / 78000.0, k == 0 ? 0.0 : 1.0, 0, 0});
        }
        const Fix_t fix = locate(bearings, FixOptions_t());
        const LegSuggestion_t leg = suggestLeg(bearings, fix, FixOptions_t(), {45.0, 10.0, heading, 15.0, 120.0, 60.0});
        QVERIFY(!fix.ok() && !leg.crossed && std::isnan(leg.areaNowKm2) && std::isnan(leg.areaAfterKm2));
        QCOMPARE(leg.headingDeg, expected);
        QCOMPARE(leg.text.contains(QStringLiteral("across the first bearing")), count > 0);
    }

    void repetitionPeriod_data()
    {
        QTest::addColumn<QVector<qint64>>("times");
        QTest::addColumn<double>("period");
        QTest::newRow("missed, unsorted") << QVector<qint64>{240000, 0, 60000, 420000, 120000, 600000} << 60.0;
        QTest::newRow("missed more than heard") << QVector<qint64>{0, 100000, 300000, 600000, 700000, 1000000} << 100.0;
        QTest::newRow("jitter") << QVector<qint64>{0, 61000, 119000, 180500, 301000, 359500} << 59.92;
        QTest::newRow("copies and a stray") << QVector<qint64>{0, 300, 60000, 60400, 77000, 120000, 180000} << 60.0;
        QTest::newRow("one message") << QVector<qint64>{5000} << 0.0;
    }
    void repetitionPeriod()
    {
        QFETCH(QVector<qint64>, times);
        QFETCH(double, period);
        QVERIFY2(std::fabs(repetitionPeriodS(times) - period) < 0.01, qPrintable(QString::number(repetitionPeriodS(times))));
    }

    void text_data()
    {
        QTest::addColumn<double>("heading");
        QTest::addColumn<double>("leg");
        QTest::addColumn<double>("now");
        QTest::addColumn<double>("after");
        QTest::addColumn<QString>("text");
        QTest::newRow("km") << 70.2 << 1234.0 << 2.4 << 0.61 << "Drive 070° for 1.2 km: 95 % area 2.4 → 0.61 km² expected";
        QTest::newRow("m below 1 km") << 5.0 << 994.0 << 12.6 << 0.004 << "Drive 005° for 990 m: 95 % area 13 → 0.004 km² expected";
        QTest::newRow("1 km") << 359.6 << 996.0 << 0.3 << 0.0001 << "Drive 000° for 1.0 km: 95 % area 0.3 → < 0.001 km² expected";
        QTest::newRow("m²") << 180.0 << 0.0 << 0.0099 << 0.0021 << "Drive 180° for 0 m: 95 % area 9900 → 2100 m² expected";
        QTest::newRow("0.01 km² is no m²") << 180.0 << 0.0 << 0.01 << 0.002 << "Drive 180° for 0 m: 95 % area 0.01 → 0.002 km² expected";
        QTest::newRow("no area") << 90.0 << 1800.0 << qQNaN() << qQNaN() << "Drive 090° for 1.8 km";
    }
    void text()
    {
        QFETCH(double, heading);
        QFETCH(double, leg);
        QFETCH(double, now);
        QFETCH(double, after);
        QFETCH(QString, text);
        QCOMPARE(legText(heading, leg, now, after), text);
    }
};

QTEST_GUILESS_MAIN(TestGuidance)
#include "tst_guidance.moc"
