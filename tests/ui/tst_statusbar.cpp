// What the window tells and takes: warnings and a lost link in the status bar, the connection state, typed setup values.
#include <QtTest>

#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
#include <memory>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/MainWindow.h"
#include "utils/Settings.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
Q_DECLARE_METATYPE(DeviceState::Profile_t)

class TestStatusBar : public QObject
{
    Q_OBJECT
    Vantrel::Ui::MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    int listings = 0;

    QToolButton* message() const { return window->statusBar()->findChild<QToolButton*>("statusBarMessage"); }
    QString connection() const { return window->statusBar()->findChild<QLabel*>("statusBarConnection")->text(); }
    QString shownLevel() const { return message()->isVisible() ? message()->property("level").toString() : "none"; }

    bool connectReceiver(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        if (!sim->start())
            return false;
        // A listing whose terminal has gone stays spent while it is unchanged, and the next
        // simulator may get the same terminal: each one comes with a listing of its own.
        qputenv("VANTREL_SIMULATED_PORTS",
                QStringLiteral("%1:/dev/vantrel-listing-%2").arg(sim->deviceName()).arg(++listings).toLocal8Bit());
        QAction* action = DeviceTest::plugAndClick(ui, *sim);
        return action && action->isChecked();
    }
    // Frames of a setup command that write something, by the value at one position.
    QStringList written(const QString& mnemonic, int position) const
    {
        QStringList values;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim->receivedFrames())
            if (frame.mnemonic == mnemonic && !frame.params.join("").isEmpty())
                values.append(frame.params.value(position));
        return values;
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->printAtCmdDebugInfo = false;
        window = new Vantrel::Ui::MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
    }

    void cleanup()
    {
        for (QAction* action : ui->mainToolBar_->actions())
            if (action->isChecked())
                action->trigger();
        sim.reset();
        window->statusBar()->findChild<QToolButton*>("statusBarDismiss")->click();
        ui->tabWidget->setCurrentIndex(0);
    }

    void warningsAndErrorsShow_data()
    {
        QTest::addColumn<QList<int>>("logged"); // message i has the type logged[i]
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("shown");
        QTest::newRow("a warning") << QList<int>{QtWarningMsg} << "warning" << 0;
        QTest::newRow("an error") << QList<int>{QtCriticalMsg} << "critical" << 0;
        QTest::newRow("information leaves the warning") << QList<int>{QtWarningMsg, QtInfoMsg} << "warning" << 0;
        QTest::newRow("the newest wins") << QList<int>{QtCriticalMsg, QtWarningMsg} << "warning" << 1;
        QTest::newRow("debug and information never show") << QList<int>{QtDebugMsg, QtInfoMsg} << "none" << -1;
    }

    void warningsAndErrorsShow()
    {
        QFETCH(QList<int>, logged);
        QFETCH(QString, level);
        QFETCH(int, shown);
        for (int i = 0; i < logged.size(); ++i) {
            const QString text = QStringLiteral("Message %1\nsecond line").arg(i);
            if (logged[i] == QtWarningMsg || logged[i] == QtCriticalMsg)
                QTest::ignoreMessage(QtMsgType(logged[i]), qPrintable(text));
            qt_message_output(QtMsgType(logged[i]), QMessageLogContext(), text);
        }
        QCOMPARE(shownLevel(), level);
        if (shown < 0)
            return;
        // Its time and its first line; a click shows the log.
        QVERIFY2(message()->text().endsWith(QStringLiteral("UTC  Message %1").arg(shown)), qPrintable(message()->text()));
        message()->click();
        QCOMPARE(ui->tabWidget->currentWidget(), ui->tabTerminal);
    }

    void lostLinkIsExplained_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("generation");
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("text");
        QTest::newRow("first generation stops answering") << DeviceState::PROFILE_DFR_V1 << "DFR V1" << false
                                                          << "critical" << "Error on %1 (Uart link timeout). Please restart connection.";
        QTest::newRow("second generation unplugged") << DeviceState::PROFILE_DFR_V2_APP << "DFR V2" << true << "warning"
                                                     << "Disconnection of %1 (DFR disconnected).";
    }

    void lostLinkIsExplained()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, generation);
        QFETCH(bool, unplugged);
        QFETCH(QString, level);
        QFETCH(QString, text);
        QCOMPARE(connection(), QString("Not connected"));
        // Long enough to see a late reply wait, and for the port scan to notice an unplugged receiver first.
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->keepAliveTimeoutMs = 3000;
        const auto restore = qScopeGuard([settings] { settings->keepAliveTimeoutMs = 500; });
        QVERIFY(connectReceiver(profile));
        const QString port = DeviceTest::portOf(sim->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link ready"), 5000);
        QCOMPARE(connection().split(QString::fromUtf8("  ·  ")), (QStringList{port, generation, "SN/0042-1207", "link ready"}));

        const QString shown = text.arg(port);
        if (unplugged) {
            sim->unplug();
        } else {
            sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
            QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(shown));
            QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link waiting"), 5000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(message()->isVisible() && message()->text().endsWith(shown), 10000);
        QCOMPARE(shownLevel(), level);
        QCOMPARE(connection(), QString("Not connected"));
        // Disconnected, yet the log is one click away, its command line disabled.
        QVERIFY(!ui->tabWidget->isTabEnabled(0));
        message()->click();
        QCOMPARE(ui->tabWidget->currentWidget(), ui->tabTerminal);
        QVERIFY(ui->tabWidget->isTabEnabled(ui->tabWidget->currentIndex()));
        QVERIFY(DeviceTest::logHas(ui, unplugged ? "INFO" : "CRITICAL", shown));
        QVERIFY(!ui->lineEditTerminalCommand->isEnabled());
    }

    void typedSetupValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("position"); // in the hardware setup, or the software setup for the angle
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("sent");
        const QString declination = "lineEditHardwareDeclination";
        QTest::newRow("declination, letters") << declination << 5 << "abc" << QStringList{};
        QTest::newRow("declination, negative decimal") << declination << 5 << "-2.5" << QStringList{"-2.5"};
        QTest::newRow("declination, beyond 180 degrees") << declination << 5 << "200x" << QStringList{"20"};
        QTest::newRow("declination, a comma splits no frame") << declination << 5 << "3,5" << QStringList{"35"};
        QTest::newRow("declination, sign alone") << declination << 5 << "-" << QStringList{};
        QTest::newRow("declination, unchanged") << declination << 5 << "1.5" << QStringList{};
        QTest::newRow("cable length, letters") << "spinBoxHardwareCableLength" << 2 << "4a2" << QStringList{"42"};
        QTest::newRow("angle offset") << "spinBoxSetupSoftwareDirectionOffset" << 6 << "90" << QStringList{"90"};
    }

    void typedSetupValues()
    {
        QFETCH(QString, field);
        QFETCH(int, position);
        QFETCH(QString, typed);
        QFETCH(QStringList, sent);
        QVERIFY(connectReceiver(DeviceState::PROFILE_DFR_V2_APP)); // declination 1.5, cable 5, angle 0
        sim->clearReceivedFrames();
        auto* widget = window->findChild<QWidget*>(field);
        // Another window may hold the focus on a busy machine: take it back first.
        window->activateWindow();
        QApplication::setActiveWindow(window);
        widget->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(widget->hasFocus(), 10000);
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, typed);
        // Return finishes the edit, then leaving the field finishes it once more.
        QTest::keyClick(widget, Qt::Key_Return);
        ui->comboBoxHardwareDirectionMode->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(!widget->hasFocus(), 2000);
        QCOMPARE(written(position == 6 ? "SETUPSW" : "SETUPHW", position), sent);
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestStatusBar test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_statusbar.moc"
