// The Locate tab in the window, fed by a simulated search with a known truth.
#include <GeographicLib/Geodesic.hpp>

#include "locate/LocalFrame.h"
#include "sim/DemoContent.h"
#include "sim/SearchScenario.h"
#include "tests/common/WindowDeviceFixture.h"
#include "ui/locate/LocateTab.h"

using namespace Vantrel;

class TestLocateWindow : public WindowDeviceFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startWindow(); }
    void cleanupTestCase()
    {
        Dialogs::setResponder({});
        delete window;
    }

    // A drive of 4 km past the platform, bearings with 5° of noise and one in ten a
    // reflection: the fix lands inside its ellipse around the truth, and the page says so.
    void searchConverges()
    {
        connectTo(DeviceState::PROFILE_DFR_V2_APP, Sim::DemoContent::apply);
        Sim::SearchScenario::Config_t search;  // the default drive: eastwards, passing south of the platform
        search.speed = 1000.0;
        search.beaconPeriodMs = 100;
        search.reflections = 0.1;
        search.seed = 11;
        search.flashBeacons = 0;
        sim->setSearchScenario(search);

        auto* tab = window->findChild<Ui::LocateTab*>();
        QVERIFY(tab);
        QCOMPARE(ui->tabWidget->indexOf(tab), ui->tabWidget->count() - 2);  // then Archive
        const Locate::SearchLog& log = tab->searchLog();
        // Only the searched platform beacons.
        QTRY_VERIFY_WITH_TIMEOUT(log.platformCount() == 1 && log.platform(0).bearings.size() >= 40, 20000);
        sim->unplug();  // the drive is over: no more bearings
        QTRY_VERIFY_WITH_TIMEOUT(!connected(), 5000);
        const QString id = log.platform(0).id;
        ui->tabWidget->setCurrentWidget(tab);
        QVERIFY(ui->tabWidget->isTabEnabled(ui->tabWidget->currentIndex()));
        auto* platforms = tab->findChild<QTableView*>("tableViewLocatePlatforms");
        platforms->selectRow(log.indexOf(id));
        QTRY_COMPARE_WITH_TIMEOUT(tab->chosenPlatform(), id, 5000);

        const Locate::SearchLog::Platform_t& platform = log.platform(log.indexOf(id));
        QVERIFY(platform.receivers.size() == 1 && !platform.receiverOf(0).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(platform.fix.ok() && platform.fix.used == platform.bearings.size(), 5000);
        const Locate::Fix_t& fix = platform.fix;
        const Locate::LocalFrame frame(fix.latitude, fix.longitude);
        double east = 0.0, north = 0.0;
        frame.forward(search.latitude, search.longitude, &east, &north);
        const double azimuth = qDegreesToRadians(fix.majorAzimuthDeg);
        const double along = (east * std::sin(azimuth) + north * std::cos(azimuth)) / fix.semiMajorM;
        const double across = (east * std::cos(azimuth) - north * std::sin(azimuth)) / fix.semiMinorM;
        QVERIFY2(along * along + across * across <= 1.0,
                 qPrintable(QStringLiteral("truth at %1 of the ellipse, %2 x %3 m")
                                .arg(std::sqrt(along * along + across * across))
                                .arg(fix.semiMajorM)
                                .arg(fix.semiMinorM)));
        QVERIFY(fix.downWeighted >= 1);
        const QString summary = tab->findChild<QLabel*>("labelLocateSummary")->text();
        QCOMPARE(summary, QStringLiteral("%1: %2").arg(platform.label,
                                                       Locate::fixSummary(fix, platform.receiverLatitude,
                                                                          platform.receiverLongitude)));
        QVERIFY2(summary.endsWith(QStringLiteral("(Andrews)")), qPrintable(summary));
        for (QPushButton* button : tab->findChildren<QPushButton*>())
            if (button->text() == QString::fromUtf8("GPX…"))
                QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY2(offered.startsWith("search_" + id + '_') && QFile::exists(chosenFile + ".gpx"), qPrintable(offered));
    }
};

VANTREL_WINDOW_TEST_MAIN(TestLocateWindow)
#include "tst_locatewindow.moc"
