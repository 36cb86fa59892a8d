// Firmware upload and mode switch on the simulated receiver: image file rules, frames, failures, progress.
#include "tests/common/WindowDeviceFixture.h"

const QByteArray header = "TALVEN GONIO_V2 FIRMWARE VERSION : 1.4";

class TestDfrLinkFirmware : public WindowDeviceFixture
{
    Q_OBJECT
    // What "Update firmware" threw for this image, empty when it flashed.
    QString flash(const QByteArray& image)
    {
        QFile file(chosenFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(image) != image.size())
            return "no image";
        file.close();
        return thrown(&Vantrel::Ui::MainWindow::slotUpdateFirmware);
    }

private Q_SLOTS:
    void initTestCase() { startWindow(); }
    void cleanup() { Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo = false; }

    // An image flashed, refused before the question or (with a fault from the third line on) failing midway.
    void imageRules_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("error");  // %1: the file
        QTest::addColumn<QStringList>("lines");  // the WRDA values sent
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<bool>("tracing");
        const auto row = [](const char* tag, DeviceState::Profile_t profile, const QByteArray& image, const QString& error,
                            const QStringList& lines = {}, DfrSimulator::FaultMode_t fault = DfrSimulator::FAULTMODE_NONE,
                            bool tracing = false) {
            QTest::newRow(tag) << profile << image << error << lines << fault << tracing;
        };
        const auto bl = DeviceState::PROFILE_DFR_V2_BL;
        const QString line = "Unable to use DFR firmware file %1: line %2 ";
        const QString delimiter = "holds \"$\" or \"*\", which would break its frame.";
        row("header with spaces", bl, " \t" + header + " \r:1A\r:2,B", "", {":1A", ":2,B"});
        row("CR LF: lines begin with LF", bl, header + "\r\n:1A\r\n", "", {"\n:1A", "\n"});
        row("lower-case header", bl, header.toLower() + "\r:1", "Unable to decode first line of file %1.");
        row("V2 image on V1", DeviceState::PROFILE_DFR_V1, header + "\r:1", "Incompatible DFR version (2 vs 1).");
        row("no CR", bl, header + "\n:1", "Unable to read DFR firmware file %1: not enought data");
        row("not an image", bl, "GIF89a\x01\x02 no line end",
            "Unable to read DFR firmware file %1: this is not a DFR firmware image (it does not begin with "
            "\"TALVEN GONIO_V\").");
        row("dollar in line 3", bl, header + "\r:1\r:2$", line.arg("%1", "3") + delimiter);
        row("invalid UTF-8", bl, header + "\r\xC3\x28", line.arg("%1", "2") + "is not valid UTF-8.");
        row("beyond Latin-1", bl, header + "\r\xE2\x82\xAC",
            line.arg("%1", "2") + "holds a character the serial line cannot carry.");
        row("application mode", DeviceState::PROFILE_DFR_V2_APP, header + "\r:1",
            "Unable to flash firmware, DFR is not in BL mode (2)");
        const QByteArray six = header + "\r:1\r:2\r:3\r:4\r:5\r:6";
        const QStringList four{":1", ":2", ":3", ":4"};
        const QString refused = "Error in reply: refused by the receiver (WRDA,0)";
        row("refused line, tracing on", bl, six, refused, four, DfrSimulator::FAULTMODE_ACK_ERROR, true);
    }

    void imageRules()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QByteArray, image);
        QFETCH(QString, error);
        QFETCH(QStringList, lines);
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(bool, tracing);
        connectTo(profile);
        Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo = tracing;
        connect(sim.get(), &DfrSimulator::frameReceived, this, [this, fault](const DfrSimulator::ReceivedFrame_t& f) {
            if (f.mnemonic == "WRDA" && sim->state().firmwareLines.size() == 3)
                sim->injectFault(fault, "WRDA");
        });
        const QString disconnection = "Disconnection of " + DeviceTest::portOf(sim->deviceName()) + " (Please reconnect to DFR).";

        QCOMPARE(flash(image), error.contains("%1") ? error.arg(chosenFile) : error);
        QCOMPARE(Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo, tracing);
        // The file is checked before the question, the mode after it.
        QCOMPARE(asked.size(), lines.isEmpty() && !error.contains("BL mode") ? 0 : 1);
        QStringList frames;
        for (const auto& frame : sim->receivedFrames())
            if (frame.mnemonic != "TEST")
                frames << frame.mnemonic + ':' + frame.params.join(',');
        if (!lines.isEmpty())
            lines = QStringList{"ATBL:", "ERRF:"} + lines.replaceInStrings(QRegularExpression("^"), "WRDA:") +
                    (error.isEmpty() ? QStringList{"WRSC:", "REBO:"} : QStringList());
        QCOMPARE(frames.filter(QRegularExpression("^(?!GSN|LIG)")), lines);
        QCOMPARE(connected(), !error.isEmpty());
        const QStringList log = logRows();  // its last rows
        QCOMPARE(log.value(log.size() - 2) == disconnection && log.last().startsWith("Waiting for"), error.isEmpty());
    }

    void progress_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("percentLines");
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("ackReplies");  // "ACK,<mnemonic>,1" instead of the command's own reply
        QTest::addColumn<QString>("outcome");  // said once the receiver is back; empty: it keeps its old version
        QTest::newRow("1000 lines") << 1000 << 100 << "1% uploaded (line 10 on 1000)..." << false
                                    << "Firmware updated to 1.4";
        QTest::newRow("50 lines acknowledged with ACK") << 50 << 50 << "2% uploaded (line 1 on 50)..." << true
                                                        << "The receiver still reports version 2.2 after the update to 1.4";
    }

    void progress()
    {
        QFETCH(int, lineCount);
        QFETCH(int, percentLines);
        QFETCH(bool, ackReplies);
        QFETCH(QString, outcome);
        connectTo(DeviceState::PROFILE_DFR_V2_BL);
        QByteArray image = header;
        for (int i = 0; i < lineCount; ++i)
            image += "\r:" + QByteArray::number(i);
        // The dialog, looked at while the receiver takes the middle line.
        QString shown;
        connect(sim.get(), &DfrSimulator::frameReceived, this, [&](const DfrSimulator::ReceivedFrame_t& frame) {
            if (frame.mnemonic == "ATBL")  // not before: an acknowledged TEST reads as another generation
                sim->setAcknowledgeWithAck(ackReplies);
            if (frame.mnemonic == "REBO")
                sim->setAcknowledgeWithAck(false);
            if (frame.mnemonic == "WRSC" && outcome.startsWith("Firmware updated"))
                sim->state().applicationVersion = "1.4";
            const auto* dialog = window->findChild<QDialog*>("firmwareProgressDialog");
            if (frame.mnemonic == "WRDA" && sim->state().firmwareLines.size() == lineCount / 2 && dialog &&
                dialog->isVisible() && dialog->findChildren<QAbstractButton*>().isEmpty())
                shown = dialog->findChild<QLabel*>("firmwareProgressText")->text();
        });
        const int rowsBefore = ui->tableWidgetLogger->rowCount();
        QCOMPARE(flash(image), QString());
        QVERIFY2(shown.contains(QString("%1 of %2").arg(lineCount / 2).arg(lineCount)) && shown.contains("time left"),
                 qPrintable(shown));
        QStringList percents = logRows().mid(rowsBefore).filter("% uploaded (line");
        QCOMPARE(percents.size(), percentLines);
        QCOMPARE(percents.removeDuplicates(), 0);
        QTEST(percents.first(), "first");
        QCOMPARE(percents.last(), QString("100% uploaded (line %1 on %1)...").arg(lineCount));
        QCOMPARE(sim->state().firmwareLines.size(), lineCount);

        // Back in its application, the receiver tells whether the new firmware runs.
        if (outcome.startsWith("The receiver"))
            QTest::ignoreMessage(QtWarningMsg, qPrintable(outcome));
        QTRY_VERIFY_WITH_TIMEOUT(statusText().endsWith(outcome), 10000);
        QCOMPARE(ui->lineEditVersionsMode->text(), QString("DFR_APP"));
    }

    // The backup itself needs the slot operations: see the terminal test's replay.
    void switchMode_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<int>("fallback");  // to "switch anyway?": 0 Yes, 1 No
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("back");  // the mode the window reconnects in by itself
        QTest::addColumn<int>("silentMs");  // how long the receiver does not answer after the switch; -1: gone
        QTest::addColumn<QString>("serialBack");  // second part of the serial number it comes back with
        const auto app = DeviceState::PROFILE_DFR_V2_APP;
        QTest::newRow("bootloader to application") << DeviceState::PROFILE_DFR_V2_BL << 0 << QStringList{"REBO"} << 1
                                                   << "standard" << 0 << "1207";
        QTest::newRow("no backup, switched anyway") << app << 0 << QStringList{"SUA"} << 2 << "bootloader" << 0 << "1207";
        QTest::newRow("no backup, user stays") << app << 1 << QStringList() << 2 << "" << 0 << "1207";
        QTest::newRow("slow restart") << app << 0 << QStringList{"SUA"} << 2 << "bootloader" << 4000 << "1207";
        QTest::newRow("never back") << app << 0 << QStringList{"SUA"} << 2 << "bootloader" << -1 << "1207";
        QTest::newRow("another receiver on the port") << app << 0 << QStringList{"SUA"} << 2 << "bootloader" << 0
                                                      << "1300";
    }

    void switchMode()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(int, fallback);
        QFETCH(QStringList, sent);
        QFETCH(int, questions);
        QFETCH(QString, back);
        QFETCH(int, silentMs);
        // A plain file where the folder belongs: no backup can be written.
        const QString backups = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../Backups");
        QVERIFY(TestSupport::writeFile(backups, "in the way"));
        const auto unblock = qScopeGuard([&] { QFile::remove(backups); });
        answer = [fallback](const Dialogs::Request_t& r) { return r.text.startsWith("The configuration") ? fallback : 0; };
        connectTo(profile);
        if (profile == DeviceState::PROFILE_DFR_V2_APP)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Configuration backup failed: Unable to create"));
        QCOMPARE(thrown(&Vantrel::Ui::MainWindow::slotSwitchMode), QString());
        QStringList got = sim->receivedMnemonics();  // without the status reads
        got.removeIf([](const QString& m) { return m == "TEST" || m == "GSN" || m == "LIG"; });
        QCOMPARE(got, sent);
        QCOMPARE(asked.size(), questions);
        QCOMPARE(connected(), sent.isEmpty());
        if (back.isEmpty())
            return;
        const QString port = DeviceTest::portOf(sim->deviceName());
        QCOMPARE(connectionText(), QString("Waiting for %1 to restart in %2 mode...").arg(port, back));
        if (silentMs < 0) {
            sim->unplug();
            const QString told = port + " did not come back in bootloader mode within 20 s: connect it from the "
                                        "tool bar once it is there again.";
            QTest::ignoreMessage(QtWarningMsg, qPrintable(told));
            QTRY_VERIFY_WITH_TIMEOUT(statusText().endsWith(told), MainWindow::restartWaitMs + 5000);
            QVERIFY(!connected());
            return;
        }
        sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
        QFETCH(QString, serialBack);
        sim->state().serialPart2 = serialBack;
        QTimer::singleShot(silentMs, sim.get(), &DfrSimulator::clearFaults);
        const QString other = "A different receiver, SN/0042-1300, came back on " + port + " in place of SN/0042-1207";
        const QString told = serialBack == "1207" ? port + " is back in " + back + " mode" : other + ": it is connected as itself.";
        if (serialBack != "1207") {
            QTest::ignoreMessage(QtWarningMsg, qPrintable(told));
        }
        QTRY_VERIFY_WITH_TIMEOUT(connected() && statusText().endsWith(told), 15000);
        QCOMPARE(ui->lineEditStatusSerial->text(), "SN/0042-" + serialBack);
        QCOMPARE(ui->lineEditVersionsMode->text(), QString(back == "standard" ? "DFR_APP" : "DFR_BL"));
    }
};

VANTREL_WINDOW_TEST_MAIN(TestDfrLinkFirmware)

#include "tst_dfrlinkfirmware.moc"
