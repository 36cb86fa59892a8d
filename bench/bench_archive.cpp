// The message archive against the ways around it: a flash read of second-generation
// records archived through the window's keeper beside decoding alone and beside a
// CSV file of the same messages; the same read again; then an archive of ten reads,
// its size, a query for one platform and a load of one read into the messages table.
// Usage: bench_archive [messages per read, default 100000] [seed, default 20261207]
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "archive/ArchiveKeeper.h"
#include "archive/MessageArchive.h"
#include "inhouse/ToplevelApplication.h"
#include "sim/BeaconBuilder.h"
#include "sim/BeaconGenerator.h"
#include "sim/DeviceState.h"
#include "ui/archive/ArchiveRows.h"
#include "ui/RxTableModel.h"
#include "utils/FlashMemory.h"

using namespace Vantrel;
using Archive::ArchiveRecord_t;
using Archive::ArchiveRecords_t;
using Com::DfrLink;

namespace {

using Favorites_t = QList<QPair<QString, DfrLink::OrvanModulation_t>>;
constexpr int readCount = 10;
constexpr int platformCount = 200;
constexpr int receiverCount = 5;

QString receiverOf(int read)
{
    return QStringLiteral("%1-1207").arg(42 + read % receiverCount, 4, 10, QLatin1Char('0'));
}

ArchiveRecord_t recordOf(const DfrLink::OrvanRxMessage_t& message)
{
    ArchiveRecord_t record;
    record.message = message;
    record.receiver = receiverOf(0);
    record.generation = DfrLink::DFR_V2;
    return record;
}

double msSince(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// Decodes the area with the given slot on every message; the slot's own time is included.
template <typename Slot>
double decodeMs(const QByteArray& area, const Favorites_t& favorites, Slot slot)
{
    Utils::FlashMemory* flash = Utils::FlashMemory::instance();
    const QMetaObject::Connection connection = QObject::connect(
        flash, &Utils::FlashMemory::sigOrvanDecoded, flash,
        [&slot](const DfrLink::OrvanRxMessage_t& message, DfrLink::RxOrigin_t) { slot(message); });
    QElapsedTimer clock;
    clock.start();
    flash->decodeFlashMemoryDfrV2(area, true, favorites, true);
    const double ms = msSince(clock);
    QObject::disconnect(connection);
    return ms;
}

// Runs the event loop until the signal comes; false after timeoutMs without it.
template <typename Sender, typename Signal>
bool waitFor(Sender* sender, Signal signal, int timeoutMs = 120000)
{
    QEventLoop loop;
    bool came = false;
    QObject::connect(sender, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return came;
}

int failures = 0;

void check(bool holds, const char* what)
{
    std::printf("  [%s] %s\n", holds ? "ok" : "FAIL", what);
    failures += holds ? 0 : 1;
}

struct Burst_t
{
    double totalMs = 0;  // decode, hand-over and the wait for the write
    double waitMs = 0;   // from endBurst to sigStored
    double longestGapMs = 0;  // between ticks of a 5 ms timer of this thread, while waiting
    int added = -1;
};

Burst_t archiveRead(Archive::ArchiveKeeper& keeper, const QByteArray& area, const Favorites_t& favorites)
{
    Burst_t burst;
    QElapsedTimer clock;
    clock.start();
    decodeMs(area, favorites, [&](const DfrLink::OrvanRxMessage_t& m) { keeper.add(recordOf(m)); });
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QElapsedTimer sinceTick;
    const auto tick = [&] {
        burst.longestGapMs = std::max(burst.longestGapMs, msSince(sinceTick));
        sinceTick.start();
    };
    QObject::connect(&ticker, &QTimer::timeout, tick);
    const QMetaObject::Connection stored =
        QObject::connect(&keeper, &Archive::ArchiveKeeper::sigStored, [&](int added, int) { burst.added = added; });
    QElapsedTimer wait;
    wait.start();
    sinceTick.start();
    ticker.start();
    keeper.endBurst();
    if (!waitFor(&keeper, &Archive::ArchiveKeeper::sigStored))
        std::printf("  the archive did not answer\n");
    tick();
    ticker.stop();
    burst.waitMs = msSince(wait);
    burst.totalMs = msSince(clock);
    QObject::disconnect(stored);
    return burst;
}

double csvMs(const QString& path, const QByteArray& area, const Favorites_t& favorites)
{
    QElapsedTimer clock;
    clock.start();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return -1;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    out << "receiver,time,id,frequency,direction,level,latitude,longitude,receiver direction,payload,crc,origin\n";
    decodeMs(area, favorites, [&](const DfrLink::OrvanRxMessage_t& message) {
        const ArchiveRecord_t r = recordOf(message);
        const DfrLink::OrvanRxMessage_t& m = r.message;
        out << r.receiver << ',' << m.dateTime.toQDateTime().toString(Qt::ISODateWithMs) << ',' << m.platformId << ','
            << m.frequencyHz << ',' << m.direction << ',' << m.level << ',' << m.dfrLatitude << ',' << m.dfrLongitude
            << ',' << m.dfrDirection << ',' << m.payload.toHex() << ',' << (m.crcOk ? "OK" : "KO") << ",flash\n";
    });
    out.flush();
    return file.commit() ? msSince(clock) : -1;
}

// Of an odd count of runs.
double medianOf(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
try {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
    const int count = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;
    const quint64 seed = argc > 2 ? strtoull(argv[2], nullptr, 10) : 20261207;
    QTemporaryDir dir;

    Sim::DeviceState state(Sim::DeviceState::PROFILE_DFR_V2_APP);
    Sim::BeaconGenerator generator(state);
    Favorites_t favorites;
    for (int slot = 0; slot < state.platforms.size(); ++slot)
        if (state.isPlatformOccupied(slot))
            favorites.append({state.platforms[slot][Sim::DeviceState::ipId],
                              DfrLink::OrvanModulation_t(state.platforms[slot][Sim::DeviceState::ipV2Modulation].toInt())});
    QByteArray area;
    const QDateTime start = QDateTime::fromString(QStringLiteral("2026-09-01T00:00:00Z"), Qt::ISODate);
    for (int k = 0; k < count; ++k)
        area += Sim::BeaconBuilder::flashRecordV2(generator.next(start.addSecs(k * 10)), true);

    // Also warms the caches for the timed reads.
    ArchiveRecords_t read;
    read.reserve(count);
    decodeMs(area, favorites, [&](const DfrLink::OrvanRxMessage_t& m) { read.append(recordOf(m)); });
    std::printf("Archive: one flash read of %d messages (%lld KB), seed %llu\n", int(read.size()),
                qint64(area.size()) / 1024, static_cast<unsigned long long>(seed));
    // The machine is shared: what else ran beside us weighs on every figure below.
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("Load average at the start: %s", loadAverage.readLine().constData());

    const double alone = decodeMs(area, favorites, [](const DfrLink::OrvanRxMessage_t& m) { (void)recordOf(m); });
    const double csv = csvMs(dir.filePath(QStringLiteral("read.csv")), area, favorites);
    Archive::ArchiveKeeper keeper;
    keeper.open(dir.filePath(QStringLiteral("Archive/vantrel.sqlite")));
    if (!waitFor(&keeper, &Archive::ArchiveKeeper::sigReady)) {
        std::printf("The archive does not open\n");
        return 2;
    }
    const Burst_t first = archiveRead(keeper, area, favorites);
    const Burst_t second = archiveRead(keeper, area, favorites);

    std::printf("\n1. One flash read                          total ms   beyond the read ms\n");
    std::printf("  %-40s %9.0f %12s\n", "decode only (baseline)", alone, "-");
    std::printf("  %-40s %9.0f %12.0f   (%.0f ms of it after endBurst)\n", "decode + archive, first read",
                first.totalMs, first.totalMs - alone, first.waitMs);
    std::printf("  %-40s %9.0f %12.0f   (%.1f bytes per message)\n", "decode + CSV through QSaveFile (baseline)", csv,
                csv - alone, double(QFileInfo(dir.filePath(QStringLiteral("read.csv"))).size()) / count);
    std::printf("  rows added %d of %d; longest gap of the window thread's 5 ms timer while writing: %.1f ms\n",
                first.added, count, first.longestGapMs);
    check(first.added == int(read.size()), "every message of the read is stored");
    check(first.totalMs - alone <= 1500.0, "archived in at most 1.5 s beyond the read");
    check(first.longestGapMs <= 50.0, "no stall of the window thread over 50 ms while the archive writes");
    std::printf("\n2. The same flash read again\n");
    std::printf("  %-40s %9.0f %12.0f   (%.0f ms after endBurst)\n", "decode + archive, second read", second.totalMs,
                second.totalMs - alone, second.waitMs);
    std::printf("  rows added %d; longest gap %.1f ms\n", second.added, second.longestGapMs);
    check(second.added == 0, "a second read adds no row");

    // 3. Ten reads from five receivers a fortnight apart, the messages spread over
    // platformCount platforms, stored directly.
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int> anyPlatform(0, platformCount - 1);
    QStringList platforms;
    for (int p = 0; p < platformCount; ++p)
        platforms << QStringLiteral("%1").arg(0x3A0C100 + 0x2F3 * p, 7, 16, QLatin1Char('0')).toUpper();
    const QString big = dir.filePath(QStringLiteral("big/vantrel.sqlite"));
    Archive::MessageArchive archive;
    archive.open(big);
    std::vector<double> storeMs;
    QElapsedTimer building;
    building.start();
    for (int r = 0; r < readCount; ++r) {
        ArchiveRecords_t batch = read;
        for (ArchiveRecord_t& record : batch) {
            const int p = anyPlatform(random);
            record.receiver = receiverOf(r);
            record.message.dateTime.day += 14 * r;
            record.message.platformId = platforms[p];
            record.label = p % 4 ? QStringLiteral("Drifter %1").arg(p) : QString();
        }
        QElapsedTimer clock;
        clock.start();
        archive.store(batch);
        storeMs.push_back(msSince(clock));
    }
    const double buildingMs = msSince(building);
    const qint64 stored = archive.count();
    archive.close();
    const qint64 fileBytes = QFileInfo(big).size();
    const qint64 walBytes = QFileInfo(big + QStringLiteral("-wal")).size();

    archive.open(big);
    std::vector<double> queryMs;
    int platformRows = 0;
    Archive::ArchiveQuery_t onePlatform;
    onePlatform.platformIds << platforms[int(seed % platformCount)];
    for (int k = 0; k < 5; ++k) {
        QElapsedTimer clock;
        clock.start();
        platformRows = int(archive.load(onePlatform).size());
        queryMs.push_back(msSince(clock));
    }
    const double platformMs = medianOf(queryMs);

    // One read: its receiver and its fortnight.
    Archive::ArchiveQuery_t oneRead;
    oneRead.receivers << receiverOf(0);
    oneRead.from = read.first().message.dateTime.toQDateTime();
    oneRead.to = read.last().message.dateTime.toQDateTime();
    Ui::RxTableModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(1200, 800);
    view.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    ArchiveRecords_t loaded = archive.load(oneRead);
    const double loadQueryMs = msSince(clock);
    clock.start();
    std::vector<Ui::RxTableModel::Row_t> rows;
    rows.reserve(loaded.size());
    for (ArchiveRecord_t& record : loaded)
        rows.push_back(Ui::rowOf(std::move(record)));
    const double conversionMs = msSince(clock);
    clock.start();
    for (Ui::RxTableModel::Row_t& row : rows)
        model.queueRow(std::move(row));
    model.flushQueuedRows();
    QCoreApplication::processEvents();
    const double tableMs = msSince(clock);
    const double loadMs = loadQueryMs + conversionMs + tableMs;

    std::printf("\n3. An archive of %lld messages, %d platforms, %d receivers\n", stored, platformCount, receiverCount);
    std::printf("  built in %.1f s: store of a read %.0f ms into an empty archive, %.0f ms into the last %d\n",
                buildingMs / 1000, storeMs.front(), storeMs.back(), (readCount - 1) * count);
    std::printf("  on disk after closing: %lld bytes + %lld in -wal = %.1f bytes per message\n", fileBytes, walBytes,
                double(fileBytes + walBytes) / std::max<qint64>(stored, 1));
    std::printf("  query for one platform (%d messages): median %.1f ms of 5 (%.1f to %.1f)\n", platformRows,
                platformMs, *std::min_element(queryMs.begin(), queryMs.end()),
                *std::max_element(queryMs.begin(), queryMs.end()));
    check(platformMs <= 50.0, "a query for one platform in at most 50 ms");
    std::printf("  loading one read into the table (%d rows): %.0f ms = query %.0f + conversion %.0f + table %.0f\n",
                model.totalRowCount(), loadMs, loadQueryMs, conversionMs, tableMs);
    check(model.totalRowCount() == int(read.size()), "the whole read is loaded");
    check(loadMs <= 1000.0, "100 000 messages loaded into the table in at most 1 s");
    std::printf("\n%s\n", failures ? "SOME TARGETS FAIL" : "All targets hold");
    return failures ? 1 : 0;
} catch (const Archive::MessageArchive::Failure_t& failure) {
    std::printf("%s\n", qPrintable(failure.text));
    return 2;
}
