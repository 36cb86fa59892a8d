// Soak: the main window connected to a simulated receiver for a long time, the
// traffic log on. Phase 1 sends a beacon every 100 ms (default 60 minutes) and
// reports resident memory after its first minute and at its end, with the rows
// the table gained and what such rows cost by themselves (measured in a child
// process), so that growth beyond the rows shows. Phase 2 sends a beacon every
// 5 s (default 10 minutes) and reports the program's CPU use. The baseline,
// measured first in the same run, is the idle window, not connected.
// The simulator runs in a child process, so that its work is not counted.
// Usage: bench_soak [--minutes N] [--quiet-minutes N] [--baseline-seconds N]
//        (children: bench_soak --serve | bench_soak --row-cost N)
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QSocketNotifier>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

#include "BenchSupport.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/DfrSimulator.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/RxTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

using namespace Vantrel;

namespace {

using BenchSupport::rssKb;

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until the condition holds or the time is up; sleeps in between.
bool runUntil(const std::function<bool()>& done, qint64 ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer::singleShot(int(qMin<qint64>(left, 200)), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runFor(qint64 ms)
{
    runUntil([] { return false; }, ms);
}

struct Sample
{
    double cpu = 0;
    QElapsedTimer wall;
    void start()
    {
        cpu = cpuSeconds();
        wall.start();
    }
    double percentOfCore() const { return (cpuSeconds() - cpu) * 100 / (double(wall.nsecsElapsed()) / 1e9); }
};

// Child: the receiver, on a pseudo-terminal whose name goes to stdout. A line
// "period <ms>" on stdin changes the beacon period; end of input ends it.
int serve(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Sim::DfrSimulator sim;
    sim.setBeaconPeriod(100);
    if (!sim.start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.deviceName()));
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[256];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(chunk, int(n));
        for (int end; (end = int(pending.indexOf('\n'))) >= 0; pending.remove(0, end + 1)) {
            const QByteArray line = pending.left(end).trimmed();
            if (line.startsWith("period "))
                sim.setBeaconPeriod(line.mid(7).toInt());
        }
    });
    return app.exec();
}

// Child: resident memory that `count` live rows cost in a sorted table of their own.
int rowCost(int argc, char** argv, int count)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Ui::RxTableModel model;
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true);
    view.show();
    QCoreApplication::processEvents();
    const qint64 before = rssKb();
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    for (int n = 0; n < count; ++n) {
        Ui::RxTableModel::Row_t row;
        Com::DfrLink::OrvanRxMessage_t& m = row.message;
        m.platformSlotIndex = n % 4 == 3 ? -1 : n % 3;
        m.dateTime = Tarsk::Utils::DateTime::fromQDateTime(start.addMSecs(qint64(n) * 100));
        m.platformId = QStringLiteral("%1").arg(0xA0000 + n % 7, 7, 16, QLatin1Char('0')).toUpper();
        m.frequencyHz = 401650000;
        m.dfrDirectionValid = m.dfrPositionValid = m.periodValid = m.crcOk = true;
        m.direction = quint32(n % 360);
        m.level = -110;
        m.period = 50;
        m.payload = QByteArray::fromHex("0102030405060708090A0B0C0D0E0F");
        m.rawPayload = QByteArray::fromHex("FF0102030405060708090A0B0C0D0E0F");
        m.flashPosition = -1;
        row.label = QStringLiteral("Buoy %1").arg(n % 3);
        row.live = true;
        model.addRow(std::move(row));
        if (n % 1000 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    std::printf("%.1f\n", double(rssKb() - before) * 1024 / count);
    return 0;
}

double childRowCost(int rows)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--row-cost"), QString::number(rows)});
    if (!child.waitForFinished(300000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

QAction* portAction(const Ui_UiMainWindow* ui, const QString& port)
{
    for (QAction* action : ui->mainToolBar_->actions())
        if (action->toolTip() == QStringLiteral("Connect to DFR @%1").arg(port))
            return action;
    return nullptr;
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_soak: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList all;
        for (int i = 1; i < argc; ++i)
            all << QString::fromLocal8Bit(argv[i]);
        return all;
    }();
    if (args.value(0) == QLatin1String("--serve"))
        return serve(argc, argv);
    if (args.value(0) == QLatin1String("--row-cost"))
        return rowCost(argc, argv, args.value(1).toInt());

    double minutes = 60, quietMinutes = 10, baselineSeconds = 60;
    for (int i = 0; i < args.size(); i += 2) {
        bool ok = false;
        const double value = args.value(i + 1).toDouble(&ok);
        if (!ok || value <= 0)
            return fail("usage: bench_soak [--minutes N] [--quiet-minutes N] [--baseline-seconds N]");
        if (args[i] == QLatin1String("--minutes"))
            minutes = value;
        else if (args[i] == QLatin1String("--quiet-minutes"))
            quietMinutes = value;
        else if (args[i] == QLatin1String("--baseline-seconds"))
            baselineSeconds = value;
        else
            return fail("usage: bench_soak [--minutes N] [--quiet-minutes N] [--baseline-seconds N]");
    }
    const qint64 phaseMs = qint64(minutes * 60000);
    const qint64 firstMinuteMs = qMin<qint64>(60000, phaseMs / 2);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false\ndefault.debug=false"));
    // Nothing may block the soak on a question; every dialog gets its default.
    Ui::Dialogs::setResponder([](const Ui::Dialogs::Request_t&) { return QVariant(); });
    auto* window = new Ui::MainWindow();
    Ui_UiMainWindow* ui = window->form();
    window->show();
    app.setMainClass(window);
    Utils::Settings::instance()->printAtCmdDebugInfo = false;
    Utils::Settings::instance()->printUartDebugInfo = false;

    // Baseline: the idle window, its port scan running.
    runFor(2000);
    Sample idle;
    idle.start();
    runFor(qint64(baselineSeconds * 1000));
    const double idleCpu = idle.percentOfCore();
    const qint64 idleRss = rssKb();

    QProcess receiver;
    receiver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    receiver.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    if (!receiver.waitForReadyRead(10000))
        return fail("the simulator did not start");
    const QString device = QString::fromLocal8Bit(receiver.readLine().trimmed());
    const QString port = device.mid(int(qstrlen("/dev/")));
    qputenv("VANTREL_SIMULATED_PORTS", device.toLocal8Bit());
    if (!runUntil([&] { return portAction(ui, port) != nullptr; }, 30000))
        return fail("the window never offered the simulated receiver");
    portAction(ui, port)->trigger();
    if (!runUntil([&] { return ui->lineEditVersionsStatus->text().startsWith(QLatin1String("Connected")); }, 30000))
        return fail("the window did not connect");
    ui->checkBoxRxLogFile->setChecked(true);
    const QString logFile =
        QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Logs")));
    const auto rows = [&] { return window->rxTableModel()->totalRowCount(); };
    if (!runUntil([&] { return rows() > 0; }, 10000))
        return fail("no beacon reached the table");

    std::printf("soak: %.1f min at one beacon per 100 ms, then %.1f min at one per 5 s; traffic log in %s\n",
                minutes, quietMinutes, qPrintable(logFile));
    std::fflush(stdout);
    Sample busy;
    busy.start();
    runFor(firstMinuteMs);
    const qint64 rssFirst = rssKb();
    const int rowsFirst = rows();
    runFor(phaseMs - firstMinuteMs);
    const qint64 rssEnd = rssKb();
    const int rowsEnd = rows();
    const double busyCpu = busy.percentOfCore();

    receiver.write("period 5000\n");
    runFor(1000);
    Sample quiet;
    quiet.start();
    const int rowsQuietStart = rows();
    runFor(qint64(quietMinutes * 60000));
    const double quietCpu = quiet.percentOfCore();
    const int rowsQuiet = rows() - rowsQuietStart;
    const bool stillConnected = ui->lineEditVersionsStatus->text().startsWith(QLatin1String("Connected"));

    receiver.closeWriteChannel();
    receiver.waitForFinished(5000);
    delete window;

    const double perRow = childRowCost(qMax(20000, rowsEnd));
    const double rowsKb = perRow * (rowsEnd - rowsFirst) / 1024;
    const double unexplained = double(rssEnd) - rowsKb - double(rssFirst);
    std::printf("\n%-44s %14s %14s\n", "", "idle window", "soak");
    std::printf("%-44s %14.2f %14.2f\n", "CPU, % of one core, one beacon per 100 ms", idleCpu, busyCpu);
    std::printf("%-44s %14.2f %14.2f   (limit 2)\n", "CPU, % of one core, one beacon per 5 s", idleCpu, quietCpu);
    std::printf("%-44s %14lld %14lld\n", "RSS kB, after the first minute", idleRss, rssFirst);
    std::printf("%-44s %14s %14lld\n", "RSS kB, end of phase 1", "", rssEnd);
    std::printf("rows: %d after the first minute, %d at the end of phase 1, %d more in phase 2%s\n", rowsFirst, rowsEnd,
                rowsQuiet, stillConnected ? "" : " (LINK LOST)");
    std::printf("a row costs %.0f bytes on its own -> %d rows account for %.0f kB\n", perRow, rowsEnd - rowsFirst,
                rowsKb);
    std::printf("RSS at the end less the rows: %.0f kB, %+.1f %% of the first minute's (limit +10 %%)\n",
                double(rssEnd) - rowsKb, unexplained * 100 / double(rssFirst));
    return stillConnected ? 0 : 1;
}
