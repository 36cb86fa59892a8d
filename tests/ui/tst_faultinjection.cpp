// Line faults (unplugged, frozen, flood, spoilt packets, wrong and error replies) during each window operation.
#include "tests/common/WindowDeviceFixture.h"

#include "sim/DemoContent.h"
#include "ui/RxTableColumns.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;

namespace {

enum Operation_t { CONNECT, SETUP, FORMATS, PLATFORMS, IMPORT, FLASH, FLASH_V1, FIRMWARE, SCRIPT, SAVE_SCRIPT };
// FLOOD: no reply, a stream of bytes without a line end instead; *_ALWAYS: the fault stays.
enum Fault_t { UNPLUG, FROZEN, FLOOD, CORRUPT, CORRUPT_ALWAYS, CUT, WRONG_MNEMONIC, ERROR_REPLY };

// Which receiver an operation runs on and which of its requests the fault hits.
struct Target_t
{
    DeviceState::Profile_t profile;
    QString mnemonic;
    int skip;  // requests of that mnemonic let through first
};

const QMap<int, Target_t> targets = {
    {CONNECT, {DeviceState::PROFILE_DFR_V2_APP, "GSN", 0}},    {SETUP, {DeviceState::PROFILE_DFR_V2_APP, "SETUPSW", 0}},
    {FORMATS, {DeviceState::PROFILE_DFR_V2_APP, "GFG", 2}},    {PLATFORMS, {DeviceState::PROFILE_DFR_V2_APP, "IP", 2}},
    {IMPORT, {DeviceState::PROFILE_DFR_V2_APP, "IP", 1}},      {FLASH, {DeviceState::PROFILE_DFR_V2_APP, "RFP", 1}},
    {FLASH_V1, {DeviceState::PROFILE_DFR_V1, "RFP", 1}},       {FIRMWARE, {DeviceState::PROFILE_DFR_V2_BL, "WRDA", 1}},
    {SCRIPT, {DeviceState::PROFILE_DFR_V2_APP, "LIG", 0}},     {SAVE_SCRIPT, {DeviceState::PROFILE_DFR_V2_APP, "IP", 3}},
};

constexpr qint64 rssGrowthLimit = 6 << 20;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// A sanitizer holds freed memory back for its checks: the resident size says nothing there.
constexpr bool residentSizeMeaningful = false;
#else
constexpr bool residentSizeMeaningful = true;
#endif

qint64 residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// An expected text with "%1" for the port and "…" for any run of characters.
QRegularExpression pattern(const QString& text, const QString& port)
{
    QStringList pieces = text.split(QString::fromUtf8("…"));
    for (QString& piece : pieces) {
        QStringList around = piece.split("%1");
        for (QString& literal : around)
            literal = QRegularExpression::escape(literal);
        piece = around.join(QRegularExpression::escape(port));
    }
    return QRegularExpression('^' + pieces.join(".*") + '$', QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

Q_DECLARE_METATYPE(Operation_t)
Q_DECLARE_METATYPE(Fault_t)

class TestFaultInjection : public WindowDeviceFixture
{
    Q_OBJECT

    QString port;
    int seen = 0;

    void arm(Fault_t fault, const Target_t& target)
    {
        seen = 0;
        connect(sim.get(), &DfrSimulator::frameReceived, sim.get(), [this, fault, target](const DfrSimulator::ReceivedFrame_t& frame) {
            if (frame.mnemonic != target.mnemonic || !frame.checksumOk || seen++ != target.skip)
                return;
            // Emitted before the simulator answers: the fault takes this very request.
            static const QMap<int, DfrSimulator::FaultMode_t> modes = {
                {UNPLUG, DfrSimulator::FAULTMODE_UNPLUG},
                {FROZEN, DfrSimulator::FAULTMODE_NO_REPLY},
                {FLOOD, DfrSimulator::FAULTMODE_NO_REPLY},
                {CORRUPT, DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM},
                {CORRUPT_ALWAYS, DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM},
                {CUT, DfrSimulator::FAULTMODE_TRUNCATED_BINARY},
                {WRONG_MNEMONIC, DfrSimulator::FAULTMODE_UNRELATED_MNEMONIC},
                {ERROR_REPLY, DfrSimulator::FAULTMODE_ACK_ERROR}};
            if (fault == FROZEN)
                sim->setPersistentFault(modes[fault]);
            else if (fault == CORRUPT_ALWAYS)
                sim->setPersistentFault(modes[fault], target.mnemonic);
            else
                sim->injectFault(modes[fault], target.mnemonic);
            if (fault == FLOOD)
                flood(target);
        });
    }

    // Noise without a line end, fed in pieces so that the simulator itself stays small,
    // for longer than the link waits, or until the request is asked again: the retry
    // then gets a clean line. Noise must never keep a request waiting.
    void flood(const Target_t& target)
    {
        QByteArray piece(64 * 1024, 0);
        for (int i = 0; i < piece.size(); ++i)
            piece[i] = char("noise "[i % 6] ^ (i & 0x10));
        auto* pump = new QTimer(sim.get());
        const qint64 start = sim->bytesSent();
        QElapsedTimer clock;
        clock.start();
        const qint64 lastMs = 3 * Vantrel::Utils::Settings::instance()->dfrCommandTimeoutMs;
        connect(pump, &QTimer::timeout, pump, [this, pump, piece, start, target, clock, lastMs, queued = qint64(0)]() mutable {
            if (seen > target.skip + 1 || clock.hasExpired(lastMs) || !sim->isOpen()) {
                pump->stop();
                return;
            }
            if (queued - (sim->bytesSent() - start) < 4 * piece.size()) {
                sim->sendRaw(piece);
                queued += piece.size();
            }
        });
        // 6.4 MB/s, hundreds of times what the receiver's line can carry.
        pump->start(10);
    }

    void click(QAbstractButton* button)
    {
        QVERIFY(button->isEnabled());
        // Queued, so that the application object reports what the slot throws, as for a user's click.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    }

    bool markerShown() const
    {
        const QAbstractItemModel* model = ui->tableWidgetRx->model();
        return !model->match(model->index(0, Vantrel::Ui::RXCOLUMN_ID), Qt::DisplayRole, "7E57AB1", 1, Qt::MatchExactly)
                    .isEmpty();
    }

    void prepareFiles(Operation_t op)
    {
        // Two favourites, every column of the file; a data length of 1 and a period of 60 s.
        QStringList csv = QStringList{"5", "1", "2", "1A2B3C4", "Mast", "0", ""} + QStringList(33, "0");
        csv[29] = "0x0";
        csv[33] = "1";
        csv[34] = "60";
        const QMap<int, QString> contents = {
            {IMPORT, csv.join(',') + '\n' + csv.join(',').replace(QRegularExpression("^5,"), "6,") + '\n'},
            {FIRMWARE, "TALVEN GONIO_V2 FIRMWARE VERSION : 9.1\r:10000000AA\r:10001000BB\r:10002000CC\r:00000001FF\r"},
            {SCRIPT, "$GSN\n$LIG\n$GSN\n"},
            {SAVE_SCRIPT, "previous\n"}};
        QVERIFY(TestSupport::writeFile(chosenFile, contents.value(op)));
        dumpDir().removeRecursively();
    }

private Q_SLOTS:
    void initTestCase()
    {
        startWindow();
        answer = [](const Dialogs::Request_t& request) { return request.title == "RX table contains data" ? 1 : 0; };
        // Once, so that what a first connection loads for good is not counted as growth.
        connectTo(DeviceState::PROFILE_DFR_V2_APP);
    }

    void cleanup()
    {
        Vantrel::Utils::Settings::instance()->dfrCommandTimeoutMs = 2000;
        if (sim && connected())
            window->slotDfrDisconnected(port, "next receiver");
        sim.reset();
        window->slotClearRxTable();
        // The next row must find its own messages, not this row's.
        ui->tableWidgetLogger->setRowCount(0);
        window->findChild<QToolButton*>("statusBarDismiss")->click();
    }

    void fault_data()
    {
        QTest::addColumn<Operation_t>("op");
        QTest::addColumn<Fault_t>("fault");
        QTest::addColumn<bool>("released");
        QTest::addColumn<QStringList>("logged");  // "TYPE text", in the log and on the console
        QTest::addColumn<QString>("shown");       // the status bar's message; "||" between choices

        const QString interrupted = "Link Error: Request interrupted";
        const QStringList unplugged = {"INFO Disconnection of %1 (DFR disconnected).", "CRITICAL " + interrupted};
        const QStringList frozen = {"CRITICAL Error on %1 (Uart link timeout). Please restart connection.",
                                    "CRITICAL Link Error: Uart link timeout"};
        const QString dropped = "WARNING Line of more than 65536 bytes without end dropped";
        const QMap<int, QString> names = {{CONNECT, "connection"}, {SETUP, "setup write"}, {FORMATS, "GPS formats reload"},
                                          {PLATFORMS, "platforms reload"}, {IMPORT, "platform import"},
                                          {FIRMWARE, "firmware upload"}, {SCRIPT, "script execution"},
                                          {SAVE_SCRIPT, "script save"}};
        // Link texts are the link tests' business: one operation per fault here, and every
        // fault for the operations that recover in their own way (import, firmware, scripts).
        const QList<Fault_t> every = {UNPLUG, FROZEN, FLOOD, WRONG_MNEMONIC, ERROR_REPLY};
        const QMap<int, QList<Fault_t>> faultsOf = {
            {CONNECT, {FROZEN}}, {SETUP, {UNPLUG}}, {FORMATS, {FLOOD}}, {PLATFORMS, {WRONG_MNEMONIC}},
            {IMPORT, every},     {FIRMWARE, every}, {SCRIPT, {UNPLUG, FROZEN, WRONG_MNEMONIC}}, {SAVE_SCRIPT, {ERROR_REPLY}}};
        const QMap<int, QString> faultNames = {{UNPLUG, "unplugged"}, {FROZEN, "frozen"}, {FLOOD, "flood"},
                                               {WRONG_MNEMONIC, "wrong mnemonic"}, {ERROR_REPLY, "error reply"}};
        for (auto it = faultsOf.cbegin(); it != faultsOf.cend(); ++it) {
            const auto op = Operation_t(it.key());
            const QString mnemonic = targets[op].mnemonic;
            const QString wrong = "Error in reply: Unrelated message: \"$TEST,…\"";
            // Bootloader commands take "ACK" as their own reply; its value says no.
            const QString refused = op == FIRMWARE ? "Error in reply: refused by the receiver (WRDA,0)"
                                                   : QString("Error in reply: Invalid command: \"$ACK,%1,0*…\"").arg(mnemonic);
            // A script says in words which of its commands failed, and how.
            const auto said = [op](const QString& text, const QString& words) {
                return op != SCRIPT ? text
                                    : words.arg("command 2 of 3 ($LIG)")
                        + " The script stopped there; 1 command(s) before it were sent.";
            };
            const QString timeout = said("Link Error: Uart link timeout", "The receiver did not answer %1 in time.");
            const QMap<int, QPair<QStringList, QString>> told = {  // logged, and shown in the status bar
                {UNPLUG, {unplugged, said(interrupted, "The link to the receiver failed while waiting for the answer to %1.")}},
                {FROZEN, {frozen, timeout}},
                {FLOOD, {QStringList{dropped} + frozen, timeout}},
                {WRONG_MNEMONIC, {{"CRITICAL " + wrong}, said(wrong, "The receiver answered %1 with an unrelated message.")}},
                {ERROR_REPLY, {{"CRITICAL " + refused}, said(refused, "The receiver refused %1.")}}};
            for (Fault_t fault : it.value())
                QTest::addRow("%s, %s", qPrintable(names[op]), qPrintable(faultNames[fault]))
                    << op << fault << (fault <= FLOOD) << told[fault].first << told[fault].second;
        }

        // A flash read asks a spoilt or lost chunk again, up to three times.
        const QString again = "WARNING Flash data at 81920 (16384 bytes): …; asking again (attempt 2 of 3)";
        const QString badPacket = "Bad checksum in RFP binary data: … vs ….";
        const QString kept = "WARNING Flash memory read failed: the 16384 bytes read before are kept.";
        // What a cut read kept is said in the user's words, last; a whole read is a success.
        const QString keptShown = "Flash memory read failed; what was read before is kept: … messages in the table"
                                  "; dump saved to …_partial.bin.";
        const QString whole = "Flash memory read: … messages in the table; dump saved to ….bin.";
        QTest::newRow("flash read, unplugged") << FLASH << UNPLUG << true << (unplugged + QStringList{kept}) << keptShown;
        QTest::newRow("flash read, frozen") << FLASH << FROZEN << true << (QStringList{again, kept} + frozen) << keptShown;
        // Noise still on its way when the chunk is asked again is reported as it is skipped.
        QTest::newRow("flash read, flood")
            << FLASH << FLOOD << false << QStringList{again}
            << whole + "||RFP binary data: … bytes without a packet header dropped";
        QTest::newRow("flash read, corrupted packet") << FLASH << CORRUPT << false << QStringList{again} << whole;
        QTest::newRow("flash read, cut packet") << FLASH << CUT << false << QStringList{again} << whole;
        QTest::newRow("flash read, error reply") << FLASH << ERROR_REPLY << false << QStringList{again} << whole;
        QTest::newRow("flash read, corrupted every time")
            << FLASH << CORRUPT_ALWAYS << true
            << QStringList{again, kept, "CRITICAL Error on %1 (" + badPacket + "). Please restart connection.",
                           "CRITICAL Link Error: " + badPacket}
            << keptShown;
        // The first generation reads one area per favourite, as text lines, without asking again.
        const QString badLine = "Bad checksum in DFR reply \"$RFP,1,…\": … vs ….";
        const QString keptV1 = "Flash memory read failed; what was read before is kept: … messages in the table"
                               "; dump saved to …_platform_0_1A2B3C4.bin.";
        QTest::newRow("first generation flash read, corrupted line")
            << FLASH_V1 << CORRUPT << true
            << QStringList{"CRITICAL Error on %1 (" + badLine + "). Please restart connection.", "CRITICAL Link Error: " + badLine}
            << keptV1;
        QTest::newRow("first generation flash read, frozen") << FLASH_V1 << FROZEN << true << frozen << keptV1;
    }

    void fault()
    {
        QFETCH(Operation_t, op);
        QFETCH(Fault_t, fault);
        QFETCH(bool, released);
        QFETCH(QStringList, logged);
        QFETCH(QString, shown);
        const Target_t target = targets[op];
        // Long enough for the port scan to notice an unplugged receiver before the reply is missed.
        Vantrel::Utils::Settings::instance()->dfrCommandTimeoutMs = fault == UNPLUG ? 8000 : 2000;
        prepareFiles(op);
        const auto prepare = [op](DeviceState& state) {
            DeviceState::Platform_t platform;
            for (const char* id : {"1A2B3C4", "5D6E7F8"}) {
                platform.id = id;
                state.setPlatform(int(id[0] == '5'), platform);
            }
            if (op == FLASH || op == FLASH_V1)
                Vantrel::Sim::DemoContent::fillFlash(state, op == FLASH ? 900 : 40);
        };
        // A row the user already has, which no fault may take away.
        Vantrel::Com::DfrLink::OrvanRxMessage_t marker;
        marker.platformId = "7E57AB1";
        window->slotOrvanMessageReceived(marker, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        if (op == CONNECT) {
            sim = std::make_unique<DfrSimulator>(target.profile);
            sim->setBeaconPeriod(0);
            prepare(sim->state());
            QVERIFY(sim->start());
            DeviceTest::offerPorts({sim.get()});
            QVERIFY(QTest::qWaitFor([&] { return DeviceTest::portAction(ui, DeviceTest::portOf(sim->deviceName())); },
                                    DeviceTest::scanWaitMs));
        } else {
            connectTo(target.profile, prepare);
            ui->checkBoxFlashDumpToFile->setChecked(true);
        }
        port = DeviceTest::portOf(sim->deviceName());
        arm(fault, target);
        for (const QString& entry : logged) {
            const QString type = entry.section(' ', 0, 0);
            const QtMsgType level = type == "INFO" ? QtInfoMsg : type == "WARNING" ? QtWarningMsg : QtCriticalMsg;
            QTest::ignoreMessage(level, pattern(entry.section(' ', 1), port));
        }
        const qint64 rssBefore = residentBytes();

        const QMap<int, QAbstractButton*> buttons = {
            {SETUP, ui->checkBoxSetupSoftwareAudio},        {FORMATS, ui->pushButtonGpsFormatsReload},
            {PLATFORMS, ui->pushButtonPlatformsUpdate},     {IMPORT, ui->pushButtonPlatformsImport},
            {FLASH, ui->pushButtonRxFlashRead},             {FLASH_V1, ui->pushButtonRxFlashRead},
            {FIRMWARE, ui->pushButtonFirmwareUpdate},       {SCRIPT, ui->pushButtonTerminalScript},
            {SAVE_SCRIPT, ui->pushButtonTerminalSaveScript}};
        if (op == CONNECT)
            QMetaObject::invokeMethod(DeviceTest::portAction(ui, port), &QAction::trigger, Qt::QueuedConnection);
        else
            click(buttons[op]);

        // Told: every expected row in the log, the last one in the status bar.
        for (const QString& entry : logged)
            QTRY_VERIFY2_WITH_TIMEOUT(!logRows(true).filter(pattern(entry, port)).isEmpty(), qPrintable(entry), 20000);
        const auto toldInBar = [&] {
            const QStringList texts = shown.split("||");
            return std::any_of(texts.cbegin(), texts.cend(), [&](const QString& text) {
                return pattern("… UTC  " + text, port).match(statusText()).hasMatch();
            });
        };
        QTRY_VERIFY2_WITH_TIMEOUT(toldInBar(), qPrintable(statusText()), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(!connected(), released, 5000);
        const qint64 growth = residentBytes() - rssBefore;
        QVERIFY2(!residentSizeMeaningful || growth < rssGrowthLimit, qPrintable(QString("resident memory grew by %1 bytes").arg(growth)));

        // Nothing read before the fault is lost, and no file is left half-written.
        QVERIFY(markerShown());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"chosen"});
        if (op == SAVE_SCRIPT)
            QCOMPARE(TestSupport::readFile(chosenFile), QString("previous\n"));
        const QStringList dumps = dumpDir().entryList({"*.bin"}, QDir::Files | QDir::Hidden);
        for (const QString& name : dumps) {
            QFile file(dumpDir().filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QRegularExpressionMatch area = QRegularExpression("_platform_(\\d+)_").match(name);
            const QByteArray expected =
                area.hasMatch() ? sim->state().flashAreas.value(area.captured(1).toInt()) : sim->state().flashImage;
            const QByteArray content = file.readAll();
            QVERIFY2(name.endsWith("_partial.bin") ? !content.isEmpty() && expected.startsWith(content)
                                                   : content == expected,
                     qPrintable(name));
        }
        if (op == FLASH || op == FLASH_V1) {
            // One dump of the second generation's memory, partial after a lost link; one per
            // favourite area read by the first generation.
            QCOMPARE(dumps.size(), op == FLASH_V1 && !released ? 2 : 1);
            QCOMPARE(dumps.first().endsWith("_partial.bin"), op == FLASH && released);
            QVERIFY(ui->tableWidgetRx->model()->rowCount() > 1);
        }

        if (released)
            return;
        // The link is still usable: a refresh goes through without a new error.
        sim->clearFaults();
        sim->clearReceivedFrames();
        const QString told = statusText();
        click(ui->pushButtonStatusRefresh);
        QTRY_COMPARE_WITH_TIMEOUT(sim->receivedCount("TEST"), 1, 5000);
        QCOMPARE(statusText(), told);  // nothing new went wrong
        QVERIFY(connected());
    }
};

VANTREL_WINDOW_TEST_MAIN(TestFaultInjection)

#include "tst_faultinjection.moc"
