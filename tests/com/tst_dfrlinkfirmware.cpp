// Firmware upload and mode switch against the simulated receiver: image file rules, frame sequence, progress, failures.
#include <QtTest>
#include <QtWidgets>

#include <memory>

#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::Dialogs;
using Vantrel::Ui::MainWindow;

Q_DECLARE_METATYPE(DeviceState::Profile_t)
Q_DECLARE_METATYPE(DfrSimulator::FaultMode_t)

namespace {

const QByteArray v2Header = "TALVEN GONIO_V2 FIRMWARE VERSION : 1.4";

QByteArray image(int lines)
{
    QByteArray bytes = v2Header;
    for (int i = 0; i < lines; ++i)
        bytes += "\r:10" + QByteArray::number(i, 16).toUpper();
    return bytes;
}

} // namespace

class TestDfrLinkFirmware : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QTemporaryDir dir;
    QString imagePath;
    QStringList asked;      // titles of the questions, in order
    int fallbackAnswer = 0; // answer to "switch anyway?"

    bool logHas(const QString& type, const QString& message) const { return DeviceTest::logHas(ui, type, message); }
    bool connected() const { return ui->lineEditVersionsStatus->text() != QLatin1String("Not connected"); }

    void connectTo(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        QVERIFY(sim->start());
        DeviceTest::offerPorts({sim.get()});
        QVERIFY(DeviceTest::plugAndClick(ui, *sim));
        QTRY_VERIFY_WITH_TIMEOUT(!ui->lineEditVersionsMode->text().isEmpty(), 5000);
        sim->clearReceivedFrames();
        asked.clear();
    }

    // Offers the image to "Update firmware" and returns what the slot threw, empty when nothing.
    QString flash(const QByteArray& bytes)
    {
        QFile file(imagePath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QStringLiteral("cannot write the image");
        file.close();
        const QString thrown = TestSupport::thrownBy([this] { window->slotUpdateFirmware(); });
        return thrown == QLatin1String("<nothing thrown>") ? QString() : thrown;
    }

    QStringList sentOtherThanStatus() const
    {
        QStringList sent = sim->receivedMnemonics();
        sent.removeIf([](const QString& m) { return m == "TEST" || m == "GSN" || m == "LIG"; });
        return sent;
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        imagePath = dir.filePath("image.tal");
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind == Dialogs::Request_t::OPEN_FILE)
                return imagePath;
            asked.append(request.title);
            return request.text.startsWith("The configuration could not be saved") ? fallbackAnswer : 0;
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

    void cleanup()
    {
        if (connected())
            window->slotDfrDisconnected(DeviceTest::portOf(sim->deviceName()), "end of test");
        sim.reset();
        Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo = false;
    }

    void imageRules_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");          // %1: the file; empty: flashed
        QTest::addColumn<QStringList>("lines");      // WRDA values sent
        QTest::addColumn<bool>("asked");

        const auto bl = DeviceState::PROFILE_DFR_V2_BL;
        QTest::newRow("header with surrounding spaces") << bl << " \t" + v2Header + "  \r:10A0\r:20B1" << QString()
                                                        << QStringList{":10A0", ":20B1"} << true;
        QTest::newRow("CR LF lines begin with LF") << bl << v2Header + "\r\n:10A0\r\n:20B1\r\n" << QString()
                                                   << QStringList{"\n:10A0", "\n:20B1", "\n"} << true;
        QTest::newRow("commas stay inside the one value") << bl << v2Header + "\r:1,2,3" << QString()
                                                          << QStringList{":1,2,3"} << true;
        QTest::newRow("lower-case header") << bl << QByteArray("talven gonio_v2 firmware version : 1.4\r:10")
                                           << "Unable to decode first line of file %1." << QStringList() << false;
        QTest::newRow("header without version text") << bl << QByteArray("TALVEN GONIO_V2 FIRMWARE VERSION : \r:10")
                                                     << "Unable to decode first line of file %1." << QStringList()
                                                     << false;
        QTest::newRow("second-generation image on a first-generation receiver")
            << DeviceState::PROFILE_DFR_V1 << v2Header + "\r:10" << "Incompatible DFR version (2 vs 1)."
            << QStringList() << false;
        QTest::newRow("no CR at all") << bl << v2Header + "\n:10\n:20"
                                      << "Unable to read DFR firmware file %1: not enought data" << QStringList()
                                      << false;
        QTest::newRow("dollar in line 3") << bl << v2Header + "\r:10\r:2$0\r:30"
                                          << "Unable to use DFR firmware file %1: line 3 holds \"$\" or \"*\", which "
                                             "would break its frame."
                                          << QStringList() << false;
        QTest::newRow("star in the last line") << bl << v2Header + "\r:10\r:2*"
                                               << "Unable to use DFR firmware file %1: line 3 holds \"$\" or \"*\", "
                                                  "which would break its frame."
                                               << QStringList() << false;
        QTest::newRow("invalid UTF-8 in line 2") << bl << v2Header + "\r:1\xC3\x28\r:20"
                                                 << "Unable to use DFR firmware file %1: line 2 is not valid UTF-8."
                                                 << QStringList() << false;
        QTest::newRow("character beyond the line's encoding") << bl << v2Header + "\r:1\xE2\x82\xAC"
                                                              << "Unable to use DFR firmware file %1: line 2 holds a "
                                                                 "character the serial line cannot carry."
                                                              << QStringList() << false;
        QTest::newRow("receiver in application mode") << DeviceState::PROFILE_DFR_V2_APP << v2Header + "\r:10"
                                                      << "Unable to flash firmware, DFR is not in BL mode (2)"
                                                      << QStringList() << true;
    }

    void imageRules()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QFETCH(QStringList, lines);
        QFETCH(bool, asked);
        connectTo(profile);
        const QString port = DeviceTest::portOf(sim->deviceName());

        QCOMPARE(flash(bytes), error.contains("%1") ? error.arg(imagePath) : error);
        QCOMPARE(this->asked.contains("Update firmware?"), asked);
        if (!error.isEmpty()) {
            QCOMPARE(sentOtherThanStatus(), QStringList());
            QVERIFY(connected());
            return;
        }
        QStringList expected{"TEST", "ATBL", "ERRF"};
        for (qsizetype i = 0; i < lines.size(); ++i)
            expected << "WRDA";
        expected << "WRSC" << "REBO";
        QCOMPARE(sim->receivedMnemonics(), expected);
        QStringList written;
        for (const auto& frame : sim->receivedFrames())
            if (frame.mnemonic == "WRDA")
                written << frame.params.join(',');
        QCOMPARE(written, lines);
        QVERIFY(!connected());
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (Please reconnect to DFR).").arg(port)));
    }

    void progress_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("percentLines");
        QTest::addColumn<QString>("first");
        QTest::addColumn<bool>("ackReplies");  // "ACK,<mnemonic>,1" instead of the command's own reply
        QTest::newRow("1000 lines: from line 10 on") << 1000 << 100 << "1% uploaded (line 10 on 1000)..." << false;
        QTest::newRow("300 lines: each percent once") << 300 << 100 << "1% uploaded (line 3 on 300)..." << false;
        QTest::newRow("50 lines: every line") << 50 << 50 << "2% uploaded (line 1 on 50)..." << false;
        QTest::newRow("50 lines acknowledged with ACK") << 50 << 50 << "2% uploaded (line 1 on 50)..." << true;
    }

    void progress()
    {
        QFETCH(int, lineCount);
        QFETCH(int, percentLines);
        QFETCH(QString, first);
        QFETCH(bool, ackReplies);
        connectTo(DeviceState::PROFILE_DFR_V2_BL);

        // Looks at the dialog while the receiver takes the middle line.
        bool shown = false;
        bool cancellable = true;
        QString text;
 connect(sim.get(), &DfrSimulator::frameReceived, this, [&](const DfrSimulator::ReceivedFrame_t& frame) {
            // From the unlock on: an acknowledged TEST would read as another generation.
            if (frame.mnemonic == "ATBL")
                sim->setAcknowledgeWithAck(ackReplies);
            if (frame.mnemonic != "WRDA" || sim->state().firmwareLines.size() != lineCount / 2)
                return;
            const auto* dialog = window->findChild<QDialog*>("firmwareProgressDialog");
            shown = dialog && dialog->isVisible();
            cancellable = !dialog || !dialog->findChildren<QAbstractButton*>().isEmpty();
            text = dialog ? dialog->findChild<QLabel*>("firmwareProgressText")->text() : QString();
        });

        const int rowsBefore = ui->tableWidgetLogger->rowCount();
        QCOMPARE(flash(image(lineCount)), QString());
        QVERIFY(shown);
        QVERIFY(!cancellable);
        QVERIFY2(text.contains(QStringLiteral("%1 of %2").arg(lineCount / 2).arg(lineCount)), qPrintable(text));
        QVERIFY2(text.contains("time left"), qPrintable(text));

        QStringList percents;
        for (int row = rowsBefore; row < ui->tableWidgetLogger->rowCount(); ++row) {
            const QString message = ui->tableWidgetLogger->item(row, ui->tableWidgetLogger->columnCount() - 1)->text();
            if (message.contains("% uploaded (line"))
                percents << message;
        }
        QCOMPARE(percents.size(), percentLines);
        QCOMPARE(percents.first(), first);
        QCOMPARE(percents.last(), QStringLiteral("100% uploaded (line %1 on %1)...").arg(lineCount));
        QCOMPARE(percents.removeDuplicates(), 0);
        QCOMPARE(sim->state().firmwareLines.size(), lineCount);
    }

    void failureMidUpload_data()
    {
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<bool>("tracing");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("staysConnected");
        QTest::newRow("error reply, tracing on") << DfrSimulator::FAULTMODE_ACK_ERROR << true
                                                 << "Error in reply: " << true;
        QTest::newRow("error reply, tracing off") << DfrSimulator::FAULTMODE_ACK_ERROR << false
                                                  << "Error in reply: " << true;
        QTest::newRow("lost reply, tracing on") << DfrSimulator::FAULTMODE_NO_REPLY << true << "Link Error: " << false;
    }

    void failureMidUpload()
    {
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(bool, tracing);
        QFETCH(QString, error);
        QFETCH(bool, staysConnected);
        connectTo(DeviceState::PROFILE_DFR_V2_BL);
        Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo = tracing;
        connect(sim.get(), &DfrSimulator::frameReceived, this, [this, fault](const DfrSimulator::ReceivedFrame_t& f) {
            if (f.mnemonic == "WRDA" && sim->state().firmwareLines.size() == 3)
                sim->injectFault(fault, "WRDA");
        });
        if (!staysConnected)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("Error on .*Uart link timeout"));

        const QString thrown = flash(image(10));
        QVERIFY2(thrown.startsWith(error), qPrintable(thrown));
        QCOMPARE(Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo, tracing);
        QCOMPARE(sim->receivedCount("WRDA"), 4);  // the fourth fails
        QCOMPARE(sim->receivedCount("WRSC") + sim->receivedCount("REBO"), 0);
        QCOMPARE(connected(), staysConnected);
    }

    void switchMode_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<bool>("blockBackups");
        QTest::addColumn<int>("fallback");  // 0 switch anyway, 1 stay
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("questions");
        QTest::newRow("bootloader to application") << DeviceState::PROFILE_DFR_V2_BL << false << 0
                                                   << QStringList{"REBO"} << QStringList{"Switch mode?"};
        QTest::newRow("backup impossible, switched anyway") << DeviceState::PROFILE_DFR_V2_APP << true << 0
                                                            << QStringList{"SUA"}
                                                            << QStringList{"Switch mode?", "Switch mode?"};
        QTest::newRow("backup impossible, user stays") << DeviceState::PROFILE_DFR_V2_APP << true << 1
                                                       << QStringList{}
                                                       << QStringList{"Switch mode?", "Switch mode?"};
    }

    void switchMode()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(bool, blockBackups);
        QFETCH(int, fallback);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, questions);
        // A plain file where the folder should be: the backup cannot be written.
        const QString backups = QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../Backups");
        QDir(backups).removeRecursively();
        QFile::remove(backups);
        if (blockBackups)
            QVERIFY(TestSupport::writeFile(backups, "in the way"));
        const auto unblock = qScopeGuard([&] { QFile::remove(backups); });
        fallbackAnswer = fallback;
        connectTo(profile);
        if (blockBackups)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Configuration backup failed: Unable to create"));

        QCOMPARE(TestSupport::thrownBy([this] { window->slotSwitchMode(); }), QStringLiteral("<nothing thrown>"));
        QCOMPARE(sentOtherThanStatus(), sent);
        QCOMPARE(asked, questions);
        QCOMPARE(connected(), !sent.endsWith("SUA") && !sent.endsWith("REBO"));
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TestDfrLinkFirmware test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlinkfirmware.moc"
