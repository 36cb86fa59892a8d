// Terminal tab: typed commands on the wire, command line habits, script recording and replay.
#include "tests/common/WindowDeviceFixture.h"
#include "ui/SessionMessages.h"

class TestTerminal : public WindowDeviceFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startWindow(); }
    void init() { reply = 0; }

    // First: the history lasts for the whole run.
    void history_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Up past the oldest") << QList<int>{Qt::Key_Up, Qt::Key_Up, Qt::Key_Up} << "TEST";
        QTest::newRow("Up and Down") << QList<int>{Qt::Key_Up, Qt::Key_Up, Qt::Key_Down} << "$GSN";
        QTest::newRow("Down back to the draft") << QList<int>{Qt::Key_Up, Qt::Key_Down} << "draft";
    }

    void history()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, shown);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        QLineEdit* line = ui->lineEditTerminalCommand;
        // Sent again, a command moves to the newest place instead of being kept twice.
        for (const char* text : {"$GSN", "TEST", "$GSN"}) {
            line->setText(text);
            QTest::keyClick(line, Qt::Key_Return);
        }
        QCOMPARE(sim->receivedMnemonics(), (QStringList{"GSN", "TEST", "GSN"}));
        line->setText("draft");
        for (int key : keys)
            QTest::keyClick(line, Qt::Key(key));
        QCOMPARE(line->text(), shown);
        line->completer()->setCompletionPrefix("$setuph");
        QCOMPARE(line->completer()->currentCompletion(), QString("$SETUPHW"));
    }

    // The words follow the failure's kind; each text here would mislead a reader of the words.
    void failureWords_data()
    {
        using Failure = Tarsk::Utils::Exception;
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");
        QTest::newRow("refusal reworded") << int(Failure::KIND_REFUSED) << QString("Answer: no") << "The receiver refused $IP.";
        QTest::newRow("unrelated answer reworded")
            << int(Failure::KIND_UNRELATED_REPLY) << QString("Error in reply: other") << "The receiver answered $IP with an unrelated message.";
        QTest::newRow("silence worded as a lost link")
            << int(Failure::KIND_NO_ANSWER) << QString("Link Error: silence") << "The receiver did not answer $IP in time.";
        QTest::newRow("lost link worded as a timeout") << int(Failure::KIND_LINK_LOST) << QString("timeout")
                                                       << "The link to the receiver failed while waiting for the answer to $IP.";
        QTest::newRow("busy reworded") << int(Failure::KIND_BUSY) << QString("Link Error: wait")
                                       << "$IP was not sent: another request to the receiver is still running.";
        QTest::newRow("no link worded as a refusal")
            << int(Failure::KIND_NOT_CONNECTED) << QString("Error in reply: none") << "$IP was not sent: no receiver is connected.";
        QTest::newRow("port held elsewhere")
            << int(Failure::KIND_PORT_IN_USE) << QString("timeout") << "$IP was not sent: the port is in use by another program.";
        QTest::newRow("anything else says its text") << int(Failure::KIND_GENERAL) << QString("Error in reply: bad count") << "$IP failed: Error in reply: bad count";
    }

    void failureWords()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        const Tarsk::Utils::Exception failure(Tarsk::Utils::Exception::Kind_t(kind), text);
        QTEST(MainWindow::failureInWords(failure, "$IP"), "words");
    }

    void typedCommand_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QString>("told");  // the status bar's words
        const QByteArray right = DeviceTest::line("SETUPHW,,,,,,");
        const QString wrong = "$SETUPHW,,,,,,*" + QString(right.endsWith("00") ? "01" : "00");
        // A line the receiver does not know as a command is said to be so at once.
        const auto raw = [](const QString& shown) {
            return shown + " is not a command the receiver knows: it was sent as typed, without waiting for an answer.";
        };
        QTest::newRow("TEST through the engine") << "TEST" << DeviceTest::line("TEST") << QStringList()
                                                 << "The receiver answered TEST: DFR,V2,0042,1207,APP,2.2,1.4,3.1.";
        QTest::newRow("known command trimmed") << "  $GSN  " << DeviceTest::line("GSN") << QStringList()
                                               << "The receiver answered $GSN: 0042,1207.";
        QTest::newRow("wrong checksum sent as typed")
            << wrong << wrong.toLatin1()
            << QStringList{"Wrong checksum provided (should be " + right.right(2) + ")", raw(wrong)} << raw(wrong);
        QTest::newRow("unknown command keeps its spaces")
            << " test " << QByteArray(" test ") << QStringList{raw("test")} << raw("test");
        QTest::newRow("empty line") << "" << QByteArray()
                                    << QStringList{"Empty command", "Command with an empty payload.", raw("An empty line")}
                                    << raw("An empty line");
        QTest::newRow("lone star") << "$GSN*" << QByteArray("$GSN*")
                                   << QStringList{"Command with an empty payload.", raw("$GSN*")} << raw("$GSN*");
    }

    void typedCommand()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, warnings);
        QFETCH(QString, told);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        QTest::failOnWarning(QRegularExpression(".*"));
        for (const QString& warning : warnings)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        ui->lineEditTerminalCommand->setText(typed);
        QTest::mouseClick(ui->pushButtonTerminalSend, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sim->receivedFrames().size(), 1, 3000);
        QCOMPARE(sim->receivedFrames().first().line, wire);
        QCOMPARE(ui->lineEditTerminalCommand->text(), typed);
        QTRY_VERIFY_WITH_TIMEOUT(statusText().endsWith("  " + told), 3000);
        QVERIFY(window->findChild<QToolButton*>("statusBarMessage")->toolTip().startsWith(told + '\n'));
    }

    // After typedCommand: what the status bar said, each kind and whole, newest first, the oldest dropped past the bound.
    void sessionMessages()
    {
        // Opened first: the test platform warns that it cannot raise a window.
        QTest::mouseClick(window->findChild<QToolButton*>("statusBarHistory"), Qt::LeftButton);
        auto* list = window->findChild<Vantrel::Ui::SessionMessages*>("sessionMessages");
        QVERIFY(list && list->isVisible());
        ui->lineEditTerminalCommand->setText("$IP,999");
        QVERIFY(thrown(&MainWindow::slotSendManualDfrCmd).startsWith("Error in reply: "));
        auto* table = list->findChild<QTableWidget*>();
        QStringList rows;
        for (int at = 0; at < table->rowCount(); ++at)
            rows << table->item(at, 1)->text() + ' ' + table->item(at, 2)->text();
        QCOMPARE(rows.first(), "Error The receiver refused $IP,999.");
        QVERIFY(rows.contains("Warning test is not a command the receiver knows: it was sent as typed, without waiting for an answer."));
        QVERIFY(rows.contains("Success The receiver answered $GSN: 0042,1207."));
        for (int i = 0; i < Vantrel::Ui::SessionMessages::kept; ++i)
            list->add(QDateTime::currentDateTimeUtc(), "Success", QString::number(i));
        QCOMPARE(table->rowCount(), Vantrel::Ui::SessionMessages::kept);
        QCOMPARE(table->item(table->rowCount() - 1, 2)->text(), "0");
    }

    void executeScript_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("reply");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("outcome"); // the status bar's words
        // Whatever a script changed, the forms are read again after it (frames beyond the script's).
        QTest::newRow("spaces and comments") << "  $GSN  \n# $TEST\nGSN\n\n\t$TEST\n" << 0
                                             << QStringList{"$GSN", "$TEST"} << QStringList{"GSN", "TEST"}
                                             << "2 command(s) sent.";
        QTest::newRow("failing command ends it")
            << "$GSN\n$IP,999\n$TEST\n" << 0 << QStringList{"$GSN", "$IP,999", "$TEST"} << QStringList{"GSN", "IP"}
            << "The receiver refused command 2 of 3 ($IP,999). The script stopped there; 1 command(s) before it were sent.";
        QTest::newRow("declined") << "$GSN\n" << 1 << QStringList{"$GSN"} << QStringList() << "";
        QTest::newRow("no command, no question") << "GSN\n" << 0 << QStringList() << QStringList() << "";
    }

    void executeScript()
    {
        QFETCH(QString, text);
        QFETCH(int, reply);
        QFETCH(QStringList, listed);
        QFETCH(QStringList, sent);
        QFETCH(QString, outcome);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(TestSupport::writeFile(chosenFile, text));
        this->reply = reply;
        if (listed.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("holds no command"));
        // A failing command goes on leaving the slot, as the receiver's own words.
        QCOMPARE(thrown(&MainWindow::slotTerminalScript).startsWith("Error in reply: "), outcome.contains("refused"));
        const QStringList received = sim->receivedMnemonics();
        QCOMPARE(received.mid(0, sent.size()), sent);
        QCOMPARE(received.size() > sent.size(), !outcome.isEmpty());
        QVERIFY2(statusText().endsWith(outcome), qPrintable(statusText()));
        QCOMPARE(asked.size(), listed.isEmpty() ? 0 : 1);
        for (const auto& question : asked)
            QVERIFY(question.text.contains(QString(" %1 command(s)").arg(listed.size())) &&
                    question.text.contains(listed.join('\n')));
    }

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
        connectTo(profile, [v2](DeviceState& state) {
            state.setupHardware[2] = "17";
            DeviceState::Platform_t platform;
            for (const char* id : {"5A1B2C3", "AB123"}) {
                platform.id = id;
                platform.label = QString("Mast %1").arg(id);
                state.setPlatform(platform.id.size(), platform);
                platform.gpsFormat = QStringList{"FIX"} + QStringList(20, "2") + QStringList{"1"};  // the second one decodes positions
            }
            if (v2)
                state.setGpsFormat(2, QStringList{"TRACK"} + QStringList(21, "1") + QStringList{"0", "0", "0", "0", "0", "8"});
        });
        const DeviceState original = sim->state();
        QCOMPARE(thrown(&MainWindow::slotTerminalSaveScript), QString());
        const QString saved = TestSupport::readFile(chosenFile);
        QVERIFY2(offered.startsWith("config_0042-1207_") && offered.endsWith(".dfr"), qPrintable(offered));
        QCOMPARE(saved.contains("$SFG,"), v2);
        if (v2) {
            QDir backups(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../Backups"));
            backups.removeRecursively();
            QCOMPARE(thrown(&MainWindow::slotSwitchMode), QString());
            const QStringList files = backups.entryList({"config_0042-1207_*.dfr"}, QDir::Files);
            QCOMPARE(files.size(), 1);
            const QString told = statusText();
            QVERIFY2(told.contains("Configuration saved to /") && told.endsWith(files.first()), qPrintable(told));
            QCOMPARE(TestSupport::readFile(backups.filePath(files.first())), saved);
        }
        connectTo(profile);
        QCOMPARE(thrown(&MainWindow::slotTerminalScript), QString());
        QCOMPARE(sim->state().setupHardware, original.setupHardware);
        QCOMPARE(sim->state().setupSoftware.mid(0, 7), original.setupSoftware.mid(0, 7));
        QCOMPARE(meaningful(sim->state().platforms), meaningful(original.platforms));
        QCOMPARE(sim->state().gpsFormats, original.gpsFormats);
    }
};

VANTREL_WINDOW_TEST_MAIN(TestTerminal)

#include "tst_terminal.moc"
