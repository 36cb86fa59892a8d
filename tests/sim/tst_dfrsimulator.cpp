// Simulated receiver seen from the host's end of the pseudo-terminal: replies, setups, flash streams, faults, payloads.
#include <QtTest>

#include <QProcess>
#include <QSerialPort>

#include "sim/BeaconBuilder.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using Vantrel::Sim::BeaconBuilder;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Sim = Vantrel::Sim::DfrSimulator;

namespace {

using DeviceTest::checksum;
using DeviceTest::frame;

// "MNEMONIC,values" of a reply line, with "!" appended when its checksum is wrong.
QString summary(const QByteArray& line)
{
    const int star = line.lastIndexOf('*');
    if (!line.startsWith('$') || star < 0)
        return QStringLiteral("noise");
    const QByteArray body = line.mid(1, star - 1);
    return QString::fromLatin1(body) + (line.mid(star + 1) == checksum(line.mid(1, star)) ? "" : "!");
}

// The host's end, opened with plain POSIX calls.
class PtyClient
{
public:
    explicit PtyClient(const QString& device) : fd(::open(qPrintable(device), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~PtyClient() { ::close(fd); }
    void send(const QByteArray& bytes) { QCOMPARE(::write(fd, bytes.constData(), bytes.size()), bytes.size()); }
    // Takes in what has arrived; false once the line has hung up.
    bool poll()
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0)
                buffer.append(chunk, static_cast<int>(n));
            else if (n < 0 && errno == EINTR)
                continue;
            else
                return n < 0 && errno == EAGAIN;
        }
    }
    bool hasLine() { return poll(), buffer.contains("\r\n"); }
    QByteArray takeLine()
    {
        const int end = buffer.indexOf("\r\n");
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 2);
        return line;
    }

    int fd;
    QByteArray buffer;
};

// Packets of a binary flash stream, each "ok" or "bad" by its checksum, "cut"
// for an unfinished one; the payloads in order.
QStringList readPackets(QByteArray bytes, QByteArray* payloads)
{
    QStringList verdicts;
    qint64 remaining = -1;
    while (!bytes.isEmpty()) {
        const int field1End = bytes.indexOf(',', 5);
        const int header = field1End < 0 ? 0 : bytes.indexOf(',', field1End + 1) + 1;  // 0: incomplete
        const int length = remaining < 0 ? 4 : remaining == 1 ? 0 : 128;
        if (!bytes.startsWith("$RFP,") || header == 0 || bytes.size() < header + length + 5)
            return verdicts << QStringLiteral("cut");
        const QByteArray payload = bytes.mid(header, length);
        const bool ok = bytes.mid(header + length, 3) == '*' + checksum(bytes.mid(1, header - 1) + payload + '*');
        verdicts << (ok ? QStringLiteral("ok") : QStringLiteral("bad"));
        if (remaining < 0)
            remaining = qFromBigEndian<quint32>(payload.constData());
        else if (remaining-- > 1)
            payloads->append(payload);
        bytes.remove(0, header + length + 5);
    }
    return verdicts;
}

// GPS format SM20: sign bit 0, latitude bits 1..20 and sign bit 21, longitude
// bits 22..42, both in 1e-4 degree.
const QStringList sm20{"SM20", "0", "1", "1", "20", "6", "1", "0", "1", "0",
                       "21", "1", "22", "21", "6", "1", "0", "1", "0", "64", "0", "0"};

} // namespace

class TstDfrSimulator : public QObject
{
    Q_OBJECT

private:
    // Sends one request and compares the summary of its reply line.
    void expectReply(PtyClient& client, const QByteArray& covered, const QString& reply)
    {
        client.send(frame(covered));
        QTRY_VERIFY_WITH_TIMEOUT(client.hasLine(), 3000);
        QCOMPARE(summary(client.takeLine()), reply);
    }

private Q_SLOTS:
    void exchange_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<QString>("covered");
        QTest::addColumn<QString>("reply");

        const auto app = DeviceState::PROFILE_DFR_V2_APP;
        const auto bl = DeviceState::PROFILE_DFR_V2_BL;
        QTest::newRow("TEST answered by ACK when asked to") << app << true << "TEST*" << "ACK,TEST,1";
        QTest::newRow("bootloader refuses an application command") << bl << false << "LIG*" << "ACK,LIG,0";
        QTest::newRow("unknown mnemonic refused") << app << false << "XYZ,1*" << "ACK,XYZ,0";
        QTest::newRow("empty GPS format slot named NONE")
            << app << false << "GFG,3*" << "RFG,3,NONE" + QString(",0").repeated(26) + ",1";
        QTest::newRow("WRDA refused before ATBL and ERRF") << bl << false << "WRDA,:00*" << "ACK,WRDA,0";
    }

    void exchange()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(bool, ack);
        QFETCH(QString, covered);
        QFETCH(QString, reply);
        DfrSimulator sim(profile);
        sim.setAcknowledgeWithAck(ack);
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        expectReply(client, covered.toLatin1(), reply);
    }

    void lineReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("byteByByte");
        QTest::addColumn<QStringList>("log");  // received frames: mnemonic, "?" when dropped

        const QByteArray gsn = frame("GSN*");
        QTest::newRow("frame split into single bytes") << gsn << true << QStringList{"GSN"};
        QTest::newRow("bad checksum dropped without reply") << "$TEST*00\r\n" + gsn << false << QStringList{"?", "GSN"};
        QTest::newRow("frame without checksum dropped") << "$TEST\r\n" + gsn << false << QStringList{"?", "GSN"};
        QTest::newRow("noise before the dollar skipped") << "\x01\x7F" + gsn << false << QStringList{"GSN"};
        QTest::newRow("bare LF after the checksum ends a frame")
            << gsn.chopped(2) + '\n' << false << QStringList{"GSN"};
        QTest::newRow("LF inside a parameter does not end a frame")
            << frame("XYZ,\n:10*") + gsn << false << QStringList{"XYZ", "GSN"};
    }

    void lineReading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, byteByByte);
        QFETCH(QStringList, log);
        DfrSimulator sim;
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        for (int i = 0; i < bytes.size(); i += byteByByte ? 1 : bytes.size()) {
            client.send(bytes.mid(i, byteByByte ? 1 : -1));
            QCoreApplication::processEvents();
        }
        // The GSN reply comes last: every frame before it has been judged by then.
        QTRY_VERIFY_WITH_TIMEOUT((client.poll(), client.buffer.contains("$VSN")), 3000);
        QStringList seen;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
            seen << (frame.wellFormed && frame.checksumOk ? frame.mnemonic : QStringLiteral("?"));
        QCOMPARE(seen, log);
        QCOMPARE(client.buffer.count("\r\n"), log.count() - log.count("?"));
    }

    void setupWriteAndReadBack_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QByteArray>("write");
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QString>("readBack");

        QTest::newRow("DFR_V2 hardware: empty values keep theirs")
            << DeviceState::PROFILE_DFR_V2_APP << QByteArray("SETUPHW,,1,-12,,3,-2.5,*")
            << QByteArray("SETUPHW,,,,,,,*") << "SETUPHW,0,1,-12,0,3,-2.5,0";
        QTest::newRow("DFR_V1 hardware: six values")
            << DeviceState::PROFILE_DFR_V1 << QByteArray("SETUPHW,1,1,7,2,0,E3.1*")
            << QByteArray("SETUPHW,,,,,,*") << "SETUPHW,1,1,7,2,0,E3.1";
        QTest::newRow("DFR_V2 software: clock and band set, rest kept")
            << DeviceState::PROFILE_DFR_V2_APP << QByteArray("SETUPSW,,,,,,,,24,3,5,14,7,4,*")
            << QByteArray("SETUPSW,,,,,,,,,,,,,,*") << "SETUPSW,1,1,20,1,0,0,0,24,3,5,14,7,4,0";
    }

    void setupWriteAndReadBack()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QByteArray, write);
        QFETCH(QByteArray, read);
        QFETCH(QString, readBack);
        DfrSimulator sim(profile);
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        expectReply(client, write, readBack);
        expectReply(client, read, readBack);
    }

    void binaryFlashStream_data()
    {
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<QStringList>("packets");

        const QString ok = QStringLiteral("ok");
        QTest::newRow("stream matches the image") << Sim::FAULTMODE_NONE << QStringList{ok, ok, ok, ok, ok};
        QTest::newRow("first data packet mis-summed")
            << Sim::FAULTMODE_BAD_BINARY_CHECKSUM << QStringList{ok, "bad", ok, ok, ok};
        QTest::newRow("stream cut short") << Sim::FAULTMODE_TRUNCATED_BINARY << QStringList{ok, ok, "cut"};
    }

    void binaryFlashStream()
    {
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(QStringList, packets);
        DfrSimulator sim;
        QByteArray image;
        for (int i = 0; i < 300; ++i)
            image.append(static_cast<char>(i * 7));  // holds "$", "*", ",", CR and LF among others
        sim.state().flashImage = image;
        sim.injectFault(fault, QStringLiteral("RFP"));
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        expectReply(client, "IFP*", QStringLiteral("IFP,65536,65836,8388608"));

        client.send(frame("RFP,65536,384*"));
        client.send(frame("GSN*"));  // its reply marks the end of the stream
        const QByteArray marker = "$VSN,0042,1207*63\r\n";
        QTRY_VERIFY_WITH_TIMEOUT((client.poll(), client.buffer.endsWith(marker)), 3000);
        QByteArray payloads;
        QCOMPARE(readPackets(client.buffer.chopped(marker.size()), &payloads), packets);
        if (packets.endsWith(QStringLiteral("ok")))
            QCOMPARE(payloads, image + QByteArray(84, '\xFF'));
    }

    void textFlashRead()
    {
        DfrSimulator sim(DeviceState::PROFILE_DFR_V1);
        const QByteArray area = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF").repeated(5);
        sim.state().flashAreas[2] = area;
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        client.send(frame("RFP,2*"));
        QTRY_COMPARE_WITH_TIMEOUT((client.poll(), client.buffer.count("\r\n")), 3, 3000);
        const QStringList lines{summary(client.takeLine()), summary(client.takeLine()), summary(client.takeLine())};
        QCOMPARE(lines, (QStringList{"RFP,2,1,64," + area.left(64).toHex().toUpper(),
                                     "RFP,2,2,16," + area.mid(64).toHex().toUpper(), "RFP,2,3,0"}));
    }

    void faults_data()
    {
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");
        QTest::addColumn<QString>("mnemonic");  // the rule's target
        QTest::addColumn<QStringList>("lines");  // patterns of the reply summaries, GSN's last

        const QString vsn = QStringLiteral("^VSN,0042,1207$");
        const QString lig = QStringLiteral("^LIG,3,.*[^!]$");
        QTest::newRow("garbage") << Sim::FAULTMODE_GARBAGE << "LIG" << QStringList{"^noise$", vsn};
        QTest::newRow("delayed reply still first") << Sim::FAULTMODE_DELAYED_REPLY << "LIG" << QStringList{lig, vsn};
        QTest::newRow("wrong checksum") << Sim::FAULTMODE_BAD_CHECKSUM << "LIG" << QStringList{"^LIG,3,.*!$", vsn};
        QTest::newRow("line never ended: the next reply runs into it")
            << Sim::FAULTMODE_UNTERMINATED_LINE << "LIG" << QStringList{"^LIG,3,.*\\*[0-9A-F]{2}\\$VSN,0042,1207!$"};
        QTest::newRow("rule aimed at RFP leaves LIG alone") << Sim::FAULTMODE_GARBAGE << "RFP" << QStringList{lig, vsn};
    }

    void faults()
    {
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(QString, mnemonic);
        QFETCH(QStringList, lines);
        DfrSimulator sim;
        sim.setFaultDelay(300);
        sim.injectFault(fault, mnemonic);
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        QElapsedTimer clock;
        clock.start();
        client.send(frame("LIG*") + frame("GSN*"));
        QTRY_VERIFY_WITH_TIMEOUT((client.poll(), client.buffer.endsWith("0042,1207*63\r\n")), 3000);
        if (fault == Sim::FAULTMODE_DELAYED_REPLY)
            QVERIFY(clock.elapsed() >= 300);
        QStringList seen;
        while (client.hasLine())
            seen << summary(client.takeLine());
        QCOMPARE(seen.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(QRegularExpression(lines.at(i)).match(seen.at(i)).hasMatch(), qPrintable(seen.at(i)));
    }

    void unplugClosesTheLine()
    {
        DfrSimulator sim;
        QSignalSpy unplugged(&sim, &DfrSimulator::unplugged);
        sim.injectFault(DfrSimulator::FAULTMODE_UNPLUG, QStringLiteral("LIG"));
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        expectReply(client, "GSN*", QStringLiteral("VSN,0042,1207"));
        client.send(frame("LIG*"));
        QTRY_COMPARE_WITH_TIMEOUT(unplugged.count(), 1, 3000);
        QVERIFY(!sim.isOpen());
        QVERIFY(!client.poll());  // the host's end reads a hang-up
    }

    void gpsPayloadAndFlashRecords()
    {
        QCOMPARE(BeaconBuilder::gpsPayload(sm20, -48.85, -2.35).toHex().toUpper(), QByteArray("BBA1A40B79800000"));
        QCOMPARE(BeaconBuilder::crc8("abc"), quint8(0x99));

        BeaconBuilder::BeaconMessage_t m;
        m.level = -1;       // 10 bits from stream bit 88
        m.period = 0xABCD;  // 16 bits from stream bit 98
        const QByteArray v1 = BeaconBuilder::flashRecordV1(m);
        QCOMPARE(v1.size(), 22 + 4 + 1);
        QCOMPARE(v1.mid(11, 3).toHex(), QByteArray("ff37af"));
        QCOMPARE(v1.at(14) & 3, 2);

        m.platformId = QStringLiteral("AF012345");
        const QByteArray wide = BeaconBuilder::flashRecordV2(m, true);
        QCOMPARE(wide.mid(1, 5).toHex().toUpper(), QByteArray("053412F00A"));
        QCOMPARE(wide.size(), 27 + 1);  // no payload, CRC
        m.platformId = QStringLiteral("F012345");
        QCOMPARE(BeaconBuilder::flashRecordV2(m, false).mid(1, 4).toHex().toUpper(), QByteArray("053412F0"));
    }

    void commandLineProgram()
    {
        const QString program = qEnvironmentVariable("VANTREL_BINARY_DIR") + QStringLiteral("/bin/dfr-simulator");
        if (!QFileInfo::exists(program))
            QSKIP("dfr-simulator not built");
        QProcess process;
        process.start(program, {QStringLiteral("--profile"), QStringLiteral("DFR_V2_BL"),
                                QStringLiteral("--bl-version"), QStringLiteral("9.8")});
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 5000);
        const QString device = QString::fromLocal8Bit(process.readLine().trimmed());
        QVERIFY(device.startsWith(QLatin1String("/dev/")));
        // the host's way in: QSerialPort at 115200 baud, DTR raised (a pseudo-terminal has none)
        QSerialPort port(device);
        port.setBaudRate(115200);
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.setDataTerminalReady(true);
        port.write(frame("TEST*"));
        QTRY_VERIFY_WITH_TIMEOUT(port.canReadLine(), 3000);
        QCOMPARE(summary(port.readLine().trimmed()), QStringLiteral("TEST,DFR,V2,0042,1207,BL,9.8"));
        port.close();
        process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 5000);
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstDfrSimulator)
#include "tst_dfrsimulator.moc"
