// The calibration panel: from a platform whose position is known, it moves the receiver's other fixes.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "tests/common/SearchDrive.h"
#include "tests/common/TestSupport.h"
#include "ui/locate/LocateCalibrationPanel.h"
#include "utils/Settings.h"

using namespace Vantrel;
using TestSupport::addDrive;
using TestSupport::fixError;

class TestLocateCalibration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void calibrateApplyForget_data()
    {
        QTest::addColumn<bool>("payload");  // the source reports its position; else the user enters it
        QTest::addColumn<QString>("receiver");
        QTest::newRow("position in the payload") << true << QStringLiteral("0077-3141");
        QTest::newRow("reference position entered") << false << QStringLiteral("0077-3141");
        QTest::newRow("receiver unknown: nothing to keep") << true << QString();
    }
    void calibrateApplyForget()
    {
        QFETCH(bool, payload);
        QFETCH(QString, receiver);
        QVERIFY(TestSupport::writeSettings(60000, 500, 1000));
        Locate::SearchLog log;
        const auto byReceiver = [&receiver](int) { return receiver; };
        addDrive(&log, "SOURCE", 47.2, 8.4, byReceiver, [](int) { return 3.0; }, payload);
        addDrive(&log, "OTHER", 47.3, 8.6, byReceiver, [](int) { return 3.0; });
        log.updateFixes();
        const double before = fixError(log, "OTHER", 47.3, 8.6);

        Ui::LocateCalibrationPanel panel(&log);
        QSignalSpy changed(&panel, &Ui::LocateCalibrationPanel::calibrationsChanged);
        panel.setPlatform(QStringLiteral("SOURCE"));
        panel.show();
        if (!payload) {
            panel.findChild<QDoubleSpinBox*>("spinBoxCalibrationLatitude")->setValue(47.2);
            panel.findChild<QDoubleSpinBox*>("spinBoxCalibrationLongitude")->setValue(8.4);
        }
        const QString text = panel.findChild<QLabel*>("labelCalibrationResult")->text();
        QVERIFY2(panel.calibration().ok && std::fabs(panel.calibration().offsetDeg + 3.0) < 0.5, qPrintable(text));
        QVERIFY2(text.startsWith("Offset -") && text.contains(", 30 bearings, receiver "), qPrintable(text));

        auto* apply = panel.findChild<QPushButton*>("pushButtonCalibrationApply");
        auto* forget = panel.findChild<QPushButton*>("pushButtonCalibrationForget");
        QCOMPARE(apply->isEnabled(), !receiver.isEmpty());
        QVERIFY(!forget->isEnabled());
        if (receiver.isEmpty())
            return;
        QTest::mouseClick(apply, Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QVERIFY(Utils::Settings::instance()->loadReceiverCalibrations().contains(receiver));
        QCOMPARE(log.updateFixes(), 2);
        const double after = fixError(log, "OTHER", 47.3, 8.6);
        // 3° at 6 km is some 300 m; what is left is the rounding to whole degrees.
        QVERIFY2(before > 250.0 && after < 50.0, qPrintable(QStringLiteral("%1 → %2 m").arg(before).arg(after)));

        QVERIFY(forget->isEnabled());
        QTest::mouseClick(forget, Qt::LeftButton);
        QCOMPARE(changed.count(), 2);
        QVERIFY(!Utils::Settings::instance()->loadReceiverCalibrations().contains(receiver));
        log.updateFixes();
        QCOMPARE(fixError(log, "OTHER", 47.3, 8.6), before);
    }
};

QTEST_MAIN(TestLocateCalibration)
#include "tst_locatecalibration.moc"
