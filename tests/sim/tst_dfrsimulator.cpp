// Simulator's own side: frame reading, fault modes, beacon encoding and its pseudo-terminal.
#include <QtTest>

#include <QSerialPort>

#include "sim/BeaconBuilder.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Sim::BeaconBuilder;
using Vantrel::Sim::DfrSimulator;

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

// The host's end, opened the program's way: QSerialPort at 115200 baud, DTR raised (a pseudo-terminal has none).
class PtyClient : public QSerialPort
{
public:
    explicit PtyClient(const QString& device) : QSerialPort(device)
    {
        setBaudRate(115200);
        QVERIFY(open(QIODevice::ReadWrite));
        setDataTerminalReady(true);
    }
    void send(const QByteArray& bytes)
    {
        QCOMPARE(write(bytes), bytes.size());
        QVERIFY(flush());  // now, so that split frames arrive split
    }
    // True once the GSN reply sent last has come in: everything before it has been answered.
    bool answered() { return buffer += readAll(), buffer.endsWith("0042,1207*63\r\n"); }
    QStringList lines() const
    {
        QStringList summaries;
        for (const QByteArray& line : buffer.split('\n'))
            if (!line.isEmpty())
                summaries << summary(line.chopped(line.endsWith('\r') ? 1 : 0));
        return summaries;
    }

    QByteArray buffer;
};

} // namespace

class TstDfrSimulator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Bytes sent one at a time, then GSN, whose reply comes last.
    void exchange_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<DfrSimulator::FaultMode_t>("fault");  // aimed at LIG
        QTest::addColumn<QStringList>("frames");  // received: mnemonic, "?" when dropped
        QTest::addColumn<QStringList>("replies");  // patterns of the reply summaries, GSN's last

        const auto none = DfrSimulator::FAULTMODE_NONE;
        const QString vsn = QStringLiteral("^VSN,0042,1207$");
        const QString lig = QStringLiteral("^LIG,3,.*[^!]$");
        const QByteArray ligRequest = frame("LIG*");
        const QStringList both{"LIG", "GSN"};
        QTest::newRow("bad checksum dropped without reply") << QByteArray("$TEST*00\r\n") << none
                                                            << QStringList{"?", "GSN"} << QStringList{vsn};
        QTest::newRow("noise before the dollar skipped")
            << QByteArray("\x01\x7F") << none << QStringList{"GSN"} << QStringList{vsn};
        QTest::newRow("bare LF after the checksum ends a frame")
            << frame("LIG*").chopped(2) + '\n' << none << both << QStringList{lig, vsn};
        QTest::newRow("LF inside a parameter does not end a frame, unknown one refused")
            << frame("XYZ,\n:10*") << none << QStringList{"XYZ", "GSN"} << QStringList{"^ACK,XYZ,0$", vsn};
        QTest::newRow("garbage") << ligRequest << DfrSimulator::FAULTMODE_GARBAGE << both << QStringList{"^noise$", vsn};
        QTest::newRow("delayed reply still first") << ligRequest << DfrSimulator::FAULTMODE_DELAYED_REPLY << both
                                                   << QStringList{lig, vsn};
        QTest::newRow("wrong checksum") << ligRequest << DfrSimulator::FAULTMODE_BAD_CHECKSUM << both
                                        << QStringList{"^LIG,3,.*!$", vsn};
        QTest::newRow("line never ended: the next reply runs into it")
            << ligRequest << DfrSimulator::FAULTMODE_UNTERMINATED_LINE << both
            << QStringList{"^LIG,3,.*\\*[0-9A-F]{2}\\$VSN,0042,1207!$"};
    }

    void exchange()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(DfrSimulator::FaultMode_t, fault);
        QFETCH(QStringList, frames);
        QFETCH(QStringList, replies);
        DfrSimulator sim;
        sim.setFaultDelay(300);
        sim.injectFault(DfrSimulator::FAULTMODE_GARBAGE, QStringLiteral("RFP"));  // a rule aimed elsewhere changes nothing
        sim.injectFault(fault, QStringLiteral("LIG"));
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        QElapsedTimer clock;
        clock.start();
        for (const char byte : bytes + frame("GSN*")) {
            client.send(QByteArray(1, byte));
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY_WITH_TIMEOUT(client.answered(), 3000);
        if (fault == DfrSimulator::FAULTMODE_DELAYED_REPLY)
            QVERIFY(clock.elapsed() >= 300);
        QStringList seen;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
            seen << (frame.wellFormed && frame.checksumOk ? frame.mnemonic : QStringLiteral("?"));
        QCOMPARE(seen, frames);
        const QStringList lines = client.lines();
        QCOMPARE(lines.size(), replies.size());
        for (int i = 0; i < replies.size(); ++i)
            QVERIFY2(QRegularExpression(replies.at(i)).match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
    }

    // Laid out by hand here: the flash decoder's test reads these records back field by field.
    void beaconEncoding()
    {
        QCOMPARE(BeaconBuilder::crc8("abc"), quint8(0x99));

        BeaconBuilder::BeaconMessage_t m;
        m.level = -1;       // 10 bits from stream bit 88
        m.period = 0xABCD;  // 16 bits from stream bit 98
        m.receiverLatitude = -8388608 / 60000.0;  // sign bit alone: stream bit 162 of a 24-bit field at 139
        const QByteArray v1 = BeaconBuilder::flashRecordV1(m);
        QCOMPARE(v1.mid(11, 3).toHex(), QByteArray("ff37af"));
        QCOMPARE(v1.mid(17, 4).toHex(), QByteArray("00000004"));
        m.platformId = QStringLiteral("AF012345");
        const QByteArray wide = BeaconBuilder::flashRecordV2(m, true);
        QCOMPARE(wide.mid(1, 5).toHex().toUpper(), QByteArray("053412F00A"));
        m.platformId = QStringLiteral("F012345");
        QCOMPARE(BeaconBuilder::flashRecordV2(m, false).mid(1, 4).toHex().toUpper(), QByteArray("053412F0"));
    }

    // A search beacons on its own period from a receiver driving east, whose live status drives with it.
    void searchOnTheMove()
    {
        DfrSimulator sim;
        sim.setBeaconPeriod(0);
        Vantrel::Sim::SearchScenario::Config_t search;
        search.beaconPeriodMs = 40;
        search.speed = 2000.0;
        sim.setSearchScenario(search);
        QVERIFY(!sim.state().flashImage.isEmpty());  // the stretch before the start
        QVERIFY(sim.start());
        PtyClient client(sim.deviceName());
        client.send(frame("LIG*"));
        const auto heard = [&](const QString& head) { return (client.buffer += client.readAll(), client.lines().filter(head)); };
        QTRY_VERIFY_WITH_TIMEOUT(heard("NPRF,0,").size() >= 3, 3000);
        client.send(frame("LIG*"));
        QTRY_COMPARE_WITH_TIMEOUT(heard("LIG,").size(), 2, 3000);
        const QStringList status = heard("LIG,"), beacons = heard("NPRF,0,");  // longitudes at 3 and 16
        QVERIFY2(status.at(0).split(',').at(3).toInt() < status.at(1).split(',').at(3).toInt(), qPrintable(status.join(' ')));
        QVERIFY2(beacons.at(0).split(',').at(16).toInt() < beacons.at(2).split(',').at(16).toInt(), qPrintable(beacons.join(' ')));
    }

};

QTEST_GUILESS_MAIN(TstDfrSimulator)
#include "tst_dfrsimulator.moc"
