// The status bar: warnings and errors reach it, a lost link is explained with the log one click away, and the connection state shows.
#include <QtTest>

#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
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

Q_DECLARE_METATYPE(DeviceState::Profile_t)

class TestStatusBar : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    int listings = 0;

    QToolButton* message() const { return window->statusBar()->findChild<QToolButton*>("statusBarMessage"); }
    QToolButton* dismiss() const { return window->statusBar()->findChild<QToolButton*>("statusBarDismiss"); }
    QString connection() const { return window->statusBar()->findChild<QLabel*>("statusBarConnection")->text(); }
    QString shownLevel() const { return message()->isVisible() ? message()->property("level").toString() : "none"; }

    // A connected simulated receiver, clicked on the tool bar as the user would.
    QAction* connectReceiver(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        if (!sim->start())
            return nullptr;
        // A listing whose terminal has gone stays spent while it is unchanged, and the next
        // simulator may get the same terminal: each one comes with a listing of its own.
        qputenv("VANTREL_SIMULATED_PORTS",
                QStringLiteral("%1:/dev/vantrel-listing-%2").arg(sim->deviceName()).arg(++listings).toLocal8Bit());
        QAction* action = DeviceTest::plugAndClick(ui, *sim);
        return action && action->isChecked() ? action : nullptr;
    }

    static void log(const QString& level, const QString& text)
    {
        if (level == "debug")
            qDebug().noquote() << text;
        else if (level == "info")
            qInfo().noquote() << text;
        else if (level == "warning") {
            QTest::ignoreMessage(QtWarningMsg, qPrintable(text));
            qWarning().noquote() << text;
        } else {
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(text));
            qCritical().noquote() << text;
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->keepAliveTimeoutMs = 500;
        settings->keepAlivePeriodMs = 1000;
        settings->printAtCmdDebugInfo = false;
        window = new MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
    }

    void cleanup()
    {
        for (QAction* action : ui->mainToolBar_->actions())
            if (action->isChecked())
                action->trigger();
        sim.reset();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(ui->mainToolBar_->actions().cbegin(),
                                              ui->mainToolBar_->actions().cend(),
                                              [](QAction* a) { return a->toolTip().startsWith("Connect to DFR"); }),
                                 5000);
        if (dismiss()->isVisible())
            dismiss()->click();
        ui->tabWidget->setCurrentIndex(0);
    }

    void warningsAndErrorsShow_data()
    {
        QTest::addColumn<QStringList>("levels");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("text");

        QTest::newRow("a warning") << QStringList{"warning"} << QStringList{"Port ttyS4 is rejected."} << "warning"
                                   << "Port ttyS4 is rejected.";
        QTest::newRow("an error") << QStringList{"critical"} << QStringList{"sendBlockingRequest recursively called"}
                                  << "critical" << "sendBlockingRequest recursively called";
        QTest::newRow("information leaves the warning")
            << QStringList{"warning", "info"} << QStringList{"Port ttyS4 is rejected.", "Ready!"} << "warning"
            << "Port ttyS4 is rejected.";
        QTest::newRow("the newest one wins") << QStringList{"critical", "warning"}
                                             << QStringList{"Link lost.", "Port ttyS4 is rejected."} << "warning"
                                             << "Port ttyS4 is rejected.";
        QTest::newRow("debug and information never show")
            << QStringList{"debug", "info"} << QStringList{"Send $TEST*16", "Ready!"} << "none" << "";
        QTest::newRow("only the first line of a long text")
            << QStringList{"warning"} << QStringList{"Unable to write.\nDetails follow."} << "warning"
            << "Unable to write.";
    }

    void warningsAndErrorsShow()
    {
        QFETCH(QStringList, levels);
        QFETCH(QStringList, texts);
        QFETCH(QString, level);
        QFETCH(QString, text);

        for (int i = 0; i < levels.size(); ++i)
            log(levels.at(i), texts.at(i));
        QCOMPARE(shownLevel(), level);
        if (level == "none")
            return;
        QVERIFY2(message()->text().endsWith("UTC  " + text), qPrintable(message()->text()));
        QVERIFY(!message()->text().contains("Details"));

        // Clicking the message shows the log; dismissing it clears the bar.
        message()->click();
        QCOMPARE(ui->tabWidget->currentWidget(), ui->tabTerminal);
        dismiss()->click();
        QCOMPARE(shownLevel(), QString("none"));
    }

    void lostLinkIsExplained_data()
    {
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("text");
        QTest::newRow("receiver stops answering")
            << false << "critical" << "Error on %1 (Uart link timeout). Please restart connection.";
        QTest::newRow("receiver unplugged") << true << "warning" << "Disconnection of %1 (DFR disconnected).";
    }

    void lostLinkIsExplained()
    {
        QFETCH(bool, unplugged);
        QFETCH(QString, level);
        QFETCH(QString, text);

        // An unplugged receiver is noticed by the port scan, not by a keep-alive timeout.
        auto* settings = Vantrel::Utils::Settings::instance();
        const auto restore = qScopeGuard([settings, was = settings->keepAliveTimeoutMs] {
            settings->keepAliveTimeoutMs = was;
        });
        settings->keepAliveTimeoutMs = unplugged ? 5000 : 500;
        QAction* action = connectReceiver(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(action);
        const QString port = DeviceTest::portOf(sim->deviceName());
        const QString shown = text.arg(port);

        if (unplugged) {
            sim->unplug();
        } else {
            sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
            QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(shown));
        }
        QTRY_VERIFY_WITH_TIMEOUT(message()->isVisible() && message()->text().endsWith(shown), 10000);
        QCOMPARE(shownLevel(), level);
        QCOMPARE(connection(), QString("Not connected"));

        // The form is back in its disconnected state, yet the log can be reached.
        QVERIFY(!ui->tabWidget->isTabEnabled(0));
        QVERIFY(ui->tabWidget->isTabEnabled(ui->tabWidget->indexOf(ui->tabTerminal)));
        message()->click();
        QCOMPARE(ui->tabWidget->currentWidget(), ui->tabTerminal);
        QVERIFY(DeviceTest::logHas(ui, level == "critical" ? "CRITICAL" : "INFO", shown));
        QVERIFY(!ui->lineEditTerminalCommand->isEnabled());
        QVERIFY(!ui->pushButtonTerminalSend->isEnabled());
    }

    void connectionState_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("generation");
        QTest::newRow("first generation") << DeviceState::PROFILE_DFR_V1 << "DFR V1";
        QTest::newRow("second generation") << DeviceState::PROFILE_DFR_V2_APP << "DFR V2";
    }

    void connectionState()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, generation);

        QCOMPARE(connection(), QString("Not connected"));
        QAction* action = connectReceiver(profile);
        QVERIFY(action);
        const QString port = DeviceTest::portOf(sim->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link ready"), 5000);
        const QStringList parts = connection().split(QString::fromUtf8("  ·  "));
        QCOMPARE(parts, (QStringList{port, generation, "SN/0042-1207", "link ready"}));

        // A reply that is late shows as waiting, then the link is dropped.
        auto* settings = Vantrel::Utils::Settings::instance();
        const auto restore = qScopeGuard([settings, was = settings->keepAliveTimeoutMs] {
            settings->keepAliveTimeoutMs = was;
        });
        settings->keepAliveTimeoutMs = 3000;
        sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
        QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
        QTest::ignoreMessage(QtCriticalMsg,
                             qPrintable(QStringLiteral("Error on %1 (Uart link timeout). Please restart connection.")
                                            .arg(port)));
        QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link waiting"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(connection(), QString("Not connected"), 10000);
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
