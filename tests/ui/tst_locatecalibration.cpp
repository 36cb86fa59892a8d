// The calibration panel: it calibrates a receiver from a platform whose position is known,
// and its calibration moves the fixes of the receiver's other platforms.
#include <GeographicLib/Geodesic.hpp>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <random>

#include "tests/common/TestSupport.h"
#include "ui/locate/LocateCalibrationPanel.h"
#include "utils/Settings.h"

using namespace Vantrel;
using GeographicLib::Geodesic;

namespace {

const QString serial = QStringLiteral("0077-3141");

// A drive of 6 km eastwards, 6 km off the platform, a bearing each 200 m reading 3° clockwise
// of the truth with 0.5° of noise.
void drive(Locate::SearchLog* log, const QString& id, const QString& receiver, double latitude, double longitude,
           bool payload)
{
    const Geodesic& geodesic = Geodesic::WGS84();
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.5);
    double startLatitude = 0.0, startLongitude = 0.0;
    geodesic.Direct(latitude, longitude, 200.0, 6000.0, startLatitude, startLongitude);
    for (int k = 0; k < 30; ++k) {
        Locate::Sighting_t sighting;
        sighting.platformId = id;
        sighting.receiver = receiver;
        sighting.timeMs = 1'700'000'000'000 + 10'000 * k;
        sighting.crcOk = sighting.dfrPositionValid = true;
        geodesic.Direct(startLatitude, startLongitude, 90.0, 200.0 * k, sighting.dfrLatitude, sighting.dfrLongitude);
        double distance = 0.0, azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(sighting.dfrLatitude, sighting.dfrLongitude, latitude, longitude, distance, azimuth, arrival);
        sighting.direction = quint32(std::lround(std::fmod(azimuth + 3.0 + noise(random) + 720.0, 360.0))) % 360;
        log->add(sighting, QString(), true, payload, latitude, longitude);
    }
}

double errorOf(const Locate::SearchLog& log, const QString& id, double latitude, double longitude)
{
    const Locate::Fix_t& fix = log.platform(log.indexOf(id)).fix;
    double metres = qInf();
    if (fix.ok()) {
        Geodesic::WGS84().Inverse(fix.latitude, fix.longitude, latitude, longitude, metres);
    }
    return metres;
}

} // namespace

class TestLocateCalibration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void calibrateApplyForget_data()
    {
        QTest::addColumn<bool>("payload");  // the source reports its position; else the user enters it
        QTest::addColumn<QString>("receiver");
        QTest::newRow("position in the payload") << true << serial;
        QTest::newRow("reference position entered") << false << serial;
        QTest::newRow("receiver unknown: nothing to keep") << true << QString();
    }
    void calibrateApplyForget()
    {
        QFETCH(bool, payload);
        QFETCH(QString, receiver);
        QVERIFY(TestSupport::writeSettings(60000, 500, 1000));
        Locate::SearchLog log;
        drive(&log, QStringLiteral("SOURCE"), receiver, 47.2, 8.4, payload);
        drive(&log, QStringLiteral("OTHER"), receiver, 47.3, 8.6, false);
        log.updateFixes();
        const double before = errorOf(log, QStringLiteral("OTHER"), 47.3, 8.6);

        Ui::LocateCalibrationPanel panel(&log);
        QSignalSpy changed(&panel, &Ui::LocateCalibrationPanel::calibrationsChanged);
        panel.setPlatform(QStringLiteral("SOURCE"));
        panel.show();
        if (!payload) {
            panel.findChild<QDoubleSpinBox*>("spinBoxCalibrationLatitude")->setValue(47.2);
            panel.findChild<QDoubleSpinBox*>("spinBoxCalibrationLongitude")->setValue(8.4);
        }
        const QString text = panel.findChild<QLabel*>("labelCalibrationResult")->text();
        QVERIFY2(panel.calibration().ok, qPrintable(text));
        QVERIFY2(std::fabs(panel.calibration().offsetDeg + 3.0) < 0.5, qPrintable(text));
        QVERIFY2(text.startsWith("Offset -") && text.contains(", 30 bearings, receiver "), qPrintable(text));

        auto* apply = panel.findChild<QPushButton*>("pushButtonCalibrationApply");
        auto* forget = panel.findChild<QPushButton*>("pushButtonCalibrationForget");
        QCOMPARE(apply->isEnabled(), !receiver.isEmpty());
        QVERIFY(!forget->isEnabled());
        if (receiver.isEmpty()) {
            return;
        }
        QTest::mouseClick(apply, Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QVERIFY(Utils::Settings::instance()->loadReceiverCalibrations().contains(serial));
        QCOMPARE(log.updateFixes(), 2);
        const double after = errorOf(log, QStringLiteral("OTHER"), 47.3, 8.6);
        // 3° at 6 km is some 300 m; what is left is the noise.
        QVERIFY2(before > 250.0 && after < 50.0, qPrintable(QStringLiteral("%1 → %2 m").arg(before).arg(after)));

        QVERIFY(forget->isEnabled());
        QTest::mouseClick(forget, Qt::LeftButton);
        QCOMPARE(changed.count(), 2);
        QVERIFY(!Utils::Settings::instance()->loadReceiverCalibrations().contains(serial));
        log.updateFixes();
        QCOMPARE(errorOf(log, QStringLiteral("OTHER"), 47.3, 8.6), before);
    }
};

QTEST_MAIN(TestLocateCalibration)
#include "tst_locatecalibration.moc"
