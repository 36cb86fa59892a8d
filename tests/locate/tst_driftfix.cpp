#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>

#include "locate/DriftFix.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

constexpr qint64 startMs = 1796000000000LL;
constexpr int minute = 60000;

// Exact bearings of a platform leaving (latitude, longitude) at `speed` m/s toward `course`, one every five
// minutes from receivers circling it 4 km off.
QVector<Bearing_t> drifting(double latitude, double longitude, double speed, double course, int count)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    QVector<Bearing_t> bearings;
    for (int k = 0; k < count; ++k) {
        double platformLatitude = 0.0, platformLongitude = 0.0, azimuth = 0.0, back = 0.0;
        geodesic.Direct(latitude, longitude, course, speed * 300.0 * k, platformLatitude, platformLongitude);
        Bearing_t bearing;
        geodesic.Direct(platformLatitude, platformLongitude, 37.0 * k, 4000.0, bearing.latitude, bearing.longitude,
                        back);
        geodesic.Inverse(bearing.latitude, bearing.longitude, platformLatitude, platformLongitude, azimuth, back);
        bearing.azimuth = std::fmod(azimuth + 360.0, 360.0);
        bearing.timeMs = startMs + 5 * minute * k;
        bearings.append(bearing);
    }
    return bearings;
}

double distanceM(double latitude1, double longitude1, double latitude2, double longitude2)
{
    double distance = 0.0;
    Geodesic::WGS84().Inverse(latitude1, longitude1, latitude2, longitude2, distance);
    return distance;
}

} // namespace

class TestDriftFix : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exactBearingsGivePositionNowAndVelocity_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("course");
        QTest::newRow("ML, 0.5 m/s toward 210") << int(ESTIMATOR_ML) << 48.8 << 0.5 << 210.0;
        QTest::newRow("Huber, 2 m/s toward 075") << int(ESTIMATOR_HUBER) << -33.9 << 2.0 << 75.0;
        QTest::newRow("Andrews, high latitude, 0.3 m/s toward 350") << int(ESTIMATOR_ANDREWS) << 78.2 << 0.3 << 350.0;
        QTest::newRow("Andrews, 1 m/s toward 130") << int(ESTIMATOR_ANDREWS) << 10.0 << 1.0 << 130.0;
    }

    void exactBearingsGivePositionNowAndVelocity()
    {
        QFETCH(int, estimator);
        QFETCH(double, latitude);
        QFETCH(double, speed);
        QFETCH(double, course);
        // Out of time order: now is the latest bearing, not the last in the list.
        QVector<Bearing_t> bearings = drifting(latitude, 20.0, speed, course, 12);
        std::swap(bearings[11], bearings[3]);
        FixOptions_t options;
        options.estimator = Estimator_t(estimator);
        const DriftFix_t drift = locateDrifting(bearings, options, locate(bearings, options));
        QVERIFY2(drift.ok(), qPrintable(drift.reason));
        double nowLatitude = 0.0, nowLongitude = 0.0;
        Geodesic::WGS84().Direct(latitude, 20.0, course, speed * 3300.0, nowLatitude, nowLongitude);
        QCOMPARE(drift.timeMs, startMs + 55 * minute);
        QVERIFY(distanceM(drift.latitude, drift.longitude, nowLatitude, nowLongitude) < 1.0);
        QVERIFY(std::hypot(drift.velocityEast - speed * std::sin(course * M_PI / 180.0),
                           drift.velocityNorth - speed * std::cos(course * M_PI / 180.0)) < 0.002);
        // The track runs from where it was at the first bearing to where it is now.
        QCOMPARE(drift.track.first().timeMs, startMs);
        QVERIFY(distanceM(drift.track.first().latitude, drift.track.first().longitude, latitude, 20.0) < 1.0);
        QVERIFY(driftSupported(drift));
        QVERIFY(drift.covEE > 0.0 && drift.covVNN > 0.0 && drift.semiMajorM >= drift.semiMinorM);
    }

    // Bearings without a time cannot serve the motion model, however wrong their azimuths.
    void timesAndWindow_data()
    {
        QTest::addColumn<int>("untimed");  // of the first bearings, their time cleared and azimuth spoilt
        QTest::addColumn<int>("fromMinute");
        QTest::addColumn<bool>("oneTime");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<int>("used");
        QTest::newRow("all timed") << 0 << 0 << false << int(REFUSAL_NONE) << 10;
        QTest::newRow("five timed left") << 5 << 0 << false << int(REFUSAL_NONE) << 5;
        QTest::newRow("four timed left") << 6 << 0 << false << int(REFUSAL_TOO_FEW) << 4;
        QTest::newRow("window keeps five") << 0 << 25 << false << int(REFUSAL_NONE) << 5;
        QTest::newRow("window keeps four") << 0 << 26 << false << int(REFUSAL_TOO_FEW) << 4;
        QTest::newRow("all at one time") << 0 << 0 << true << int(REFUSAL_TOO_FEW) << 10;
    }

    void timesAndWindow()
    {
        QFETCH(int, untimed);
        QFETCH(int, fromMinute);
        QFETCH(bool, oneTime);
        QFETCH(int, refusal);
        QFETCH(int, used);
        QVector<Bearing_t> bearings = drifting(45.0, 7.0, 0.5, 300.0, 10);
        const Fix_t still = locate(bearings, FixOptions_t());
        for (int k = 0; k < untimed; ++k) {
            bearings[k].timeMs = 0;
            bearings[k].azimuth += 90.0;
        }
        for (int k = 0; oneTime && k < bearings.size(); ++k) {
            bearings[k].timeMs = startMs;
        }
        FixOptions_t options;
        options.fromMs = fromMinute ? startMs + fromMinute * minute : 0;
        const DriftFix_t drift = locateDrifting(bearings, options, still);
        QCOMPARE(int(drift.refusal), refusal);
        QCOMPARE(drift.used, used);
    }

    // The test's threshold: twice the loss drop against chi-square 2 (0.1 %: 13.82), or
    // against 2 F(2, 36) (16.84) when sigma came from 36 degrees of freedom.
    void choiceThreshold_data()
    {
        QTest::addColumn<double>("drop");
        QTest::addColumn<double>("degreesOfFreedom");
        QTest::addColumn<bool>("drifting");
        QTest::newRow("known sigma, below") << 6.90 << 0.0 << false;
        QTest::newRow("known sigma, above") << 6.92 << 0.0 << true;
        QTest::newRow("estimated sigma, above chi-square but below F") << 8.40 << 36.0 << false;
        QTest::newRow("estimated sigma, above F") << 8.44 << 36.0 << true;
    }

    void choiceThreshold()
    {
        QFETCH(double, drop);
        QFETCH(double, degreesOfFreedom);
        QFETCH(bool, drifting);
        DriftFix_t drift;
        drift.refusal = REFUSAL_NONE;
        drift.stillLoss = 20.0 + drop;
        drift.driftLoss = 20.0;
        drift.sigmaDegreesOfFreedom = degreesOfFreedom;
        QCOMPARE(driftSupported(drift), drifting);
    }

    // A still platform, bearings with errors: the drift model finds some velocity, the choice keeps it still,
    // also when a parked receiver heard it thirty times in whole degrees.
    void stillPlatformKeptStill_data()
    {
        QTest::addColumn<int>("parked");
        QTest::newRow("bearings with errors") << 0;
        QTest::newRow("thirty of them from one place") << 30;
    }

    void stillPlatformKeptStill()
    {
        QFETCH(int, parked);
        QVector<Bearing_t> bearings = drifting(45.0, 7.0, 0.0, 0.0, 24);
        for (int k = 0; k < bearings.size(); ++k) {
            bearings[k].azimuth += 4.0 * std::sin(2.3 * k);
        }
        for (int k = 0; k < parked; ++k) {
            Bearing_t again = bearings.first();
            again.azimuth = std::round(again.azimuth);
            again.timeMs -= (k + 1) * minute;
            bearings.append(again);
        }
        const DriftFix_t drift = locateDrifting(bearings, FixOptions_t(), locate(bearings, FixOptions_t()));
        QVERIFY(drift.ok() && drift.speedMs > 0.0);
        QVERIFY(!driftSupported(drift));
    }

    void summary_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("course");
        QTest::addColumn<QString>("text");
        QTest::newRow("as shown") << 0.44 << 209.6 << QStringLiteral("drifting 0.4 m/s toward 210°");
        QTest::newRow("course rounds to north") << 1.26 << 359.6 << QStringLiteral("drifting 1.3 m/s toward 000°");
        QTest::newRow("fast") << 12.4 << 5.0 << QStringLiteral("drifting 12 m/s toward 005°");
    }

    void summary()
    {
        QFETCH(double, speed);
        QFETCH(double, course);
        QFETCH(QString, text);
        DriftFix_t drift;
        drift.refusal = REFUSAL_NONE;
        drift.speedMs = speed;
        drift.courseDeg = course;
        QCOMPARE(driftSummary(drift), text);
        drift.refusal = REFUSAL_TOO_FEW;
        QVERIFY(driftSummary(drift).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDriftFix)
#include "tst_driftfix.moc"
