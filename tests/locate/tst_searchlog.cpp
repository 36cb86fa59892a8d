#include <QtTest>

#include "locate/SearchLog.h"
#include "tests/common/SearchDrive.h"

using namespace Vantrel::Locate;

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

    // Bearings of receivers A and B in turn: a stored calibration corrects its receiver's bearings and
    // no others, and refixes only the platforms it heard (OTHER: by C alone).
    void calibratedReceivers()
    {
        QFETCH(QString, calibrated);
        QFETCH(double, biasB);
        SearchLog log;
        TestSupport::addDrive(&log, "BEACON", 47.2, 8.4, [](int k) { return k % 2 ? "B" : "A"; },
                              [biasB](int k) { return k % 2 ? biasB : 3.0; });
        TestSupport::addDrive(&log, "OTHER", 47.2, 8.4, [](int) { return "C"; }, [](int) { return 3.0; });
        FixOptions_t options;
        QFETCH(double, userOffset);
        options.offsetDeg = userOffset;
        log.setOptions(options);
        QCOMPARE(log.updateFixes(), 2);

        ReceiverCalibrations calibrations;
        for (const QChar receiver : calibrated)
            QVERIFY(calibrations.set(QString(receiver), {receiver == QLatin1Char('B') ? -biasB : -3.0, 1.5, 30, 0}));
        log.setCalibrations(calibrations);
        QCOMPARE(log.updateFixes(), 1);
        const Fix_t& fix = log.platform(log.indexOf("BEACON")).fix;
        // Whole-degree bearings alone leave tens of metres; a 3° offset left in, hundreds.
        const double error = TestSupport::fixError(log, "BEACON", 47.2, 8.4);
        QVERIFY2(error < 40.0, qPrintable(fix.reason + QString::number(error)));
        QTEST(!fix.sigmaEstimated && fix.sigmaDeg == 1.5, "sigmaFixed");
        QCOMPARE(log.sharedOffsetDeg(log.platform(log.indexOf("BEACON"))), calibrated == "AB" ? -3.0 : userOffset);
    }
};

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
