// Flash record decoding: both record layouts field by field, resynchronisation, area errors and cut-short areas.
#include <QtTest>

#include "sim/BeaconBuilder.h"
#include "tests/common/TestSupport.h"
#include "utils/FlashMemory.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::BeaconBuilder;
using Vantrel::Utils::FlashMemory;
using Message = DfrLink::OrvanRxMessage_t;

Q_DECLARE_METATYPE(BeaconBuilder::BeaconMessage_t)

namespace {

BeaconBuilder::BeaconMessage_t sample(int variant)
{
    // Extreme values, different in each variant, so that a field read from its neighbour's bits shows.
    BeaconBuilder::BeaconMessage_t m;
    m.time = QDateTime(QDate(2026, 3 + variant, 17), QTime(21, 47, 53), Qt::UTC);
    m.platformId = variant ? QStringLiteral("9ABCDE12") : QStringLiteral("4C5D6E7");
    m.frequencyHz = 401648123 + variant, m.level = -123 + variant, m.period = 65535 - variant;
    m.receiverDirectionValid = true, m.receiverPositionValid = variant == 0, m.periodValid = variant != 0;
    m.direction = 359 - variant, m.meanDirection = 271, m.receiverDirection = 511;
    m.band = 9, m.modulation = 3;  // LDK: identifier and payload are not adjusted
    m.receiverLatitude = -48.85 + variant, m.receiverLongitude = 179.99 - variant;
    m.payload = QByteArray::fromHex("0123456789ABCDEF1122");
    return m;
}

QVariantList fieldsOf(const Message& m)
{
    return {m.crcOk, m.dateTime.toQDateTime(), m.frequencyHz, int(m.direction), m.level, m.period, m.periodValid,
            m.dfrPositionValid, qRound(m.dfrLatitude * 60000), qRound(m.dfrLongitude * 60000), int(m.dfrDirection),
            m.platformId, m.rawPayload};
}

struct Decoded
{
    QList<Message> messages;
    int valid = -7;
    int invalid = -7;
    QString error;
};

Decoded decode(const QByteArray& area, int layout, bool crcCheck, bool cutShort = false)
{
    Decoded d;
    FlashMemory* memory = FlashMemory::instance();
    const auto c = QObject::connect(memory, &FlashMemory::sigOrvanDecoded,
                                    [&d](const Message& m, DfrLink::RxOrigin_t origin) {
                                        QCOMPARE(origin, DfrLink::RXORIGIN_FLASH);
                                        d.messages.append(m);
                                    });
    d.error = TestSupport::thrownBy([&] {
        if (layout == 1)
            memory->decodeFlashMemoryDfrV1(3, QStringLiteral("4C5D6E7"), area, crcCheck, &d.valid, &d.invalid,
                                           cutShort);
        else
            memory->decodeFlashMemoryDfrV2(area, layout == 3, crcCheck, &d.valid, &d.invalid, cutShort);
    });
    QObject::disconnect(c);
    return d;
}

} // namespace

class TestFlashMemory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every field of both layouts, from records of the simulator's encoder.
    void fields_data()
    {
        QTest::addColumn<int>("layout");  // 1: first generation, 2: 28-bit, 3: 32-bit identifiers
        QTest::addColumn<BeaconBuilder::BeaconMessage_t>("beacon");
        for (int layout : {1, 2, 3})
            QTest::addRow("layout %d", layout) << layout << sample(layout == 3);
    }

    void fields()
    {
        QFETCH(int, layout);
        QFETCH(BeaconBuilder::BeaconMessage_t, beacon);
        const QByteArray record = layout == 1 ? BeaconBuilder::flashRecordV1(beacon)
                                              : BeaconBuilder::flashRecordV2(beacon, layout == 3);
        const Decoded d = decode(record + record, layout, true);
        QCOMPARE(d.error, QString());
        QCOMPARE(QList<int>({d.valid, d.invalid, int(d.messages.size())}), QList<int>({2, 0, 2}));
        const Message& m = d.messages.at(1);
        QCOMPARE(m.flashPosition, 2);
        const int digits = layout == 3 ? 8 : 7;
        const QString id = layout == 1 ? "4C5D6E7" : beacon.platformId.leftJustified(digits, '0').left(digits);
        const QByteArray payload = layout == 1 ? beacon.payload + QByteArray(2, '\0') : beacon.payload;  // padded to 4n
        QCOMPARE(fieldsOf(m), QVariantList({true, beacon.time, beacon.frequencyHz, beacon.direction, beacon.level,
                                            beacon.period, beacon.periodValid, beacon.receiverPositionValid,
                                            qRound(beacon.receiverLatitude * 60000),
                                            qRound(beacon.receiverLongitude * 60000), beacon.receiverDirection, id,
                                            payload}));
        if (layout == 1)
            QCOMPARE(QVariantList({m.platformSlotIndex, m.meanDirection, m.payload}),
                     QVariantList({3, beacon.meanDirection, payload.mid(1)}));
        else
            QCOMPARE(QVariantList({m.platformSlotIndex, m.band, m.modulation, m.dfrDirectionValid, m.payload}),
                     QVariantList({-1, beacon.band, beacon.modulation, beacon.receiverDirectionValid, payload}));
    }

    // Whole areas: counts, resynchronisation, errors.
    void areas_data()
    {
        QTest::addColumn<QByteArray>("area");
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("crcCheck");
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<QList<int>>("positions");  // flash positions emitted
        QTest::addColumn<QList<int>>("counts");  // valid, invalid
        QTest::addColumn<QString>("error");

        const QString none;  // nothing thrown
        BeaconBuilder::BeaconMessage_t small = sample(0);
        small.payload = "abcd";
        const QByteArray v1 = BeaconBuilder::flashRecordV1(small);
        const QByteArray v2 = BeaconBuilder::flashRecordV2(sample(0), false);
        QByteArray spoilt = v2;
        spoilt[10] = char(spoilt[10] ^ 0x10);

        QTest::newRow("V1 20 bytes: bad header")
            << v1.left(20) << 1 << true << false << QList<int>{} << QList<int>{0, 0}
            << "Unable to decode flash memory (bad header).";
        QTest::newRow("V1 last record lacks its CRC")
            << v1 + v1.chopped(1) << 1 << true << false << QList<int>{1} << QList<int>{1, 0}
            << "Unable to decode flash memory (bad CRC).";
        QTest::newRow("V2 last record lacks its CRC")
            << v2 + v2.chopped(1) << 2 << true << false << QList<int>{1} << QList<int>{1, 0}
            << "Message #2: unable to decode flash memory (bad payload).";
        // The CRC of the byte-shifted candidates never matches here: one invalid byte per shift.
        QTest::newRow("V2 corrupted record dropped, next found byte by byte")
            << spoilt + v2 << 2 << true << false << QList<int>{int(v2.size()) + 1} << QList<int>{1, int(v2.size())}
            << none;
        // Without the check every candidate is shown; the first is the spoilt record.
        QTest::newRow("V2 CRC check off: corrupted record shown")
            << spoilt << 2 << false << false << QList<int>{1} << QList<int>{0, int(v2.size())} << none;
        QTest::newRow("cut short: a record cut by a cancel ends the area")
            << v2 + v2.left(30) << 2 << true << true << QList<int>{1} << QList<int>{1, 0} << none;
    }

    void areas()
    {
        QFETCH(QByteArray, area);
        QFETCH(int, layout);
        QFETCH(bool, crcCheck);
        QFETCH(bool, cutShort);
        QFETCH(QList<int>, positions);
        QFETCH(QList<int>, counts);
        QFETCH(QString, error);
        // A damaged area gives one warning: the count and the first few records.
        if (crcCheck && counts.value(1) > 0)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Flash memory CRC mismatch in \\d+ places, dropped; "
                                                                  "first: Message #1 \\(ID: 4C5D6E7\\)(; [^;]+){2}; \\.\\.\\.$"));
        QTest::failOnWarning(QRegularExpression("CRC mismatch"));
        const Decoded d = decode(area, layout, crcCheck, cutShort);
        QCOMPARE(d.error, error);
        QList<int> seen;
        for (const Message& m : d.messages)
            seen << m.flashPosition;
        if (!crcCheck) {
            QVERIFY(!d.messages.isEmpty() && !d.messages.first().crcOk);
            seen = seen.mid(0, positions.size());
        }
        QCOMPARE(seen, positions);
        if (error.isEmpty())
            QCOMPARE(QList<int>({d.valid, d.invalid}), counts);
    }
};

QTEST_GUILESS_MAIN(TestFlashMemory)
#include "tst_flashmemory.moc"
