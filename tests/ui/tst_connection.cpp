// Connecting receivers from the tool bar: status panel, generation and mode widgets, setup round trips, failures.
#include <QtTest>

#include <memory>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "tests/common/DeviceTestSupport.h"
#include "utils/Settings.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::MainWindow;

Q_DECLARE_METATYPE(DeviceState::Profile_t)

namespace {

QString portOf(const DfrSimulator& sim)
{
    return DeviceTest::portOf(sim.deviceName());
}

bool sameIcon(const QIcon& icon, const QString& path)
{
    return icon.pixmap(16).toImage() == QIcon(path).pixmap(16).toImage();
}

// Frames of one mnemonic that carry at least one non-empty value: writes, not reads.
QList<QStringList> writes(const DfrSimulator& sim, const QString& mnemonic)
{
    QList<QStringList> found;
    for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames()) {
        if (frame.mnemonic == mnemonic &&
            std::any_of(frame.params.cbegin(), frame.params.cend(), [](const QString& p) { return !p.isEmpty(); }))
            found.append(frame.params);
    }
    return found;
}

} // namespace

class TstConnection : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::vector<std::unique_ptr<DfrSimulator>> simulators;

    bool logHas(const QString& type, const QString& message) const { return DeviceTest::logHas(ui, type, message); }
    QAction* actionFor(const QString& port) const { return DeviceTest::portAction(ui, port); }

    // Starts a simulated receiver and waits until the tool bar offers it.
    DfrSimulator* plugIn(DeviceState::Profile_t profile)
    {
        simulators.push_back(std::make_unique<DfrSimulator>(profile));
        DfrSimulator* sim = simulators.back().get();
        sim->setBeaconPeriod(0);
        if (!sim->start())
            return nullptr;
        QList<const DfrSimulator*> open;
        for (const auto& s : simulators)
            open.append(s.get());
        DeviceTest::offerPorts(open);
        return sim;
    }

    bool tabEnabled(QWidget* page) const { return ui->tabWidget->isTabEnabled(ui->tabWidget->indexOf(page)); }

    // Clicks the receiver's tool bar button, as the user would.
    void click(QAction* action) { action->trigger(); }

    // Sets a keep-alive value through the Settings tab, as the user would.
    void setKeepAlive(QSpinBox* box, int value)
    {
        box->setValue(value);
        Q_EMIT box->editingFinished();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestSupport::writeSettings(2000, 500, 1000));
        window = new MainWindow();
        // A hung request must cost seconds, not the default minute.
        QCOMPARE(Vantrel::Utils::Settings::instance()->dfrCommandTimeoutMs, 2000);
        QCOMPARE(window->form()->spinBoxDfrCommandTimeout->value(), 2000);
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(logHas("INFO", "Ready!"), 5000);
    }

    void cleanup()
    {
        for (QAction* action : ui->mainToolBar_->actions())
            if (action->isChecked())
                click(action);
        simulators.clear();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(ui->mainToolBar_->actions().cbegin(),
                                              ui->mainToolBar_->actions().cend(),
                                              [](QAction* a) { return a->toolTip().startsWith("Connect to DFR"); }),
                                 DeviceTest::scanWaitMs);
    }

    void estimateSOC_data()
    {
        QTest::addColumn<double>("voltage");
        QTest::addColumn<double>("charge");
        QTest::newRow("above full") << 4.3 << 100.0;
        QTest::newRow("table point") << 3.9 << 80.0;
        QTest::newRow("between 3.9 and 3.7") << 3.8 << 65.0;
        QTest::newRow("between 3.7 and 3.5") << 3.6 << 35.0;
        QTest::newRow("below empty") << 3.0 << 0.0;
    }

    void estimateSOC()
    {
        QFETCH(double, voltage);
        QFETCH(double, charge);
        // The panel truncates, so the value must not fall a hair short.
        QCOMPARE(int(Vantrel::Ui::estimateSOC(voltage)), int(charge));
    }

    void connectProfile_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("switchText");

        QTest::newRow("first generation") << DeviceState::PROFILE_DFR_V1 << "GONIO V1" << "DFR_UNDEFINEDMODE"
                                          << "Switch to firmware update mode...";
        QTest::newRow("second generation") << DeviceState::PROFILE_DFR_V2_APP << "GONIO V2" << "DFR_APP"
                                           << "Switch to firmware update mode...";
        QTest::newRow("bootloader") << DeviceState::PROFILE_DFR_V2_BL << "GONIO V2" << "DFR_BL"
                                    << "Switch back to standard mode...";
    }

    void connectProfile()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, version);
        QFETCH(QString, mode);
        QFETCH(QString, switchText);
        // Second-generation widgets show for both modes; the bootloader reads no setup.
        const bool directionShown = profile != DeviceState::PROFILE_DFR_V1;
        const bool bootloader = profile == DeviceState::PROFILE_DFR_V2_BL;

        DfrSimulator* sim = plugIn(profile);
        QVERIFY(sim);
        const QString port = portOf(*sim);
        QAction* action = DeviceTest::plugAndClick(ui, *sim);
        QVERIFY(action);

        QVERIFY(action->isChecked());
        const QString serial = bootloader ? "SN/UNKNOWN-UNKNOWN" : "SN/0042-1207";
        QCOMPARE(action->text(), QStringLiteral("%1 - %2 - %3").arg(port, version, serial));
        QCOMPARE(ui->lineEditVersionsDfrVersion->text(), version);
        QCOMPARE(ui->lineEditVersionsMode->text(), mode);
        QCOMPARE(ui->lineEditStatusSerial->text(), serial);
        QVERIFY(ui->lineEditVersionsStatus->text().startsWith("Connected at "));
        for (int tab = 0; tab < ui->tabWidget->count(); ++tab)
            QVERIFY(ui->tabWidget->isTabEnabled(tab));
        QCOMPARE(!ui->pushButtonSwitchMode->isHidden(), directionShown);
        QCOMPARE(ui->pushButtonSwitchMode->text(), switchText);
        QCOMPARE(!ui->pushButtonFirmwareUpdate->isHidden(), bootloader);
        QCOMPARE(sim->receivedCount("SETUPSW") > 0, !bootloader);
        if (!bootloader) {
            QCOMPARE(!ui->lineEditStatusDirection->isHidden(), directionShown);
            QCOMPARE(!ui->labelStatusOrvanBand->isHidden(), directionShown);
            QCOMPARE(!ui->spinBoxPlatformsMeanDirectionValue->isHidden(), !directionShown);
            QCOMPARE(!ui->checkBoxHardwareProximityMode->isHidden(), directionShown);
            QCOMPARE(!ui->comboBoxSetupSoftwareOrvanBand->isHidden(), directionShown);
            QVERIFY(logHas("INFO", "DFR configuration loaded!"));
        }
        // Filling the widgets from the receiver writes nothing back.
        QVERIFY(writes(*sim, "SETUPSW").isEmpty());
        QVERIFY(writes(*sim, "SETUPHW").isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(sameIcon(action->icon(), ":/Icons/dfrReady") ||
                                     sameIcon(action->icon(), ":/Icons/dfrWaiting"),
                                 3000);

        click(action);
        QVERIFY(!action->isChecked());
        QCOMPARE(action->text(), port);
        QVERIFY(sameIcon(action->icon(), ":/Icons/DFR"));
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (Disconnect by user).").arg(port)));
        QCOMPARE(ui->lineEditVersionsStatus->text(), QStringLiteral("Not connected"));
        QVERIFY(!tabEnabled(ui->tabConfiguration));
        QVERIFY(tabEnabled(ui->tabSettings));
    }

    void statusFormats_data()
    {
        QTest::addColumn<bool>("gpsValid");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<double>("voltage");
        QTest::addColumn<int>("band");
        QTest::addColumn<QString>("latitude");
        QTest::addColumn<QString>("temperatureText");
        QTest::addColumn<QString>("voltageText");
        QTest::addColumn<int>("charge");
        QTest::addColumn<QString>("bandText");

        QTest::newRow("valid fix, 25 degrees") << true << 25 << 3.8 << 3 << "48.8" << QString::fromUtf8("25°C (77.0°F)")
                                              << "3.8V" << 65 << "MSS    : 399.900 MHz to 399.980 MHz";
        QTest::newRow("no fix, freezing") << false << 0 << 4.25 << 9 << "INVALID" << QString::fromUtf8("0°C (32.0°F)")
                                         << "4.25V" << 100 << "EESS2-3: 401.440 MHz to 401.520 MHz";
    }

    void statusFormats()
    {
        QFETCH(bool, gpsValid);
        QFETCH(int, temperature);
        QFETCH(double, voltage);
        QFETCH(int, band);
        QFETCH(QString, latitude);
        QFETCH(QString, temperatureText);
        QFETCH(QString, voltageText);
        QFETCH(int, charge);
        QFETCH(QString, bandText);

        DfrSimulator* sim = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(sim);
        sim->state().status.gpsValid = gpsValid;
        sim->state().status.temperature = temperature;
        sim->state().status.voltage = voltage;
        sim->state().status.band = band;
        QVERIFY(DeviceTest::plugAndClick(ui, *sim));

        QCOMPARE(ui->lineEditStatusLatitude->text(), latitude);
        QCOMPARE(ui->lineEditStatusTemperature->text(), temperatureText);
        QCOMPARE(ui->lineEditStatusVoltage->text(), voltageText);
        QCOMPARE(ui->progressBarCharge->value(), charge);
        QCOMPARE(ui->lineEditStatusOrvanBand->text(), bandText);
        QCOMPARE(ui->lineEditStatusDirection->text(), QStringLiteral("135"));

        // An invalid band leaves the field as it was.
        sim->state().status.band = 10;
        ui->pushButtonStatusRefresh->click();
        QCOMPARE(ui->lineEditStatusOrvanBand->text(), bandText);
    }

    void switchingReceivers()
    {
        // An unplugged receiver must be noticed by the port scan, not by a keep-alive
        // timeout: none is sent during this case.
        setKeepAlive(ui->spinBoxKeepAlivePeriod, ui->spinBoxKeepAlivePeriod->maximum());
        const auto restore = qScopeGuard([this] { setKeepAlive(ui->spinBoxKeepAlivePeriod, 1000); });
        using DeviceTest::scanWaitMs;
        DfrSimulator* first = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        DfrSimulator* second = plugIn(DeviceState::PROFILE_DFR_V1);
        QVERIFY(first && second);
        const QString a = portOf(*first);
        const QString b = portOf(*second);
        QTRY_VERIFY_WITH_TIMEOUT(actionFor(a) && actionFor(b), scanWaitMs);

        click(actionFor(a));
        QVERIFY(actionFor(a)->isChecked());
        click(actionFor(b));
        QVERIFY(!actionFor(a)->isChecked());
        QCOMPARE(actionFor(a)->text(), a);
        QVERIFY(sameIcon(actionFor(a)->icon(), ":/Icons/DFR"));
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (Disconnection of currently connected DFR).").arg(a)));
        QVERIFY(actionFor(b)->isChecked());
        QCOMPARE(ui->lineEditVersionsDfrVersion->text(), QStringLiteral("GONIO V1"));

        // Unplugging the other receiver only removes its button.
        first->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!actionFor(a), scanWaitMs);
        QVERIFY(actionFor(b)->isChecked());
        QVERIFY(!logHas("INFO", QStringLiteral("Disconnection of %1 (DFR disconnected).").arg(a)));

        // Unplugging the connected one disconnects it first.
        second->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!actionFor(b), scanWaitMs);
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (DFR disconnected).").arg(b)));
        QCOMPARE(ui->lineEditVersionsStatus->text(), QStringLiteral("Not connected"));
    }

    void setupRoundTrips()
    {
        DfrSimulator* sim = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(sim);
        sim->state().setupHardware[5] = "-1.50";
        QVERIFY(DeviceTest::plugAndClick(ui, *sim));
        QCOMPARE(ui->lineEditHardwareDeclination->text(), QStringLiteral("-1.50"));

        // The clock: minutes only, every other position empty.
        ui->widgetSoftwareSetupDateTime->setEnabled(true);
        sim->clearReceivedFrames();
        ui->widgetSoftwareSetupDateTime->setDateTime(
            Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), Qt::UTC)));
        QMetaObject::invokeMethod(ui->widgetSoftwareSetupDateTime, "sigDateTimeChanged");
        QCOMPARE(writes(*sim, "SETUPSW"),
                 (QList<QStringList>{{"", "", "", "", "", "", "", "24", "3", "5", "14", "7", "", ""}}));

        // Contrast alone: positions 0 to 6 from the widgets, the clock left alone.
        sim->clearReceivedFrames();
        ui->horizontalSliderSetupSoftwareConstrast->setValue(ui->horizontalSliderSetupSoftwareConstrast->value() == 17
                                                                 ? 18 : 17);
        const QList<QStringList> contrast = writes(*sim, "SETUPSW");
        QCOMPARE(contrast.size(), 1);
        QCOMPARE(contrast.first().mid(7, 5), (QStringList{"", "", "", "", ""}));
        QCOMPARE(contrast.first().at(2), QString::number(ui->horizontalSliderSetupSoftwareConstrast->value()));

        // Declination goes back exactly as read.
        sim->clearReceivedFrames();
        ui->spinBoxHardwareCableLength->setValue(12);
        Q_EMIT ui->spinBoxHardwareCableLength->editingFinished();
        const QList<QStringList> hardware = writes(*sim, "SETUPHW");
        QCOMPARE(hardware.size(), 1);
        QCOMPARE(hardware.first().at(2), QStringLiteral("12"));
        QCOMPARE(hardware.first().at(5), QStringLiteral("-1.50"));
    }

    void linkStopsAnswering()
    {
        DfrSimulator* sim = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(sim);
        const QString port = portOf(*sim);
        QVERIFY(DeviceTest::plugAndClick(ui, *sim) && actionFor(port)->isChecked());

        sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
        QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
        QTRY_VERIFY_WITH_TIMEOUT(
            logHas("CRITICAL", QStringLiteral("Error on %1 (Uart link timeout). Please restart connection.").arg(port)),
            10000);
        QVERIFY(!actionFor(port)->isChecked());
        QCOMPARE(ui->lineEditVersionsStatus->text(), QStringLiteral("Not connected"));
        QVERIFY(!tabEnabled(ui->tabConfiguration));
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TstConnection test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_connection.moc"
