// Reading a second-generation flash from the simulator end to end (requests, binary
// packets, decoding, messages table): 1 MB unpaced, and 256 KB paced at 115 200
// baud beside the time its bytes need on the wire.
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

#include <cstdio>

#include "com/DfrLink.h"
#include "com/UartLink.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"
#include "ui/MainWindow.h"
#include "utils/FlashMemory.h"
#include "utils/Settings.h"

using namespace Vantrel;

namespace {

struct Run
{
    double readMs = 0;
    double totalMs = 0;
    qint64 bytes = 0;
    qint64 lineBytes = 0;
    int rows = 0;
};

Run readFlash(Ui::MainWindow* window, qint64 bytes, int baud)
{
    Sim::DfrSimulator sim;
    sim.setBeaconPeriod(0);
    // Whole records up to the size asked for: about 40 bytes each.
    Sim::DemoContent::fillFlash(sim.state(), int(bytes / 20));
    sim.state().flashImage.truncate(int(bytes));
    sim.setLinePacing(baud);
    QThread simThread;
    sim.moveToThread(&simThread);
    simThread.start();
    bool started = false;
    QMetaObject::invokeMethod(&sim, "start", Qt::BlockingQueuedConnection, Q_RETURN_ARG(bool, started));

    Com::DfrLink link;
    link.setUartLink(sim.deviceName().mid(5));
    link.getDfrVersionsAndStatus();
    window->slotClearRxTable();
    const qint64 before = sim.bytesSent();

    Run run;
    QElapsedTimer clock;
    clock.start();
    const QByteArray area = link.readFlashMemoryDfrV2();
    run.readMs = double(clock.nsecsElapsed()) / 1e6;
    Utils::FlashMemory::instance()->decodeFlashMemoryDfrV2(area, link.firmwareLevel == 2, true, nullptr, nullptr,
                                                           true);
    window->endRxBurst();
    run.totalMs = double(clock.nsecsElapsed()) / 1e6;
    run.bytes = area.size();
    run.lineBytes = sim.bytesSent() - before;
    run.rows = window->rxRowCount();

    link.unsetUartLink();
    QMetaObject::invokeMethod(&sim, "stop", Qt::BlockingQueuedConnection);
    simThread.quit();
    simThread.wait();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    auto* window = new Ui::MainWindow();
    window->show();
    // After the window, which loads the settings file.
    Utils::Settings::instance()->keepAlivePeriodMs = 0;
    Utils::Settings::instance()->printAtCmdDebugInfo = false;
    Utils::Settings::instance()->printUartDebugInfo = false;

    const Run fast = readFlash(window, 1 << 20, 0);
    std::printf("1 MB unpaced: read %.0f ms, read + decode + table %.0f ms (limit 3000), %lld bytes, %d rows\n",
                fast.readMs, fast.totalMs, fast.bytes, fast.rows);

    const Run paced = readFlash(window, 256 << 10, 115200);
    const double wireMs = double(paced.lineBytes) * 10 * 1000 / 115200;
    const double payloadWireMs = double(paced.bytes) * 10 * 1000 / 115200;
    std::printf("256 KB at 115200 baud: read %.0f ms, with decode + table %.0f ms\n", paced.readMs, paced.totalMs);
    std::printf("  wire time of the %lld bytes sent (packets and replies): %.0f ms -> read takes %.1f %% longer "
                "(limit 10 %%)\n",
                paced.lineBytes, wireMs, (paced.readMs / wireMs - 1) * 100);
    std::printf("  wire time of the %lld data bytes alone: %.0f ms (packet framing adds %.1f %%)\n", paced.bytes,
                payloadWireMs, (double(paced.lineBytes) / double(paced.bytes) - 1) * 100);
    delete window;
    return 0;
}
