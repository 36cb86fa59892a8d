// CPU time spent while a blocking request waits for a slow receiver, beside an idle event loop over the same time.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

#include "com/DfrLink.h"
#include "inhouse/Exception.h"
#include "sim/DfrSimulator.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DfrSimulator;

namespace {

constexpr int waitMs = 3000;
constexpr double limitPercent = 5.0;

// User and system time of every thread of the process.
qint64 processCpuUs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

// CPU share of the process while `wait` runs, in percent of its wall time.
double cpuPercent(const char* what, const std::function<void()>& wait)
{
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = processCpuUs();
    wait();
    const double cpuMs = (processCpuUs() - cpuBefore) / 1000.0;
    const qint64 wallMs = wall.elapsed();
    const double percent = 100.0 * cpuMs / double(qMax<qint64>(wallMs, 1));
    std::printf("%-36s wall %5lld ms  CPU %7.1f ms  %6.2f %%\n", what, static_cast<long long>(wallMs), cpuMs, percent);
    return percent;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto* settings = Vantrel::Utils::Settings::instance();
    settings->printAtCmdDebugInfo = false;
    // Every wait here must end in its reply, never in a timeout.
    settings->keepAliveTimeoutMs = 3 * waitMs;
    settings->dfrCommandTimeoutMs = 3 * waitMs;

    DfrSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 2;
    }

    DfrLink link;
    try {
        link.setUartLink(sim.deviceName().mid(int(qstrlen("/dev/"))));
        link.getDfrVersionsAndStatus();  // the link is open and idle from here

        const double baseline = cpuPercent("baseline: idle event loop", [] {
            QEventLoop loop;
            QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
            loop.exec();
        });

        sim.setFaultDelay(waitMs);
        sim.injectFault(DfrSimulator::FAULTMODE_DELAYED_REPLY, QStringLiteral("GSN"));
        const double request = cpuPercent("request waiting for a delayed reply", [&link] {
            link.sendGetDfrCmd(DfrLink::CMD_GSN, 0, {}, {2});
        });

        link.unsetUartLink();
        sim.clearFaults();
        sim.clearReceivedFrames();
        sim.setReplyLatency(waitMs);
        link.setUartLink(sim.deviceName().mid(int(qstrlen("/dev/"))));
        while (sim.receivedCount(QStringLiteral("TEST")) == 0) {  // the opening keep-alive is on its way
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(10);
        }
        const double opening = cpuPercent("request waiting for the link to open", [&link] {
            link.checkConnectionReady();
        });

        std::printf("limit %.0f %% above the baseline\n", limitPercent);
        return request - baseline < limitPercent && opening - baseline < limitPercent ? 0 : 1;
    } catch (const Tarsk::Utils::Exception& exception) {
        std::fprintf(stderr, "request failed: %s\n", exception.what());
        return 2;
    }
}
