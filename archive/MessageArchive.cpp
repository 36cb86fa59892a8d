#include "archive/MessageArchive.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace Vantrel::Archive {

namespace {

using Com::DfrLink;

constexpr qint64 msPerDay = 86400000;
constexpr qint64 unixEpochMjd = 40587;

// UTC milliseconds since 1970. A message without a readable date keeps the
// null instant (day 0 of the MJD) so that it reads back null.
qint64 timeMs(const Tarsk::Utils::DateTime& time)
{
    return (time.day - unixEpochMjd) * msPerDay + qRound64(time.seconds * 1000.0);
}

Tarsk::Utils::DateTime dateTimeOf(qint64 ms)
{
    const qint64 day = ms >= 0 ? ms / msPerDay : -((-ms + msPerDay - 1) / msPerDay);
    return Tarsk::Utils::DateTime(day + unixEpochMjd, double(ms - day * msPerDay) / 1000.0);
}

// Each step takes a file from the version before it to its own; a file is
// brought forward one step at a time, each in a transaction of its own.
const char* const firstSchema[] = {
    "CREATE TABLE messages ("
    " id INTEGER PRIMARY KEY,"
    " receiver TEXT NOT NULL,"
    " generation INTEGER NOT NULL,"
    " live INTEGER NOT NULL,"
    " time_ms INTEGER NOT NULL,"
    " platform_id TEXT NOT NULL,"
    " frequency INTEGER NOT NULL,"
    " slot INTEGER NOT NULL,"
    " direction INTEGER NOT NULL,"
    " mean_direction INTEGER NOT NULL,"
    " direction_valid INTEGER NOT NULL,"
    " position_valid INTEGER NOT NULL,"
    " period_valid INTEGER NOT NULL,"
    " crc_ok INTEGER NOT NULL,"
    " band INTEGER NOT NULL,"
    " modulation INTEGER NOT NULL,"
    " level INTEGER NOT NULL,"
    " period INTEGER NOT NULL,"
    " latitude REAL NOT NULL,"
    " longitude REAL NOT NULL,"
    " receiver_direction INTEGER NOT NULL,"
    " raw_payload BLOB NOT NULL,"
    " payload BLOB NOT NULL,"
    " flash_position INTEGER NOT NULL)",
    "CREATE UNIQUE INDEX messages_once ON messages (receiver, time_ms, platform_id, frequency, raw_payload)",
    "CREATE INDEX messages_by_platform ON messages (platform_id, time_ms)",
};
// The label and the position the payload gave, so that a message loads back as it was shown.
const char* const secondSchema[] = {
    "ALTER TABLE messages ADD COLUMN label TEXT NOT NULL DEFAULT ''",
    "ALTER TABLE messages ADD COLUMN payload_latitude REAL",
    "ALTER TABLE messages ADD COLUMN payload_longitude REAL",
    "CREATE INDEX messages_by_time ON messages (time_ms)",
};

const QString columns = QStringLiteral(
    "receiver, generation, live, time_ms, platform_id, frequency, slot, direction, mean_direction, direction_valid, "
    "position_valid, period_valid, crc_ok, band, modulation, level, period, latitude, longitude, receiver_direction, "
    "raw_payload, payload, flash_position, label, payload_latitude, payload_longitude");
constexpr int columnCount = 26;

// SQLite's primary result codes, as the driver gives them.
enum SqliteCode_t { SQLITE_BUSY_ = 5, SQLITE_LOCKED_ = 6, SQLITE_READONLY_ = 8, SQLITE_IOERR_ = 10,
                    SQLITE_CORRUPT_ = 11, SQLITE_FULL_ = 13, SQLITE_CANTOPEN_ = 14, SQLITE_NOTADB_ = 26 };

MessageArchive::Failure_t::Kind_t kindOf(const QSqlError& error)
{
    using F = MessageArchive::Failure_t;
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case SQLITE_BUSY_:
    case SQLITE_LOCKED_: return F::LOCKED;
    case SQLITE_READONLY_:
    case SQLITE_CANTOPEN_: return F::READ_ONLY;
    case SQLITE_FULL_: return F::FULL;
    case SQLITE_CORRUPT_:
    case SQLITE_NOTADB_: return F::DAMAGED;
    default: return F::OTHER;
    }
}

// Qt binds a null text as NULL, which the NOT NULL columns refuse.
QString notNull(const QString& text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString connectionName()
{
    static QAtomicInteger<quint32> next;
    return QStringLiteral("vantrel-archive-%1").arg(next.fetchAndAddRelaxed(1));
}

} // namespace

MessageArchive::MessageArchive() : connection(connectionName()) {}

MessageArchive::~MessageArchive()
{
    close();
}

QString MessageArchive::setAsideName(const QString& path, const QDateTime& when)
{
    return QStringLiteral("%1.damaged-%2").arg(path, when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

bool MessageArchive::isOpen() const
{
    return QSqlDatabase::contains(connection) && QSqlDatabase::database(connection, false).isOpen();
}

void MessageArchive::fail(const QString& what, const QSqlError& error) const
{
    Failure_t failure;
    failure.kind = kindOf(error);
    const QString reason = error.driverText().isEmpty() ? error.text() : error.databaseText();
    failure.text = QStringLiteral("The archive %1 cannot be %2: %3").arg(QDir::toNativeSeparators(filePath), what, reason);
    throw failure;
}

QString MessageArchive::open(const QString& path)
{
    close();
    filePath = QFileInfo(path).absoluteFilePath();
    const QFileInfo file(filePath);
    if (!QDir().mkpath(file.absolutePath()))
        throw Failure_t{Failure_t::READ_ONLY,
                        QStringLiteral("The folder %1 cannot be made").arg(QDir::toNativeSeparators(file.absolutePath()))};

    // SQLite would let a second program write beside us; one Vantrel per archive keeps
    // each one's view whole. A lock left by a killed program is taken over.
    lock = std::make_unique<QLockFile>(filePath + QStringLiteral(".lock"));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        const QLockFile::LockError error = lock->error();
        qint64 pid = 0;
        QString host, application;
        lock->getLockInfo(&pid, &host, &application);
        lock.reset();
        if (error == QLockFile::LockFailedError)
            throw Failure_t{Failure_t::LOCKED, QStringLiteral("The archive %1 is in use by another Vantrel (process %2 on %3)")
                                                   .arg(QDir::toNativeSeparators(filePath)).arg(pid).arg(host)};
        throw Failure_t{Failure_t::READ_ONLY,
                        QStringLiteral("The archive %1 cannot be locked: its folder is not writable")
                            .arg(QDir::toNativeSeparators(filePath))};
    }

    try {
        openFile();
        return QString();
    } catch (const Failure_t& failure) {
        if (failure.kind != Failure_t::DAMAGED) {
            close();
            throw;
        }
    }
    // Set aside, never deleted: what it still holds may be saved by hand.
    {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
    const QString aside = setAsideName(filePath, QDateTime::currentDateTimeUtc());
    if (!QFile::rename(filePath, aside)) {
        close();
        throw Failure_t{Failure_t::DAMAGED, QStringLiteral("The archive %1 is damaged and cannot be set aside")
                                                .arg(QDir::toNativeSeparators(filePath))};
    }
    for (const char* suffix : {"-wal", "-shm"})
        if (QFile::exists(filePath + QLatin1String(suffix)))
            QFile::rename(filePath + QLatin1String(suffix), aside + QLatin1String(suffix));
    openFile();
    return QStringLiteral("The archive %1 was damaged: it was set aside as %2 and a new one started")
        .arg(QDir::toNativeSeparators(filePath), QDir::toNativeSeparators(aside));
}

void MessageArchive::openFile()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(filePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open())
        fail(QStringLiteral("opened"), db.lastError());
    QSqlQuery query(db);
    // WAL: a burst is written beside the file and a killed program leaves only
    // whole transactions behind. NORMAL syncs at checkpoints, which is enough for that.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA cache_size=-16000"})
        if (!query.exec(QLatin1String(pragma)))
            fail(QStringLiteral("opened"), query.lastError());
    migrate();
}

void MessageArchive::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        fail(QStringLiteral("read"), query.lastError());
    const int version = query.value(0).toInt();
    query.finish();
    if (version > schemaVersion)
        throw Failure_t{Failure_t::NEWER, QStringLiteral("The archive %1 was written by a newer Vantrel (format %2)")
                                              .arg(QDir::toNativeSeparators(filePath))
                                              .arg(version)};

    const auto step = [&](int to, auto& statements) {
        if (!db.transaction())
            fail(QStringLiteral("written"), db.lastError());
        for (const char* statement : statements)
            if (!query.exec(QLatin1String(statement))) {
                const QSqlError error = query.lastError();
                db.rollback();
                fail(QStringLiteral("brought up to date"), error);
            }
        if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(to)) || !db.commit()) {
            const QSqlError error = query.lastError().isValid() ? query.lastError() : db.lastError();
            db.rollback();
            fail(QStringLiteral("written"), error);
        }
    };
    if (version < 1)
        step(1, firstSchema);
    if (version < 2)
        step(2, secondSchema);
    if (version == schemaVersion) {
        // A file we may not write would only fail at the first burst: find out now.
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            fail(QStringLiteral("written"), query.lastError());
        query.exec(QStringLiteral("ROLLBACK"));
    }
}

void MessageArchive::close()
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
    lock.reset();
}

int MessageArchive::store(const ArchiveRecords_t& records)
{
    if (records.isEmpty())
        return 0;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.transaction())
        fail(QStringLiteral("written"), db.lastError());
    QSqlQuery insert(db);
    QString placeholders = QStringLiteral("?");
    for (int i = 1; i < columnCount; ++i)
        placeholders += QStringLiteral(",?");
    if (!insert.prepare(QStringLiteral("INSERT INTO messages (%1) VALUES (%2) ON CONFLICT DO NOTHING").arg(columns, placeholders)))
        fail(QStringLiteral("written"), insert.lastError());
    int added = 0;
    for (const ArchiveRecord_t& record : records) {
        const DfrLink::OrvanRxMessage_t& m = record.message;
        const QVariant values[columnCount] = {
            notNull(record.receiver), int(record.generation), int(record.live), timeMs(m.dateTime), notNull(m.platformId),
            qint64(m.frequencyHz), m.platformSlotIndex, qint64(m.direction), qint64(m.meanDirection),
            int(m.dfrDirectionValid), int(m.dfrPositionValid), int(m.periodValid), int(m.crcOk), int(m.band),
            int(m.modulation), m.level, qint64(m.period), m.dfrLatitude, m.dfrLongitude, qint64(m.dfrDirection),
            m.rawPayload.isNull() ? QByteArray("") : m.rawPayload, m.payload.isNull() ? QByteArray("") : m.payload,
            m.flashPosition, notNull(record.label),
            record.payloadPosition ? QVariant(record.payloadLatitude) : QVariant(QMetaType::fromType<double>()),
            record.payloadPosition ? QVariant(record.payloadLongitude) : QVariant(QMetaType::fromType<double>())};
        for (int i = 0; i < columnCount; ++i)
            insert.bindValue(i, values[i]);
        if (!insert.exec()) {
            const QSqlError error = insert.lastError();
            insert.finish();
            db.rollback();
            fail(QStringLiteral("written"), error);
        }
        added += insert.numRowsAffected() > 0 ? 1 : 0;
    }
    insert.finish();
    if (!db.commit()) {
        const QSqlError error = db.lastError();
        db.rollback();
        fail(QStringLiteral("written"), error);
    }
    return added;
}

ArchiveRecords_t MessageArchive::load(const ArchiveQuery_t& request)
{
    QStringList where;
    QVariantList bound;
    const auto anyOf = [&](const char* column, const QStringList& values) {
        if (values.isEmpty())
            return;
        QStringList marks;
        for (const QString& value : values) {
            marks << QStringLiteral("?");
            bound << value;
        }
        where << QStringLiteral("%1 IN (%2)").arg(QLatin1String(column), marks.join(QLatin1Char(',')));
    };
    anyOf("platform_id", request.platformIds);
    anyOf("receiver", request.receivers);
    if (request.from.isValid()) {
        where << QStringLiteral("time_ms >= ?");
        bound << request.from.toMSecsSinceEpoch();
    }
    if (request.to.isValid()) {
        where << QStringLiteral("time_ms <= ?");
        bound << request.to.toMSecsSinceEpoch();
    }
    QString text = QStringLiteral("SELECT %1 FROM messages").arg(columns);
    if (!where.isEmpty())
        text += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    text += QStringLiteral(" ORDER BY time_ms, id");

    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    if (!query.prepare(text))
        fail(QStringLiteral("read"), query.lastError());
    for (int i = 0; i < bound.size(); ++i)
        query.bindValue(i, bound[i]);
    if (!query.exec())
        fail(QStringLiteral("read"), query.lastError());

    ArchiveRecords_t records;
    while (query.next()) {
        ArchiveRecord_t record;
        DfrLink::OrvanRxMessage_t& m = record.message;
        record.receiver = query.value(0).toString();
        record.generation = DfrLink::DfrVersion_t(query.value(1).toInt());
        record.live = query.value(2).toInt() != 0;
        m.dateTime = dateTimeOf(query.value(3).toLongLong());
        m.platformId = query.value(4).toString();
        m.frequencyHz = quint32(query.value(5).toLongLong());
        m.platformSlotIndex = query.value(6).toInt();
        m.direction = quint32(query.value(7).toLongLong());
        m.meanDirection = quint32(query.value(8).toLongLong());
        m.dfrDirectionValid = query.value(9).toInt() != 0;
        m.dfrPositionValid = query.value(10).toInt() != 0;
        m.periodValid = query.value(11).toInt() != 0;
        m.crcOk = query.value(12).toInt() != 0;
        m.band = DfrLink::OrvanBand_t(query.value(13).toInt());
        m.modulation = DfrLink::OrvanModulation_t(query.value(14).toInt());
        m.level = query.value(15).toInt();
        m.period = quint32(query.value(16).toLongLong());
        m.dfrLatitude = query.value(17).toDouble();
        m.dfrLongitude = query.value(18).toDouble();
        m.dfrDirection = quint32(query.value(19).toLongLong());
        m.rawPayload = query.value(20).toByteArray();
        m.payload = query.value(21).toByteArray();
        m.flashPosition = query.value(22).toInt();
        record.label = query.value(23).toString();
        const QVariant latitude = query.value(24);
        record.payloadPosition = !latitude.isNull();
        if (record.payloadPosition) {
            record.payloadLatitude = latitude.toDouble();
            record.payloadLongitude = query.value(25).toDouble();
        }
        records.append(std::move(record));
    }
    if (query.lastError().isValid())
        fail(QStringLiteral("read"), query.lastError());
    return records;
}

ArchiveSummary_t MessageArchive::summary()
{
    ArchiveSummary_t summary;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    // The latest label comes through the platform index, one step per platform.
    if (!query.exec(QStringLiteral(
            "SELECT platform_id, COUNT(*), MIN(time_ms), MAX(time_ms), "
            "(SELECT label FROM messages AS latest WHERE latest.platform_id = m.platform_id ORDER BY time_ms DESC LIMIT 1) "
            "FROM messages AS m GROUP BY platform_id ORDER BY platform_id")))
        fail(QStringLiteral("read"), query.lastError());
    while (query.next()) {
        ArchiveSummary_t::Platform_t platform;
        platform.id = query.value(0).toString();
        platform.count = query.value(1).toLongLong();
        const auto instant = [](qint64 ms) {
            const Tarsk::Utils::DateTime time = dateTimeOf(ms);
            return time.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        };
        platform.first = instant(query.value(2).toLongLong());
        platform.last = instant(query.value(3).toLongLong());
        platform.label = query.value(4).toString();
        summary.count += platform.count;
        summary.platforms.append(platform);
    }
    if (!query.exec(QStringLiteral("SELECT receiver, generation, COUNT(*) FROM messages GROUP BY receiver, generation "
                                   "ORDER BY receiver, generation")))
        fail(QStringLiteral("read"), query.lastError());
    while (query.next())
        summary.receivers.append({query.value(0).toString(), DfrLink::DfrVersion_t(query.value(1).toInt()),
                                  query.value(2).toLongLong()});
    return summary;
}

qint64 MessageArchive::count()
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM messages")) || !query.next())
        fail(QStringLiteral("read"), query.lastError());
    return query.value(0).toLongLong();
}

} // namespace Vantrel::Archive
