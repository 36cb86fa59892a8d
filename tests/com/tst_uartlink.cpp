// The UART link in its worker thread on a pseudo-terminal: keep-alive, refusals, timeouts, line reading, binary flash stream.
#include <QtTest>

#include <QElapsedTimer>
#include <QThread>

#include "UartLinkHarness.h"
#include "com/ThreadHandoff.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "utils/Settings.h"

using namespace UartTest;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Utils::Settings;

namespace {

const QString refused = QStringLiteral("refused:UartLink is not available");

// Stands where DfrLink stands: talks to the link through queued signals only.
class Driver : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void sigOpenConnection();
    void sigSetLiveRxEnabled(bool enabled);
    void sigSendRequest(Vantrel::Com::DfrLink::DfrCmd_t cmd, const QStringList& params,
                        Vantrel::Com::DfrLink::DfrVersion_t version);
    void sigCloseConnection();
};

// A link moved to a worker thread of its own and opened, as DfrLink does it.
struct Connection
{
    explicit Connection(const QString& port, bool open = true) : link(new UartLink(QSerialPortInfo(port), port))
    {
        link->moveToThread(&worker);
        events.attach(link);
        QObject::connect(&driver, &Driver::sigOpenConnection, link, &UartLink::slotOpenConnection);
        QObject::connect(&driver, &Driver::sigSetLiveRxEnabled, link, &UartLink::slotSetLiveRxEnabled);
        QObject::connect(&driver, &Driver::sigSendRequest, link, &UartLink::slotSendRequest);
        QObject::connect(&driver, &Driver::sigCloseConnection, link, &UartLink::slotCloseConnection);
        worker.start();
        if (open)
            emit driver.sigOpenConnection();
    }
    ~Connection()
    {
        // Qt's blocking hand-over is invisible to ThreadSanitizer: the driver goes after the link.
        QMetaObject::invokeMethod(link, [this] {
            delete link;
            Vantrel::Com::ThreadHandoff::release();
        }, Qt::BlockingQueuedConnection);
        Vantrel::Com::ThreadHandoff::acquire();
        worker.quit();
        worker.wait();
    }
    void send(DfrLink::DfrCmd_t cmd, DfrLink::DfrVersion_t version = DfrLink::DFR_V2)
    {
        emit driver.sigSendRequest(cmd, {}, version);
    }
    // Returns once everything the link was asked before, and all it emitted meanwhile, has been handled.
    bool settle()
    {
        bool done = false;
        QMetaObject::invokeMethod(link, [this, &done] {
            QMetaObject::invokeMethod(&events.context, [&done] { done = true; }, Qt::QueuedConnection);
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
    LinkEvents events;
    Driver driver;
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
    const QByteArray header = "RFP," + fields + ',';
    QByteArray digits = DeviceTest::checksum(header + payload + '*');
    if (corrupt)
        digits = DeviceTest::checksum(header + payload + '*' + '\x01');
    return '$' + header + payload + '*' + (lowerCase ? digits.toLower() : digits) + "\r\n";
}

QByteArray countPacket(quint32 count)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(count, bytes.data());
    return packet("0,0", bytes);
}

const QByteArray endPacket = packet("9,0", QByteArray());

} // namespace

class TstUartLink : public QObject
{
    Q_OBJECT

    Settings* settings = nullptr;

    // A connection on a raw peer whose opening keep-alive is answered.
    std::unique_ptr<Connection> connectToPeer(PtyPeer& peer)
    {
        peer.answers.insert("$TEST*3C", "$TEST*3C\r\n");
        auto connection = std::make_unique<Connection>(peer.name);
        if (!QTest::qWaitFor([&] { return connection->link->status() == UartLink::UART_READY; }, 5000))
            qWarning("link not ready");
        peer.answers.clear();
        return connection;
    }

private Q_SLOTS:
    void initTestCase() { settings = Settings::instance(); }

    void init() { DeviceTest::quietLink(1000, 1000); }

    void keepAlive_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<int>("atLeast");
        QTest::addColumn<int>("atMost");
        QTest::newRow("period 0: only the one at opening") << 0 << 1 << 1;
        QTest::newRow("one per period while idle") << 150 << 3 << 8;
    }

    void keepAlive()
    {
        QFETCH(int, period);
        QFETCH(int, atLeast);
        QFETCH(int, atMost);
        settings->keepAlivePeriodMs = period;
        PtyPeer peer;
        peer.answers.insert("$TEST*3C", "$TEST*3C\r\n");
        Connection connection(peer.name);
        QTRY_VERIFY_WITH_TIMEOUT(peer.received.size() >= 10, 5000);
        QCOMPARE(peer.received.left(10), QByteArray("$TEST*3C\r\n"));

        idle(900);
        const int written = int(peer.lines().size());
        QCOMPARE(peer.count("$TEST*3C"), written);
        QVERIFY2(written >= atLeast && written <= atMost, qPrintable(QString::number(written)));
        // Opening, then two changes per exchange: to waiting and back to ready.
        QTRY_COMPARE_WITH_TIMEOUT(connection.events.statusChanges, 1 + 2 * int(peer.lines().size()), 5000);
        QCOMPARE(connection.events.events, QStringList());
    }

    // Request scenarios on a raw peer, one step after the other:
    // "send X" asks the link for X, "sent X" waits for X on the line, "reply X" answers with the frame of X,
    // "events n" waits for the n-th event, "close" closes and waits for the link to be back at its start,
    // "idle ms" lets time pass, "status S" checks the link's status.
    void scenario_data()
    {
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("lines");  // everything the peer received

        QTest::newRow("second request refused while one is pending")
            << true << 1000 << QStringList{"send LIG", "sent LIG", "send GSN", "events 1", "reply LIG,1", "events 2"}
            << QStringList{refused, "reply:1"} << QStringList{"$TEST*3C", "$LIG*68"};
        QTest::newRow("request refused before opening")
            << false << 1000 << QStringList{"send LIG", "events 1", "status UART_INIT"} << QStringList{refused} << QStringList{};
        QTest::newRow("timeout, then a late reply that no request owns")
            << true << 300 << QStringList{"send LIG", "events 1", "status UART_ERROR_TIMEOUT", "reply LIG,1", "events 2",
                                   "send GSN", "events 3"}
            << QStringList{"error:Uart link timeout", "replyError:Unknown DFR message type in \"$LIG,1*75\".", refused}
            << QStringList{"$TEST*3C", "$LIG*68"};
        QTest::newRow("closed while a request is pending: silence")
            << true << 300 << QStringList{"send LIG", "sent LIG", "close", "idle 600"} << QStringList{}
            << QStringList{"$TEST*3C", "$LIG*68"};
    }

    void scenario()
    {
        QFETCH(bool, opened);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, events);
        QFETCH(QStringList, lines);
        settings->dfrCommandTimeoutMs = timeoutMs;
        PtyPeer peer;
        peer.answers.insert("$TEST*3C", "$TEST*3C\r\n");
        Connection connection(peer.name, opened);
        if (opened)
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
                QTRY_COMPARE_WITH_TIMEOUT(peer.count(frame(arg + '*').trimmed()), 1, 5000);
            else if (verb == "reply")
                peer.write(frame(arg + '*'));
            else if (verb == "events")
                QTRY_COMPARE_WITH_TIMEOUT(connection.events.events.size(), arg.toInt(), 5000);
            else if (verb == "close")
                emit connection.driver.sigCloseConnection();
            else if (verb == "idle")
                idle(arg.toInt());
            else if (verb == "status")
                QCOMPARE(connection.link->status(), UartLink::LinkStatus_t(statuses.keyToValue(arg)));
            if (verb == "close")
                QTRY_COMPARE_WITH_TIMEOUT(connection.link->status(), UartLink::UART_INIT, 5000);
        }
        QCOMPARE(connection.events.events, events);
        QList<QByteArray> expectedLines;
        for (const QString& line : lines)
            expectedLines << line.toLatin1();
        QCOMPARE(peer.lines(), expectedLines);
    }

    // The beacon line comes before the first deadline, the reply after it but before the second.
    void beaconRestartsTimeout()
    {
        settings->keepAlivePeriodMs = 100;
        settings->dfrCommandTimeoutMs = 1500;
        PtyPeer peer;
        auto connection = connectToPeer(peer);
        peer.answers.insert("$TEST*3C", "$TEST*3C\r\n");
        connection->send(DfrLink::CMD_LIG);
        QTRY_COMPARE_WITH_TIMEOUT(peer.count("$LIG*68"), 1, 5000);
        const int keepAlivesBefore = peer.count("$TEST*3C");
        QElapsedTimer sent;
        sent.start();

        idle(750);
        peer.write(frame("NPR,7*"));
        QTRY_COMPARE_WITH_TIMEOUT(connection->events.events, QStringList{"npr:7"}, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(sent.hasExpired(1875), 5000);
        QCOMPARE(peer.count("$TEST*3C"), keepAlivesBefore);
        peer.write(frame("LIG,1*"));
        QTRY_COMPARE_WITH_TIMEOUT(connection->events.events, (QStringList{"npr:7", "reply:1"}), 5000);
        // Idle again: the keep-alive comes back.
        QTRY_VERIFY_WITH_TIMEOUT(peer.count("$TEST*3C") > keepAlivesBefore, 5000);
    }

    // Bytes arriving in the chunks given (each read by the link before the next is written).
    void lineReading_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("warning");

        const QByteArray end = frame("NPR,end*");
        QTest::newRow("CR LF alone: a warning, nothing else") << QList<QByteArray>{"\r\n" + end} << QStringList{"npr:end"}
                                                         << "Empty line";
        QTest::newRow("NUL bytes inside a line ignored")
            << QList<QByteArray>{QByteArray("$NPR,\0A\0,B*", 12) + frame("NPR,A,B*").right(4) + end}
            << QStringList{"npr:A|B", "npr:end"} << QString();
        QTest::newRow("line completed by a later chunk")
            << QList<QByteArray>{"$NPR,A", ",B*65\r", "\n" + end} << QStringList{"npr:A|B", "npr:end"} << QString();
        QTest::newRow("overlong line dropped up to its end, the next one read")
            << QList<QByteArray>{QByteArray(100000, 'A'), "AAAA*00\r\n" + end} << QStringList{"npr:end"}
            << "Line of more than 65536 bytes without end dropped";
    }

    void lineReading()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        PtyPeer peer;
        auto connection = connectToPeer(peer);
        for (const QByteArray& chunk : chunks)
            connection->deliver(peer, chunk);
        QTRY_COMPARE_WITH_TIMEOUT(connection->events.events, expected, 5000);
    }

    // Raw packets: the reader must cope with any chunking and any payload byte.
    void binaryStream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<int>>("cuts");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("warning");  // a pattern

        const QByteArray a(128, 'a');
        const QByteArray b = QByteArray("\x2C\x2A\x0D\x0A", 4).repeated(32);
        const QByteArray three = countPacket(3) + packet("1,65536", a) + packet("2,65664", b) + endPacket;
        const QString data = "rfp:" + QString::fromLatin1((a + b).toHex());

        QTest::newRow("count 1: empty data")
            << countPacket(1) + endPacket << QList<int>() << QStringList{"rfp:"} << QString();
        QTest::newRow("count 3: two payloads, comma star CR LF untouched")
            << three << QList<int>() << QStringList{data} << QString();
        QTest::newRow("lower-case checksum")
            << countPacket(2) + packet("1,0", b, false, true) + endPacket << QList<int>()
            << QStringList{"rfp:" + QString::fromLatin1(b.toHex())} << QString();
        const QByteArray corrupt = countPacket(3) + packet("1,65536", a, true);
        QTest::newRow("corrupted data packet: one error, no data")
            << corrupt + packet("2,65664", b) + endPacket << QList<int>{int(corrupt.size())}
            << QStringList{"error:Bad checksum in RFP binary data: 41 vs 40."} << QString();
        QTest::newRow("text after the end packet read as lines")
            << countPacket(1) + endPacket + frame("NPR,1*") << QList<int>() << QStringList{"rfp:", "npr:1"} << QString();
        // Nothing is taken for a packet: the request still ends in its timeout.
        QTest::newRow("garbage without a header dropped, bounded")
            << QByteArray(100000, 'x') << QList<int>() << QStringList{"error:Uart link timeout"}
            << "^RFP binary data: \\d+ bytes without a packet header dropped$";
    }

    void binaryStream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<int>, cuts);
        QFETCH(QStringList, expected);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        PtyPeer peer;
        auto connection = connectToPeer(peer);
        emit connection->driver.sigSendRequest(DfrLink::CMD_RFP, {"65536", "256"}, DfrLink::DFR_V2);
        QTRY_COMPARE_WITH_TIMEOUT(peer.count("$RFP,65536,256*6C"), 1, 5000);
        int from = 0;
        for (const int cut : cuts << int(stream.size())) {
            connection->deliver(peer, stream.mid(from, cut - from));
            from = cut;
        }
        QTRY_COMPARE_WITH_TIMEOUT(connection->events.events, expected, 5000);
        QVERIFY(connection->settle());
        QCOMPARE(connection->events.events, expected);
    }

    // A request that crosses the link's own keep-alive waits for it, and shares its fate.
    void keepAliveRace_data()
    {
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("mnemonics");
        QTest::newRow("keep-alive answered: request sent right after")
            << DfrSimulator::FAULTMODE_NONE << QStringList{refused, "reply:0042|1207"} << QStringList{"TEST", "GSN"};
        QTest::newRow("keep-alive answered wrongly: request refused")
            << DfrSimulator::FAULTMODE_UNRELATED_MNEMONIC
            << QStringList{refused, "replyError:Unrelated message: \"$", refused} << QStringList{"TEST"};
        QTest::newRow("keep-alive timed out: request refused, process goes on")
            << DfrSimulator::FAULTMODE_NO_REPLY << QStringList{refused, "error:Uart link timeout", refused}
            << QStringList{"TEST"};
    }

    void keepAliveRace()
    {
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, mnemonics);
        const bool timesOut = fault == DfrSimulator::FAULTMODE_NO_REPLY;
        settings->keepAliveTimeoutMs = timesOut ? 400 : 3000;
        if (timesOut)
            QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
        DfrSimulator sim;
        sim.setReplyLatency(400);
        sim.injectFault(fault, "TEST");
        QVERIFY(sim.start());
        Connection connection(sim.deviceName());
        QTRY_COMPARE_WITH_TIMEOUT(sim.receivedCount("TEST"), 1, 5000);
        connection.send(DfrLink::CMD_GSN);
        connection.send(DfrLink::CMD_LIG);  // one request is held, not two

        QTRY_COMPARE_WITH_TIMEOUT(connection.events.events.size(), expected.size(), 5000);
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(connection.events.events.at(i).startsWith(expected.at(i)), qPrintable(connection.events.events.at(i)));
        QVERIFY(connection.settle());
        QCOMPARE(sim.receivedMnemonics(), mnemonics);
        if (mnemonics.size() == 2) {
            const auto frames = sim.receivedFrames();
            QVERIFY(frames.at(1).elapsedMs - frames.at(0).elapsedMs >= 350);
        }
        // The worker's loop lives on after an exception escaped it.
        emit connection.driver.sigCloseConnection();
        QTRY_COMPARE_WITH_TIMEOUT(connection.link->status(), UartLink::UART_INIT, 5000);
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TstUartLink test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_uartlink.moc"
