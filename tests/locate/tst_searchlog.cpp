#include <QtTest>

#include "locate/ClockOffsets.h"
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
        const QVector<double> offsets{calibrated.contains('A') ? -3.0 : userOffset,
                                      calibrated.contains('B') ? -biasB : userOffset};
        QCOMPARE(log.receiverOffsetsDeg(log.platform(log.indexOf("BEACON"))), offsets);
    }

    // A steady receiver and a poor one, each calibrated: each bearing weighs by its own receiver's sigma.
    void receiversWeighByTheirSigma()
    {
        SearchLog log;
        TestSupport::addDrive(&log, "BEACON", 47.2, 8.4, [](int k) { return k % 2 ? "B" : "A"; },
                              [](int k) { return k % 2 ? (k % 4 == 1 ? 9.0 : -6.0) + (k > 15 ? 5.0 : 0.0) : 0.0; });
        ReceiverCalibrations calibrations;
        QVERIFY(calibrations.set("A", {0.0, 0.5, 30, 0}));
        QVERIFY(calibrations.set("B", {0.0, 8.0, 30, 0}));
        log.setCalibrations(calibrations);
        log.updateFixes();
        const Fix_t& fix = log.platform(0).fix;
        const double error = TestSupport::fixError(log, "BEACON", 47.2, 8.4);
        // Weighed alike, B's errors pull the fix 400 m off inside an ellipse of 1.2 km.
        QVERIFY2(error < 60.0 && fix.semiMajorM < 250.0 && error < fix.semiMajorM,
                 qPrintable(QStringLiteral("%1 m off, ellipse %2 m").arg(error).arg(fix.semiMajorM)));
        QVERIFY(!fix.sigmaEstimated);
    }

    void clockOffsets_data()
    {
        QTest::addColumn<QVector<qint64>>("shiftsMs");  // B's copy of A's k-th message, this much later
        QTest::addColumn<double>("offsetS");            // NaN: none shown
        const QVector<qint64> ahead(10, 3000), behind(10, -5000);
        QTest::newRow("3 s ahead") << ahead << 3.0;
        QTest::newRow("5 s behind") << behind << -5.0;
        QTest::newRow("a second, as rounding leaves it") << QVector<qint64>(10, 1000) << qQNaN();
        QTest::newRow("five messages both heard") << QVector<qint64>(5, 2000) << 2.0;
        QTest::newRow("four") << QVector<qint64>(4, 2000) << qQNaN();
        QTest::newRow("too few agree") << QVector<qint64>{2000, 9000, 2000, 9000, 2000, 9000, 2000, 9000, 2000, 2000} << qQNaN();
    }

    // A hears a message every 30 s; B the first of them on a clock that is off.
    void clockOffsets()
    {
        QFETCH(QVector<qint64>, shiftsMs);
        QFETCH(double, offsetS);
        QVector<QVector<qint64>> times(2);
        for (int k = 0; k < 20; ++k)
            times[0].append(1'700'000'000'000 + 30'000 * k);
        for (int k = 0; k < shiftsMs.size(); ++k)
            times[1].append(times[0].at(k) + shiftsMs.at(k));
        const QVector<ClockOffset_t> offsets = Vantrel::Locate::clockOffsets(times);
        QCOMPARE(offsets.size(), std::isnan(offsetS) ? 0 : 1);
        if (!offsets.isEmpty()) {
            QCOMPARE(offsets.first().offsetS, offsetS);
            QCOMPARE(clockOffsetText(offsets.first(), {"0077-3141", "0077-3142"}),
                     QStringLiteral("0077-3142's clock is %1 s %2 0077-3141's (%3 messages both heard)")
                         .arg(std::fabs(offsetS), 0, 'f', 1)
                         .arg(offsetS > 0 ? "ahead of" : "behind")
                         .arg(shiftsMs.size()));
        }
    }

    // The leg is this laptop's: a newer bearing read back from another receiver does not move it.
    void receiverNow_data()
    {
        QTest::addColumn<QString>("heard");  // receiver, live or read back (l/r), in order; a minute apart
        QTest::addColumn<QString>("now");
        QTest::newRow("the latest") << "Ar Br" << "B";
        QTest::newRow("live before a newer one read back") << "Al Br" << "A";
        QTest::newRow("the latest live") << "Ar Al Bl Ar" << "B";
    }
    void receiverNow()
    {
        QFETCH(QString, heard);
        SearchLog log;
        int minute = 0;
        for (const QString& bearing : heard.split(' ')) {
            Sighting_t sighting;
            sighting.platformId = "BEACON";
            sighting.receiver = bearing.left(1);
            sighting.timeMs = 1'700'000'000'000 + 60'000 * ++minute;
            sighting.crcOk = sighting.dfrPositionValid = true;
            sighting.dfrLatitude = 47.0 + 0.01 * minute;
            QVERIFY(log.add(sighting, QString(), bearing.endsWith('l')));
        }
        const SearchLog::Platform_t& platform = log.platform(0);
        QTEST(platform.receivers.value(platform.receiverNow), "now");
        QCOMPARE(platform.receiverTimeMs, platform.bearings.at(platform.timeOrderOf(platform.receiverNow).last()).timeMs);
    }
};

QTEST_GUILESS_MAIN(TestSearchLog)
#include "tst_searchlog.moc"
