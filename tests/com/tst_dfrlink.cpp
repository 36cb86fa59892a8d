// DfrLink against receivers on pseudo-terminals: versions and status, request failures, status texts, lifecycle.
#include <QtTest>

#include "com/UartLink.h"
#include "inhouse/ToplevelApplication.h"
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

private Q_SLOTS:
    void init() { DeviceTest::quietLink(5000); }

    void firmwareLevel_data()
    {
        QTest::addColumn<QString>("applicationVersion");
        QTest::addColumn<int>("level");
        for (const auto& [version, level] : std::initializer_list<std::pair<const char*, int>>{
                 {"1.9", 0}, {"2", 2}, {"2.0", 1}, {"2.2", 2}, {"2.10", 2}, {"2.beta", 1}, {"3.0", 0}})
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
                 {"11", 11}, {"65535", 65535}, {"65536", 0}, {"B3", 0}, {"-1", 0}})
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
        QFETCH(QString, expected);

        DeviceTest::PtyPeer peer;
        answer(peer, replies);
        DfrLink link;
        link.setUartLink(portOf(peer.name));
        DfrLink::DfrVersionsAndStatus_t r;
        const QString failure = TestSupport::thrownBy([&] { r = link.getDfrVersionsAndStatus(); });
        const auto n = [](auto value) { return QString::number(value); };
        const QStringList read{n(link.dfrVersion), n(r.mode), r.applicationVersion, r.bootloaderVersion, r.fpgaVersion,
                               r.serialNumberPart1 + '-' + r.serialNumberPart2, link.serialNumber, "band", n(r.band),
                               n(link.nbIpSlots()), n(link.nbGpsFormatSlots()), n(link.firmwareLevel), "|",
                               n(r.gpsValid), n(r.latitude), n(r.longitude), n(r.directionValid), n(r.direction),
                               n(r.voltage), n(r.temperature)};
        QCOMPARE(failure.isEmpty() ? read.join(' ') : failure, expected);
    }

    void requestOutcome_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("minimumMs");  // below it, the wrong bound ended the wait (coarse timers fire 5 % early)

        const QString notAvailable = "UART link not available";
        const QString interrupted = "Link Error: Request interrupted";
        QTest::newRow("no link") << "no link" << notAvailable << 0;
        QTest::newRow("released by an empty port name") << "released" << notAvailable << 0;
        const QString unopenable = "Link Error: Port pts/99999 cannot be open (error DeviceNotFoundError)";
        QTest::newRow("port that cannot be opened") << "unopenable" << unopenable << 0;
        QTest::newRow("port whose open error was handled before") << "unopenable, handled" << unopenable << 0;
        QTest::newRow("silent receiver, link timeout") << "silent" << "Link Error: Uart link timeout" << 250;
        // Beacon lines restart the link's own timeout, so only the outer bound, twice as long, is left.
        QTest::newRow("silent receiver, outer bound") << "beacons only" << interrupted << 700;
        QTest::newRow("interrupted by the caller") << "interrupted" << interrupted << 150;
        QTest::newRow("another started inside the wait") << "nested" << "" << 0;
        QTest::newRow("link replaced during the request") << "replaced" << interrupted << 150;
        QTest::newRow("link replaced while it opens") << "replaced, opening" << notAvailable << 150;
        QTest::newRow("first request during the keep-alive on opening") << "opening" << "" << 0;
        QTest::newRow("request queued behind a keep-alive") << "queued slotKeepAlive" << "" << 0;
        QTest::newRow("request refused behind a close") << "queued slotCloseConnection"
                                                        << "Link Error: UartLink is not available" << 0;
    }

    void requestOutcome()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, failure);
        QFETCH(int, minimumMs);

        if (scenario == "silent" || scenario == "beacons only")
            Settings::instance()->dfrCommandTimeoutMs = scenario == "silent" ? 300 : 400;
        DfrSimulator sim;
        DfrSimulator other{DeviceState::PROFILE_DFR_V1};
        QVERIFY(sim.start() && other.start());
        DeviceTest::PtyPeer peer;
        answer(peer, {"TEST>TEST,DFR,V1"});
        QTimer beacons;
        QObject::connect(&beacons, &QTimer::timeout, [&peer] { peer.write(DeviceTest::frame("NPR,1,2,3*")); });
        DfrLink link;
        QSignalSpy texts(&link, &DfrLink::sigUartLinkStatusChanged);
        QSemaphore gate;
        if (scenario.endsWith("opening")) {
            // Keeps the link busy with its first keep-alive once the simulator has it.
            sim.setReplyLatency(scenario.startsWith("replaced") ? 3000 : 300);
            link.setUartLink(portOf(sim.deviceName()));
            QTRY_COMPARE_WITH_TIMEOUT(sim.receivedCount("TEST"), 1, 5000);
        } else if (scenario == "beacons only") {
            beacons.start(100);
            link.setUartLink(portOf(peer.name));
            QTRY_VERIFY_WITH_TIMEOUT(isReady(link), 5000);
        } else if (scenario.startsWith("unopenable")) {
            QSignalSpy failed(&link, &DfrLink::sigLinkCompromised);
            link.setUartLink("pts/99999");
            if (scenario.endsWith("handled"))
                QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        } else if (scenario != "no link") {
            // Open, its keep-alive on opening answered.
            link.setUartLink(portOf(sim.deviceName()));
            QTRY_VERIFY_WITH_TIMEOUT(sim.receivedCount("TEST") >= 1 && isReady(link), 5000);
            sim.clearReceivedFrames();
        }
        if (scenario == "released")
            link.setUartLink(QString());
        if (scenario == "silent" || scenario == "interrupted" || scenario == "replaced")
            sim.setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        if (scenario == "nested")
            sim.setReplyLatency(300);
        if (scenario.startsWith("queued")) {
            // The worker is held while the link still reads READY, so the request
            // lands behind the slot whatever the threads' timing.
            sim.setReplyLatency(300);
            auto* uart = const_cast<UartLink*>(link.currentUartLink());
            QMetaObject::invokeMethod(uart, [&gate] { gate.acquire(); }, Qt::QueuedConnection);
            QVERIFY(QMetaObject::invokeMethod(uart, scenario.mid(7).toLatin1().constData(), Qt::QueuedConnection));
        }
        QString nested;
        QObject scope;  // the timers below never outlive the test
        QTimer::singleShot(200, &scope, [&] {
            gate.release();
            if (scenario == "interrupted")
                link.interruptRequest();
            else if (scenario.startsWith("replaced"))
                link.setUartLink(portOf(other.deviceName()));
            else if (scenario.startsWith("nested"))
                nested = TestSupport::thrownBy([&] { link.getDfrVersionsAndStatus(); });
        });
        // A lost wait fails on time instead of hanging.
        QTimer::singleShot(6000, &scope, [&] { link.interruptRequest(); });
        QSignalSpy compromised(&link, &DfrLink::sigLinkCompromised);
        QSignalSpy sent(&link, &DfrLink::sigSendRequest);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(TestSupport::thrownBy([&] { link.getDfrVersionsAndStatus(); }), failure);
        QVERIFY2(clock.elapsed() >= minimumMs && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        const bool linkFailed = scenario == "silent" || scenario == "unopenable";
        QCOMPARE(compromised.count(), linkFailed ? 1 : 0);
        if (linkFailed)
            QCOMPARE(compromised.first(), (QVariantList{link.portName(), failure.mid(int(qstrlen("Link Error: ")))}));
        // The status shown: waiting for the keep-alive on opening, ready, waiting for the request, failed.
        if (scenario == "silent")
            QTRY_COMPARE_WITH_TIMEOUT(shown(texts), QString("WAITING WAITING READY WAITING ERROR"), 5000);
        if (scenario == "no link" || scenario == "released")
            QCOMPARE(sent.count(), 0);
        if (scenario.startsWith("nested")) {
            QCOMPARE(nested, QString("sendBlockingRequest recursively called"));
            QCOMPARE(sent.count(), 3);  // TEST, GSN and LIG of the outer operation only
        }
        if (scenario.startsWith("replaced")) {
            QCOMPARE(link.portName(), portOf(other.deviceName()));
            QCOMPARE(int(link.getDfrVersionsAndStatus().dfrVersion), int(DfrLink::DFR_V1));
        }
        if (failure.isEmpty() && !scenario.startsWith("nested"))
            QCOMPARE(sim.receivedMnemonics(), (QStringList{"TEST", "TEST", "GSN", "LIG"}));
    }

    // The link replaced just before: both links go, on a worker that has ended.
    // An exception escaping the worker is reported and the worker goes on; the link replaced just before
    // the destruction: every link goes, on a worker that has ended.
    void lifecycle()
    {
        Settings::instance()->keepAliveTimeoutMs = 200;
        DfrSimulator sim;
        DfrSimulator other;
        sim.setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        QVERIFY(sim.start() && other.start());
        auto* link = new DfrLink;
        QSignalSpy compromised(link, &DfrLink::sigLinkCompromised);
        QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
        link->setUartLink(portOf(sim.deviceName()));
        QTRY_COMPARE_WITH_TIMEOUT(compromised.count(), 1, 5000);
        QCOMPARE(compromised.first().at(1).toString(), QString("Uart link timeout"));
        QCOMPARE(TestSupport::thrownBy([&] { link->getDfrVersionsAndStatus(); }), QString("UART link timeout"));

        std::atomic<int> destroyed{0};
        std::atomic<bool> finished{false};
        const auto countDestroyed = [&destroyed] { ++destroyed; };
        QObject::connect(link->currentUartLink(), &QObject::destroyed, countDestroyed);
        // The worker goes on after the throw: it still runs the link's deferred delete.
        link->unsetUartLink();
        QTRY_COMPARE_WITH_TIMEOUT(destroyed.load(), 1, 5000);
        sim.clearFaults();
        link->setUartLink(portOf(sim.deviceName()));
        QCOMPARE(int(link->getDfrVersionsAndStatus().mode), int(DfrLink::DFR_APP));
        QObject::connect(link->currentUartLink(), &QObject::destroyed, countDestroyed);
        QObject::connect(link->findChild<QThread*>(), &QThread::finished, [&finished] { finished = true; });
        link->setUartLink(portOf(other.deviceName()));
        QObject::connect(link->currentUartLink(), &QObject::destroyed, countDestroyed);
        delete link;  // a worker still running here would abort the process
        QCOMPARE(destroyed.load(), 3);
        QVERIFY(finished);
    }
};

int main(int argc, char** argv)
{
    // The application object reports exceptions escaping the worker thread's slots.
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TstDfrLink test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlink.moc"
