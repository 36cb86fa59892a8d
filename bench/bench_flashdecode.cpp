// Decoding second-generation flash records from memory into the messages table,
// beside decoding alone (nothing listening) as the baseline.
#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>

#include "inhouse/ToplevelApplication.h"
#include "sim/BeaconBuilder.h"
#include "sim/BeaconGenerator.h"
#include "sim/DeviceState.h"
#include "ui/MainWindow.h"
#include "utils/FlashMemory.h"
#include "utils/Settings.h"

using namespace Vantrel;

namespace {

QByteArray records(int count)
{
    Sim::DeviceState state(Sim::DeviceState::PROFILE_DFR_V2_APP);
    Sim::BeaconGenerator generator(state);
    QByteArray area;
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-30);
    for (int k = 0; k < count; ++k)
        area += Sim::BeaconBuilder::flashRecordV2(generator.next(start.addSecs(k * 10)), true);
    return area;
}

double decodeMs(const QByteArray& area)
{
    QElapsedTimer clock;
    clock.start();
    Utils::FlashMemory::instance()->decodeFlashMemoryDfrV2(area, true, true);
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    auto* window = new Ui::MainWindow();
    Utils::Settings::instance()->printAtCmdDebugInfo = false;
    window->show();

    std::printf("%-10s %16s %22s %8s\n", "records", "decode only (ms)", "decode + table (ms)", "ratio");
    double first = 0;
    for (const int count : {100000, 200000}) {
        const QByteArray area = records(count);
        QObject::disconnect(Utils::FlashMemory::instance(), nullptr, window, nullptr);
        const double alone = decodeMs(area);
        QObject::connect(Utils::FlashMemory::instance(), &Utils::FlashMemory::sigOrvanDecoded, window,
                         &Ui::MainWindow::slotOrvanMessageReceived);
        window->slotClearRxTable();
        const double shown = decodeMs(area);
        window->endRxBurst();
        if (first == 0)
            first = shown;
        std::printf("%-10d %16.0f %22.0f %8.2f   rows %d%s\n", count, alone, shown, shown / first,
                    window->rxRowCount(), count == 200000 ? "   (ratio: against 100 000 shown; limit 2.2)" : "");
        std::fflush(stdout);
    }
    delete window;
    return 0;
}
