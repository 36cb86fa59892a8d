// DfrLink against receivers on pseudo-terminals: versions and status, request failures, status texts, lifecycle.
#include <QtTest>

#include "com/UartLink.h"
#include "tests/common/TestMain.h"
#include "tests/common/DeviceTestSupport.h"

#include <atomic>

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Utils::Settings;

namespace {

using DeviceTest::portOf;

constexpr auto frame = &DeviceTest::line;

// A receiver written by hand for replies the simulator never gives: "GSN>VSN,42,1207" answers GSN with that body.
void answer(DeviceTest::PtyPeer& peer, const QStringList& rules)
{
    for (const QString& rule : rules)
        peer.answers.insert(frame(rule.section('>', 0, 0).toLatin1()), frame(rule.section('>', 1).toLatin1()) + "\r\n");
}

bool isReady(const DfrLink& link)
{
    return link.currentUartLink() && link.currentUartLink()->status() == UartLink::UART_READY;
}

QString shown(const QSignalSpy& texts)
{
    QStringList all;
    for (const QVariantList& text : texts)
        all << text.first().toString();
    return all.join(' ');
}

} // namespace

class TstDfrLink : public QObject
{
    Q_OBJECT

    const QString interrupted = "Link Error: Request interrupted";
    std::unique_ptr<DfrSimulator> sim;
    std::unique_ptr<DfrLink> link;
    std::unique_ptr<QSignalSpy> compromised;

    // Opened on the simulator, its keep-alive on opening answered and forgotten.
    void openOnSimulator()
    {
        link->setUartLink(portOf(sim->deviceName()));
        QTRY_VERIFY_WITH_TIMEOUT(sim->receivedCount("TEST") >= 1 && isReady(*link), 5000);
        sim->clearReceivedFrames();
    }
    // Reads the versions: what it threw, empty when it succeeded. Below minimumMs the wrong bound ended the wait
    // (coarse timers fire 5 % early); a lost wait fails on time instead of hanging; `reported` link failures.
    QString outcome(int minimumMs = 0, int reported = 0)
    {
        QTimer::singleShot(6000, link.get(), [this] { link->interruptRequest(); });
        QElapsedTimer clock;
        clock.start();
        const QString failure = TestSupport::thrownBy([this] { link->getDfrVersionsAndStatus(); });
        const qint64 elapsed = clock.elapsed();
        if (elapsed < minimumMs || elapsed >= 5000)
            return QString("took %1 ms: %2").arg(elapsed).arg(failure);
        if (compromised->count() != reported)
            return QString("link compromised %1 times: %2").arg(compromised->count()).arg(failure);
        return failure;
    }

private Q_SLOTS:
    void init()
    {
        DeviceTest::quietLink(5000);
        compromised.reset();
        link = std::make_unique<DfrLink>();
        sim = std::make_unique<DfrSimulator>();
        QVERIFY(sim->start());
        compromised = std::make_unique<QSignalSpy>(link.get(), &DfrLink::sigLinkCompromised);
    }

    void firmwareLevel_data()
    {
        QTest::addColumn<QString>("applicationVersion");
        QTest::addColumn<int>("level");
        for (const auto& [version, level] : std::initializer_list<std::pair<const char*, int>>{
                 {"1.9", 0}, {"2", 2}, {"2.1", 1}, {"2.2", 2}, {"2.10", 2}, {"3.0", 0}})
            QTest::newRow(version) << version << level;
    }

    void firmwareLevel()
    {
        QFETCH(QString, applicationVersion);
        QFETCH(int, level);
        QCOMPARE(DfrLink::firmwareLevelOf(applicationVersion), quint32(level));
    }

    // Versions and status read from a receiver written by hand, or the failure.
    void versions_data()
    {
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QString>("expected");

        const QString v1 = "TEST>TEST,DFR,V1";
        const QString v2 = "TEST>TEST,DFR,V2,0042,1207,APP,2.2,1.4,3.1";
        const QString lig = "LIG>LIG,3,2928000,138000,135,7400,24,8,12,35,0,0,0,";
        const QString v1Lig = lig + "1.9,1.2,1.0";
        const QString v2Lig = lig + "3,2.2,1.4,3.1";
        const QString count = "Unable to read reply of command %1 setup: bad parameters number.";
        const QString v2Read = "2 2 2.2 1.4 3.1 0042-1207 0042 band 3 64 16 2 | 1 48.8 2.3 1 135 7.4 24";

        QTest::newRow("first generation") << QStringList{v1, "GSN>VSN,12-345", v1Lig}
                                          << "1 0 1.9 1.2 1.0 0012-345 0012 band 0 16 0 0 | 1 48.8 2.3 1 135 7.4 24";
        QTest::newRow("first generation serial without a dash")
            << QStringList{v1, "GSN>VSN,77", v1Lig} << "1 0 1.9 1.2 1.0 0077- 0077 band 0 16 0 0 | 1 48.8 2.3 1 135 7.4 24";
        QTest::newRow("second generation application") << QStringList{v2, "GSN>VSN,42,1207", v2Lig} << v2Read;
        QTest::newRow("second generation bootloader")
            << QStringList{"TEST>TEST,DFR,V2,42,1207,BL,1.4"}
            << "2 1 UNKNOWN 1.4 UNKNOWN 0042-1207 0042 band 10 64 16 0 | 0 0 0 0 0 0 0";
        QTest::newRow("second generation bootloader without serial")
            << QStringList{"TEST>TEST,DFR,V2,,,BL,1.4"}
            << "2 1 UNKNOWN 1.4 UNKNOWN UNKNOWN-UNKNOWN  band 10 64 16 0 | 0 0 0 0 0 0 0";
        // The live band is kept as sent while it fits 16 bits, else it reads 0.
        for (const auto& [text, band] : std::initializer_list<std::pair<const char*, int>>{
                 {"65535", 65535}, {"65536", 0}})
            QTest::addRow("live band %s", text) << QStringList{v2, "GSN>VSN,42,1207", lig + text + ",2.2,1.4,3.1"}
                                               << QString(v2Read).replace(" band 3 ", QStringLiteral(" band %1 ").arg(band));
        QTest::newRow("second generation status, 15 values") << QStringList{v2, "GSN>VSN,42,1", v1Lig} << count.arg("LIG");
        QTest::newRow("first generation status, 16 values") << QStringList{v1, "GSN>VSN,42-1", v2Lig} << count.arg("LIG");
        QTest::newRow("test reply, 3 values") << QStringList{"TEST>TEST,DFR,V2,X"} << count.arg("TEST");
        QTest::newRow("second generation serial in one value") << QStringList{v2, "GSN>VSN,42-1"} << count.arg("GSN");
        QTest::newRow("application reply naming the bootloader")
            << QStringList{"TEST>TEST,DFR,V2,0042,1207,BL,2.2,1.4,3.1"} << "Unknown mode, should be APP";
        QTest::newRow("bootloader reply naming the application")
            << QStringList{"TEST>TEST,DFR,V2,0042,1207,APP,1.4"} << "Unknown mode, should be BL";
        QTest::newRow("refused serial request") << QStringList{v2, "GSN>ACK,GSN,0"}
                                                << QString("Error in reply: Invalid command: \"%1\"").arg(frame("ACK,GSN,0"));
    }

    void versions()
    {
        QFETCH(QStringList, replies);

        DeviceTest::PtyPeer peer;
        answer(peer, replies);
        link->setUartLink(portOf(peer.name));
        DfrLink::DfrVersionsAndStatus_t r;
        const QString failure = TestSupport::thrownBy([&] { r = link->getDfrVersionsAndStatus(); });
        const auto n = [](auto value) { return QString::number(value); };
        const QStringList read{n(link->dfrVersion), n(r.mode), r.applicationVersion, r.bootloaderVersion, r.fpgaVersion,
                               r.serialNumberPart1 + '-' + r.serialNumberPart2, link->serialNumber, "band", n(r.band),
                               n(link->nbIpSlots()), n(link->nbGpsFormatSlots()), n(link->firmwareLevel), "|",
                               n(r.gpsValid), n(r.latitude), n(r.longitude), n(r.directionValid), n(r.direction),
                               n(r.voltage), n(r.temperature)};
        QTEST(failure.isEmpty() ? read.join(' ') : failure, "expected");
        link.reset();  // before its receiver goes
    }

    // A garbled bound would read as 0 and make a failed read look like an empty flash.
    void flashBoundsUnparsable()
    {
        DeviceTest::PtyPeer peer;
        answer(peer, {"TEST>TEST,DFR,V1", "IFP>IFP,65536,8O000,0"});
        link->setUartLink(portOf(peer.name));
        QCOMPARE(TestSupport::thrownBy([&] { link->readFlashMemoryDfrV2(); }),
                 QString("Unable to read reply of command IFP: bad flash bounds (65536,8O000,0)."));
        QCOMPARE(peer.count(frame("RFP,65536,16384")), 0);
        link.reset();
    }

    // Whether the open error was handled before the request or comes during it, the request fails with it.
    void unopenablePort_data()
    {
        QTest::addColumn<bool>("handledBefore");
        QTest::newRow("error during the request") << false;
        QTest::newRow("error handled before") << true;
    }
    void unopenablePort()
    {
        QFETCH(bool, handledBefore);
        link->setUartLink("pts/99999");
        if (handledBefore)
            QTRY_COMPARE_WITH_TIMEOUT(compromised->count(), 1, 5000);
        const QString error = "Port pts/99999 cannot be open (error DeviceNotFoundError)";
        QCOMPARE(outcome(0, 1), "Link Error: " + error);
        QCOMPARE(compromised->first(),
                 (QVariantList{"pts/99999", error, QVariant::fromValue(Tarsk::Utils::Exception::KIND_LINK_LOST)}));
    }

    // The status shown: waiting for the keep-alive on opening, ready, waiting for the request, failed.
    void silentReceiverLinkTimeout()
    {
        Settings::instance()->dfrCommandTimeoutMs = 300;
        QSignalSpy texts(link.get(), &DfrLink::sigUartLinkStatusChanged);
        openOnSimulator();
        sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        QCOMPARE(outcome(250, 1), QString("Link Error: Uart link timeout"));
        QCOMPARE(compromised->first(), (QVariantList{link->portName(), "Uart link timeout",
                                                     QVariant::fromValue(Tarsk::Utils::Exception::KIND_NO_ANSWER)}));
        QTRY_COMPARE_WITH_TIMEOUT(shown(texts), QString("WAITING WAITING READY WAITING ERROR"), 5000);
    }

    // Beacon lines restart the link's own timeout, so only the outer bound, twice as long, is left.
    void beaconsOnlyOuterBound()
    {
        Settings::instance()->dfrCommandTimeoutMs = 400;
        DeviceTest::PtyPeer peer;
        answer(peer, {"TEST>TEST,DFR,V1"});
        QTimer beacons;
        QObject::connect(&beacons, &QTimer::timeout, [&peer] { peer.write(DeviceTest::frame("NPR,1,2,3*")); });
        beacons.start(100);
        link->setUartLink(portOf(peer.name));
        QTRY_VERIFY_WITH_TIMEOUT(isReady(*link), 5000);
        QCOMPARE(outcome(700), interrupted);
        link.reset();
    }

    void nestedRequest()
    {
        openOnSimulator();
        sim->setReplyLatency(300);
        QSignalSpy sent(link.get(), &DfrLink::sigSendRequest);
        QString nested;
        QTimer::singleShot(200, link.get(), [&] { nested = TestSupport::thrownBy([&] { link->getDfrVersionsAndStatus(); }); });
        QCOMPARE(outcome(), QString());
        QCOMPARE(nested, QString("sendBlockingRequest recursively called"));
        QCOMPARE(sent.count(), 3);  // TEST, GSN and LIG of the outer operation only
    }

    // The new link answers afterwards; the lost request ends at once, not at its bound.
    void linkReplaced_data()
    {
        QTest::addColumn<bool>("whileOpening");
        QTest::addColumn<QString>("failure");
        QTest::newRow("during the request") << false << interrupted;
        QTest::newRow("while it opens") << true << QString("UART link not available");
    }
    void linkReplaced()
    {
        QFETCH(bool, whileOpening);
        DfrSimulator other{DeviceState::PROFILE_DFR_V1};
        QVERIFY(other.start());
        if (whileOpening) {  // the simulator still holds the keep-alive on opening
            sim->setReplyLatency(3000);
            link->setUartLink(portOf(sim->deviceName()));
            QTRY_COMPARE_WITH_TIMEOUT(sim->receivedCount("TEST"), 1, 5000);
        } else {
            openOnSimulator();
            sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        }
        QTimer::singleShot(200, link.get(), [&] { link->setUartLink(portOf(other.deviceName())); });
        QTEST(outcome(150), "failure");
        QCOMPARE(link->portName(), portOf(other.deviceName()));
        QCOMPARE(int(link->getDfrVersionsAndStatus().dfrVersion), int(DfrLink::DFR_V1));
        link.reset();
    }

    // The worker is held while the link still reads READY, so the request lands behind the slot whatever the
    // threads' timing.
    void requestQueuedBehind_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<QString>("failure");
        QTest::newRow("a keep-alive") << QByteArray("slotKeepAlive") << QString();
        QTest::newRow("a close") << QByteArray("slotCloseConnection") << QString("Link Error: UartLink is not available");
    }
    void requestQueuedBehind()
    {
        QFETCH(QByteArray, slot);
        QFETCH(QString, failure);
        openOnSimulator();
        sim->setReplyLatency(300);
        QSemaphore gate;
        auto* uart = const_cast<UartLink*>(link->currentUartLink());
        QMetaObject::invokeMethod(uart, [&gate] { gate.acquire(); }, Qt::QueuedConnection);
        QVERIFY(QMetaObject::invokeMethod(uart, slot.constData(), Qt::QueuedConnection));
        QTimer::singleShot(200, link.get(), [&gate] { gate.release(); });
        QCOMPARE(outcome(), failure);
        if (failure.isEmpty())
            QCOMPARE(sim->receivedMnemonics(), (QStringList{"TEST", "TEST", "GSN", "LIG"}));
    }

    // An exception escaping the worker is reported and the worker goes on; the link replaced just before
    // the destruction: every link goes, on a worker that has ended.
    void lifecycle()
    {
        Settings::instance()->keepAliveTimeoutMs = 200;
        DfrSimulator other;
        sim->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        QVERIFY(other.start());
        auto* owned = new DfrLink;
        QSignalSpy failed(owned, &DfrLink::sigLinkCompromised);
        QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
        owned->setUartLink(portOf(sim->deviceName()));
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        QCOMPARE(failed.first().at(1).toString(), QString("Uart link timeout"));
        QCOMPARE(TestSupport::thrownBy([&] { owned->getDfrVersionsAndStatus(); }), QString("UART link timeout"));

        std::atomic<int> destroyed{0};
        const auto countDestroyed = [&destroyed] { ++destroyed; };
        QObject::connect(owned->currentUartLink(), &QObject::destroyed, countDestroyed);
        // The worker goes on after the throw: it still runs the link's deferred delete.
        owned->unsetUartLink();
        QTRY_COMPARE_WITH_TIMEOUT(destroyed.load(), 1, 5000);
        sim->clearFaults();
        owned->setUartLink(portOf(sim->deviceName()));
        QCOMPARE(int(owned->getDfrVersionsAndStatus().mode), int(DfrLink::DFR_APP));
        QObject::connect(owned->currentUartLink(), &QObject::destroyed, countDestroyed);
        // Watched from this thread: a slot connected to the running worker's
        // own signals would be published to it without a visible hand-over.
        const QPointer<QThread> worker = owned->findChild<QThread*>();
        QVERIFY(worker);
        owned->setUartLink(portOf(other.deviceName()));
        QObject::connect(owned->currentUartLink(), &QObject::destroyed, countDestroyed);
        delete owned;  // a worker still running here would abort the process
        QCOMPARE(destroyed.load(), 3);
        QVERIFY(worker.isNull());
    }
};

VANTREL_TEST_MAIN(TstDfrLink)

#include "tst_dfrlink.moc"
