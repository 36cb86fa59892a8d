// Device widget wiring across connections: each slot runs once per signal, tables keep their own signals, unplugged buttons go.
#include <QtTest>

#include "app/AppIdentity.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"

using Vantrel::Sim::DfrSimulator;

namespace {

// SETUPSW frames that carry a value: writes, not the reads of the empty form.
int setupWrites(const DfrSimulator& sim)
{
    int writes = 0;
    for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
        if (frame.mnemonic == QLatin1String("SETUPSW") &&
            std::any_of(frame.params.cbegin(), frame.params.cend(), [](const QString& p) { return !p.isEmpty(); }))
            ++writes;
    return writes;
}

} // namespace

class TstDeviceWiring : public QObject
{
    Q_OBJECT

    Vantrel::Ui::MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;

    // Takes the receiver away and waits for the port scan to drop its button,
    // bounded by the scan period with a wide margin.
    void unplug(DfrSimulator& sim)
    {
        const QString port = DeviceTest::portOf(sim.deviceName());
        sim.stop();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        QTRY_VERIFY_WITH_TIMEOUT(!DeviceTest::portAction(ui, port), 20 * Vantrel::Com::ComManager::scanPeriodMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The window loads the settings file, so the test's values go there first.
        QVERIFY(TestSupport::writeFile(TestSupport::settingsPath(),
                                       "[General]\nprintUartDebugInfo=0\nprintAtCmdDebugInfo=0\n"
                                       "dfrCommandTimeoutMs=2000\nkeepAliveTimeoutMs=2000\nkeepAlivePeriodMs=60000\n"
                                       "keepChecksumErrorOnNprDfr500=0\nnprMessagesFormat=2\n"));
        window = new Vantrel::Ui::MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(TestSupport::logHas(ui, "INFO", "Ready!"), 5000);
    }

    void cleanupTestCase() { delete window; }

    void slotsRunOncePerSignal_data()
    {
        QTest::addColumn<int>("connections");
        QTest::newRow("first connection") << 1;
        QTest::newRow("after one reconnection") << 2;
        QTest::newRow("after two reconnections") << 3;
    }

    void slotsRunOncePerSignal()
    {
        QFETCH(int, connections);
        DfrSimulator sim;
        sim.setBeaconPeriod(0);
        QVERIFY(sim.start());
        DeviceTest::offerPorts({&sim});
        QAction* action = DeviceTest::plugAndClick(ui, sim);
        QVERIFY(action);
        for (int again = 1; again < connections; ++again) {
            action->trigger();  // off
            QVERIFY(!ui->pushButtonStatusRefresh->isEnabled());
            action->trigger();  // on
        }
        QVERIFY(action->isChecked());

        QTableWidget* table = ui->tableWidgetPlatforms;
        ui->tabWidget->setCurrentWidget(ui->tabPlatorms);
        if (table->rowCount() == 0)
            table->setRowCount(1);
        if (!table->item(0, 0))
            table->setItem(0, 0, new QTableWidgetItem(QStringLiteral("cell")));
        QSignalSpy cellClicks(table, &QTableWidget::cellClicked);
        QSignalSpy itemClicks(table, &QTableWidget::itemClicked);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(0, 0)).center());
        QCOMPARE(cellClicks.count(), 1);
        QCOMPARE(itemClicks.count(), 1);

        ui->tabWidget->setCurrentWidget(ui->tabConfiguration);
        sim.clearReceivedFrames();
        ui->pushButtonStatusRefresh->click();
        QCOMPARE(sim.receivedCount("LIG"), 1);

        sim.clearReceivedFrames();
        ui->checkBoxSetupSoftwareAudio->click();
        QCOMPARE(setupWrites(sim), 1);

        action->trigger();
        unplug(sim);
    }

    void unpluggedActionIsDestroyed()
    {
        DfrSimulator sim;
        sim.setBeaconPeriod(0);
        QVERIFY(sim.start());
        DeviceTest::offerPorts({&sim});
        const QString port = DeviceTest::portOf(sim.deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::portAction(ui, port), 5000);
        const QPointer<QAction> action = DeviceTest::portAction(ui, port);
        unplug(sim);
        QTRY_VERIFY_WITH_TIMEOUT(action.isNull(), 5000);
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    TstDeviceWiring test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_devicewiring.moc"
