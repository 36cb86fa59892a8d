// The link against a receiver outside the test process, started by the harness (tests/with-receiver) and found
// by its port name, as the program finds a real one.
#include <QtTest>

#include "com/DfrLink.h"
#include "com/UartLink.h"
#include "tests/common/TestMain.h"
#include "tests/common/TestSupport.h"
#include "utils/FlashMemory.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;

// What the harness starts the simulator with (tests/com/CMakeLists.txt).
constexpr int flashRecords = 2000;

class TstOutsideReceiver : public QObject
{
    Q_OBJECT

    QString port;
    std::unique_ptr<DfrLink> link;

private Q_SLOTS:
    void initTestCase()
    {
        port = qEnvironmentVariable("VANTREL_TEST_RECEIVER");
        QVERIFY2(!port.isEmpty(), "run through tests/with-receiver, which names the receiver's port");
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->printAtCmdDebugInfo = false;
        settings->printUartDebugInfo = false;
        settings->dfrCommandTimeoutMs = 5000;
        settings->keepAlivePeriodMs = 0;
    }

    void init()
    {
        link = std::make_unique<DfrLink>();
        link->setUartLink(port);
        QTRY_VERIFY_WITH_TIMEOUT(link->currentUartLink() && link->currentUartLink()->status() == UartLink::UART_READY,
                                 10000);
    }

    void cleanup() { link.reset(); }

    void versionsAndStatus()
    {
        DfrLink::DfrVersionsAndStatus_t read;
        QCOMPARE(TestSupport::thrownBy([&] { read = link->getDfrVersionsAndStatus(); }), QString());
        QCOMPARE(int(read.dfrVersion), int(DfrLink::DFR_V2));
        QCOMPARE(int(read.mode), int(DfrLink::DFR_APP));
        QCOMPARE(read.serialNumberPart1 + '-' + read.serialNumberPart2, QString("0077-3141"));
        QCOMPARE(read.applicationVersion, QString("2.2"));
    }

    // Beacons arrive unasked, between requests: nothing but the port's own wait for input brings them in.
    void liveMessages()
    {
        QSignalSpy heard(link.get(), &DfrLink::sigOrvanMessageReceived);
        link->getDfrVersionsAndStatus();
        link->setLiveRxEnabled(true);
        QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 2, 15000);
    }

    // Binary packets in several chunks: every byte belongs to a record whose CRC holds, so none was lost or
    // changed on the way.
    void flashRead()
    {
        link->getDfrVersionsAndStatus();
        QByteArray data;
        QCOMPARE(TestSupport::thrownBy([&] { data = link->readFlashMemoryDfrV2(); }), QString());
        QVERIFY2(data.size() > DfrLink::flashChunkBytes, qPrintable(QString::number(data.size())));
        // The recorded ones and the beacons the receiver has heard since it started.
        int covered = 0;
        const int records = Vantrel::Utils::FlashMemory::instance()->countValidRecords(data, false, true, &covered);
        QVERIFY2(records >= flashRecords, qPrintable(QString::number(records)));
        QCOMPARE(covered, int(data.size()));
    }
};

VANTREL_TEST_MAIN(TstOutsideReceiver)
#include "tst_outsidereceiver.moc"
