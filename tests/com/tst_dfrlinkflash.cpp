// DfrLink's second-generation flash read against the simulator: chunking and the retries of bad chunks.
#include <QtTest>

#include "com/DfrLink.h"
#include "com/UartLink.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;

namespace {

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// "start,length" of every flash read the receiver got.
QStringList readRequests(const DfrSimulator& sim)
{
    QStringList requests;
    for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
        if (frame.mnemonic == QLatin1String("RFP"))
            requests << frame.params.join(',');
    return requests;
}

using Connected = DeviceTest::LinkedReceiver;

} // namespace

class TstDfrLinkFlash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        DeviceTest::quietLink(400);
        QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    }

    void chunking_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("20000 bytes: a full chunk and 3712") << 20000 << QStringList{"65536,16384", "81920,3712"};
        QTest::newRow("16384 bytes: one request") << 16384 << QStringList{"65536,16384"};
        QTest::newRow("one byte: rounded up to 128") << 1 << QStringList{"65536,128"};
        QTest::newRow("empty memory: nothing asked") << 0 << QStringList{};
    }

    void chunking()
    {
        QFETCH(int, size);
        QFETCH(QStringList, requests);
        Connected c(DeviceState::PROFILE_DFR_V2_APP);
        c.sim.state().flashImage = pattern(size);
        QCOMPARE(c.link.readFlashMemoryDfrV2(), pattern(size));
        QCOMPARE(readRequests(c.sim), requests);
        QVERIFY(!c.link.flashReadWasCancelled());
    }

    // A bad chunk is asked again; the third failure fails the read with the link's error.
    void retries_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("failures");
        QTest::addColumn<QString>("error");
        const int checksum = DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM;
        QTest::newRow("corrupted once") << checksum << 1 << QString();
        QTest::newRow("corrupted twice") << checksum << 2 << QString();
        QTest::newRow("corrupted three times")
            << checksum << 3 << "Link Error: Bad checksum in RFP binary data: ";
        QTest::newRow("silent once") << int(DfrSimulator::FAULTMODE_NO_REPLY) << 1 << QString();
        QTest::newRow("silent three times")
            << int(DfrSimulator::FAULTMODE_NO_REPLY) << 3 << "Link Error: Uart link timeout";
    }

    void retries()
    {
        QFETCH(int, fault);
        QFETCH(int, failures);
        QFETCH(QString, error);
        Connected c(DeviceState::PROFILE_DFR_V2_APP);
        c.sim.state().flashImage = pattern(20000);
        c.sim.injectFault(DfrSimulator::FaultMode_t(fault), "RFP", failures);
        QSignalSpy compromised(&c.link, &DfrLink::sigLinkCompromised);
        for (int retry = 1; retry < std::min(failures + 1, DfrLink::flashChunkAttempts); ++retry)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Flash data at 65536 \\(16384 bytes\\): .*asking "
                                                                  "again \\(attempt \\d of 3\\)$"));
        QByteArray data;
        const QString thrown = TestSupport::thrownBy([&] { data = c.link.readFlashMemoryDfrV2(); });
        if (error.isEmpty()) {
            QCOMPARE(thrown, QString());
            QCOMPARE(data, pattern(20000));
            QCOMPARE(readRequests(c.sim).size(), 2 + failures);
            QCOMPARE(compromised.size(), 0);
            // The link is still usable after the retries.
            QCOMPARE(c.link.getDfrVersionsAndStatus().dfrVersion, DfrLink::DFR_V2);
        } else {
            QVERIFY2(thrown.startsWith(error), qPrintable(thrown));
            QCOMPARE(readRequests(c.sim).size(), 3);
            QCOMPARE(compromised.size(), 1);
        }
    }
};

int main(int argc, char** argv)
{
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TstDfrLinkFlash test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlinkflash.moc"
