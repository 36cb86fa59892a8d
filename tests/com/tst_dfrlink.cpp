// DfrLink against receivers on pseudo-terminals: versions and status, reply shapes, request failures, no-send mode, lifecycle.
#include <QtTest>

#include <QSemaphore>

#include "com/DfrLink.h"
#include "com/UartLink.h"
#include "inhouse/Exception.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "utils/Settings.h"

#include <atomic>

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;
using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Utils::Settings;

namespace {

using DeviceTest::portOf;

constexpr auto frame = &DeviceTest::line;

// Fires once and never outlives the test that set it.
struct Later : QTimer
{
    template <typename F>
    Later(int ms, F action)
    {
        setSingleShot(true);
        connect(this, &QTimer::timeout, action);
        start(ms);
    }
};

// A receiver written by hand, for replies the simulator never gives: each rule
// "GSN>VSN,42,1207" answers one request mnemonic with one reply body.
void answer(DeviceTest::PtyPeer& peer, const QStringList& rules)
{
    for (const QString& rule : rules)
        peer.answers.insert(frame(rule.section('>', 0, 0).toLatin1()), frame(rule.section('>', 1).toLatin1()) + "\r\n");
}

bool isReady(const DfrLink& link)
{
    return link.currentUartLink() && link.currentUartLink()->status() == UartLink::UART_READY;
}

QString lastText(const QSignalSpy& texts)
{
    return texts.isEmpty() ? QString() : texts.last().first().toString();
}

} // namespace

// Opens the link and waits until its keep-alive on opening has been answered.
#define CONNECT_READY(link, sim)                                                                   \
    do {                                                                                           \
        (link).setUartLink(portOf((sim).deviceName()));                                            \
        QTRY_VERIFY_WITH_TIMEOUT((sim).receivedCount("TEST") >= 1 && isReady(link), 5000);        \
    } while (false)

class TstDfrLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { DeviceTest::quietLink(5000); }

    void versionsAndStatus_data()
    {
        QTest::addColumn<int>("profile");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("versions");  // application, bootloader, FPGA
        QTest::addColumn<QString>("serialNumber");
        QTest::addColumn<int>("band");
        QTest::addColumn<int>("ipSlots");
        QTest::addColumn<int>("gpsFormatSlots");

        QTest::newRow("first generation") << int(DeviceState::PROFILE_DFR_V1) << int(DfrLink::DFR_UNDEFINEDMODE)
                                          << "1.9 1.2 1.0" << "0007-1207" << int(DfrLink::ORVANBAND_EESS3) << 16 << 0;
        QTest::newRow("second generation application") << int(DeviceState::PROFILE_DFR_V2_APP) << int(DfrLink::DFR_APP)
                                                       << "2.3 1.4 3.1" << "0007-1207" << int(DfrLink::ORVANBAND_MSS)
                                                       << 64 << 16;
        QTest::newRow("second generation bootloader") << int(DeviceState::PROFILE_DFR_V2_BL) << int(DfrLink::DFR_BL)
                                                      << "UNKNOWN 1.4 UNKNOWN" << "UNKNOWN-UNKNOWN"
                                                      << int(DfrLink::ORVANBAND_INVALID) << 64 << 16;
    }

    void versionsAndStatus()
    {
        QFETCH(int, profile);
        QFETCH(int, mode);
        QFETCH(QString, versions);
        QFETCH(QString, serialNumber);
        QFETCH(int, band);
        QFETCH(int, ipSlots);
        QFETCH(int, gpsFormatSlots);

        Settings::instance()->keepAlivePeriodMs = 100;  // keep-alives may fall between the requests
        DeviceTest::LinkedReceiver rx(DeviceState::Profile_t(profile), false, [profile](DeviceState& state) {
            state.serialPart1 = "7";
            state.applicationVersion = profile == DeviceState::PROFILE_DFR_V1 ? "1.9" : "2.3";
            state.status = {true, -33.5, 151.25, false, 287, 7.25, 31, 3};
        });
        DfrSimulator& sim = rx.sim;
        DfrLink& link = rx.link;

        const DfrLink::DfrVersionsAndStatus_t result = link.getDfrVersionsAndStatus();
        const bool application = mode != DfrLink::DFR_BL;
        QCOMPARE(int(link.dfrVersion), profile == DeviceState::PROFILE_DFR_V1 ? 1 : 2);
        QCOMPARE(int(result.mode), mode);
        QCOMPARE(result.applicationVersion + ' ' + result.bootloaderVersion + ' ' + result.fpgaVersion, versions);
        QCOMPARE(result.serialNumberPart1 + '-' + result.serialNumberPart2, serialNumber);
        QCOMPARE(link.serialNumber, QString(application ? "0007" : ""));
        QCOMPARE(int(result.band), band);
        QCOMPARE(link.nbIpSlots(), quint32(ipSlots));
        QCOMPARE(link.nbGpsFormatSlots(), quint32(gpsFormatSlots));
        QCOMPARE(sim.receivedCount("GSN") + sim.receivedCount("LIG"), application ? 2 : 0);
        QCOMPARE(result.gpsValid, application);
        QCOMPARE(result.directionValid, false);
        QVERIFY(qAbs(result.latitude - (application ? -33.5 : 0)) < 1e-4);
        QVERIFY(qAbs(result.longitude - (application ? 151.25 : 0)) < 1e-4);
        QCOMPARE(result.direction, application ? 287u : 0u);
        QCOMPARE(result.voltage, application ? 7.25 : 0.0);
        QCOMPARE(result.temperature, application ? 31u : 0u);
    }

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

        DeviceTest::LinkedReceiver rx(DeviceState::PROFILE_DFR_V2_APP, false,
                                      [&](DeviceState& state) { state.applicationVersion = applicationVersion; });
        QCOMPARE(rx.link.getDfrVersionsAndStatus().applicationVersion, applicationVersion);
        QCOMPARE(rx.link.firmwareLevel, quint32(level));
    }

    void replyShapes_data()
    {
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("serialNumber");
        QTest::addColumn<qint64>("band");  // -1: not looked at

        const auto row = [](const char* tag, const QStringList& replies, const QString& failure,
                            const QString& serial = QString(), qint64 band = -1) {
            QTest::newRow(tag) << replies << failure << serial << band;
        };
        const QString v1 = "TEST>TEST,DFR,V1";
        const QString v2 = "TEST>TEST,DFR,V2,0042,1207,APP,2.2,1.4,3.1";
        const QString lig = "LIG>LIG,3,2928000,138000,135,7400,24,8,12,35,0,0,0,";
        const QString v1Lig = lig + "1.9,1.2,1.0";
        const QString v2Lig = lig + "3,2.2,1.4,3.1";
        const QString count = "Unable to read reply of command %1 setup: bad parameters number.";

        row("second generation status, 15 values", {v2, "GSN>VSN,42,1", v1Lig}, count.arg("LIG"));
        row("first generation status, 16 values", {v1, "GSN>VSN,42-1", v2Lig}, count.arg("LIG"));
        row("test reply, 3 values", {"TEST>TEST,DFR,V2,X"}, count.arg("TEST"));
        row("second generation serial in one value", {v2, "GSN>VSN,42-1"}, count.arg("GSN"));
        row("application reply naming the bootloader", {"TEST>TEST,DFR,V2,0042,1207,BL,2.2,1.4,3.1"},
            "Unknown mode, should be APP");
        row("bootloader reply naming the application", {"TEST>TEST,DFR,V2,0042,1207,APP,1.4"}, "Unknown mode, should be BL");
        row("refused serial request", {v2, "GSN>ACK,GSN,0"},
            QString("Error in reply: Invalid command: \"%1\"").arg(QString(frame("ACK,GSN,0"))));
        row("first generation serial", {v1, "GSN>VSN,12-345", v1Lig}, "", "0012-345");
        row("first generation serial without a dash", {v1, "GSN>VSN,77", v1Lig}, "", "0077-");
        // The live band is kept as sent while it fits 16 bits, else it reads 0.
        for (const auto& [text, band] : std::initializer_list<std::pair<const char*, qint64>>{
                 {"11", 11}, {"65535", 65535}, {"65536", 0}, {"B3", 0}, {"-1", 0}})
            row(qPrintable(QStringLiteral("live band %1").arg(text)), {v2, "GSN>VSN,42,1207", lig + text + ",2.2,1.4,3.1"},
                "", "0042-1207", band);
    }

    void replyShapes()
    {
        QFETCH(QStringList, replies);
        QFETCH(QString, failure);
        QFETCH(QString, serialNumber);
        QFETCH(qint64, band);

        DeviceTest::PtyPeer peer;
        answer(peer, replies);
        DfrLink link;
        link.setUartLink(portOf(peer.name));
        DfrLink::DfrVersionsAndStatus_t result;
        QCOMPARE(TestSupport::thrownBy([&] { result = link.getDfrVersionsAndStatus(); }), failure);
        if (failure.isEmpty())
            QCOMPARE(result.serialNumberPart1 + '-' + result.serialNumberPart2, serialNumber);
        if (band >= 0)
            QCOMPARE(qint64(result.band), band);
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
            CONNECT_READY(link, sim);
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
        Later during(200, [&] {
            gate.release();
            if (scenario == "interrupted")
                link.interruptRequest();
            else if (scenario.startsWith("replaced"))
                link.setUartLink(portOf(other.deviceName()));
            else if (scenario.startsWith("nested"))
                nested = TestSupport::thrownBy([&] { link.getDfrVersionsAndStatus(); });
        });
        Later watchdog(6000, [&] { link.interruptRequest(); });  // a lost wait fails on time instead of hanging
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

    void noSendCommandMode_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("afterStop");

        QTest::newRow("connected") << true << "";
        QTest::newRow("without a link") << false << "UART link not available";
    }

    void noSendCommandMode()
    {
        QFETCH(bool, connected);
        QFETCH(QString, afterStop);

        DfrSimulator sim;
        QVERIFY(sim.start());
        DfrLink link;
        if (connected)
            CONNECT_READY(link, sim);
        QSignalSpy sent(&link, &DfrLink::sigSendRequest);

        link.startNoSendCommandMode();
        link.sendBlockingRequest(DfrLink::CMD_SETUPHW, {"0", "1", "-5", "2", "1", "+3.5", "1"});
        link.sendBlockingRequest(DfrLink::CMD_REBO);
        link.sendBlockingRequest(DfrLink::CMD_SETUPSW, {"1", ""});
        QCOMPARE(link.stopNoSendCommandMode(),
                 (QStringList{frame("SETUPHW,0,1,-5,2,1,+3.5,1"), frame("REBO"), frame("SETUPSW,1,")}));
        QCOMPARE(sent.count(), 0);
        link.startNoSendCommandMode();
        QCOMPARE(link.stopNoSendCommandMode(), QStringList());

        QCOMPARE(TestSupport::thrownBy([&] { link.sendBlockingRequest(DfrLink::CMD_REBO); }), afterStop);
        QCOMPARE(sim.receivedMnemonics().filter(QRegularExpression("^(REBO|SETUP)")), connected ? QStringList{"REBO"} : QStringList());
    }

    // READY once opened, WAITING while a request is pending, ERROR once it timed out.
    void statusTexts()
    {
        Settings::instance()->dfrCommandTimeoutMs = 300;
        DfrSimulator sim;
        QVERIFY(sim.start());
        DfrLink link;
        QSignalSpy texts(&link, &DfrLink::sigUartLinkStatusChanged);
        CONNECT_READY(link, sim);
        QTRY_COMPARE_WITH_TIMEOUT(lastText(texts), QString("READY"), 5000);
        QVERIFY(texts.contains(QVariantList{"WAITING"}));  // the keep-alive on opening
        sim.setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "GSN");
        QString pending;
        Later look(100, [&] { pending = lastText(texts); });
        TestSupport::thrownBy([&] { link.sendGetDfrCmd(DfrLink::CMD_GSN, 0, {}, {2}); });
        QCOMPARE(pending, QString("WAITING"));
        QTRY_COMPARE_WITH_TIMEOUT(lastText(texts), QString("ERROR"), 5000);
    }

    // The link replaced just before: both links go, on a worker that has ended.
    void destructionJoinsWorker()
    {
        DfrSimulator first;
        DfrSimulator second;
        QVERIFY(first.start() && second.start());
        auto* link = new DfrLink;
        CONNECT_READY(*link, first);

        std::atomic<int> destroyed{0};
        std::atomic<bool> finished{false};
        const auto countDestroyed = [&destroyed] { ++destroyed; };
        QObject::connect(link->currentUartLink(), &QObject::destroyed, countDestroyed);
        QObject::connect(link->findChild<QThread*>(), &QThread::finished, [&finished] { finished = true; });
        link->setUartLink(portOf(second.deviceName()));
        QObject::connect(link->currentUartLink(), &QObject::destroyed, countDestroyed);

        delete link;  // a worker still running here would abort the process
        QCOMPARE(destroyed.load(), 2);
        QVERIFY(finished);
    }

    void workerExceptionIsReported()
    {
        Settings::instance()->keepAliveTimeoutMs = 200;
        DfrSimulator sim;
        sim.setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY, "TEST");
        QVERIFY(sim.start());
        DfrLink link;
        QSignalSpy compromised(&link, &DfrLink::sigLinkCompromised);
        QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");

        link.setUartLink(portOf(sim.deviceName()));
        QTRY_COMPARE_WITH_TIMEOUT(compromised.count(), 1, 5000);
        QCOMPARE(compromised.first().at(1).toString(), QString("Uart link timeout"));
        QCOMPARE(TestSupport::thrownBy([&] { link.getDfrVersionsAndStatus(); }), QString("UART link timeout"));

        // The worker goes on after the throw: it still runs the link's deferred delete.
        std::atomic<bool> destroyed{false};
        QObject::connect(link.currentUartLink(), &QObject::destroyed, [&destroyed] { destroyed = true; });
        link.unsetUartLink();
        QTRY_VERIFY_WITH_TIMEOUT(destroyed, 5000);
        sim.clearFaults();
        link.setUartLink(portOf(sim.deviceName()));
        QCOMPARE(int(link.getDfrVersionsAndStatus().mode), int(DfrLink::DFR_APP));
    }
};

int main(int argc, char** argv)
{
    // The application object reports exceptions escaping the worker thread's slots.
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    TstDfrLink test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dfrlink.moc"
