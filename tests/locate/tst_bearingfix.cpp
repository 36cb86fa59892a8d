#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>
#include <limits>
#include <random>

#include "locate/BearingFix.h"
#include "locate/LocalFrame.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

struct Place_t
{
    double latitude;
    double longitude;
};

// A receiver `range` metres from the source on `azimuth` (from the source), with the
// exact bearing it takes of the source plus `error` degrees.
Bearing_t bearingFrom(Place_t source, double azimuth, double range, double error = 0.0)
{
    Bearing_t bearing;
    double back = 0.0;
    Geodesic::WGS84().Direct(source.latitude, source.longitude, azimuth, range, bearing.latitude, bearing.longitude,
                             back);
    bearing.azimuth = std::fmod(back + 180.0 + error + 720.0, 360.0);
    return bearing;
}

double distanceM(Place_t a, double latitude, double longitude)
{
    double distance = 0.0;
    Geodesic::WGS84().Inverse(a.latitude, a.longitude, latitude, longitude, distance);
    return distance;
}

// How many times the fix's 95 % ellipse must grow to reach the source: 1 on its edge.
double ellipseRadii(const Fix_t& fix, Place_t source)
{
    double distance = 0.0, azimuth = 0.0, back = 0.0;
    Geodesic::WGS84().Inverse(fix.latitude, fix.longitude, source.latitude, source.longitude, distance, azimuth, back);
    const double turn = (azimuth - fix.majorAzimuthDeg) * M_PI / 180.0;
    return std::hypot(distance * std::cos(turn) / fix.semiMajorM, distance * std::sin(turn) / fix.semiMinorM);
}

bool ellipseHolds(const Fix_t& fix, Place_t source)
{
    return ellipseRadii(fix, source) <= 1.0;
}

// `count` bearings from a circle of 1 km round `centre`, each `errors[k % size]` degrees off.
QVector<Bearing_t> circleDrive(Place_t centre, Place_t source, int count, const QVector<double>& errors)
{
    QVector<Bearing_t> bearings;
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        double back = 0.0, distance = 0.0, azimuth = 0.0;
        Geodesic::WGS84().Direct(centre.latitude, centre.longitude, 360.0 * k / count, 1000.0, bearing.latitude,
                                 bearing.longitude, back);
        Geodesic::WGS84().Inverse(bearing.latitude, bearing.longitude, source.latitude, source.longitude, distance,
                                  azimuth, back);
        bearing.azimuth = std::fmod(azimuth + errors.at(k % errors.size()) + 720.0, 360.0);
        bearing.timeMs = 60000 * k;
        bearings.append(bearing);
    }
    return bearings;
}

} // namespace

class TestBearingFix : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exactBearingsGiveTheSource_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<double>("range");
        QTest::addColumn<double>("offset");  // the compass error, put right by the option
        QTest::newRow("ML, mid latitude") << int(ESTIMATOR_ML) << 48.85 << 2.35 << 5000.0 << 0.0;
        QTest::newRow("Huber, equator") << int(ESTIMATOR_HUBER) << 0.0 << -30.0 << 5000.0 << 0.0;
        QTest::newRow("Andrews, 40 km off") << int(ESTIMATOR_ANDREWS) << -33.9 << 18.4 << 40000.0 << 0.0;
        QTest::newRow("Andrews, across the antimeridian") << int(ESTIMATOR_ANDREWS) << -17.0 << -179.96 << 8000.0 << 0.0;
        QTest::newRow("ML, high latitude") << int(ESTIMATOR_ML) << 78.2 << 15.6 << 6000.0 << 0.0;
        QTest::newRow("compass 7 degrees off") << int(ESTIMATOR_ANDREWS) << 45.0 << 7.0 << 5000.0 << 7.0;
        // Straight rays on the plane would be 16 m and 55 m off here.
        QTest::newRow("ML, 100 km off") << int(ESTIMATOR_ML) << 45.0 << 10.0 << 100000.0 << 0.0;
        QTest::newRow("Andrews, 150 km off, high latitude") << int(ESTIMATOR_ANDREWS) << 70.0 << 10.0 << 150000.0 << 0.0;
    }

    // Three bearings crossing at one point give that point, whatever the estimator.
    void exactBearingsGiveTheSource()
    {
        QFETCH(int, estimator);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(double, range);
        QFETCH(double, offset);
        const Place_t source{latitude, longitude};
        const QVector<Bearing_t> bearings{bearingFrom(source, 200.0, range, -offset),
                                          bearingFrom(source, 250.0, range * 0.8, -offset),
                                          bearingFrom(source, 300.0, range * 1.1, -offset)};
        FixOptions_t options;
        options.estimator = Estimator_t(estimator);
        options.offsetDeg = offset;
        const Fix_t fix = locate(bearings, options);
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        QVERIFY2(distanceM(source, fix.latitude, fix.longitude) < 0.5,
                 qPrintable(QString::number(distanceM(source, fix.latitude, fix.longitude))));
        QCOMPARE(fix.used, 3);
        QCOMPARE(fix.downWeighted, 0);
        for (double residual : fix.residualDeg)
            QVERIFY(std::fabs(residual) < 0.01);
        // The ellipse is that of the user's sigma at this geometry: metres to a few hundred, never nothing.
        QVERIFY(fix.semiMinorM > 1.0 && fix.semiMajorM >= fix.semiMinorM && fix.semiMajorM < 2.0 * range);
        QVERIFY(!fix.sigmaEstimated);
    }

    void refusals_data()
    {
        QTest::addColumn<QVector<Bearing_t>>("bearings");
        QTest::addColumn<qint64>("fromMs");
        QTest::addColumn<int>("refusal");
        const Place_t source{48.85, 2.35};
        const Bearing_t north = bearingFrom(source, 0.0, 5000.0);
        const Bearing_t west = bearingFrom(source, 270.0, 5000.0);
        const Bearing_t south = bearingFrom(source, 180.0, 5000.0);
        // Along the line of bearing of `north`, 99 m and 101 m further out.
        const Bearing_t near99 = bearingFrom(source, 0.0, 5099.0);
        const Bearing_t near101 = bearingFrom(source, 0.0, 5101.0);
        // Each bearing turned round: the lines still cross at the source, behind every receiver.
        QVector<Bearing_t> away{north, west, bearingFrom(source, 320.0, 6000.0)};
        for (Bearing_t& bearing : away)
            bearing.azimuth = std::fmod(bearing.azimuth + 180.0, 360.0);
        Bearing_t late = west;
        late.timeMs = 2000;
        Bearing_t noPosition = west;
        noPosition.latitude = NAN;
        QTest::newRow("one bearing") << QVector<Bearing_t>{north} << qint64(0) << int(REFUSAL_TOO_FEW);
        QTest::newRow("second one has no position") << QVector<Bearing_t>{north, noPosition} << qint64(0)
                                                    << int(REFUSAL_TOO_FEW);
        QTest::newRow("window leaves one") << QVector<Bearing_t>{north, late, south} << qint64(1000)
                                           << int(REFUSAL_TOO_FEW);
        QTest::newRow("99 m apart") << QVector<Bearing_t>{north, near99} << qint64(0) << int(REFUSAL_SHORT_BASELINE);
        QTest::newRow("101 m apart, but one line") << QVector<Bearing_t>{north, near101} << qint64(0)
                                                   << int(REFUSAL_PARALLEL);
        QTest::newRow("from both sides of the source, one line") << QVector<Bearing_t>{north, south} << qint64(0)
                                                                   << int(REFUSAL_PARALLEL);
        QTest::newRow("crossing behind") << away << qint64(0) << int(REFUSAL_BEHIND);
        QTest::newRow("window keeps two") << QVector<Bearing_t>{north, late, south, west} << qint64(0)
                                          << int(REFUSAL_NONE);
    }

    void refusals()
    {
        QFETCH(QVector<Bearing_t>, bearings);
        QFETCH(qint64, fromMs);
        QFETCH(int, refusal);
        FixOptions_t options;
        options.fromMs = fromMs;
        const Fix_t fix = locate(bearings, options);
        QCOMPARE(int(fix.refusal), refusal);
        QCOMPARE(fix.reason.isEmpty(), refusal == REFUSAL_NONE);
        QCOMPARE(fix.residualDeg.size(), bearings.size());
    }

    // An option that is no usable number is refused with its own reason, never run into "did not converge" or
    // a check switched off; the smallest usable values still give the fix.
    void unusableOptions_data()
    {
        QTest::addColumn<double>("sigma");
        QTest::addColumn<double>("offset");
        QTest::addColumn<double>("baseline");
        QTest::addColumn<QString>("reason");
        const QString sigma = "The bearing sigma must be a positive number of degrees, not %1";
        const QString offset = "The compass offset must be a number of degrees, not %1";
        const QString baseline = "The least baseline must be a positive number of metres, not %1";
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("sigma NaN") << double(NAN) << 0.0 << 100.0 << sigma.arg("nan");
        QTest::newRow("sigma infinite") << inf << 0.0 << 100.0 << sigma.arg("inf");
        QTest::newRow("sigma 0") << 0.0 << 0.0 << 100.0 << sigma.arg(0);
        QTest::newRow("sigma negative") << -2.0 << 0.0 << 100.0 << sigma.arg(-2);
        QTest::newRow("sigma smallest positive") << 1e-9 << 0.0 << 100.0 << "";
        QTest::newRow("offset NaN") << 5.0 << double(NAN) << 100.0 << offset.arg("nan");
        QTest::newRow("offset infinite") << 5.0 << -inf << 100.0 << offset.arg("-inf");
        QTest::newRow("offset negative") << 5.0 << -3.0 << 100.0 << "";
        QTest::newRow("baseline NaN") << 5.0 << 0.0 << double(NAN) << baseline.arg("nan");
        QTest::newRow("baseline 0") << 5.0 << 0.0 << 0.0 << baseline.arg(0);
        QTest::newRow("baseline smallest positive") << 5.0 << 0.0 << 1e-9 << "";
    }

    void unusableOptions()
    {
        QFETCH(double, sigma);
        QFETCH(double, offset);
        QFETCH(double, baseline);
        QFETCH(QString, reason);
        const Place_t source{48.85, 2.35};
        FixOptions_t options;
        options.sigmaDeg = sigma;
        options.estimateSigma = false;
        options.offsetDeg = offset;
        options.minBaselineM = baseline;
        const Fix_t fix = locate({bearingFrom(source, 0.0, 5000.0, -offset), bearingFrom(source, 90.0, 5000.0, -offset),
                                  bearingFrom(source, 200.0, 4000.0, -offset)},
                                 options);
        QCOMPARE(fix.reason, reason);
        QCOMPARE(int(fix.refusal), int(reason.isEmpty() ? REFUSAL_NONE : REFUSAL_BAD_OPTIONS));
    }

    // The covariance is east and north at the fix: its major axis lies where the ellipse's does, also far from the
    // receivers' mean, where the plane's axes have turned with the meridians.
    void covarianceEastNorthAtTheFix_data()
    {
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("range");
        QTest::newRow("mid latitude, 30 km") << 45.0 << 30000.0;
        QTest::newRow("high latitude, 40 km") << 70.0 << 40000.0;
    }

    void covarianceEastNorthAtTheFix()
    {
        QFETCH(double, latitude);
        QFETCH(double, range);
        const Place_t source{latitude, 10.0};
        // Receivers bunched west of the source: a long ellipse lying east to west.
        const QVector<Bearing_t> bearings{bearingFrom(source, 265.0, range, 0.3), bearingFrom(source, 270.0, range, -0.2),
                                          bearingFrom(source, 275.0, range, 0.1), bearingFrom(source, 268.0, range * 1.05)};
        FixOptions_t options;
        options.estimator = ESTIMATOR_ML;
        options.estimateSigma = false;
        const Fix_t fix = locate(bearings, options);
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        QVERIFY(fix.semiMajorM > 5.0 * fix.semiMinorM);
        double major = 0.5 * std::atan2(2.0 * fix.covEN, fix.covNN - fix.covEE) * 180.0 / M_PI;
        major = std::fmod(major + 180.0, 180.0);
        QVERIFY2(std::fabs(std::remainder(major - fix.majorAzimuthDeg, 180.0)) < 0.02,
                 qPrintable(QString("%1 against %2").arg(major).arg(fix.majorAzimuthDeg)));
    }

    void outlierIsDownWeighted_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::addColumn<bool>("downWeighted");
        QTest::addColumn<double>("minErrorM");
        QTest::addColumn<double>("maxErrorM");
        QTest::newRow("ML listens to every bearing") << int(ESTIMATOR_ML) << false << 500.0 << 2000.0;
        QTest::newRow("Huber bounds its pull") << int(ESTIMATOR_HUBER) << true << 0.0 << 200.0;
        QTest::newRow("Andrews drops it") << int(ESTIMATOR_ANDREWS) << true << 0.0 << 100.0;
    }

    // Twelve good bearings and one reflection 60° off: the robust estimators set it
    // aside and stay on the source; ML is pulled away.
    void outlierIsDownWeighted()
    {
        QFETCH(int, estimator);
        QFETCH(bool, downWeighted);
        QFETCH(double, minErrorM);
        QFETCH(double, maxErrorM);
        const Place_t source{-12.5, 130.8};
        QVector<Bearing_t> bearings;
        for (int k = 0; k < 12; ++k)
            bearings.append(bearingFrom(source, 150.0 + 5.0 * k, 4000.0 + 100.0 * k, k % 2 ? 2.0 : -2.0));
        bearings.append(bearingFrom(source, 180.0, 3000.0, 60.0));
        FixOptions_t options;
        options.estimator = Estimator_t(estimator);
        const Fix_t fix = locate(bearings, options);
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        QCOMPARE(fix.downWeightedFlags.last(), downWeighted);
        QCOMPARE(fix.downWeighted, downWeighted ? 1 : 0);
        QVERIFY(fix.sigmaEstimated);
        const double error = distanceM(source, fix.latitude, fix.longitude);
        QVERIFY2(error >= minErrorM && error <= maxErrorM, qPrintable(QString::number(error)));
    }

    void frameRoundTripAndStraightRays_data()
    {
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::newRow("mid latitude") << 48.85 << 2.35;
        QTest::newRow("equator") << 0.0 << 0.0;
        QTest::newRow("far south") << -75.0 << -60.0;
        QTest::newRow("antimeridian") << 65.0 << 180.0;
    }

    // Points 20 km out come back where they were, and a bearing's ray of up to 30 km
    // from there follows its geodesic on the plane to within half a metre.
    void frameRoundTripAndStraightRays()
    {
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        const LocalFrame frame(latitude, longitude);
        const Geodesic& geodesic = Geodesic::WGS84();
        double worstM = 0.0;
        for (double out = 0.0; out < 360.0; out += 45.0) {
            double startLatitude = 0.0, startLongitude = 0.0, back = 0.0;
            geodesic.Direct(latitude, longitude, out, 20000.0, startLatitude, startLongitude, back);
            double east = 0.0, north = 0.0, roundLatitude = 0.0, roundLongitude = 0.0;
            frame.forward(startLatitude, startLongitude, &east, &north);
            frame.reverse(east, north, &roundLatitude, &roundLongitude);
            QVERIFY(std::fabs(roundLatitude - startLatitude) < 1e-9);
            QVERIFY(std::fabs(std::remainder(roundLongitude - startLongitude, 360.0)) < 1e-9);
            for (double azimuth = 10.0; azimuth < 360.0; azimuth += 40.0) {
                double x0 = 0.0, y0 = 0.0;
                const double grid = frame.gridAzimuth(startLatitude, startLongitude, azimuth, &x0, &y0) * M_PI / 180.0;
                QVERIFY(std::fabs(std::remainder(frame.trueAzimuth(x0, y0, grid * 180.0 / M_PI) - azimuth, 360.0)) < 1e-6);
                for (double along = 5000.0; along <= 30000.0; along += 5000.0) {
                    double pointLatitude = 0.0, pointLongitude = 0.0, x = 0.0, y = 0.0;
                    geodesic.Direct(startLatitude, startLongitude, azimuth, along, pointLatitude, pointLongitude, back);
                    frame.forward(pointLatitude, pointLongitude, &x, &y);
                    worstM = std::max(worstM, std::fabs((x - x0) * std::cos(grid) - (y - y0) * std::sin(grid)));
                }
            }
        }
        QVERIFY2(worstM < 0.5, qPrintable(QString::number(worstM)));
    }

    // Geometries where a fix used to be shown as precise while it lay far off.
    void neverPreciseAndWrong_data()
    {
        QTest::addColumn<QVector<Bearing_t>>("bearings");
        QTest::addColumn<int>("estimator");
        QTest::addColumn<double>("sourceLatitude");
        QTest::addColumn<double>("sourceLongitude");
        QTest::addColumn<double>("maxErrorM");
        const Place_t centre{-12.0, 130.0};
        double latitude = 0.0, longitude = 0.0, back = 0.0;
        // A beacon 15 m off the track: close to a receiver is a real place to be.
        Geodesic::WGS84().Direct(centre.latitude, centre.longitude, 3.0, 985.0, latitude, longitude, back);
        const Place_t nearTrack{latitude, longitude};
        const QVector<Bearing_t> passing = circleDrive(centre, nearTrack, 16, {2.0, -3.0, 1.0, -1.0, 4.0, -2.0});
        for (int e = ESTIMATOR_ML; e <= ESTIMATOR_ANDREWS; ++e) {
            const QByteArray name = estimatorName(Estimator_t(e)).toLatin1();
            QTest::newRow(name + ", beacon beside the track") << passing << e << nearTrack.latitude
                                                              << nearTrack.longitude << 30.0;
        }
        // Parked at two places, thirty bearings in whole degrees at each, each place with its own
        // reflection: they show no spread, and must not be taken for a sigma of nothing.
        const Place_t source{52.0, 4.0};
        QVector<Bearing_t> parked;
        for (int k = 0; k < 60; ++k) {
            Bearing_t bearing = bearingFrom(source, k < 30 ? 200.0 : 290.0, k < 30 ? 3000.0 : 4000.0, k < 30 ? 3.0 : -2.0);
            bearing.azimuth = std::round(bearing.azimuth);
            bearing.timeMs = 60000 * k;
            parked.append(bearing);
        }
        QTest::newRow("parked at two places, Andrews") << parked << int(ESTIMATOR_ANDREWS) << source.latitude
                                                       << source.longitude << 1000.0;
        QTest::newRow("parked at two places, ML") << parked << int(ESTIMATOR_ML) << source.latitude
                                                  << source.longitude << 1000.0;
        // More than half the bearings of a circle reflections, some of them near the truth:
        // the median residual is a reflection's, and a scale from it lets Andrews listen
        // to them all.
        const QVector<double> mostReflected{2.0,   97.0, -3.0, -143.0, 61.0,  1.0,   25.0, -1.0,
                                            -38.0, 4.0,  170.0, -75.0,  -2.0, 128.0, -52.0, 0.0,
                                            33.0,  3.0,  -110.0, 152.0, -1.0, 80.0,  -165.0, 2.0};
        const Place_t inside{-12.003, 130.002};
        QTest::newRow("Andrews, most bearings reflections") << circleDrive(centre, inside, 24, mostReflected)
                                                            << int(ESTIMATOR_ANDREWS) << inside.latitude
                                                            << inside.longitude << 30.0;
    }

    void neverPreciseAndWrong()
    {
        QFETCH(QVector<Bearing_t>, bearings);
        QFETCH(int, estimator);
        QFETCH(double, sourceLatitude);
        QFETCH(double, sourceLongitude);
        QFETCH(double, maxErrorM);
        FixOptions_t options;
        options.estimator = Estimator_t(estimator);
        const Fix_t fix = locate(bearings, options);
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        const Place_t source{sourceLatitude, sourceLongitude};
        const double error = distanceM(source, fix.latitude, fix.longitude);
        QVERIFY2(error < maxErrorM, qPrintable(QString::number(error)));
        QVERIFY2(ellipseHolds(fix, source), qPrintable(QStringLiteral("%1 m off, ellipse %2 x %3 m")
                                                            .arg(error).arg(fix.semiMajorM).arg(fix.semiMinorM)));
    }

    // Round a circle with 30 % reflections, the estimate used to stick on a receiver's own
    // position with an ellipse millimetres wide; no fix may lie five times its ellipse off.
    void noFixPinnedOnAReceiver_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::newRow("ML") << int(ESTIMATOR_ML);
        QTest::newRow("Huber") << int(ESTIMATOR_HUBER);
        QTest::newRow("Andrews") << int(ESTIMATOR_ANDREWS);
    }

    void noFixPinnedOnAReceiver()
    {
        QFETCH(int, estimator);
        std::mt19937 random(11);
        std::normal_distribution<double> noise(0.0, 5.0);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        for (int s = 0; s < 400; ++s) {
            const Place_t centre{-50.0 + 100.0 * uniform(random), 360.0 * uniform(random) - 180.0};
            double latitude = 0.0, longitude = 0.0, back = 0.0;
            Geodesic::WGS84().Direct(centre.latitude, centre.longitude, 360.0 * uniform(random),
                                     1000.0 * std::sqrt(uniform(random)), latitude, longitude, back);
            const Place_t source{latitude, longitude};
            QVector<double> errors;
            for (int k = 0; k < 24; ++k) {
                errors.append(uniform(random) < 0.3 ? 360.0 * uniform(random) : noise(random));
            }
            FixOptions_t options;
            options.estimator = Estimator_t(estimator);
            const QVector<Bearing_t> bearings = circleDrive(centre, source, 24, errors);
            const Fix_t fix = locate(bearings, options);
            if (fix.ok()) {
                const double error = distanceM(source, fix.latitude, fix.longitude);
                for (const Bearing_t& bearing : bearings) {
                    const double fromReceiver = distanceM({bearing.latitude, bearing.longitude}, fix.latitude, fix.longitude);
                    QVERIFY2(fromReceiver > 1.0 || error < 20.0, qPrintable(QStringLiteral("search %1: on a receiver").arg(s)));
                }
                // ML and Huber listen to reflections, so only Andrews is held to its ellipse's shape.
                const bool andrews = estimator == ESTIMATOR_ANDREWS;
                QVERIFY2(error <= 5.0 * fix.semiMajorM && fix.semiMinorM > 1.0
                             && (!andrews || ellipseRadii(fix, source) <= 5.0),
                         qPrintable(QStringLiteral("search %1: %2 m off, ellipse %3 x %4 m")
                                        .arg(s).arg(error).arg(fix.semiMajorM).arg(fix.semiMinorM)));
            }
        }
    }

    // The robust ellipses with a sigma from the residuals hold the truth as often as they say,
    // on the clean searches of a drive past the beacon.
    void robustEllipsesHoldTheirShare_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::newRow("Huber") << int(ESTIMATOR_HUBER);
        QTest::newRow("Andrews") << int(ESTIMATOR_ANDREWS);
    }

    void robustEllipsesHoldTheirShare()
    {
        QFETCH(int, estimator);
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 5.0);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        const int searches = 1000;
        int held = 0;
        for (int s = 0; s < searches; ++s) {
            const Place_t source{-40.0 + 80.0 * uniform(random), 360.0 * uniform(random) - 180.0};
            const double side = 360.0 * uniform(random), range = 3000.0 + 5000.0 * uniform(random);
            QVector<Bearing_t> bearings;
            for (int k = 0; k < 20; ++k) {
                // A 4 km drive square to the line of sight, seen from the source.
                const double along = 4000.0 * (k / 19.0 - 0.5);
                bearings.append(bearingFrom(source, side + std::atan2(along, range) * 180.0 / M_PI,
                                            std::hypot(along, range), noise(random)));
                bearings.last().timeMs = 60000 * k;
            }
            FixOptions_t options;
            options.estimator = Estimator_t(estimator);
            const Fix_t fix = locate(bearings, options);
            held += fix.ok() && ellipseHolds(fix, source) ? 1 : 0;
        }
        QVERIFY2(held >= 0.93 * searches && held <= 0.97 * searches, qPrintable(QString::number(held)));
    }

    void summaryLine_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<double>("major");
        QTest::addColumn<double>("minor");
        QTest::addColumn<double>("range");
        QTest::addColumn<QString>("summary");
        QTest::newRow("north east, metres")
            << int(ESTIMATOR_ANDREWS) << 48.8512 << 2.3498 << 180.2 << 94.6 << 3200.0
            << "48.8512 N 2.3498 E ± 180 × 95 m (95 %), 3.2 km at 045° from the receiver, 14 bearings, 2 down-weighted "
               "(Andrews)";
        QTest::newRow("south west, km, under a km away, ML")
            << int(ESTIMATOR_ML) << -33.91234 << -70.5 << 12345.0 << 2100.0 << 999.0
            << "33.9123 S 70.5000 W ± 12.3 × 2.1 km (95 %), 999 m at 045° from the receiver, 14 bearings, 2 "
               "with large residuals (ML)";
    }

    void summaryLine()
    {
        QFETCH(int, estimator);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(double, major);
        QFETCH(double, minor);
        QFETCH(double, range);
        QFETCH(QString, summary);
        Fix_t fix;
        fix.refusal = REFUSAL_NONE;
        fix.estimator = Estimator_t(estimator);
        fix.latitude = latitude;
        fix.longitude = longitude;
        fix.semiMajorM = major;
        fix.semiMinorM = minor;
        fix.used = 14;
        fix.downWeighted = 2;
        const Bearing_t receiver = bearingFrom({latitude, longitude}, 225.0, range);
        QCOMPARE(fixSummary(fix, receiver.latitude, receiver.longitude), summary);
        fix.refusal = REFUSAL_BEHIND;
        fix.reason = QStringLiteral("The bearings cross behind the receiver");
        QCOMPARE(fixSummary(fix, receiver.latitude, receiver.longitude), fix.reason);
    }
};

QTEST_GUILESS_MAIN(TestBearingFix)
#include "tst_bearingfix.moc"
