// Frames of the UART link: building requests, and how received lines are checked and classified.
#include <QtTest>

#include "UartLinkHarness.h"

using namespace UartTest;

namespace {

constexpr int noRequest = -1;

} // namespace

class TstUartFrames : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<UartLink> link;
    std::unique_ptr<LinkEvents> events;

private Q_SLOTS:
    // A link on a fresh line whose opening keep-alive has been answered.
    void init()
    {
        DeviceTest::quietLink(5000);
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
        row("ACK X,0 to SETUPSW is an invalid command", DfrLink::CMD_SETUPSW, ackX0,
            {"replyError:Invalid command: \"$ACK,X,0*0B\""});
        row("ACK X,0 to ATBL is its reply", DfrLink::CMD_ATBL, ackX0, {"reply:X|0"});
        row("ACK X,1 to SETUPSW is unrelated", DfrLink::CMD_SETUPSW, ackX1,
            {"replyError:Unrelated message: \"$ACK,X,1*0A\""});
        row("ACK,TEST,0 to the keep-alive is swallowed", DfrLink::CMD_KEEPALIVE_INTERNAL, frame("ACK,TEST,0*"), {});
        row("VSN answers GSN", DfrLink::CMD_GSN, frame("VSN,0042,1207*"), {"reply:0042|1207"});
        row("GSN does not answer GSN", DfrLink::CMD_GSN, frame("GSN,1*"),
            {"replyError:Unrelated message: \"" + frame("GSN,1*").trimmed() + "\""});
        row("lower-case checksum is no frame", DfrLink::CMD_TEST, "$TEST*3c\r\n",
            {"replyError:Unable to decode DFR message \"$TEST*3c\"."});
        row("star inside the values is no frame", DfrLink::CMD_LIG, "$LIG,a*b*00\r\n",
            {"replyError:Unable to decode DFR message \"$LIG,a*b*00\"."});
        row("comma right before the star is no frame", DfrLink::CMD_LIG, "$LIG,*45\r\n",
            {"replyError:Unable to decode DFR message \"$LIG,*45\"."});
        row("three-digit checksum compared on its low byte", DfrLink::CMD_TEST, "$TEST*13C\r\n", {"reply:"});
        row("bad checksum reports both sums", DfrLink::CMD_LIG, "$LIG,1*00\r\n",
            {"error:Bad checksum in DFR reply \"$LIG,1*00\": 00 vs 75."});
        row("NPR summed without its last two characters is kept", noRequest, "$NPR,A,BC*0D\r\n", {"npr:A|BC"},
            "Bad checksum detected on NPR frame.");
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
};

QTEST_GUILESS_MAIN(TstUartFrames)
#include "tst_uartframes.moc"
