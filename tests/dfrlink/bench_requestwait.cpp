// Process CPU time spent while one blocking request waits 3 s for a slow receiver.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

#include "com/DfrLink.h"
#include "inhouse/Exception.h"
#include "sim/DfrSimulator.h"
#include "utils/Settings.h"

using Vantrel::Com::DfrLink;
using Vantrel::Sim::DfrSimulator;

namespace {

constexpr int replyDelayMs = 3000;
constexpr double limitPercent = 5.0;

// User and system time of every thread of the process.
qint64 processCpuUs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Vantrel::Utils::Settings::instance()->printAtCmdDebugInfo = false;

    DfrSimulator sim;
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 2;
    }

    DfrLink link;
    try {
        link.setUartLink(sim.deviceName().mid(int(qstrlen("/dev/"))));
        link.getDfrVersionsAndStatus();  // the link is open and idle from here

        sim.setFaultDelay(replyDelayMs);
        sim.injectFault(DfrSimulator::FAULTMODE_DELAYED_REPLY, QStringLiteral("GSN"));

        QElapsedTimer wall;
        wall.start();
        const qint64 cpuBefore = processCpuUs();
        link.sendGetDfrCmd(DfrLink::CMD_GSN, 0, {}, {2});
        const double cpuMs = (processCpuUs() - cpuBefore) / 1000.0;
        const qint64 wallMs = wall.elapsed();

        const double percent = 100.0 * cpuMs / double(wallMs);
        std::printf("request wait: wall %lld ms, CPU %.1f ms, %.2f %% (limit %.0f %%)\n",
                    static_cast<long long>(wallMs), cpuMs, percent, limitPercent);
        return percent < limitPercent ? 0 : 1;
    } catch (const Tarsk::Utils::Exception& exception) {
        std::fprintf(stderr, "request failed: %s\n", exception.what());
        return 2;
    }
}
