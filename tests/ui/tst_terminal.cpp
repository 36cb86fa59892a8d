// Terminal tab: typed commands on the wire, command line habits, script recording and replay, the tab's marker.
#include <QtTest>
#include <QtWidgets>

#include <memory>

#include "com/DfrLink.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::Dialogs;
using Vantrel::Ui::MainWindow;

Q_DECLARE_METATYPE(DeviceState::Profile_t)

namespace {

QByteArray line(const QByteArray& covered)  // a frame as the wire carries it, without CR LF
{
    return DeviceTest::frame(covered).chopped(2);
}

} // namespace

class TestTerminal : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QTemporaryDir dir;
    QString scriptPath;
    QList<Dialogs::Request_t> asked;
    int answer = 0;  // 0 Yes, 1 No

    bool connected() const { return ui->lineEditVersionsStatus->text() != QLatin1String("Not connected"); }

    void connectTo(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        if (connected())
            window->slotDfrDisconnected(DeviceTest::portOf(sim->deviceName()), "next receiver");
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        if (prepare)
            prepare(sim->state());
        QVERIFY(sim->start());
        DeviceTest::offerPorts({sim.get()});
        QVERIFY(DeviceTest::plugAndClick(ui, *sim));
        QTRY_VERIFY_WITH_TIMEOUT(logHas("INFO", "DFR configuration loaded!"), 5000);
        sim->clearReceivedFrames();
        asked.clear();
    }

    bool logHas(const QString& type, const QString& message) const { return DeviceTest::logHas(ui, type, message); }
    QString thrown(void (MainWindow::*slot)())
    {
        return TestSupport::thrownBy([this, slot] { (window->*slot)(); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        scriptPath = dir.filePath("config.dfr");
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind != Dialogs::Request_t::QUESTION)
                return scriptPath;
            asked.append(request);
            return answer;
        });
        window = new MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(logHas("INFO", "Ready!"), 5000);
        // After the window has loaded the settings file, which would override them.
        settings->dfrCommandTimeoutMs = 2000;
        settings->keepAlivePeriodMs = 600000;
        settings->printAtCmdDebugInfo = false;
    }

    void init() { answer = 0; }

    // The link on its own against a hand-driven line: every byte that leaves is seen.
    void typedCommand_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("warnings");
        const QByteArray right = line("SETUPHW,,,,,,*");
        const QString digits = QString::fromLatin1(right.right(2));
        const QString wrong = digits == "00" ? "01" : "00";

        QTest::newRow("TEST through the engine") << "TEST" << line("TEST*") << QStringList();
        QTest::newRow("spaces trimmed for a known command") << "  $GSN  " << line("GSN*") << QStringList();
        QTest::newRow("wrong checksum sent as typed")
            << "$SETUPHW,,,,,,*" + wrong << ("$SETUPHW,,,,,,*" + wrong).toLatin1()
            << QStringList{"Wrong checksum provided (should be " + digits + ")"};
        QTest::newRow("unknown mnemonic raw") << "XYZ,1" << QByteArray("XYZ,1") << QStringList();
        QTest::newRow("lower-case mnemonic raw") << "test" << QByteArray("test") << QStringList();
        QTest::newRow("empty line: only the line end")
            << "" << QByteArray() << QStringList{"Empty command", "Command with an empty payload."};
        QTest::newRow("lone star") << "$GSN*" << QByteArray("$GSN*") << QStringList{"Command with an empty payload."};
        QTest::newRow("raw line keeps its spaces") << " XYZ ,1 " << QByteArray(" XYZ ,1 ") << QStringList();
    }

    void typedCommand()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, warnings);
        DeviceTest::PtyPeer peer;
        peer.answers.insert(line("TEST*"), DeviceTest::frame("TEST,DFR,V1*"));
        peer.answers.insert(line("GSN*"), DeviceTest::frame("VSN,0042-1207*"));
        DfrLink link;
        link.setUartLink(DeviceTest::portOf(peer.name));
        link.checkConnectionReady();
        peer.clear();

        QTest::failOnWarning(QRegularExpression(".*"));
        for (const QString& warning : warnings)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        link.sendManualDfrCmd(typed);
        QTRY_COMPARE_WITH_TIMEOUT(peer.lines(), QList<QByteArray>{wire}, 3000);
    }

    void commandLine_data()
    {
        QTest::addColumn<bool>("returnKey");
        QTest::newRow("Return key") << true;
        QTest::newRow("Send button") << false;
    }

    void commandLine()
    {
        QFETCH(bool, returnKey);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        ui->tabWidget->setCurrentIndex(4);
        ui->lineEditTerminalCommand->setText("$GSN");
        if (returnKey)
            QTest::keyClick(ui->lineEditTerminalCommand, Qt::Key_Return);
        else
            QTest::mouseClick(ui->pushButtonTerminalSend, Qt::LeftButton);
        QCOMPARE(sim->receivedMnemonics(), QStringList{"GSN"});
        QCOMPARE(ui->lineEditTerminalCommand->text(), QStringLiteral("$GSN"));
    }

    void history_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Up: the last command") << QList<int>{Qt::Key_Up} << "$GSN";
        QTest::newRow("Up twice: the one before") << QList<int>{Qt::Key_Up, Qt::Key_Up} << "TEST";
        QTest::newRow("Up past the oldest stays") << QList<int>{Qt::Key_Up, Qt::Key_Up, Qt::Key_Up} << "TEST";
        QTest::newRow("Up and Down") << QList<int>{Qt::Key_Up, Qt::Key_Up, Qt::Key_Down} << "$GSN";
        QTest::newRow("Down back to the draft") << QList<int>{Qt::Key_Up, Qt::Key_Down} << "draft";
        QTest::newRow("Down alone keeps the draft") << QList<int>{Qt::Key_Down} << "draft";
    }

    void history()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, shown);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        QLineEdit* command = ui->lineEditTerminalCommand;
        // The same command twice in a row is kept once.
        for (const char* text : {"TEST", "$GSN", "$GSN"}) {
            command->setText(text);
            QTest::keyClick(command, Qt::Key_Return);
        }
        command->setText("draft");
        for (int key : keys)
            QTest::keyClick(command, Qt::Key(key));
        QCOMPARE(command->text(), shown);
    }

    void completion_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("completion");
        QTest::newRow("with dollar") << "$SETUPH" << "$SETUPHW";
        QTest::newRow("lower case") << "wrd" << "WRDA";
        QTest::newRow("the link's own keep-alive is not offered") << "KEEP" << "";
    }

    void completion()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, completion);
        connectTo(DeviceState::PROFILE_DFR_V1);
        QCompleter* completer = ui->lineEditTerminalCommand->completer();
        QVERIFY(completer);
        completer->setCompletionPrefix(prefix);
        QCOMPARE(completer->completionCount() > 0 ? completer->currentCompletion() : QString(), completion);
    }

    void executeScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("error");
        QTest::newRow("spaces and comments") << "  $GSN  \n# comment $TEST\nGSN\n\n\t$TEST\n" << 0
                                             << QStringList{"$GSN", "$TEST"} << QStringList{"GSN", "TEST"} << "";
        QTest::newRow("failing command ends the script") << "$GSN\n$IP,999\n$TEST\n" << 0
                                                         << QStringList{"$GSN", "$IP,999", "$TEST"}
                                                         << QStringList{"GSN", "IP"} << "Error in reply: ";
        QTest::newRow("declined") << "$GSN\n$TEST\n" << 1 << QStringList{"$GSN", "$TEST"} << QStringList() << "";
        QTest::newRow("no command: nothing asked") << "GSN\n# $TEST\n" << 0 << QStringList() << QStringList() << "";
    }

    void executeScript()
    {
        QFETCH(QString, script);
        QFETCH(int, answer);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, sent);
        QFETCH(QString, error);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(TestSupport::writeFile(scriptPath, script));
        this->answer = answer;
        if (listed.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("holds no command"));

        const QString thrown = this->thrown(&MainWindow::slotTerminalScript);
        QVERIFY2(error.isEmpty() ? thrown == "<nothing thrown>" : thrown.startsWith(error), qPrintable(thrown));
        QCOMPARE(sim->receivedMnemonics(), sent);
        QCOMPARE(asked.size(), listed.isEmpty() ? 0 : 1);
        if (!listed.isEmpty()) {
            QVERIFY(asked.first().text.contains(QStringLiteral(" %1 command(s)").arg(listed.size())));
            QVERIFY(asked.first().text.contains(listed.join('\n')));
        }
    }

    void saveScript_data()
    {
        QTest::addColumn<bool>("slotReadFails");
        QTest::newRow("first generation, no GPS formats") << false;
        QTest::newRow("a refused slot read keeps the old file") << true;
    }

    void saveScript()
    {
        QFETCH(bool, slotReadFails);
        connectTo(DeviceState::PROFILE_DFR_V1);
        QVERIFY(TestSupport::writeFile(scriptPath, "previous\n"));
        if (slotReadFails)
            sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "IP");

        const QString thrown = this->thrown(&MainWindow::slotTerminalSaveScript);
        const QStringList lines = TestSupport::readFile(scriptPath).split('\n', Qt::SkipEmptyParts);
        if (slotReadFails) {
            QVERIFY2(thrown.startsWith("Error in reply: "), qPrintable(thrown));
            QCOMPARE(lines, QStringList{"previous"});
        } else {
            QCOMPARE(thrown, QStringLiteral("<nothing thrown>"));
            QCOMPARE(lines.size(), 2);
            QVERIFY(lines.at(0).startsWith("$SETUPSW,"));
            QVERIFY(lines.at(1).startsWith("$SETUPHW,"));
            for (const QString& frame : lines)
                QCOMPARE(frame.toLatin1(), line(frame.mid(1, frame.indexOf('*')).toLatin1()));
        }
        // Recording is over either way: a setup edit reaches the receiver again.
        sim->clearReceivedFrames();
        window->slotSetSetupHardware();
        QCOMPARE(sim->receivedCount("SETUPHW"), 2);
    }

    void marker_data()
    {
        QTest::addColumn<QtMsgType>("type");
        QTest::addColumn<bool>("marked");
        QTest::newRow("warning") << QtWarningMsg << true;
        QTest::newRow("critical") << QtCriticalMsg << true;
        QTest::newRow("info") << QtInfoMsg << false;
        QTest::newRow("debug") << QtDebugMsg << false;
    }

    void marker()
    {
        QFETCH(QtMsgType, type);
        QFETCH(bool, marked);
        connectTo(DeviceState::PROFILE_DFR_V1);
        ui->tabWidget->setCurrentIndex(4);
        ui->tabWidget->setCurrentIndex(0);
        QCOMPARE(ui->tabWidget->tabText(4), QStringLiteral("Terminal"));

        const QByteArray text = "something to look at";
        if (type == QtWarningMsg || type == QtCriticalMsg)
            QTest::ignoreMessage(type, text.constData());
        switch (type) {
        case QtWarningMsg: qWarning("%s", text.constData()); break;
        case QtCriticalMsg: qCritical("%s", text.constData()); break;
        case QtInfoMsg: qInfo("%s", text.constData()); break;
        default: qDebug("%s", text.constData()); break;
        }
        QCOMPARE(ui->tabWidget->tabText(4), marked ? QStringLiteral("Terminal *") : QStringLiteral("Terminal"));
        ui->tabWidget->setCurrentIndex(4);
        QCOMPARE(ui->tabWidget->tabText(4), QStringLiteral("Terminal"));
    }

    // Needs the slot operations of the favourites work: fails until they are merged.
    void replayRestoresSlots_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::newRow("second generation, backup from the mode switch") << DeviceState::PROFILE_DFR_V2_APP;
        QTest::newRow("first generation, no GPS format lines") << DeviceState::PROFILE_DFR_V1;
    }

    void replayRestoresSlots()
    {
        QFETCH(DeviceState::Profile_t, profile);
        const bool v2 = profile == DeviceState::PROFILE_DFR_V2_APP;
        const auto configure = [v2](DeviceState& state) {
            state.setupHardware[2] = "17";
            DeviceState::Platform_t first;
            first.id = "5A1B2C3";
            first.label = "North mast";
            state.setPlatform(0, first);
            DeviceState::Platform_t second;
            second.id = "AB123";
            second.label = "Drifter";
            second.repetitionPeriod = 90;
            state.setPlatform(5, second);
            if (v2)
                state.setGpsFormat(2, QStringList{"TRACK"} + QStringList(21, "1") + QStringList{"0", "0", "0", "0", "0", "8"});
        };
        connectTo(profile, configure);
        DeviceState original = sim->state();
        QCOMPARE(thrown(&MainWindow::slotTerminalSaveScript), QStringLiteral("<nothing thrown>"));
        const QString script = TestSupport::readFile(scriptPath);
        QCOMPARE(script.contains("$SFG,"), v2);

        if (v2) {
            const QDir backups(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../Backups"));
            QCOMPARE(thrown(&MainWindow::slotSwitchMode), QStringLiteral("<nothing thrown>"));
            const QStringList files = backups.entryList({"config_0042-1207_*.dfr"}, QDir::Files);
            QCOMPARE(files.size(), 1);
            QCOMPARE(TestSupport::readFile(backups.filePath(files.first())), script);
        }

        connectTo(profile);
        QCOMPARE(thrown(&MainWindow::slotTerminalScript), QStringLiteral("<nothing thrown>"));
        const DeviceState& replayed = sim->state();
        QCOMPARE(replayed.setupHardware, original.setupHardware);
        QCOMPARE(replayed.setupSoftware.mid(0, 7), original.setupSoftware.mid(0, 7));
        QCOMPARE(replayed.platforms, original.platforms);
        QCOMPARE(replayed.gpsFormats, original.gpsFormats);
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TestTerminal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_terminal.moc"
