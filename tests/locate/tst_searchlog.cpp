#include <GeographicLib/Geodesic.hpp>
#include <QtTest>
#include <cmath>

#include "locate/SearchLog.h"

using namespace Vantrel::Locate;
using GeographicLib::Geodesic;

class TestSearchLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void calibratedReceivers_data()
    {
        QTest::addColumn<QString>("calibrated");  // receivers with a stored offset, each cancelling its bias
        QTest::addColumn<double>("biasB");        // receiver A's bearings read 3° clockwise
        QTest::addColumn<double>("userOffset");
        QTest::addColumn<bool>("sigmaFixed");     // the calibrated sigma, not estimated
        QTest::newRow("only A: B takes the user's offset") << "A" << -2.0 << 2.0 << false;
        QTest::newRow("both: the user's offset is not added") << "AB" << 3.0 << 5.0 << true;
        QTest::newRow("one not heard: the user's offset") << "C" << 3.0 << -3.0 << false;
    }

    // Bearings from two receivers, alternating, of a beacon 6 km off a 6 km drive: a stored
    // calibration corrects its receiver's bearings and no others, and refixes only the platforms it heard.
    void calibratedReceivers()
    {
        QFETCH(QString, calibrated);
        QFETCH(double, biasB);
        QFETCH(double, userOffset);
        QFETCH(bool, sigmaFixed);
        const double truthLatitude = 47.2, truthLongitude = 8.4;
        const Geodesic& geodesic = Geodesic::WGS84();
        double startLatitude = 0.0, startLongitude = 0.0;
        geodesic.Direct(truthLatitude, truthLongitude, 200.0, 6000.0, startLatitude, startLongitude);
        SearchLog log;
        for (int k = 0; k < 30; ++k) {
            Sighting_t sighting;
            sighting.platformId = QStringLiteral("BEACON");
            sighting.timeMs = 1'700'000'000'000 + 10'000 * k;
            sighting.crcOk = sighting.dfrPositionValid = true;
            geodesic.Direct(startLatitude, startLongitude, 90.0, 200.0 * k, sighting.dfrLatitude,
                            sighting.dfrLongitude);
            double distance = 0.0, azimuth = 0.0, arrival = 0.0;
            geodesic.Inverse(sighting.dfrLatitude, sighting.dfrLongitude, truthLatitude, truthLongitude, distance,
                             azimuth, arrival);
            sighting.receiver = k % 2 ? QStringLiteral("B") : QStringLiteral("A");
            sighting.direction = quint32(std::lround(std::fmod(azimuth + (k % 2 ? biasB : 3.0) + 720.0, 360.0))) % 360;
            QVERIFY(log.add(sighting, QString(), true));
            // Another platform, heard by C alone.
            sighting.platformId = QStringLiteral("OTHER");
            sighting.receiver = QStringLiteral("C");
            QVERIFY(log.add(sighting, QString(), true));
        }
        FixOptions_t options;
        options.offsetDeg = userOffset;
        log.setOptions(options);
        QCOMPARE(log.updateFixes(), 2);

        ReceiverCalibrations calibrations;
        for (const QChar receiver : calibrated) {
            QVERIFY(calibrations.set(QString(receiver), {receiver == QLatin1Char('B') ? -biasB : -3.0, 1.5, 30, 0}));
        }
        log.setCalibrations(calibrations);
        QCOMPARE(log.updateFixes(), 1);
        const Fix_t& fix = log.platform(log.indexOf(QStringLiteral("BEACON"))).fix;
        QVERIFY2(fix.ok(), qPrintable(fix.reason));
        double error = 0.0;
        geodesic.Inverse(fix.latitude, fix.longitude, truthLatitude, truthLongitude, error);
        // Whole-degree bearings alone leave tens of metres; a 3° offset left in, hundreds.
        QVERIFY2(error < 40.0, qPrintable(QString::number(error)));
        QCOMPARE(!fix.sigmaEstimated && fix.sigmaDeg == 1.5, sigmaFixed);
    }
};

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
