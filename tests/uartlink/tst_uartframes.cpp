// Frames of the UART link: building and summing requests, and how received lines are checked and classified.
#include <QtTest>

#include "UartLinkHarness.h"
#include "utils/Settings.h"

using namespace UartTest;
using Vantrel::Utils::Settings;

namespace {

constexpr int noRequest = -1;

// Log messages since the last look; QtTest's own handling (ignoreMessage) still applies.
QStringList logged;
QtMessageHandler testLibHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    logged << text;
    testLibHandler(type, context, text);
}

} // namespace

class tst_UartFrames : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<UartLink> link;
    std::unique_ptr<LinkEvents> events;

private Q_SLOTS:
    void initTestCase()
    {
        testLibHandler = qInstallMessageHandler(recordMessage);
        Settings* settings = Settings::instance();
        settings->keepAlivePeriodMs = 0;
        settings->keepAliveTimeoutMs = 5000;
        settings->dfrCommandTimeoutMs = 5000;
    }

    // A link on a fresh line whose opening keep-alive has been answered.
    void init()
    {
        Settings::instance()->printAtCmdDebugInfo = false;
        Settings::instance()->printUartDebugInfo = false;
        peer = std::make_unique<PtyPeer>();
        link = std::make_unique<UartLink>(QSerialPortInfo(peer->name), peer->name);
        events = std::make_unique<LinkEvents>();
        events->attach(link.get());
        peer->answers.insert("$TEST*3C", "$TEST*3C\r\n");
        link->slotOpenConnection();
        QTRY_COMPARE_WITH_TIMEOUT(link->status(), UartLink::UART_READY, 5000);
        peer->answers.clear();
        peer->clear();
    }

    void cleanup()
    {
        link.reset();
        events.reset();
        peer.reset();
    }

    void computeChecksum_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("checksum");
        QTest::newRow("empty text sums to 0") << QString() << 0;
        QTest::newRow("TEST* sums to 3C") << "TEST*" << 0x3C;
        QTest::newRow("Latin-1 character counts") << QString(QChar(0xFF)) << 0xFF;
        QTest::newRow("characters from U+0100 on count nothing") << QString("A") + QChar(0x100) + QChar(0x20AC) << 0x41;
    }

    void computeChecksum()
    {
        QFETCH(QString, text);
        QFETCH(int, checksum);
        QCOMPARE(UartLink::computeChecksum(text), checksum);
    }

    // The text of a request, and the bytes that go on the line for it.
    void createCommand_data()
    {
        QTest::addColumn<DfrLink::DfrCmd_t>("cmd");
        QTest::addColumn<QStringList>("params");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("mnemonic");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("keep-alive goes out as TEST")
            << DfrLink::CMD_KEEPALIVE_INTERNAL << QStringList() << "TEST*3C" << "TEST" << QByteArray("$TEST*3C\r\n");
        QTest::newRow("no parameters, no comma")
            << DfrLink::CMD_REBO << QStringList() << "REBO*30" << "REBO" << QByteArray("$REBO*30\r\n");
        QTest::newRow("parameters 1 and empty end in ,1,*")
            << DfrLink::CMD_SETUPSW << QStringList{"1", ""} << "SETUPSW,1,*58" << "SETUPSW"
            << QByteArray("$SETUPSW,1,*58\r\n");
        QTest::newRow("GSN sent under its own name")
            << DfrLink::CMD_GSN << QStringList() << "GSN*70" << "GSN" << QByteArray("$GSN*70\r\n");
        QTest::newRow("beyond Latin-1: no part of the sum, sent as ?")
            << DfrLink::CMD_IP << QStringList{QString(QChar(0xE9)), QString(QChar(0x100))}
            << QString("IP,") + QChar(0xE9) + "," + QChar(0x100) + "*DA" << "IP" << QByteArray("$IP,\xE9,?*DA\r\n");
    }

    void createCommand()
    {
        QFETCH(DfrLink::DfrCmd_t, cmd);
        QFETCH(QStringList, params);
        QFETCH(QString, text);
        QFETCH(QString, mnemonic);
        QFETCH(QByteArray, wire);

        QString name;
        QCOMPARE(UartLink::createCommand(cmd, params, &name), text);
        QCOMPARE(name, mnemonic);
        QCOMPARE(UartLink::createCommand(cmd, params, nullptr), text);

        link->slotSendRequest(cmd, params, DfrLink::DFR_V2);
        QTRY_COMPARE_WITH_TIMEOUT(peer->received, wire, 5000);
    }

    // Lines received while a request is pending (or none), and what the link makes of them.
    // Each line group is followed by a beacon line "end" that shows where handling stopped.
    void replies_data()
    {
        QTest::addColumn<int>("pending");
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("warning");

        const auto row = [](const char* tag, int pending, const QByteArray& lines, const QStringList& expected,
                            const QString& warning = QString()) {
            QTest::newRow(tag) << pending << lines << expected << warning;
        };
        const QByteArray ackX0 = frame("ACK,X,0*");
        const QByteArray ackX1 = frame("ACK,X,1*");

        row("values passed on as text, untrimmed", DfrLink::CMD_LIG, frame("LIG,1, 2 ,,x*"), {"reply:1| 2 ||x"});
        row("reply without values", DfrLink::CMD_DFP, frame("DFP*"), {"reply:"});
        row("ACK X,0 to SETUPSW is an invalid command", DfrLink::CMD_SETUPSW, ackX0,
            {"replyError:Invalid command: \"$ACK,X,0*0B\""});
        row("ACK X,0 to ATBL is its reply", DfrLink::CMD_ATBL, ackX0, {"reply:X|0"});
        row("ACK X,1 to SETUPSW is unrelated", DfrLink::CMD_SETUPSW, ackX1,
            {"replyError:Unrelated message: \"$ACK,X,1*0A\""});
        row("ACK with a second value that is no number is invalid", DfrLink::CMD_SETUPSW, frame("ACK,X,1x*"),
            {"replyError:Invalid command: \"$ACK,X,1x*72\""});
        row("ACK,TEST,0 to the keep-alive is swallowed", DfrLink::CMD_KEEPALIVE_INTERNAL, frame("ACK,TEST,0*"), {});
        row("TEST to the keep-alive is swallowed", DfrLink::CMD_KEEPALIVE_INTERNAL, frame("TEST,DFR,V1*"), {});
        row("VSN answers GSN", DfrLink::CMD_GSN, frame("VSN,0042,1207*"), {"reply:0042|1207"});
        row("GSN does not answer GSN", DfrLink::CMD_GSN, frame("GSN,1*"),
            {"replyError:Unrelated message: \"" + frame("GSN,1*").trimmed() + "\""});
        row("RFG answers GFG", DfrLink::CMD_GFG, frame("RFG,3,NONE*"), {"reply:3|NONE"});
        row("lower-case checksum is no frame", DfrLink::CMD_TEST, "$TEST*3c\r\n",
            {"replyError:Unable to decode DFR message \"$TEST*3c\"."});
        row("star inside the values is no frame", DfrLink::CMD_LIG, "$LIG,a*b*00\r\n",
            {"replyError:Unable to decode DFR message \"$LIG,a*b*00\"."});
        row("comma right before the star is no frame", DfrLink::CMD_LIG, "$LIG,*45\r\n",
            {"replyError:Unable to decode DFR message \"$LIG,*45\"."});
        row("three-digit checksum compared on its low byte", DfrLink::CMD_TEST, "$TEST*13C\r\n", {"reply:"});
        row("checksum beyond 32 bits reads as 0", noRequest, "$P0J*1000000FF\r\n",
            {"replyError:Unknown DFR message type in \"$P0J*1000000FF\"."});
        row("bad checksum reports both sums", DfrLink::CMD_LIG, "$LIG,1*00\r\n",
            {"error:Bad checksum in DFR reply \"$LIG,1*00\": 00 vs 75."});
        row("NPR summed without its last two characters is kept", noRequest, "$NPR,A,BC*0D\r\n", {"npr:A|BC"},
            "Bad checksum detected on NPR frame.");
        row("NPRF summed without its last two characters is kept", noRequest, "$NPRF,A,BC*4B\r\n", {"nprf:A|BC"},
            "Bad checksum detected on NPRF frame.");
        row("NPR wrongly summed reports the shortened sum", noRequest, "$NPR,A,BC*01\r\n",
            {"error:Bad checksum in DFR reply \"$NPR,A,BC*01\": 01 vs 0D."});
        row("NPR during a request, then its reply", DfrLink::CMD_LIG, frame("NPR,7*") + frame("LIG,1*"),
            {"npr:7", "reply:1"});
        row("line of another mnemonic outside a request", noRequest, frame("LIG,1*"),
            {"replyError:Unknown DFR message type in \"$LIG,1*75\"."});
        row("RFP text gathered up to a zero count; its data is not kept", DfrLink::CMD_RFP,
            frame("RFP,0,1,2,ABCD*") + frame("RFP,0,2,0,FFFF*"), {"rfp:abcd"});
        row("RFP line of fewer than three values keeps the read going", DfrLink::CMD_RFP,
            frame("RFP,0*") + frame("RFP,0,1,1,0a*") + frame("RFP,0,2,0*"), {"rfp:0a"});
        row("RFP data skips what is not a hex digit", DfrLink::CMD_RFP,
            frame("RFP,0,1,2,A-B C.D*") + frame("RFP,0,2,0*"), {"rfp:abcd"});
        row("RFP count that is no number ends the read", DfrLink::CMD_RFP,
            frame("RFP,0,1,2,ABCD*") + frame("RFP,0,2,x,EEEE*"), {"rfp:abcd"});
    }

    void replies()
    {
        QFETCH(int, pending);
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, expected);
        QFETCH(QString, warning);

        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        if (pending != noRequest) {
            link->slotSendRequest(DfrLink::DfrCmd_t(pending), {}, DfrLink::DFR_V1);
            QTRY_COMPARE_WITH_TIMEOUT(peer->lines().size(), 1, 5000);
        }
        peer->write(lines + frame("NPR,end*"));
        expected << "npr:end";
        QTRY_COMPARE_WITH_TIMEOUT(events->events, expected, 5000);
    }

    // Traffic traces follow the two debug settings, read at each use; the keep-alive is never traced.
    void traces_data()
    {
        QTest::addColumn<bool>("printAtCmd");
        QTest::addColumn<bool>("printUart");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("both off") << false << false << QStringList();
        QTest::newRow("command traffic")
            << true << false << QStringList{"Send $LIG*68", "Receive $LIG,1*75", "Send ABC"};
        QTest::newRow("state changes") << false << true
                                       << QStringList{"From UART_READY to UART_WAITING_REPLY",
                                                      "From UART_WAITING_REPLY to UART_READY",
                                                      "From UART_READY to UART_WAITING_REPLY",
                                                      "From UART_WAITING_REPLY to UART_READY"};
    }

    void traces()
    {
        QFETCH(bool, printAtCmd);
        QFETCH(bool, printUart);
        QFETCH(QStringList, expected);
        Settings::instance()->printAtCmdDebugInfo = printAtCmd;
        Settings::instance()->printUartDebugInfo = printUart;
        peer->answers.insert("$TEST*3C", "$TEST*3C\r\n");
        peer->answers.insert("$LIG*68", frame("LIG,1*"));
        logged.clear();

        link->slotSendRequest(DfrLink::CMD_KEEPALIVE_INTERNAL, {}, DfrLink::DFR_V2);
        QTRY_COMPARE_WITH_TIMEOUT(link->status(), UartLink::UART_READY, 5000);
        link->slotSendRequest(DfrLink::CMD_LIG, {}, DfrLink::DFR_V2);
        QTRY_COMPARE_WITH_TIMEOUT(events->events, QStringList{"reply:1"}, 5000);
        link->slotSendManualDfrCmd("ABC");
        QTRY_COMPARE_WITH_TIMEOUT(peer->lines().value(2), QByteArray("ABC"), 5000);

        const QStringList traces = logged.filter(QRegularExpression("^(Send|Receive|From) "));
        QCOMPARE(traces, expected);
    }
};

QTEST_GUILESS_MAIN(tst_UartFrames)
#include "tst_uartframes.moc"
