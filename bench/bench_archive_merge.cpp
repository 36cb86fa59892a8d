// Merging one team's archive into another's: two archives of the same size, a fifth
// of their messages in both, merged in SQLite in one transaction; then the same file
// merged again, which must add nothing. Beside it, the same messages stored through
// store() as the window would, in bursts of 100 000 (the same-run baseline).
// Usage: bench_archive_merge [messages per archive, default 1000000] [seed, default 20261208]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

#include "archive/MessageArchive.h"

using namespace Vantrel;
using Archive::ArchiveRecord_t;
using Archive::ArchiveRecords_t;
using Archive::MessageArchive;
using Com::DfrLink;

namespace {

constexpr int burstRecords = 100000;
constexpr qint64 firstMs = 1796000000000;  // early 2026

// Message n of the campaign, the same in every archive that holds it: five receivers
// hearing 200 platforms, one message a second between them.
struct Campaign
{
    explicit Campaign(quint32 seed) : seed(seed) {}

    QString receiver(qint64 n) const { return QStringLiteral("%1-1207").arg(42 + n % 5, 4, 10, QLatin1Char('0')); }
    QString platform(qint64 n) const { return QStringLiteral("%1").arg(0x1A2B000 + (n / 5) % 200, 7, 16, QLatin1Char('0')).toUpper(); }
    qint64 timeMs(qint64 n) const { return firstMs + n * 1000; }
    QByteArray payload(qint64 n) const
    {
        // splitmix64: cheap, and the same bytes for the same message
        QByteArray bytes(16, '\0');
        quint64 state = seed + quint64(n) * 0x9E3779B97F4A7C15ULL;
        for (int half = 0; half < 2; ++half) {
            quint64 z = (state += 0x9E3779B97F4A7C15ULL);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            z ^= z >> 31;
            std::memcpy(bytes.data() + half * 8, &z, 8);
        }
        return bytes;
    }
    ArchiveRecord_t record(qint64 n) const
    {
        ArchiveRecord_t r;
        r.receiver = receiver(n);
        r.generation = DfrLink::DFR_V2;
        DfrLink::OrvanRxMessage_t& m = r.message;
        m.dateTime = Tarsk::Utils::DateTime::fromQDateTime(QDateTime::fromMSecsSinceEpoch(timeMs(n), Qt::UTC));
        m.platformId = platform(n);
        m.frequencyHz = 401650000;
        m.rawPayload = payload(n);
        m.payload = m.rawPayload;
        m.direction = quint32(n % 360);
        m.level = -120 + int(n % 40);
        m.crcOk = true;
        m.dfrPositionValid = true;
        m.dfrLatitude = 48.85 + double(n % 1000) * 1e-5;
        m.dfrLongitude = 2.35;
        return r;
    }
    quint32 seed;
};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "bench_archive_merge: %s\n", what);
        std::exit(1);
    }
}

// Writes messages [first, first + count) as an archive file, in one transaction through one prepared statement.
double generate(const QString& path, const Campaign& campaign, qint64 first, qint64 count)
{
    QElapsedTimer clock;
    clock.start();
    {
        MessageArchive schema;  // the file as the program makes it
        schema.open(path);
    }
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK, "cannot open a source file");
    sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO messages (receiver, generation, live, time_ms, platform_id, frequency, slot, "
                             "direction, mean_direction, direction_valid, position_valid, period_valid, crc_ok, band, "
                             "modulation, level, period, latitude, longitude, receiver_direction, raw_payload, payload, "
                             "flash_position, label, receiver_partial) "
                             "VALUES (?1, 2, 0, ?2, ?3, 401650000, 0, ?4, 0, 1, 1, 0, 1, 0, 0, ?5, 0, ?6, 2.35, 0, ?7, ?7, "
                             "0, '', 0)",
                             -1, &insert, nullptr) == SQLITE_OK,
          "cannot prepare the insert");
    for (qint64 n = first; n < first + count; ++n) {
        const QByteArray receiver = campaign.receiver(n).toUtf8();
        const QByteArray platform = campaign.platform(n).toUtf8();
        const QByteArray payload = campaign.payload(n);
        sqlite3_bind_text(insert, 1, receiver.constData(), int(receiver.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 2, campaign.timeMs(n));
        sqlite3_bind_text(insert, 3, platform.constData(), int(platform.size()), SQLITE_STATIC);
        sqlite3_bind_int64(insert, 4, n % 360);
        sqlite3_bind_int(insert, 5, -120 + int(n % 40));
        sqlite3_bind_double(insert, 6, 48.85 + double(n % 1000) * 1e-5);
        sqlite3_bind_blob(insert, 7, payload.constData(), int(payload.size()), SQLITE_STATIC);
        check(sqlite3_step(insert) == SQLITE_DONE, "cannot insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK, "cannot commit");
    sqlite3_close(db);
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 messages = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const quint32 seed = argc > 2 ? QByteArray(argv[2]).toUInt() : 20261208;
    check(messages >= 10, "give at least 10 messages");
    const qint64 shared = messages / 5;
    const qint64 expected = 2 * messages - shared;
    const Campaign campaign(seed);
    QTemporaryDir dir;
    QTextStream out(stdout);

    // A holds [0, messages), B the last fifth of those and as many after.
    const QString a = dir.filePath(QStringLiteral("team-a.sqlite")), b = dir.filePath(QStringLiteral("team-b.sqlite"));
    const double generated = generate(a, campaign, 0, messages) + generate(b, campaign, messages - shared, messages);
    out << QStringLiteral("two archives of %1 messages, %2 in both, written in %3 s\n")
               .arg(messages).arg(shared).arg(generated, 0, 'f', 2);

    const QString merged = dir.filePath(QStringLiteral("merged.sqlite")), stored = dir.filePath(QStringLiteral("stored.sqlite"));
    check(QFile::copy(a, merged) && QFile::copy(a, stored), "cannot copy the first archive");

    MessageArchive archive;
    archive.open(merged);
    QElapsedTimer clock;
    clock.start();
    const MessageArchive::Transfer_t first = archive.merge(b);
    const double mergeS = double(clock.nsecsElapsed()) / 1e9;
    check(first.refusal.isEmpty(), qPrintable(first.refusal));
    const qint64 total = archive.count();
    clock.restart();
    const MessageArchive::Transfer_t second = archive.merge(b);
    const double againS = double(clock.nsecsElapsed()) / 1e9;
    archive.close();

    // The baseline: the second archive's messages stored as the window stores a flash read.
    MessageArchive baseline;
    baseline.open(stored);
    qint64 storedAdded = 0;
    double storeS = 0.0;
    for (qint64 start = messages - shared; start < 2 * messages - shared; start += burstRecords) {
        ArchiveRecords_t burst;
        burst.reserve(burstRecords);
        for (qint64 n = start; n < std::min(start + burstRecords, 2 * messages - shared); ++n) {
            burst.append(campaign.record(n));
        }
        clock.restart();
        storedAdded += baseline.store(burst);
        storeS += double(clock.nsecsElapsed()) / 1e9;
    }
    const qint64 storedTotal = baseline.count();

    const auto verdict = [](bool ok) { return ok ? QStringLiteral("OK") : QStringLiteral("WRONG"); };
    out << QStringLiteral("merge:          %1 s, %2 added, %3 in all (expected %4) %5, limit 10 s %6\n")
               .arg(mergeS, 0, 'f', 2).arg(first.count).arg(total).arg(expected)
               .arg(verdict(total == expected && first.count == messages - shared), verdict(mergeS <= 10.0));
    out << QStringLiteral("merge again:    %1 s, %2 added (expected 0) %3\n")
               .arg(againS, 0, 'f', 2).arg(second.count).arg(verdict(second.count == 0 && second.refusal.isEmpty()));
    out << QStringLiteral("baseline store: %1 s, %2 added, %3 in all (expected %4) %5; merge %6x faster\n")
               .arg(storeS, 0, 'f', 2).arg(storedAdded).arg(storedTotal).arg(expected)
               .arg(verdict(storedTotal == expected)).arg(storeS / mergeS, 0, 'f', 1);
    return total == expected && second.count == 0 && mergeS <= 10.0 ? 0 : 1;
}
