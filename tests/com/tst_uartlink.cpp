// The UART link in its worker thread on a pseudo-terminal: keep-alive, refusals, timeouts, the request frames,
// and how received lines and binary flash packets are checked and classified.
#include <QtTest>

#include "com/CrossThread.h"
#include "com/UartLink.h"
#include "tests/common/TestMain.h"
#include "tests/common/DeviceTestSupport.h"

using DeviceTest::frame;
using DeviceTest::PtyPeer;
using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;
using Vantrel::Utils::Settings;

namespace {

const QString refused = QStringLiteral("refused:UartLink is not available");
const QByteArray keepAliveLine = QByteArrayLiteral("$TEST*3C");

// Asks the link as its user does: a signal queued to the slot, the hand-over told to ThreadSanitizer first.
class Requester : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void request(DfrLink::DfrCmd_t cmd, const QStringList& params, DfrLink::DfrVersion_t version);
};

// A link moved to a worker thread of its own, reached through queued calls only, as DfrLink does it;
// everything it reports is recorded in the order it reaches the test's thread.
struct Connection
{
    explicit Connection(const QString& port, bool open = true) : link(new UartLink(QSerialPortInfo(port), port))
    {
        link->moveToThread(&worker);
        Vantrel::Com::crossThread(&requester, &Requester::request, link, &UartLink::slotSendRequest);
        QObject::connect(link, &UartLink::sigReplyReceived, &context, [this](const QStringList& values, bool isError) {
            events << (isError ? "replyError:" + values.value(0) : "reply:" + values.join('|'));
        });
        QObject::connect(link, &UartLink::sigBinaryRfpDataReceived, &context, [this](const QByteArray& data, bool) {
            events << "rfp:" + QString::fromLatin1(data.toHex());
        });
        QObject::connect(link, &UartLink::sigRxReceived, &context,
                         [this](DfrLink::DfrMessageType_t type, const QStringList& values) {
                             events << QString(type == DfrLink::DFRMSG_NPR ? "npr:" : "nprf:") + values.join('|');
                         });
        QObject::connect(link, &UartLink::sigErrorOccured, &context,
                         [this](const QString& message) { events << "error:" + message; });
        QObject::connect(link, &UartLink::sigRequestRefused, &context,
                         [this](const QString& message) { events << "refused:" + message; });
        QObject::connect(link, &UartLink::sigStatusChanged, &context, [this] { ++statusChanges; });
        worker.start();
        if (open)
            run(&UartLink::slotOpenConnection);
    }
    ~Connection()
    {
        // Qt's blocking hand-over is invisible to ThreadSanitizer: the driver goes after the link.
        QMetaObject::invokeMethod(link, [this] {
            delete link;
            Vantrel::Com::CrossThreadDetail::release();
        }, Qt::BlockingQueuedConnection);
        Vantrel::Com::CrossThreadDetail::acquire();
        worker.quit();
        worker.wait();
    }
    void run(void (UartLink::*slot)()) { QMetaObject::invokeMethod(link, slot, Qt::QueuedConnection); }
    void send(DfrLink::DfrCmd_t cmd, const QStringList& params = {}, DfrLink::DfrVersion_t version = DfrLink::DFR_V2)
    {
        emit requester.request(cmd, params, version);
    }
    // Returns once everything the link was asked before, and all it emitted meanwhile, has been handled.
    bool settle()
    {
        bool done = false;
        QMetaObject::invokeMethod(link, [this, &done] {
            QMetaObject::invokeMethod(&context, [&done] { done = true; }, Qt::QueuedConnection);
        }, Qt::QueuedConnection);
        return QTest::qWaitFor([&done] { return done; }, 5000);
    }
    // Chunks are best effort: the kernel passes written bytes on a moment later,
    // so two chunks may still reach the link as one. No outcome here depends on it.
    void deliver(const PtyPeer& peer, const QByteArray& chunk)
    {
        peer.write(chunk);
        static_cast<void>(QTest::qWaitFor(
            [&] { return settle() && peer.unread() == 0 && settle() && peer.unread() == 0; }, 5000));
    }

    QThread worker;
    UartLink* link;
    QObject context;
    Requester requester;
    QStringList events;
    int statusChanges = 0;
};

// Time passes with the event loop running: only for checking that something does not happen.
void idle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(clock.hasExpired(ms), ms + 5000);
}

QByteArray packet(const QByteArray& fields, const QByteArray& payload, bool corrupt = false, bool lowerCase = false)
{
    const QByteArray covered = "RFP," + fields + ',' + payload + '*';
    const QByteArray digits = DeviceTest::checksum(corrupt ? covered + '\x01' : covered);
    return '$' + covered + (lowerCase ? digits.toLower() : digits) + "\r\n";
}

QByteArray countPacket(quint32 count)
{
    return packet("0,0", QByteArray::fromHex(QByteArray::number(count, 16).rightJustified(8, '0')));
}

// A connection on a raw peer whose opening keep-alive is answered, the peer's record then emptied.
std::unique_ptr<Connection> connectToPeer(PtyPeer& peer)
{
    peer.answers.insert(keepAliveLine, keepAliveLine + "\r\n");
    auto connection = std::make_unique<Connection>(peer.name);
    if (!QTest::qWaitFor([&] { return connection->link->status() == UartLink::UART_READY; }, 5000))
        qWarning("link not ready");
    peer.answers.clear();
    peer.lines.clear();
    return connection;
}

} // namespace

class TstUartLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { DeviceTest::quietLink(1000, 1000); }

    // While idle one keep-alive per period, each an exchange: to waiting and back to ready.
    void keepAlive()
    {
        Settings::instance()->keepAlivePeriodMs = 150;
        PtyPeer peer;
        peer.answers.insert(keepAliveLine, keepAliveLine + "\r\n");
        Connection connection(peer.name);
        idle(900);
        const int written = int(peer.lines.size());
        QCOMPARE(peer.count(keepAliveLine), written);
        QVERIFY2(written >= 3 && written <= 8, qPrintable(QString::number(written)));
        QTRY_COMPARE_WITH_TIMEOUT(connection.statusChanges, 1 + 2 * int(peer.lines.size()), 5000);
        QCOMPARE(connection.events, QStringList());
    }

    // Request scenarios on a raw peer, one step after the other:
    // "send X" asks the link for X, "sent X" waits for X on the line, "reply X" answers with the frame of X,
    // "events n" waits for the n-th event, "close" closes and waits for the link to be back at its start,
    // "idle ms" lets time pass, "status S" checks the link's status, "lines n" how many lines the peer got,
    // "critical M" expects that message. The keep-alive on opening is answered at once, later, or never sent.
    void scenario_data()
    {
        QTest::addColumn<QString>("opening");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("lines");  // everything the peer received

        QTest::newRow("second request refused while one is pending")
            << "answered" << 1000 << QStringList{"send LIG", "sent LIG", "send GSN", "events 1", "reply LIG,1", "events 2"}
            << QStringList{refused, "reply:1"} << QStringList{"$TEST*3C", "$LIG*68"};
        QTest::newRow("request refused before opening")
            << "none" << 1000 << QStringList{"send LIG", "events 1", "status UART_INIT"} << QStringList{refused} << QStringList{};
        QTest::newRow("timeout, then a late reply that no request owns")
            << "answered" << 300 << QStringList{"send LIG", "events 1", "status UART_ERROR_TIMEOUT", "reply LIG,1", "events 2",
                                   "send GSN", "events 3"}
            << QStringList{"error:Uart link timeout", "replyError:Unknown DFR message type in \"$LIG,1*75\".", refused}
            << QStringList{"$TEST*3C", "$LIG*68"};
        QTest::newRow("closed while a request is pending: silence")
            << "answered" << 300 << QStringList{"send LIG", "sent LIG", "close", "idle 600"} << QStringList{}
            << QStringList{"$TEST*3C", "$LIG*68"};
        // A request crossing the keep-alive is held until it is answered (one request, not two), and shares its fate.
        QTest::newRow("request held behind the keep-alive, sent once it is answered")
            << "later" << 1000
            << QStringList{"sent TEST", "send GSN", "send LIG", "events 1", "idle 300", "lines 1", "reply TEST", "sent GSN",
                           "reply VSN,0042,1207", "events 2"}
            << QStringList{refused, "reply:0042|1207"} << QStringList{"$TEST*3C", "$GSN*70"};
        QTest::newRow("keep-alive timed out: the held request refused, the worker goes on")
            << "later" << 1000
            << QStringList{"critical UART link timeout on KeepAlive", "sent TEST", "send GSN", "send LIG", "events 3", "close"}
            << QStringList{refused, "error:Uart link timeout", refused} << QStringList{"$TEST*3C"};
        QTest::newRow("keep-alive answered wrongly: the held request refused, not sent")
            << "later" << 1000 << QStringList{"sent TEST", "send GSN", "reply GSN,1", "events 2", "idle 300"}
            << QStringList{"replyError:Unrelated message: \"$GSN,1*6D\"", refused} << QStringList{"$TEST*3C"};
    }

    void scenario()
    {
        QFETCH(QString, opening);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, events);
        QFETCH(QStringList, lines);
        Settings::instance()->dfrCommandTimeoutMs = timeoutMs;
        PtyPeer peer;
        if (opening == "answered")
            peer.answers.insert(keepAliveLine, keepAliveLine + "\r\n");
        Connection connection(peer.name, opening != "none");
        if (opening == "answered")
            QTRY_COMPARE_WITH_TIMEOUT(connection.link->status(), UartLink::UART_READY, 5000);
        peer.answers.clear();
        const QMetaEnum commands = QMetaEnum::fromType<DfrLink::DfrCmd_t>();
        const QMetaEnum statuses = QMetaEnum::fromType<UartLink::LinkStatus_t>();
        for (const QString& step : steps) {
            const QString verb = step.section(' ', 0, 0);
            const QByteArray arg = step.section(' ', 1).toLatin1();
            if (verb == "send")
                connection.send(DfrLink::DfrCmd_t(commands.keyToValue("CMD_" + arg)));
            else if (verb == "sent")
                QTRY_COMPARE_WITH_TIMEOUT(peer.count(DeviceTest::line(arg)), 1, 5000);
            else if (verb == "reply")
                peer.write(frame(arg + '*'));
            else if (verb == "events")
                QTRY_COMPARE_WITH_TIMEOUT(connection.events.size(), arg.toInt(), 5000);
            else if (verb == "idle")
                idle(arg.toInt());
            else if (verb == "lines")
                QCOMPARE(int(peer.lines.size()), arg.toInt());
            else if (verb == "critical")
                QTest::ignoreMessage(QtCriticalMsg, arg.constData());
            else if (verb == "status")
                QCOMPARE(connection.link->status(), UartLink::LinkStatus_t(statuses.keyToValue(arg)));
            if (verb == "close") {
                connection.run(&UartLink::slotCloseConnection);
                QTRY_COMPARE_WITH_TIMEOUT(connection.link->status(), UartLink::UART_INIT, 5000);
            }
        }
        QCOMPARE(connection.events, events);
        QCOMPARE(QString::fromLatin1(peer.lines.join('\n')), lines.join('\n'));
    }

    // Bytes received in the chunks given (each read by the link before the next is written) while a request
    // is pending (or none), and what the link makes of them. A beacon line "end" shows where handling stopped.
    void received_data()
    {
        QTest::addColumn<QString>("request");  // mnemonic and values; "RFP V1": the first generation's text flash read
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("warning");  // a pattern

        const auto row = [](const char* tag, const QString& request, const QList<QByteArray>& chunks,
                            const QStringList& expected, const QString& warning = QString()) {
            QTest::newRow(tag) << request << chunks << expected << warning;
        };
        const QByteArray end = frame("NPR,end*");
        const QByteArray ackX0 = frame("ACK,X,0*");
        const QString binary = "RFP,65536,256";

        row("values passed on as text, untrimmed", "LIG", {frame("LIG,1, 2 ,,x*")}, {"reply:1| 2 ||x"});
        row("request values beyond Latin-1", QString("IP,") + QChar(0xE9) + ',' + QChar(0x100), {frame("IP,1*")},
            {"reply:1"});
        row("ACK X,0 to SETUPSW is an invalid command", "SETUPSW", {ackX0 + end},
            {"replyError:Invalid command: \"$ACK,X,0*0B\"", "npr:end"});
        row("ACK X,0 to ATBL is its reply", "ATBL", {ackX0}, {"reply:X|0"});
        row("ACK X,1 to SETUPSW is unrelated", "SETUPSW", {frame("ACK,X,1*")},
            {"replyError:Unrelated message: \"$ACK,X,1*0A\""});
        row("ACK,TEST,0 to the keep-alive is swallowed", "KEEPALIVE_INTERNAL", {frame("ACK,TEST,0*") + end}, {"npr:end"});
        row("VSN answers GSN", "GSN", {frame("VSN,0042,1207*")}, {"reply:0042|1207"});
        row("GSN does not answer GSN", "GSN", {frame("GSN,1*")}, {"replyError:Unrelated message: \"$GSN,1*6D\""});
        row("lower-case checksum is no frame", "TEST", {"$TEST*3c\r\n"},
            {"replyError:Unable to decode DFR message \"$TEST*3c\"."});
        row("three-digit checksum compared on its low byte", "TEST", {"$TEST*13C\r\n"}, {"reply:"});
        row("bad checksum reports both sums", "LIG", {"$LIG,1*00\r\n" + end},
            {"error:Bad checksum in DFR reply \"$LIG,1*00\": 00 vs 75.", "npr:end"});
        row("NPR summed without its last two characters is kept", "", {"$NPR,A,BC*0D\r\n"}, {"npr:A|BC"},
            "^Bad checksum detected on NPR frame\\.$");
        row("NPR wrongly summed reports the shortened sum", "", {"$NPR,A,BC*01\r\n" + end},
            {"error:Bad checksum in DFR reply \"$NPR,A,BC*01\": 01 vs 0D.", "npr:end"});
        row("NPR during a request, then its reply", "LIG", {frame("NPR,7*") + frame("LIG,1*")}, {"npr:7", "reply:1"});
        row("CR LF alone: a warning, nothing else", "", {"\r\n" + end}, {"npr:end"}, "^Empty line$");
        row("NUL bytes inside a line ignored", "", {QByteArray("$NPR,\0A\0,B*", 12) + frame("NPR,A,B*").right(4) + end},
            {"npr:A|B", "npr:end"});
        row("line completed by a later chunk", "", {"$NPR,A", ",B*65\r", "\n" + end}, {"npr:A|B", "npr:end"});
        row("overlong line dropped up to its end, the next one read", "",
            {QByteArray(100000, 'A'), "AAAA*00\r\n" + end}, {"npr:end"},
            "^Line of more than 65536 bytes without end dropped$");

        row("RFP text gathered up to a zero count; its data is not kept", "RFP V1",
            {frame("RFP,0,1,2,ABCD*") + frame("RFP,0,2,0,FFFF*") + end}, {"rfp:abcd", "npr:end"});
        row("RFP line of fewer than three values keeps the read going", "RFP V1",
            {frame("RFP,0*") + frame("RFP,0,1,1,0a*") + frame("RFP,0,2,0*")}, {"rfp:0a"});
        // Binary packets: the reader must cope with any chunking and any payload byte.
        const QByteArray a(128, 'a');
        const QByteArray b = QByteArray("\x2C\x2A\x0D\x0A", 4).repeated(32);
        const QByteArray endPacket = packet("9,0", QByteArray());
        row("RFP count 1: empty data, then lines again", binary, {countPacket(1) + endPacket + end}, {"rfp:", "npr:end"});
        row("RFP count 3: two payloads, comma star CR LF untouched", binary,
            {countPacket(3) + packet("1,65536", a) + packet("2,65664", b) + endPacket},
            {"rfp:" + QString::fromLatin1((a + b).toHex())});
        row("RFP lower-case checksum", binary, {countPacket(2) + packet("1,0", b, false, true) + endPacket},
            {"rfp:" + QString::fromLatin1(b.toHex())});
        row("RFP corrupted data packet: one error, no data", binary,
            {countPacket(3) + packet("1,65536", a, true), packet("2,65664", b) + endPacket},
            {"error:Bad checksum in RFP binary data: 41 vs 40."});
        row("RFP noise before the packets skipped, a header cut by the chunk kept", binary,
            {QByteArray(1000, 'x') + countPacket(2).left(3), countPacket(2).mid(3) + packet("1,0", a) + endPacket},
            {"rfp:" + QString::fromLatin1(a.toHex())}, "^RFP binary data: 1000 bytes without a packet header dropped$");
        // Nothing is taken for a packet: the request still ends in its timeout.
        row("RFP garbage without a header dropped, bounded", binary, {QByteArray(100000, 'x')},
            {"error:Uart link timeout"}, "^RFP binary data: \\d+ bytes without a packet header dropped$");
    }

    void received()
    {
        QFETCH(QString, request);
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        PtyPeer peer;
        auto connection = connectToPeer(peer);
        if (!request.isEmpty()) {
            const QString text = request.section(' ', 0, 0);
            const QString mnemonic = text.section(',', 0, 0);
            const int cmd = QMetaEnum::fromType<DfrLink::DfrCmd_t>().keyToValue(qPrintable("CMD_" + mnemonic));
            const QStringList params = text.contains(',') ? text.section(',', 1).split(',') : QStringList();
            connection->send(DfrLink::DfrCmd_t(cmd), params, request.endsWith("V1") ? DfrLink::DFR_V1 : DfrLink::DFR_V2);
            // On the line: the keep-alive as TEST; characters beyond Latin-1 are no part of the sum, sent as "?".
            const QString sent = QString(text).replace("KEEPALIVE_INTERNAL", "TEST");
            const QString summed = QString(sent).remove(QRegularExpression("[^\\x00-\\xFF]"));
            const QByteArray sum = DeviceTest::checksum(summed.toLatin1() + '*');
            QTRY_COMPARE_WITH_TIMEOUT(peer.lines, QList<QByteArray>{'$' + sent.toLatin1() + '*' + sum}, 5000);
        }
        for (const QByteArray& chunk : chunks)
            connection->deliver(peer, chunk);
        QTRY_COMPARE_WITH_TIMEOUT(connection->events, expected, 5000);
        QVERIFY(connection->settle());
        QCOMPARE(connection->events, expected);
    }
};

VANTREL_TEST_MAIN(TstUartLink)

#include "tst_uartlink.moc"
