#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>

#include "locate/Guidance.h"

using namespace Vantrel::Locate;

namespace {

const GeographicLib::Geodesic& earth = GeographicLib::Geodesic::WGS84();

// `bearings` and those of the source from points at `distances` along `heading`, errors alternately ±error.
QVector<Bearing_t> along(QVector<Bearing_t> bearings, double latitude, double longitude, double heading,
                         const QVector<double>& distances, const double source[2], double error)
{
    for (int k = 0; k < distances.size(); ++k) {
        Bearing_t bearing;
        double ignored = 0.0;
        earth.Direct(latitude, longitude, heading, distances[k], bearing.latitude, bearing.longitude);
        earth.Inverse(bearing.latitude, bearing.longitude, source[0], source[1], ignored, bearing.azimuth, ignored);
        bearing.azimuth += k % 2 ? error : -error;
        bearings.append(bearing);
    }
    return bearings;
}

} // namespace

class TestGuidance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void legBeatsDrivingAlongTheBearing_data()
    {
        QTest::addColumn<QVector<double>>("at");  // latitude; the source's azimuth and range; the speed
        QTest::newRow("north, 6 km") << QVector<double>{45, 0, 6000, 15};
        QTest::newRow("south-east, 3 km, standing") << QVector<double>{-30, 130, 3000, 0};
        QTest::newRow("high latitude, 4 km") << QVector<double>{70, 300, 4000, 15};
    }
    // After bearings along a track east, the fix from the suggested leg's bearings (halfway
    // and at its end) is smaller than from the same leg along the last bearing or the track.
    void legBeatsDrivingAlongTheBearing()
    {
        QFETCH(QVector<double>, at);
        double source[2] = {0.0, 0.0};
        earth.Direct(at[0], 10.0, at[1], at[2], source[0], source[1]);
        const QVector<Bearing_t> track =
            along({}, at[0], 10.0, 90.0, {0, 300, 600, 900, 1200, 1500, 1800, 2100}, source, 2.0);
        FixOptions_t options;
        options.estimateSigma = false;
        const Fix_t fix = locate(track, options);
        const Bearing_t& last = track.last();
        const LegSuggestion_t leg =
            suggestLeg(track, fix, options, {last.latitude, last.longitude, 90.0, at[3], 120.0, 60.0});
        QVERIFY(fix.ok() && leg.crossed && leg.areaAfterKm2 < 0.9 * leg.areaNowKm2);
        QCOMPARE(leg.legM, 120.0 * (at[3] > 0.0 ? at[3] : GuidanceRequest_t::standingSpeedMps));
        auto areaAfter = [&](double heading) {
            const QVector<double> steps{leg.legM / 2, leg.legM};
            const Fix_t after =
                locate(along(track, last.latitude, last.longitude, heading, steps, source, 0.0), options);
            return after.ok() ? after.semiMajorM * after.semiMinorM : qInf();
        };
        QVERIFY2(areaAfter(leg.headingDeg) < std::min(areaAfter(last.azimuth), areaAfter(90.0)), qPrintable(leg.text));
    }

    void beforeACrossing_data()
    {
        QTest::addColumn<int>("count");  // taken 20 m apart
        QTest::addColumn<double>("heading");
        QTest::addColumn<double>("expected");
        QTest::newRow("no bearing: keep the heading") << 0 << 123.0 << 123.0;
        QTest::newRow("one bearing, heading along it") << 1 << 359.0 << 270.0;
        QTest::newRow("two from one place") << 2 << 100.0 << 90.0;
    }
    // Across the first bearing, on the side of the present heading; no area yet.
    void beforeACrossing()
    {
        QFETCH(int, count);
        QFETCH(double, heading);
        QFETCH(double, expected);
        QVector<Bearing_t> bearings;
        for (int k = 0; k < count; ++k) {
            bearings.append({45.0, 10.0 + 20.0 * k / 78000.0, k == 0 ? 0.0 : 1.0, 0, 0});
        }
        const Fix_t fix = locate(bearings, FixOptions_t());
        const LegSuggestion_t leg =
            suggestLeg(bearings, fix, FixOptions_t(), {45.0, 10.0, heading, 15.0, 120.0, 60.0});
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
        const double found = repetitionPeriodS(times);
        QVERIFY2(std::fabs(found - period) < 0.01, qPrintable(QString::number(found)));
    }

    void text_data()
    {
        QTest::addColumn<QVector<double>>("leg");  // heading, metres, area now and after in km²
        QTest::addColumn<QString>("text");
        QTest::newRow("km") << QVector<double>{70.2, 1234, 2.4, 0.61}
                              << "Drive 070° for 1.2 km: 95 % area 2.4 → 0.61 km² expected";
        QTest::newRow("m below 1 km") << QVector<double>{5, 994, 12.6, 0.004}
                              << "Drive 005° for 990 m: 95 % area 13 → 0.004 km² expected";
        QTest::newRow("1 km") << QVector<double>{359.6, 996, 0.3, 0.0001}
                              << "Drive 000° for 1.0 km: 95 % area 0.3 → < 0.001 km² expected";
        QTest::newRow("m²") << QVector<double>{180, 0, 0.0099, 0.0021}
                              << "Drive 180° for 0 m: 95 % area 9900 → 2100 m² expected";
        QTest::newRow("0.01 km² is no m²") << QVector<double>{180, 0, 0.01, 0.002}
                              << "Drive 180° for 0 m: 95 % area 0.01 → 0.002 km² expected";
        QTest::newRow("no area") << QVector<double>{90, 1800, qQNaN(), qQNaN()} << "Drive 090° for 1.8 km";
    }
    void text()
    {
        QFETCH(QVector<double>, leg);
        QFETCH(QString, text);
        QCOMPARE(legText(leg[0], leg[1], leg[2], leg[3]), text);
    }
};

QTEST_GUILESS_MAIN(TestGuidance)
#include "tst_guidance.moc"
