// NPR/NPRF lines: parsing for both generations and rendering in both formats.
#include <QtTest>

#include "tests/common/TestMain.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::Settings;
using Message = DfrLink::OrvanRxMessage_t;

namespace {

constexpr auto NPR = DfrLink::DFRMSG_NPR;
constexpr auto NPRF = DfrLink::DFRMSG_NPRF;
constexpr auto V1 = DfrLink::DFR_V1;
constexpr auto V2 = DfrLink::DFR_V2;
constexpr auto UNDEFINED = DfrLink::DFR_UNDEFINEDVERSION;

QString frame(const QString& body)
{
    return QString::fromLatin1(DeviceTest::frame(body.toLatin1() + '*').trimmed());
}

// First-generation receivers leave "*" and the last two payload digits out of the sum.
QString legacyFrame(const QString& body)
{
    const QByteArray shortened = DeviceTest::frame(body.left(body.size() - 2).toLatin1()).trimmed();
    return '$' + body + '*' + QString::fromLatin1(shortened.right(2));
}

// Every field but the two that live messages always carry the same way.
QString describe(const Message& m)
{
    const auto n = [](auto value) { return QString::number(value); };
    const QString time = m.dateTime.isNull() ? "null" : n(m.dateTime.day) + '/' + n(m.dateTime.seconds);
    const QString valid = QString(m.dfrDirectionValid ? "D" : "-") + (m.dfrPositionValid ? "P" : "-") +
                          (m.periodValid ? "V" : "-");
    return QStringList{"slot=" + n(m.platformSlotIndex), "time=" + time, "id=" + m.platformId, "freq=" + n(m.frequencyHz),
                       "valid=" + valid, "dir=" + n(m.direction), "mean=" + n(m.meanDirection), "band=" + n(m.band),
                       "mod=" + n(m.modulation), "level=" + n(m.level), "period=" + n(m.period),
                       "pos=" + QString::number(m.dfrLongitude, 'g', 12) + '/' + QString::number(m.dfrLatitude, 'g', 12),
                       "rdir=" + n(m.dfrDirection), "raw=" + m.rawPayload.toHex().toUpper(),
                       "payload=" + m.payload.toHex().toUpper()}
        .join(' ');
}

// 2024-03-05 10:20:30 UTC, heard with direction and period valid, receiver at 2.3 E 45.5 S.
Message record(int slot, const QString& id, DfrLink::OrvanModulation_t modulation, int band, const QByteArray& hex,
               quint32 period = 60)
{
    Message m{};
    m.platformSlotIndex = slot;
    m.dateTime = Tarsk::Utils::DateTime(60374, 37230.0);
    m.platformId = id;
    m.frequencyHz = 401650000;
    m.dfrDirectionValid = true;
    m.periodValid = true;
    m.crcOk = true;
    m.direction = 123;
    m.meanDirection = 7;
    m.band = DfrLink::OrvanBand_t(band);
    m.modulation = modulation;
    m.level = -110;
    m.period = period;
    m.dfrLongitude = 2.3;
    m.dfrLatitude = -45.5;
    m.dfrDirection = 270;
    m.payload = QByteArray::fromHex(hex);
    m.flashPosition = -1;
    return m;
}

} // namespace

class TstNprFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Settings::instance()->keepChecksumErrorOnNprDfr500 = false;
        Settings::instance()->nprMessagesFormat = 2;
    }

    void parseFrame_data()
    {
        QTest::addColumn<DfrLink::DfrVersion_t>("version");
        QTest::addColumn<int>("level");
        QTest::addColumn<DfrLink::DfrMessageType_t>("type");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("expected");

        const QString v2Npr = "24,3,5,10,20,30,12345AB0,401650000,5,123,-110,138000,-2730000,270,2,0,32,AB123456";
        const QString v2NprExpected = "slot=-1 time=60374/37230 id=12345AB freq=401650000 valid=D-V dir=123 mean=0 band=2 "
                                      "mod=0 level=-110 period=0 pos=2.3/-45.5 rdir=270 raw=AB123456 payload=123456";
        QTest::newRow("V2 NPR, 18 values") << V2 << 2 << NPR << v2Npr << v2NprExpected;
        QTest::newRow("V2 NPRF, 20 values, A4 32 bits")
            << V2 << 2 << NPRF << "3,24,3,5,10,20,30,12345678,401650000,3,123,1,2,-110,60,138000,-2730000,270,24,084560"
            << "slot=3 time=60374/37230 id=12345678 freq=401650000 valid=-PV dir=123 mean=0 band=1 mod=2 level=-110 "
               "period=60 pos=2.3/-45.5 rdir=270 raw=084560 payload=845600";
        QTest::newRow("V1 NPR, 17 values")
            << V1 << 1 << NPR << "16,24,3,5,10,20,30,1234567,401650000,4,123,-110,138000,-2730000,270,32,67123456"
            << "slot=16 time=60374/37230 id=1234567 freq=401650000 valid=D-- dir=123 mean=0 band=0 mod=0 level=-110 "
               "period=0 pos=2.3/-45.5 rdir=270 raw=67123456 payload=123456";
        QTest::newRow("V1 NPRF, 19 values, 20 bits")
            << V1 << 1 << NPRF << "3,24,3,5,10,20,30,12345,401650000,7,123,7,-110,60,138000,-2730000,270,32,67123456"
            << "slot=3 time=60374/37230 id=12345 freq=401650000 valid=DPV dir=123 mean=7 band=0 mod=0 level=-110 "
               "period=60 pos=2.3/-45.5 rdir=270 raw=67123456 payload=67123456";
        QTest::newRow("V2 level-1 firmware keeps the identifier")
            << V2 << 1 << NPR << QString(v2Npr).replace("12345AB0", "12345AB")
            << v2NprExpected;
        // Read with the second generation's layout: band 2 comes from value 14.
        QTest::newRow("status 70000 clears all flags")
            << V2 << 2 << NPR << QString(v2Npr).replace(",5,123,", ",70000,123,")
            << QString(v2NprExpected).replace("valid=D-V", "valid=---");
        QTest::newRow("values that do not parse become 0")
            << V2 << 2 << NPR << "xx,3,5,10,20,30,12345AB0,abc,5,70000,-9999999999,?,-2730000,-1,2,0,32,AB123456"
            << "slot=-1 time=51608/37230 id=12345AB freq=0 valid=D-V dir=0 mean=0 band=2 mod=0 level=0 period=0 "
               "pos=0/-45.5 rdir=0 raw=AB123456 payload=123456";
        QTest::newRow("payload characters that are not hex skipped")
            << V2 << 2 << NPR << QString(v2Npr).replace("AB123456", "AB-12 34x56") << v2NprExpected;
        // An impossible date or time still publishes the message, with the null date-time.
        for (const auto& [name, date] : {std::pair{"30 February", "24,2,30,10,20,30"}, std::pair{"hour 25", "24,3,5,25,20,30"}})
            QTest::addRow("%s: null date-time", name) << V2 << 2 << NPR << QString(v2Npr).replace("24,3,5,10,20,30", date)
                                                      << QString(v2NprExpected).replace("time=60374/37230", "time=null");
        // Frames that publish nothing.
        const QString wrongCount = "Wrong number of parameters in NPR/NPRF message.";
        QTest::newRow("V2 NPR layout on a V1 receiver") << V1 << 2 << NPR << v2Npr << "error: " + wrongCount;
        QTest::newRow("V1 NPRF with 20 values")
            << V1 << 2 << NPRF << "3,24,3,5,10,20,30,12345678,401650000,3,123,1,2,-110,60,138000,-2730000,270,24,084560"
            << "error: " + wrongCount;
        QTest::newRow("undefined generation with 17 values") << UNDEFINED << 2 << NPR << v2Npr.section(',', 1) << "error: " + wrongCount;
        QTest::newRow("6-digit identifier in NPR") << V2 << 2 << NPR << QString(v2Npr).replace("12345AB0", "12345A")
                                                   << "error: Unknown platform ID type for ID (12345A)";
    }

    void parseFrame()
    {
        QFETCH(DfrLink::DfrVersion_t, version);
        QFETCH(int, level);
        QFETCH(DfrLink::DfrMessageType_t, type);
        QFETCH(QString, values);
        QFETCH(QString, expected);

        DfrLink link;
        link.setReceiverForTesting(version, quint32(level));
        // The link emits what it parsed in the same call, so the handler never outlives `messages`.
        QList<Message> messages;
        connect(&link, &DfrLink::sigOrvanMessageReceived, this, [&](const Message& m, DfrLink::RxOrigin_t origin) {
            QCOMPARE(origin, DfrLink::RXORIGIN_LIVE);
            messages.append(m);
        });
        const QString error = TestSupport::thrownBy([&] { link.slotRxReceived(type, values.split(',')); });
        if (expected.startsWith("error: ")) {
            QCOMPARE("error: " + error, expected);
            QCOMPARE(messages.size(), 0);
            return;
        }
        QCOMPARE(error, QString());
        QCOMPARE(messages.size(), 1);
        QCOMPARE(describe(messages.first()), expected);
        QVERIFY(messages.first().crcOk);
        QCOMPARE(messages.first().flashPosition, -1);
    }

    void renderLine_data()
    {
        QTest::addColumn<DfrLink::DfrVersion_t>("version");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("keepChecksumError");
        QTest::addColumn<Message>("message");
        QTest::addColumn<QString>("expected");

        constexpr auto A2 = DfrLink::ORVANMODULATION_A2;
        constexpr auto A4 = DfrLink::ORVANMODULATION_A4;
        constexpr auto LDK = DfrLink::ORVANMODULATION_LDK;
        const Message v2Npr = record(-1, "12345AB", A2, 2, "123456");
        const QString v2NprLine = "NPR,24,3,5,10,20,30,12345AB0,401650000,5,123,-110,138000,-2730000,270,2,0,32,AB123456";
        const Message v1Npr = record(16, "1234567", A2, 0, "123456");
        const QString v1NprLine = "NPR,16,24,3,5,10,20,30,1234567,401650000,5,123,-110,138000,-2730000,270,32,67123456";

        QTest::newRow("format 2 NPR, 28-bit identifier gets its spare digit and byte back")
            << V2 << 2 << 2 << false << v2Npr << frame(v2NprLine);
        QTest::newRow("format 2 NPRF, band and modulation after the direction")
            << V2 << 2 << 2 << false << record(3, "12345678", A4, 1, "4560")
            << frame("NPRF,3,24,3,5,10,20,30,12345678,401650000,5,123,1,2,-110,60,138000,-2730000,270,24,084560");
        QTest::newRow("format 2 NPRF, zero period leaves its field empty")
            << V2 << 2 << 2 << false << record(3, "1234567", LDK, 1, "123456", 0)
            << frame("NPRF,3,24,3,5,10,20,30,1234567,401650000,5,123,1,3,-110,,138000,-2730000,270,24,123456");
        QTest::newRow("format 2 NPRF, 32-bit A2, odd digit count")
            << V2 << 2 << 2 << false << record(0, "12345678", A2, 0, "4560")
            << frame("NPRF,0,24,3,5,10,20,30,12345678,401650000,5,123,0,0,-110,60,138000,-2730000,270,32,06784560");
        QTest::newRow("format 2 on level-1 firmware")
            << V2 << 1 << 2 << false << v2Npr
            << frame("NPR,24,3,5,10,20,30,12345AB,401650000,5,123,-110,138000,-2730000,270,2,0,32,AB123456");
        QTest::newRow("format 1 NPRF, mean direction after the direction")
            << V1 << 1 << 1 << false << record(3, "1234567", A2, 0, "123456")
            << frame("NPRF,3,24,3,5,10,20,30,1234567,401650000,5,123,7,-110,60,138000,-2730000,270,32,67123456");
        QTest::newRow("format 1 NPR keeps an index equal to the slot count")
            << V1 << 1 << 1 << false << v1Npr << frame(v1NprLine);
        QTest::newRow("format 1 with the first generation's checksum")
            << V1 << 1 << 1 << true << v1Npr << legacyFrame(v1NprLine);
        QTest::newRow("format 2 ignores the first generation's checksum")
            << V2 << 2 << 2 << true << v2Npr << frame(v2NprLine);
        QTest::newRow("NPRF identifier of unknown width")
            << V2 << 2 << 2 << false << record(3, "123456", A2, 0, "123456")
            << "error: Unknown platform ID type for ID (123456)";
    }

    void renderLine()
    {
        QFETCH(DfrLink::DfrVersion_t, version);
        QFETCH(int, level);
        QFETCH(int, format);
        QFETCH(bool, keepChecksumError);
        QFETCH(Message, message);

        Settings::instance()->nprMessagesFormat = format;
        Settings::instance()->keepChecksumErrorOnNprDfr500 = keepChecksumError;
        DfrLink link;
        link.setReceiverForTesting(version, quint32(level));
        QString line;
        const QString error = TestSupport::thrownBy([&] { line = link.orvanRxMessageToNprFormat(message); });
        QTEST(error.isEmpty() ? line : "error: " + error, "expected");
    }
};

VANTREL_TEST_MAIN(TstNprFormat)

#include "tst_nprformat.moc"
