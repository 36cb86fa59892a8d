#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>
#include <random>

#include "locate/BearingCalibration.h"
#include "locate/ReceiverCalibrations.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

constexpr double sourceLatitude = 47.2, sourceLongitude = 8.4;

// A receiver driving `count` steps of 100 m on `heading`, a bearing per 10 s of the source
// 6 km off, taken `bias` degrees off (the offset to find is -bias) with normal noise and reflections.
QVector<CalibrationPair_t> drive(int count, double bias, double sigma = 0.0, double reflections = 0.0,
                                 double heading = 20.0, double step = 100.0)
{
    std::mt19937_64 random(10);
    std::normal_distribution<double> noise(0.0, sigma);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const Geodesic& geodesic = Geodesic::WGS84();
    double latitude = 0.0, longitude = 0.0;
    geodesic.Direct(sourceLatitude, sourceLongitude, heading + 90.0, 6000.0, latitude, longitude);
    QVector<Bearing_t> bearings;
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        geodesic.Direct(latitude, longitude, heading, step * k, bearing.latitude, bearing.longitude);
        double distance = 0.0, azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, sourceLatitude, sourceLongitude, distance, azimuth,
                         arrival);
        const double error = sigma > 0.0 ? noise(random) : 0.0;
        bearing.azimuth = uniform(random) < reflections ? 360.0 * uniform(random)
                                                        : std::fmod(azimuth + bias + error + 720.0, 360.0);
        bearing.timeMs = 1'700'000'000'000 + 10'000 * k;
        bearings.append(bearing);
    }
    return BearingCalibration::pairsFromReference(bearings, sourceLatitude, sourceLongitude);
}

} // namespace

class TestBearingCalibration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsOffsetAndSigma_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("sigma");
        QTest::addColumn<double>("reflections");
        QTest::addColumn<double>("tolerance");  // of the offset, degrees
        QTest::newRow("noiseless, +3") << 30 << 3.0 << 0.0 << 0.0 << 1e-6;
        QTest::newRow("noiseless, the least count") << 5 << 2.0 << 0.0 << 0.0 << 1e-6;
        QTest::newRow("noiseless, residuals across 180") << 30 << 179.5 << 0.0 << 0.0 << 1e-6;
        QTest::newRow("noisy, 3 degrees") << 400 << 3.0 << 3.0 << 0.0 << 0.4;
        QTest::newRow("noisy across 180") << 400 << -178.0 << 3.0 << 0.0 << 0.4;
        QTest::newRow("30 % reflections") << 400 << 3.0 << 3.0 << 0.3 << 0.5;
    }

    // The offset to add is found, with its interval and the sigma; measured + offset - true is the residual.
    void findsOffsetAndSigma()
    {
        QFETCH(int, count);
        QFETCH(double, offset);
        QFETCH(double, sigma);
        QFETCH(double, reflections);
        QFETCH(double, tolerance);
        const QVector<CalibrationPair_t> pairs = drive(count, -offset, sigma, reflections);
        const Calibration_t result = BearingCalibration::calibrate(pairs);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(result.used, count);
        QVERIFY(std::fabs(std::remainder(result.offsetDeg - offset, 360.0)) <= tolerance);
        QVERIFY(std::fabs(result.offsetDeg) <= 180.0);
        QVERIFY(result.offsetLowDeg <= result.offsetDeg && result.offsetDeg <= result.offsetHighDeg);
        QVERIFY(std::fabs(result.offsetHighDeg - result.offsetLowDeg) <= 4.0 * tolerance + 1e-6);
        const QByteArray found = QByteArray::number(result.sigmaDeg) + " in " + QByteArray::number(result.sigmaLowDeg) +
                                 ".." + QByteArray::number(result.sigmaHighDeg);
        QVERIFY2(std::fabs(result.sigmaDeg - sigma) <= 0.12 * sigma + 1e-6, found.constData());
        QVERIFY(result.sigmaLowDeg <= result.sigmaDeg && result.sigmaDeg <= result.sigmaHighDeg);
        if (sigma > 0.0) {
            QVERIFY2(result.sigmaLowDeg <= sigma && sigma <= result.sigmaHighDeg, found.constData());
        }
        QVERIFY(result.inliers <= count && result.inliers >= int((1.0 - reflections) * count * 0.9));
    }

    void refuses_data()
    {
        QTest::addColumn<QVector<CalibrationPair_t>>("pairs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("used");
        QTest::newRow("one short of the least") << drive(4, 3.0) << false << 4;
        QTest::newRow("the least") << drive(5, 3.0) << true << 5;
        QVector<CalibrationPair_t> onTop = drive(4, 3.0);
        onTop.append(onTop.first());
        onTop.last().sourceLatitude = onTop.last().bearing.latitude;
        onTop.last().sourceLongitude = onTop.last().bearing.longitude;
        QTest::newRow("one taken on top of its source") << onTop << false << 4;
        QTest::newRow("bearings from anywhere") << drive(60, 0.0, 0.0, 1.0) << false << 60;
    }

    void refuses()
    {
        QFETCH(QVector<CalibrationPair_t>, pairs);
        QFETCH(bool, ok);
        QFETCH(int, used);
        const Calibration_t result = BearingCalibration::calibrate(pairs);
        QCOMPARE(result.ok, ok);
        QCOMPARE(result.used, used);
        QCOMPARE(result.reason.isEmpty(), ok);
    }

    void relativeToHeading_data()
    {
        QTest::addColumn<double>("heading");
        QTest::addColumn<double>("step");
        QTest::addColumn<bool>("backwards");  // the list in reverse time order
        QTest::newRow("north-east") << 20.0 << 100.0 << false;
        QTest::newRow("west, listed backwards") << 270.0 << 100.0 << true;
        QTest::newRow("just moving") << 135.0 << 10.5 << false;
        QTest::newRow("parked") << 135.0 << 9.0 << false;
    }

    // The source lies abeam to the left (270° relative) of a receiver driving past it.
    void relativeToHeading()
    {
        QFETCH(double, heading);
        QFETCH(double, step);
        QFETCH(bool, backwards);
        QVector<CalibrationPair_t> pairs = drive(6, 0.0, 0.0, 0.0, heading, step * 0.5);
        if (backwards) {
            std::reverse(pairs.begin(), pairs.end());
        }
        const Calibration_t result = BearingCalibration::calibrate(pairs);
        QVERIFY(result.ok);
        // Inside the track the heading runs from one neighbour to the other.
        for (int k = 1; k + 1 < pairs.size(); ++k) {
            const double relative = result.relativeDeg.at(k);
            if (step < BearingCalibration::minHeadingMoveM) {
                QVERIFY(std::isnan(relative));
            } else {
                QVERIFY(std::fabs(std::remainder(relative - 270.0, 360.0)) < 3.0);
                QVERIFY(relative >= 0.0 && relative < 360.0);
            }
        }
    }

    void pairsFromPayload_data()
    {
        QTest::addColumn<qint64>("gapMs");  // payload time minus bearing time
        QTest::addColumn<int>("pairs");
        QTest::newRow("same time") << qint64(0) << 3;
        QTest::newRow("at the gap's limit") << BearingCalibration::maxPairGapMs << 3;
        QTest::newRow("just past it") << BearingCalibration::maxPairGapMs + 1 << 0;
        QTest::newRow("before the bearing") << -qint64(4000) << 3;
    }

    // Each bearing takes the payload position nearest in time; a decoy farther off is not it.
    void pairsFromPayload()
    {
        QFETCH(qint64, gapMs);
        QFETCH(int, pairs);
        SearchLog::Platform_t platform;
        for (int k = 0; k < 4; ++k) {
            const qint64 timeMs = k == 3 ? 0 : 100'000 * (k + 1);
            platform.bearings.append(Bearing_t{1.0, 2.0, 90.0, timeMs, -90});
            platform.payloadPositions.append({timeMs + gapMs, 10.0 + k, 20.0});
            platform.payloadPositions.append({timeMs + 2 * gapMs + (gapMs < 0 ? -1 : 1), 50.0, 50.0});
        }
        const QVector<CalibrationPair_t> made = BearingCalibration::pairsFromPayload(platform);
        QCOMPARE(made.size(), pairs);
        for (const CalibrationPair_t& pair : made) {
            QCOMPARE(pair.sourceLatitude, 10.0 + pair.index);
        }
    }

    void store_data()
    {
        QTest::addColumn<double>("sigma");
        QTest::addColumn<bool>("kept");
        QTest::newRow("usable") << 2.5 << true;
        QTest::newRow("sigma not a number") << qQNaN() << false;
        QTest::newRow("sigma zero") << 0.0 << false;
    }

    // The store comes back from the settings as it went in; what no fix could take never does.
    void store()
    {
        QFETCH(double, sigma);
        QFETCH(bool, kept);
        ReceiverCalibrations store;
        QVERIFY(store.set(QStringLiteral("0077-3141"), {-3.25, 1.75, 30, 1'700'000'000'123}));
        QCOMPARE(store.set(QStringLiteral("0012-0001"), {1.5, sigma, 12, 0}), kept);
        const ReceiverCalibrations fromString = ReceiverCalibrations::fromString(store.toString());
        const ReceiverCalibrations fromMap = ReceiverCalibrations::fromVariantMap(store.toVariantMap());
        QCOMPARE(fromString.size(), kept ? 2 : 1);
        QVERIFY(fromString == store);
        QVERIFY(fromMap == store);
        FixOptions_t options;
        QVERIFY(fromString.applyTo(QStringLiteral("0077-3141"), &options));
        QCOMPARE(options.offsetDeg, -3.25);
        QCOMPARE(options.sigmaDeg, 1.75);
        QVERIFY(!options.estimateSigma);
        QVERIFY(!fromString.applyTo(QStringLiteral("0099-9999"), &options));
        QCOMPARE(options.offsetDeg, -3.25);
    }
};

QTEST_GUILESS_MAIN(TestBearingCalibration)
#include "tst_bearingcalibration.moc"
