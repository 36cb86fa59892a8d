// Favourite platform slots: reading them from the receiver into the table and the GPS format catalogue.
#include <QtTest>

#include "app/AppIdentity.h"
#include "com/DfrLink.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"
#include "tests/common/DeviceTestSupport.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Utils::GpsFormat;

Q_DECLARE_METATYPE(DeviceState::Profile_t)

class TestPlatformLoad : public QObject
{
    Q_OBJECT

    std::unique_ptr<DfrSimulator> sim;

    DfrSimulator* startSimulator(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        Vantrel::Sim::DemoContent::apply(sim->state());
        return sim->start() ? sim.get() : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->printAtCmdDebugInfo = false;
    }

    void cleanup() { sim.reset(); }

    void readSlot_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<int>("band");
        QTest::addColumn<int>("frequencyMode");
        QTest::addColumn<quint32>("meanDirectionValues");
        QTest::newRow("first generation") << DeviceState::PROFILE_DFR_V1 << 0 << int(DfrLink::FREQUENCYMODE_INVALID)
                                          << quint32(5);
        QTest::newRow("second generation") << DeviceState::PROFILE_DFR_V2_APP << 0
                                           << int(DfrLink::FREQUENCYMODE_WIDE) << quint32(0);
    }

    void readSlot()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(int, band);
        QFETCH(int, frequencyMode);
        QFETCH(quint32, meanDirectionValues);
        QVERIFY(startSimulator(profile));
        DfrLink link;
        link.setUartLink(sim->deviceName().mid(5));
        link.getDfrVersionsAndStatus();

        // A script being recorded still reads from the receiver.
        link.startNoSendCommandMode();
        const DfrLink::PlatformInfo_t info = link.getPlatformInfo(0);
        QVERIFY(link.isNoSendCommandMode());
        link.stopNoSendCommandMode();

        QVERIFY(info.occupied);
        QVERIFY(info.gpsModeEnabled);
        QCOMPARE(info.gpsFormat.lon.len, 21);
        QCOMPARE(info.gpsFormat.lat.t, 6);
        QCOMPARE(info.repetitionPeriod, 60);
        QCOMPARE(int(info.band), band);
        QCOMPARE(int(info.frequencyMode), frequencyMode);
        QCOMPARE(info.meanDirectionValues, meanDirectionValues);
        QCOMPARE(info.gpsFormat.dataLen, 1);

        const DfrLink::PlatformInfo_t empty = link.getPlatformInfo(9);
        QCOMPARE(empty.index, 9);
        QVERIFY(!empty.occupied);
    }

    void unsetDataLengthReadsZero()
    {
        QVERIFY(startSimulator(DeviceState::PROFILE_DFR_V2_APP));
        const int dataLen = sim->state().ipEncryption() + 5;
        sim->state().platforms[1][dataLen] = "256";
        DfrLink link;
        link.setUartLink(sim->deviceName().mid(5));
        link.getDfrVersionsAndStatus();
        QCOMPARE(link.getPlatformInfo(1).gpsFormat.dataLen, 0);
    }

    void windowLoadsTheSlots()
    {
        QVERIFY(startSimulator(DeviceState::PROFILE_DFR_V2_APP));
        DeviceTest::offerPorts({sim.get()});
        auto* window = new Vantrel::Ui::MainWindow();
        auto* ui = window->form();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QAction* action = DeviceTest::plugAndClick(ui, *sim);
        QVERIFY(action);

        QTableWidget* table = ui->tableWidgetPlatforms;
        QCOMPARE(table->rowCount(), 4);
        const QStringList expectedRow0 = {"00", "1A2B3", "A2", "Buoy Seine", "SM20"};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(table->item(0, column)->text(), expectedRow0.at(column));
        QCOMPARE(table->item(2, 2)->text(), QStringLiteral("A4"));
        QCOMPARE(table->item(1, 4)->text(), QString());

        const auto formats = GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_PLATFORM);
        QCOMPARE(formats.size(), 2);
        QCOMPARE(formats.first().first, 0);
        QCOMPARE(formats.first().second.description, QStringLiteral("from platform Buoy Seine (Id: 1A2B3)"));
        double latitude = 0;
        double longitude = 0;
        QVERIFY(GpsFormat::instance()->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, QByteArray(8, '\0'), latitude,
                                                     longitude));

        // Showing empty slots reads every slot again.
        sim->clearReceivedFrames();
        ui->checkBoxHideEmptySlots->setChecked(false);
        QCOMPARE(table->rowCount(), 64);
        QCOMPARE(sim->receivedCount("IP"), 64);
        QCOMPARE(table->item(63, 0)->text(), QStringLiteral("63"));
        QCOMPARE(table->item(63, 1)->text(), QString());

        // Disconnecting leaves only the reference file's formats.
        action->trigger();
        QVERIFY(GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_PLATFORM).isEmpty());
        QCOMPARE(table->rowCount(), 0);
        qunsetenv("VANTREL_SIMULATED_PORTS");
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestPlatformLoad test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platformload.moc"
