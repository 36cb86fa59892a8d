// The 95 % highest-likelihood region against the fix's ellipse: alike where lines cross well,
// a band that departs where they barely cross, cut off at the largest grid when it runs on.
#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>

#include "locate/LikelihoodRegion.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

namespace {

struct Scene_t
{
    QVector<Bearing_t> bearings;
    double truthLatitude = 0.0;
    double truthLongitude = 0.0;
};

// A drive north along a meridian, the beacon abeam of its middle to the east; the errors
// alternate so that the lines meet near, not on, the beacon.
Scene_t scene(int count, double trackM, double rangeM, double errorDeg)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    Scene_t s;
    double back = 0.0;
    geodesic.Direct(45.0, 5.0, 90.0, rangeM, s.truthLatitude, s.truthLongitude, back);
    for (int k = 0; k < count; ++k) {
        Bearing_t bearing;
        geodesic.Direct(45.0, 5.0, 0.0, trackM * (double(k) / (count - 1) - 0.5), bearing.latitude, bearing.longitude,
                        back);
        double distance = 0.0, azimuth = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, s.truthLatitude, s.truthLongitude, distance, azimuth,
                         back);
        // Three groups, the middle one spread rather than exact, as no real bearing is.
        bearing.azimuth = azimuth + (k % 3 - 1) * errorDeg + (k % 3 == 1 ? 0.5 * std::sin(2.4 * k) * errorDeg : 0.0);
        bearing.timeMs = 1000 * k;
        s.bearings.append(bearing);
    }
    return s;
}

// The farthest a region's outline reaches from a point, metres.
double reach(const LikelihoodRegion& region, double latitude, double longitude)
{
    double farthest = 0.0;
    for (const LikelihoodRegion::Polygon_t& polygon : region.polygons())
        for (const auto& point : polygon.first()) {
            double distance = 0.0;
            Geodesic::WGS84().Inverse(latitude, longitude, point.first, point.second, distance);
            farthest = std::max(farthest, distance);
        }
    return farthest;
}

} // namespace

class TestLikelihoodRegion : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void againstEllipse_data()
    {
        QTest::addColumn<int>("estimator");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("trackM");
        QTest::addColumn<double>("rangeM");
        QTest::addColumn<bool>("estimateSigma");
        QTest::addColumn<bool>("departs");
        QTest::addColumn<bool>("open");
        QTest::newRow("ML, well crossing, sigma estimated") << int(ESTIMATOR_ML) << 20 << 4000.0 << 3000.0 << true
                                                           << false << false;
        QTest::newRow("Huber, well crossing, sigma estimated")
            << int(ESTIMATOR_HUBER) << 20 << 4000.0 << 3000.0 << true << false << false;
        QTest::newRow("Andrews, well crossing, sigma estimated")
            << int(ESTIMATOR_ANDREWS) << 20 << 4000.0 << 3000.0 << true << false << false;
        QTest::newRow("ML, well crossing, the user's sigma") << int(ESTIMATOR_ML) << 20 << 4000.0 << 3000.0 << false
                                                            << false << false;
        QTest::newRow("ML, five barely crossing") << int(ESTIMATOR_ML) << 5 << 1000.0 << 3000.0 << true << true
                                                  << false;
        QTest::newRow("Andrews, five barely crossing")
            << int(ESTIMATOR_ANDREWS) << 5 << 1000.0 << 3000.0 << true << true << false;
        QTest::newRow("Andrews, three nearly parallel: runs on")
            << int(ESTIMATOR_ANDREWS) << 3 << 300.0 << 6000.0 << true << true << true;
    }

    void againstEllipse()
    {
        QFETCH(int, estimator);
        QFETCH(int, count);
        QFETCH(double, trackM);
        QFETCH(double, rangeM);
        QFETCH(bool, estimateSigma);
        QFETCH(bool, departs);
        QFETCH(bool, open);
        const Scene_t s = scene(count, trackM, rangeM, 2.0);
        FixOptions_t options;
        options.estimator = Estimator_t(estimator);
        options.estimateSigma = estimateSigma;
        const Fix_t fix = locate(s.bearings, options);
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        const LikelihoodRegion region(s.bearings, options, fix);
        QVERIFY(!region.isEmpty());
        QVERIFY(region.contains(fix.latitude, fix.longitude));
        QVERIFY(region.contains(s.truthLatitude, s.truthLongitude));
        QCOMPARE(region.open(), open);
        QCOMPARE(region.departs(), departs);
        const double ratio = region.areaM2() / region.ellipseAreaM2();
        if (!departs) {
            QVERIFY2(std::fabs(ratio - 1.0) <= LikelihoodRegion::departingAreaRatio && region.mismatch() <= LikelihoodRegion::departingMismatch,
                     qPrintable(QStringLiteral("area ratio %1, mismatch %2").arg(ratio).arg(region.mismatch())));
            QCOMPARE(region.polygons().size(), 1);
            QCOMPARE(region.polygons().first().size(), 1);
        } else {
            // A band: out along the lines well past the ellipse's grid of two semi-major axes.
            QVERIFY2(reach(region, fix.latitude, fix.longitude) > 2.5 * fix.semiMajorM,
                     qPrintable(QStringLiteral("%1 m, semi-major %2 m")
                                    .arg(reach(region, fix.latitude, fix.longitude))
                                    .arg(fix.semiMajorM)));
        }
        if (open) {
            // Cut off at the cap, ten times the way from the receivers to the fix.
            double toFix = 0.0;
            Geodesic::WGS84().Inverse(45.0, 5.0, fix.latitude, fix.longitude, toFix);
            const double cap = LikelihoodRegion::capDistances * std::max(toFix, fix.semiMajorM);
            QVERIFY2(std::fabs(reach(region, 45.0, 5.0) / cap - 1.0) < 0.02,
                     qPrintable(QStringLiteral("%1 m against %2 m").arg(reach(region, 45.0, 5.0)).arg(cap)));
        }
        // A point just past the region along the major axis is outside it.
        double latitude = 0.0, longitude = 0.0, back = 0.0;
        Geodesic::WGS84().Direct(s.truthLatitude, s.truthLongitude, 90.0, 2.0e6, latitude, longitude, back);
        QVERIFY(!region.contains(latitude, longitude));
    }

    void refusedFixHasNone()
    {
        const Scene_t s = scene(5, 600.0, 5000.0, 0.0);
        const FixOptions_t options;
        QVERIFY(LikelihoodRegion(s.bearings, options, Fix_t()).isEmpty());
    }
};

QTEST_MAIN(TestLikelihoodRegion)
#include "tst_likelihoodregion.moc"
