// Typing into the numeric setup fields: what cannot be a valid value never reaches the receiver, and one finished edit writes once.
#include <QtTest>

#include <memory>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::MainWindow;

class TestSetupEdits : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;

    // The value at one position of every write of a setup command the receiver got.
    QStringList written(const QString& mnemonic, int position) const
    {
        QStringList values;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim->receivedFrames()) {
            const bool write = std::any_of(frame.params.cbegin(), frame.params.cend(),
                                           [](const QString& p) { return !p.isEmpty(); });
            if (frame.mnemonic == mnemonic && write)
                values.append(frame.params.value(position));
        }
        return values;
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->printAtCmdDebugInfo = false;
        window = new MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);

        sim = std::make_unique<DfrSimulator>(DeviceState::PROFILE_DFR_V2_APP);
        sim->setBeaconPeriod(0);
        QVERIFY(sim->start());
        DeviceTest::offerPorts({sim.get()});
        QAction* action = DeviceTest::plugAndClick(ui, *sim);
        QVERIFY(action && action->isChecked());
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    void cleanupTestCase()
    {
        delete window; // before the simulator, so that the link closes first
        window = nullptr;
        sim.reset();
    }

    void typedValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("mnemonic");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("sent");

        const QString declination = "lineEditHardwareDeclination";
        QTest::newRow("declination, letters") << declination << "SETUPHW" << 5 << "abc" << QStringList{};
        QTest::newRow("declination, negative decimal") << declination << "SETUPHW" << 5 << "-2.5" << QStringList{"-2.5"};
        QTest::newRow("declination, trailing letters dropped") << declination << "SETUPHW" << 5 << "12x"
                                                               << QStringList{"12"};
        QTest::newRow("declination, beyond 180 degrees") << declination << "SETUPHW" << 5 << "200" << QStringList{"20"};
        QTest::newRow("declination, comma is no decimal point") << declination << "SETUPHW" << 5 << "3,5"
                                                                << QStringList{"35"};
        QTest::newRow("declination, sign alone") << declination << "SETUPHW" << 5 << "-" << QStringList{};
        QTest::newRow("declination, unchanged") << declination << "SETUPHW" << 5 << "1.5" << QStringList{};
        QTest::newRow("cable length") << "spinBoxHardwareCableLength" << "SETUPHW" << 2 << "42" << QStringList{"42"};
        QTest::newRow("cable length, letters") << "spinBoxHardwareCableLength" << "SETUPHW" << 2 << "ab"
                                               << QStringList{};
        QTest::newRow("angle offset") << "spinBoxSetupSoftwareDirectionOffset" << "SETUPSW" << 6 << "90"
                                      << QStringList{"90"};
    }

    void typedValues()
    {
        QFETCH(QString, field);
        QFETCH(QString, mnemonic);
        QFETCH(int, position);
        QFETCH(QString, typed);
        QFETCH(QStringList, sent);

        // Every row starts from the receiver's own setup.
        sim->state().setupHardware[2] = "5";
        sim->state().setupHardware[5] = "1.5";
        sim->state().setupSoftware[6] = "0";
        ui->pushButtonTerminalReloadGui->click();
        sim->clearReceivedFrames();

        auto* widget = window->findChild<QWidget*>(field);
        QVERIFY(widget);
        widget->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(widget->hasFocus(), 2000);
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, typed);
        // Return finishes the edit, then leaving the field finishes it once more.
        QTest::keyClick(widget, Qt::Key_Return);
        ui->comboBoxHardwareDirectionMode->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(!widget->hasFocus(), 2000);

        QCOMPARE(written(mnemonic, position), sent);
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestSetupEdits test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_setupedits.moc"
