#include "archive/MessageArchive.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QUrl>
#include <QSysInfo>
#include <QTemporaryFile>
#include <QVariant>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <sqlite3.h>

namespace Vantrel::Archive {

namespace {

// The locks this process holds. A lock that names this process but is not among
// them was left by an earlier run given the same process number again: Wine numbers
// its processes alike on every start, and a reboot may too.
QMutex heldLocksMutex;
QSet<QString> heldLocks;

// The machine's name as the lock file records it.
QString lockHostName()
{
#if defined(Q_OS_WIN)
    return qEnvironmentVariable("COMPUTERNAME");
#else
    return QSysInfo::machineHostName();
#endif
}

bool leftByEarlierRun(const QLockFile& lock, const QString& lockPath)
{
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid != QCoreApplication::applicationPid()
        || host != lockHostName()) {
        return false;
    }
    const QMutexLocker locker(&heldLocksMutex);
    return !heldLocks.contains(lockPath);
}

using Com::DfrLink;

// UTC milliseconds since 1970, through the in-house conversions. The null instant
// (day 0 of the MJD), which an unreadable date is, reads back null; a date that
// cannot be an instant is kept as that one too.
qint64 timeMs(const Tarsk::Utils::DateTime& time)
{
    const QDateTime instant = time.toQDateTime();
    return (instant.isValid() ? instant : Tarsk::Utils::DateTime().toQDateTime()).toMSecsSinceEpoch();
}

Tarsk::Utils::DateTime dateTimeOf(qint64 ms)
{
    return Tarsk::Utils::DateTime::fromQDateTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
}

// The name a damaged file gets when set aside at this time.
QString setAsideName(const QString& path, const QDateTime& when)
{
    return QStringLiteral("%1.damaged-%2").arg(path, when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")));
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
// Whole serial numbers: what was kept before holds the first part only, and says so.
const char* const thirdSchema[] = {
    "ALTER TABLE messages ADD COLUMN receiver_partial INTEGER NOT NULL DEFAULT 0",
    "UPDATE messages SET receiver_partial = 1 WHERE receiver <> ''",
};

const QString columns = QStringLiteral(
    "receiver, generation, live, time_ms, platform_id, frequency, slot, direction, mean_direction, direction_valid, "
    "position_valid, period_valid, crc_ok, band, modulation, level, period, latitude, longitude, receiver_direction, "
    "raw_payload, payload, flash_position, label, payload_latitude, payload_longitude, receiver_partial");
constexpr int columnCount = 27;

// Damage is the one failure the archive mends itself, by setting the file aside.
bool isDamage(int code)
{
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

// The file or its folder refuses writing: it can still be read.
bool isReadOnlyRefusal(int code)
{
    return (code & 0xff) == SQLITE_READONLY || (code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_PERM;
}

// A statement on the connection's own handle, finalized when it goes.
class Statement
{
public:
    Statement(sqlite3* db, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        code = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    operator sqlite3_stmt*() const { return statement; }
    int code = SQLITE_OK;

private:
    sqlite3_stmt* statement = nullptr;
};

void bindText(sqlite3_stmt* statement, int column, const QString& text)
{
    // The text outlives the step, so SQLite need not copy it.
    static const char16_t empty[] = u"";
    const void* data = text.isNull() ? static_cast<const void*>(empty) : static_cast<const void*>(text.utf16());
    sqlite3_bind_text16(statement, column, data, int(text.size() * 2), SQLITE_STATIC);
}

void bindBytes(sqlite3_stmt* statement, int column, const QByteArray& bytes)
{
    sqlite3_bind_blob(statement, column, bytes.isNull() ? "" : bytes.constData(), int(bytes.size()), SQLITE_STATIC);
}

QString textAt(sqlite3_stmt* statement, int column)
{
    const void* text = sqlite3_column_text16(statement, column);
    const int bytes = sqlite3_column_bytes16(statement, column);
    return text ? QString(reinterpret_cast<const QChar*>(text), bytes / 2) : QString();
}

QByteArray bytesAt(sqlite3_stmt* statement, int column)
{
    const void* blob = sqlite3_column_blob(statement, column);
    return blob ? QByteArray(static_cast<const char*>(blob), sqlite3_column_bytes(statement, column)) : QByteArray("");
}

// The WHERE clause of a query, with its values bound in order.
class Selection
{
public:
    explicit Selection(const ArchiveQuery_t& request)
    {
        QStringList terms;
        const auto anyOf = [&](const char* column, const QStringList& values) {
            if (values.isEmpty()) {
                return;
            }
            QStringList marks;
            for (const QString& value : values) {
                marks << QStringLiteral("?");
                texts << value;
            }
            terms << QStringLiteral("%1 IN (%2)").arg(QLatin1String(column), marks.join(QLatin1Char(',')));
        };
        anyOf("platform_id", request.platformIds);
        anyOf("receiver", request.receivers);
        if (request.from.isValid()) {
            terms << QStringLiteral("time_ms >= ?");
            numbers << request.from.toMSecsSinceEpoch();
        }
        if (request.to.isValid()) {
            terms << QStringLiteral("time_ms <= ?");
            numbers << request.to.toMSecsSinceEpoch();
        }
        if (!terms.isEmpty()) {
            where = QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
        }
    }
    void bind(sqlite3_stmt* statement) const
    {
        int column = 1;
        for (const QString& value : texts) {
            bindText(statement, column++, value);
        }
        for (const qint64 value : numbers) {
            sqlite3_bind_int64(statement, column++, value);
        }
    }
    QString where;

private:
    QStringList texts;
    QVector<qint64> numbers;
};

QDateTime instantOf(qint64 ms)
{
    return dateTimeOf(ms).isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// The other file's columns as its migration to the current format would leave them.
QString columnsOfVersion(int version)
{
    if (version >= 3) {
        return columns;
    }
    QString read = columns;
    read.replace(QStringLiteral("receiver_partial"), QStringLiteral("receiver <> ''"));
    if (version < 2) {
        read.replace(QStringLiteral("payload_latitude, payload_longitude"), QStringLiteral("NULL, NULL"));
        read.replace(QStringLiteral("label"), QStringLiteral("''"));
    }
    return read;
}

// Runs one statement; false with SQLite's error on the handle.
bool run(sqlite3* db, const QString& text)
{
    return sqlite3_exec(db, text.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString errorOf(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
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

bool MessageArchive::isOpen() const
{
    return QSqlDatabase::contains(connection) && QSqlDatabase::database(connection, false).isOpen();
}

void MessageArchive::fail(const QString& what, const QSqlError& error) const
{
    Failure_t failure;
    failure.damaged = isDamage(error.nativeErrorCode().toInt());
    failure.readOnly = isReadOnlyRefusal(error.nativeErrorCode().toInt());
    const QString reason = error.driverText().isEmpty() ? error.text() : error.databaseText();
    failure.text = QStringLiteral("The archive %1 cannot be %2: %3").arg(QDir::toNativeSeparators(filePath), what, reason);
    throw failure;
}

QString MessageArchive::open(const QString& path)
{
    close();
    readOnly = false;
    filePath = QFileInfo(path).absoluteFilePath();
    const QFileInfo file(filePath);
    const bool existed = file.exists();
    if (!QDir().mkpath(file.absolutePath())) {
        throw Failure_t{false,
                        QStringLiteral("The folder %1 cannot be made").arg(QDir::toNativeSeparators(file.absolutePath()))};
    }

    // SQLite would let a second program write beside us; one Vantrel per archive keeps
    // each one's view whole. A lock left by a killed program is taken over.
    lockPath = QFileInfo(filePath + QStringLiteral(".lock")).absoluteFilePath();
    lock = std::make_unique<QLockFile>(lockPath);
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError && leftByEarlierRun(*lock, lockPath)) {
        locked = lock->removeStaleLockFile() && lock->tryLock(0);
    }
    if (locked) {
        const QMutexLocker locker(&heldLocksMutex);
        heldLocks.insert(lockPath);
    } else {
        const QLockFile::LockError error = lock->error();
        qint64 pid = 0;
        QString host, application;
        lock->getLockInfo(&pid, &host, &application);
        lock.reset();
        if (error == QLockFile::LockFailedError) {
            throw Failure_t{false, QStringLiteral("The archive %1 is in use by another Vantrel (process %2 on %3)")
                                                   .arg(QDir::toNativeSeparators(filePath)).arg(pid).arg(host)};
        }
        // Nobody can write beside us where no lock can be made: an archive there is read.
        const Failure_t failure{false, QStringLiteral("The archive %1 cannot be locked: its folder is not writable")
                                           .arg(QDir::toNativeSeparators(filePath)), true};
        if (!existed) {
            throw failure;
        }
        openReadOnly(failure);
        return QString();
    }

    try {
        openFile(true);
        return QString();
    } catch (const Failure_t& failure) {
        if (failure.readOnly && existed) {
            openReadOnly(failure);
            return QString();
        }
        if (!failure.damaged) {
            close();
            throw;
        }
    }
    return setAside();
}

void MessageArchive::openReadOnly(const Failure_t& writableFailure)
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
    readOnly = true;
    try {
        openFile(false);
    } catch (const Failure_t&) {
        // What stopped the writing says more than the read-only attempt.
        close();
        throw writableFailure;
    }
}

QString MessageArchive::setAside()
{
    // Set aside, never deleted: what it still holds may be saved by hand. The lock stays ours.
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
    // Two set aside within one second keep apart.
    const QString stamped = setAsideName(filePath, QDateTime::currentDateTimeUtc());
    QString aside = stamped;
    for (int n = 2; QFile::exists(aside); ++n) {
        aside = QStringLiteral("%1-%2").arg(stamped).arg(n);
    }
    if (!QFile::rename(filePath, aside)) {
        close();
        throw Failure_t{true, QStringLiteral("The archive %1 is damaged and cannot be set aside")
                                                .arg(QDir::toNativeSeparators(filePath))};
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(filePath + QLatin1String(suffix))) {
            QFile::rename(filePath + QLatin1String(suffix), aside + QLatin1String(suffix));
        }
    }
    openFile(true);
    return QStringLiteral("The archive %1 was damaged: it was set aside as %2 and a new one started")
        .arg(QDir::toNativeSeparators(filePath), QDir::toNativeSeparators(aside));
}

void MessageArchive::openFile(bool writable)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000");
    if (writable) {
        db.setDatabaseName(filePath);
        // Other archives are attached read-only by URI; a plain path still opens as one.
        options += QStringLiteral(";QSQLITE_OPEN_URI");
        if (!testing.connectOptions.isEmpty()) {
            options += QLatin1Char(';') + testing.connectOptions;
        }
    } else {
        // Immutable: a WAL file on a read-only medium has no shared memory file and cannot
        // make one. Nobody writes it meanwhile: a writer would hold the lock we could not make.
        QUrl uri = QUrl::fromLocalFile(filePath);
        uri.setQuery(QStringLiteral("mode=ro&immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        options += QStringLiteral(";QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
    }
    db.setConnectOptions(options);
    if (!db.open()) {
        fail(QStringLiteral("opened"), db.lastError());
    }
    QSqlQuery query(db);
    // WAL: a burst is written beside the file and a killed program leaves only
    // whole transactions behind. NORMAL syncs at checkpoints, which is enough for that.
    // Bursts append at the ends of the indexes: a small cache serves, and a large one
    // would hold a second copy of a whole flash read in memory.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL", "PRAGMA cache_size=-4000"}) {
        if (writable && !query.exec(QLatin1String(pragma))) {
            fail(QStringLiteral("opened"), query.lastError());
        }
    }
    migrate();
    for (const QString& statement : std::as_const(testing.statements)) {
        query.exec(statement);
    }
}

void MessageArchive::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        fail(QStringLiteral("read"), query.lastError());
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > schemaVersion) {
        throw Failure_t{false, QStringLiteral("The archive %1 was written by a newer Vantrel (format %2)")
                                              .arg(QDir::toNativeSeparators(filePath))
                                              .arg(version)};
        }
    if (readOnly) {
        if (version < schemaVersion) {
            throw Failure_t{false, QStringLiteral("The archive %1 is read-only and of an older format (%2)")
                                       .arg(QDir::toNativeSeparators(filePath))
                                       .arg(version)};
        }
        return;
    }

    const auto step = [&](int to, auto& statements) {
        if (!db.transaction()) {
            fail(QStringLiteral("written"), db.lastError());
        }
        for (const char* statement : statements) {
            if (!query.exec(QLatin1String(statement))) {
                const QSqlError error = query.lastError();
                db.rollback();
                fail(QStringLiteral("brought up to date"), error);
            }
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(to)) || !db.commit()) {
            const QSqlError error = query.lastError().isValid() ? query.lastError() : db.lastError();
            db.rollback();
            fail(QStringLiteral("written"), error);
        }
    };
    if (version < 1) {
        step(1, firstSchema);
    }
    if (version < 2) {
        step(2, secondSchema);
    }
    if (version < 3) {
        step(3, thirdSchema);
    }
    if (version == schemaVersion) {
        // A file we may not write would only fail at the first burst: find out now, by a write
        // undone (a read-only connection begins a transaction all the same).
        if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            fail(QStringLiteral("written"), query.lastError());
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion))) {
            const QSqlError error = query.lastError();
            query.exec(QStringLiteral("ROLLBACK"));
            fail(QStringLiteral("written"), error);
        }
        query.exec(QStringLiteral("ROLLBACK"));
    }
}

void MessageArchive::close()
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
    if (lock && lock->isLocked()) {
        const QMutexLocker locker(&heldLocksMutex);
        heldLocks.remove(lockPath);
    }
    lock.reset();
}

sqlite3* MessageArchive::handle() const
{
    const QVariant handle = QSqlDatabase::database(connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.data());
}

MessageArchive::Failure_t MessageArchive::failureOn(sqlite3* db, const QString& what) const
{
    const int code = sqlite3_errcode(db);
    return Failure_t{isDamage(code),
                     QStringLiteral("The archive %1 cannot be %2: %3")
                         .arg(QDir::toNativeSeparators(filePath), what, QString::fromUtf8(sqlite3_errmsg(db))),
                     isReadOnlyRefusal(code)};
}

// Bursts are written on the connection's own handle: through QSqlQuery, binding and
// converting each value costs about as much as SQLite's own work.
int MessageArchive::store(const ArchiveRecords_t& records)
{
    if (records.isEmpty()) {
        return 0;
    }
    sqlite3* db = handle();
    if (!db) {
        throw Failure_t{false, QStringLiteral("The archive %1 is not open").arg(filePath)};
    }
    QString placeholders = QStringLiteral("?");
    for (int i = 1; i < columnCount; ++i) {
        placeholders += QStringLiteral(",?");
    }
    Statement insert(db, QStringLiteral("INSERT INTO messages (%1) VALUES (%2) ON CONFLICT DO NOTHING").arg(columns, placeholders));
    if (insert.code != SQLITE_OK) {
        throw failureOn(db, QStringLiteral("written"));
    }
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw failureOn(db, QStringLiteral("written"));
    }
    int added = 0;
    for (const ArchiveRecord_t& record : records) {
        const DfrLink::OrvanRxMessage_t& m = record.message;
        bindText(insert, 1, record.receiver);
        sqlite3_bind_int(insert, 2, int(record.generation));
        sqlite3_bind_int(insert, 3, record.live ? 1 : 0);
        sqlite3_bind_int64(insert, 4, timeMs(m.dateTime));
        bindText(insert, 5, m.platformId);
        sqlite3_bind_int64(insert, 6, m.frequencyHz);
        sqlite3_bind_int(insert, 7, m.platformSlotIndex);
        sqlite3_bind_int64(insert, 8, m.direction);
        sqlite3_bind_int64(insert, 9, m.meanDirection);
        sqlite3_bind_int(insert, 10, m.dfrDirectionValid ? 1 : 0);
        sqlite3_bind_int(insert, 11, m.dfrPositionValid ? 1 : 0);
        sqlite3_bind_int(insert, 12, m.periodValid ? 1 : 0);
        sqlite3_bind_int(insert, 13, m.crcOk ? 1 : 0);
        sqlite3_bind_int(insert, 14, int(m.band));
        sqlite3_bind_int(insert, 15, int(m.modulation));
        sqlite3_bind_int(insert, 16, m.level);
        sqlite3_bind_int64(insert, 17, m.period);
        sqlite3_bind_double(insert, 18, m.dfrLatitude);
        sqlite3_bind_double(insert, 19, m.dfrLongitude);
        sqlite3_bind_int64(insert, 20, m.dfrDirection);
        bindBytes(insert, 21, m.rawPayload);
        bindBytes(insert, 22, m.payload);
        sqlite3_bind_int(insert, 23, m.flashPosition);
        bindText(insert, 24, record.label);
        if (record.payloadPosition) {
            sqlite3_bind_double(insert, 25, record.payloadLatitude);
            sqlite3_bind_double(insert, 26, record.payloadLongitude);
        } else {
            sqlite3_bind_null(insert, 25);
            sqlite3_bind_null(insert, 26);
        }
        sqlite3_bind_int(insert, 27, record.partialReceiver ? 1 : 0);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            const Failure_t failure = failureOn(db, QStringLiteral("written"));
            sqlite3_reset(insert);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw failure;
        }
        added += sqlite3_changes(db);
        sqlite3_reset(insert);
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const Failure_t failure = failureOn(db, QStringLiteral("written"));
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw failure;
    }
    return added;
}

ArchiveRecords_t MessageArchive::load(const ArchiveQuery_t& request)
{
    const Selection selection(request);
    sqlite3* db = handle();
    if (!db) {
        throw Failure_t{false, QStringLiteral("The archive %1 is not open").arg(filePath)};
    }
    Statement select(db, QStringLiteral("SELECT %1 FROM messages%2 ORDER BY time_ms, id").arg(columns, selection.where));
    if (select.code != SQLITE_OK) {
        throw failureOn(db, QStringLiteral("read"));
    }
    selection.bind(select);

    ArchiveRecords_t records;
    int code = SQLITE_ROW;
    while ((code = sqlite3_step(select)) == SQLITE_ROW) {
        ArchiveRecord_t record;
        DfrLink::OrvanRxMessage_t& m = record.message;
        record.receiver = textAt(select, 0);
        record.generation = DfrLink::DfrVersion_t(sqlite3_column_int(select, 1));
        record.live = sqlite3_column_int(select, 2) != 0;
        m.dateTime = dateTimeOf(sqlite3_column_int64(select, 3));
        m.platformId = textAt(select, 4);
        m.frequencyHz = quint32(sqlite3_column_int64(select, 5));
        m.platformSlotIndex = sqlite3_column_int(select, 6);
        m.direction = quint32(sqlite3_column_int64(select, 7));
        m.meanDirection = quint32(sqlite3_column_int64(select, 8));
        m.dfrDirectionValid = sqlite3_column_int(select, 9) != 0;
        m.dfrPositionValid = sqlite3_column_int(select, 10) != 0;
        m.periodValid = sqlite3_column_int(select, 11) != 0;
        m.crcOk = sqlite3_column_int(select, 12) != 0;
        m.band = DfrLink::OrvanBand_t(sqlite3_column_int(select, 13));
        m.modulation = DfrLink::OrvanModulation_t(sqlite3_column_int(select, 14));
        m.level = sqlite3_column_int(select, 15);
        m.period = quint32(sqlite3_column_int64(select, 16));
        m.dfrLatitude = sqlite3_column_double(select, 17);
        m.dfrLongitude = sqlite3_column_double(select, 18);
        m.dfrDirection = quint32(sqlite3_column_int64(select, 19));
        m.rawPayload = bytesAt(select, 20);
        m.payload = bytesAt(select, 21);
        m.flashPosition = sqlite3_column_int(select, 22);
        record.label = textAt(select, 23);
        record.payloadPosition = sqlite3_column_type(select, 24) != SQLITE_NULL;
        if (record.payloadPosition) {
            record.payloadLatitude = sqlite3_column_double(select, 24);
            record.payloadLongitude = sqlite3_column_double(select, 25);
        }
        record.partialReceiver = sqlite3_column_int(select, 26) != 0;
        records.append(std::move(record));
    }
    if (code != SQLITE_DONE) {
        throw failureOn(db, QStringLiteral("read"));
    }
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
            "FROM messages AS m GROUP BY platform_id ORDER BY platform_id"))) {
        fail(QStringLiteral("read"), query.lastError());
    }
    while (query.next()) {
        ArchiveSummary_t::Platform_t platform;
        platform.id = query.value(0).toString();
        platform.count = query.value(1).toLongLong();
        platform.first = instantOf(query.value(2).toLongLong());
        platform.last = instantOf(query.value(3).toLongLong());
        platform.label = query.value(4).toString();
        summary.count += platform.count;
        summary.platforms.append(platform);
    }
    if (!query.exec(QStringLiteral("SELECT receiver, receiver_partial, generation, COUNT(*), MIN(time_ms), MAX(time_ms) FROM messages "
                                   "GROUP BY receiver, receiver_partial, generation "
                                   "ORDER BY receiver, receiver_partial, generation"))) {
        fail(QStringLiteral("read"), query.lastError());
    }
    while (query.next()) {
        summary.receivers.append({query.value(0).toString(), query.value(1).toBool(),
                                  DfrLink::DfrVersion_t(query.value(2).toInt()), query.value(3).toLongLong(),
                                  instantOf(query.value(4).toLongLong()), instantOf(query.value(5).toLongLong())});
    }
    return summary;
}

qint64 MessageArchive::count()
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM messages")) || !query.next()) {
        fail(QStringLiteral("read"), query.lastError());
    }
    return query.value(0).toLongLong();
}

QString MessageArchive::refusalOfOther(sqlite3* db, const QString& shown, int& version) const
{
    version = 0;
    {
        Statement read(db, QStringLiteral("PRAGMA other.user_version"));
        if (read.code != SQLITE_OK || sqlite3_step(read) != SQLITE_ROW) {
            const int code = sqlite3_errcode(db) & 0xff;
            return code == SQLITE_NOTADB ? QStringLiteral("%1 is not a Vantrel archive").arg(shown)
                   : code == SQLITE_CORRUPT ? QStringLiteral("%1 is damaged: %2").arg(shown, errorOf(db))
                                            : QStringLiteral("%1 cannot be read: %2").arg(shown, errorOf(db));
        }
        version = sqlite3_column_int(read, 0);
    }
    if (version > schemaVersion) {
        return QStringLiteral("%1 was written by a newer Vantrel (format %2)").arg(shown).arg(version);
    }
    // Every column its version had, or it is some other program's table.
    QSet<QString> present;
    {
        Statement table(db, QStringLiteral("PRAGMA other.table_info(messages)"));
        while (table.code == SQLITE_OK && sqlite3_step(table) == SQLITE_ROW) {
            present.insert(textAt(table, 1));
        }
    }
    QStringList wanted = QStringLiteral("receiver, time_ms, platform_id, frequency, raw_payload").split(QStringLiteral(", "));
    if (version >= 2) {
        wanted << QStringLiteral("label") << QStringLiteral("payload_latitude");
    }
    if (version >= 3) {
        wanted << QStringLiteral("receiver_partial");
    }
    const auto missing = std::find_if(wanted.cbegin(), wanted.cend(), [&](const QString& c) { return !present.contains(c); });
    if (version < 1 || missing != wanted.cend()) {
        return QStringLiteral("%1 is not a Vantrel archive").arg(shown);
    }
    Statement check(db, QStringLiteral("PRAGMA other.quick_check(1)"));
    if (check.code != SQLITE_OK || sqlite3_step(check) != SQLITE_ROW) {
        return QStringLiteral("%1 is damaged: %2").arg(shown, errorOf(db));
    }
    if (textAt(check, 0) != QLatin1String("ok")) {
        return QStringLiteral("%1 is damaged: %2").arg(shown, textAt(check, 0));
    }
    return QString();
}

MessageArchive::Transfer_t MessageArchive::merge(const QString& otherPath)
{
    const QFileInfo other(otherPath);
    const QString shown = QDir::toNativeSeparators(other.absoluteFilePath());
    sqlite3* db = handle();
    if (!db || readOnly) {
        throw Failure_t{false, QStringLiteral("The archive %1 is not open for writing").arg(filePath), readOnly};
    }
    if (!other.isFile() || !other.isReadable()) {
        return {0, QStringLiteral("%1 cannot be read").arg(shown)};
    }
    if (other.canonicalFilePath() == QFileInfo(filePath).canonicalFilePath()) {
        return {0, QStringLiteral("%1 is this archive itself").arg(shown)};
    }
    // Read-only: the user's file is never written, whatever its format.
    QUrl uri = QUrl::fromLocalFile(other.absoluteFilePath());
    uri.setQuery(QStringLiteral("mode=ro"));
    {
        Statement attach(db, QStringLiteral("ATTACH DATABASE ? AS other"));
        const QString name = uri.toString(QUrl::FullyEncoded);
        bindText(attach, 1, name);
        if (attach.code != SQLITE_OK || sqlite3_step(attach) != SQLITE_DONE) {
            return {0, (sqlite3_errcode(db) & 0xff) == SQLITE_NOTADB
                           ? QStringLiteral("%1 is not a Vantrel archive").arg(shown)
                           : QStringLiteral("%1 cannot be read: %2").arg(shown, errorOf(db))};
        }
    }
    struct Detach
    {
        sqlite3* db;
        ~Detach() { sqlite3_exec(db, "DETACH DATABASE other", nullptr, nullptr, nullptr); }
    } detach{db};

    int version = 0;
    const QString refusal = refusalOfOther(db, shown, version);
    if (!refusal.isEmpty()) {
        return {0, refusal};
    }
    // Read in the other file's own order: through its index, each row would cost a seek.
    // ("WHERE true" keeps ON CONFLICT from reading as a join's ON.)
    const QString insert = QStringLiteral("INSERT INTO main.messages (%1) SELECT %2 FROM other.messages WHERE true "
                                          "ON CONFLICT DO NOTHING")
                               .arg(columns, columnsOfVersion(version));
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE"))) {
        throw failureOn(db, QStringLiteral("written"));
    }
    const qint64 before = sqlite3_total_changes64(db);
    if (!run(db, insert)) {
        const int code = sqlite3_errcode(db) & 0xff;
        const Failure_t failure = failureOn(db, QStringLiteral("written"));
        run(db, QStringLiteral("ROLLBACK"));
        // What stops our writing turns the archive off; anything else is the other file's, and
        // ours is whole again as rolled back.
        if (code == SQLITE_FULL || code == SQLITE_IOERR || code == SQLITE_BUSY || code == SQLITE_LOCKED ||
            isReadOnlyRefusal(code)) {
            throw failure;
        }
        const QString reason = failure.text.section(QStringLiteral(": "), -1);
        return {0, code == SQLITE_CORRUPT || code == SQLITE_NOTADB ? QStringLiteral("%1 is damaged: %2").arg(shown, reason)
                                                                   : QStringLiteral("%1 cannot be read: %2").arg(shown, reason)};
    }
    const qint64 added = sqlite3_total_changes64(db) - before;
    if (!run(db, QStringLiteral("COMMIT"))) {
        const Failure_t failure = failureOn(db, QStringLiteral("written"));
        run(db, QStringLiteral("ROLLBACK"));
        throw failure;
    }
    return {added, QString()};
}

MessageArchive::Transfer_t MessageArchive::exportTo(const ArchiveQuery_t& query, const QString& targetPath)
{
    const QFileInfo target(targetPath);
    const QString shown = QDir::toNativeSeparators(target.absoluteFilePath());
    sqlite3* db = handle();
    if (!db) {
        throw Failure_t{false, QStringLiteral("The archive %1 is not open").arg(filePath)};
    }
    if (target.absoluteFilePath() == QFileInfo(filePath).absoluteFilePath() ||
        (target.exists() && target.canonicalFilePath() == QFileInfo(filePath).canonicalFilePath())) {
        return {0, QStringLiteral("%1 is the open archive: export to another file").arg(shown)};
    }
    // Beside the target, so that the rename stays on one disk and replaces it whole.
    QString partPath;
    {
        QTemporaryFile part(target.absoluteFilePath() + QStringLiteral(".XXXXXX.part"));
        if (!part.open()) {
            return {0, QStringLiteral("%1 cannot be written: %2").arg(shown, part.errorString())};
        }
        part.setAutoRemove(false);
        partPath = part.fileName();
    }
    const auto refuse = [&](const QString& reason) {
        QFile::remove(partPath);
        QFile::remove(partPath + QStringLiteral("-journal"));
        return Transfer_t{0, QStringLiteral("%1 cannot be written: %2").arg(shown, reason)};
    };
    {
        sqlite3* fresh = nullptr;
        const int opened = sqlite3_open_v2(partPath.toUtf8().constData(), &fresh, SQLITE_OPEN_READWRITE, nullptr);
        QString error = opened == SQLITE_OK ? QString() : errorOf(fresh);
        const auto all = [&](const auto& statements) {
            for (const char* statement : statements) {
                if (error.isEmpty() && sqlite3_exec(fresh, statement, nullptr, nullptr, nullptr) != SQLITE_OK) {
                    error = errorOf(fresh);
                }
            }
        };
        all(firstSchema);
        all(secondSchema);
        all(thirdSchema);
        const QByteArray version = QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion).toUtf8();
        const char* const last[] = {version.constData()};
        all(last);
        sqlite3_close(fresh);
        if (!error.isEmpty()) {
            return refuse(error);
        }
    }
    qint64 written = 0;
    {
        Statement attach(db, QStringLiteral("ATTACH DATABASE ? AS export"));
        bindText(attach, 1, partPath);
        if (attach.code != SQLITE_OK || sqlite3_step(attach) != SQLITE_DONE) {
            return refuse(errorOf(db));
        }
        const Selection selection(query);
        QString error;
        {
            Statement copy(db, QStringLiteral("INSERT INTO export.messages (%1) SELECT %1 FROM main.messages%2 ORDER BY time_ms, id")
                                   .arg(columns, selection.where));
            if (copy.code == SQLITE_OK) {
                selection.bind(copy);
            }
            if (copy.code != SQLITE_OK || sqlite3_step(copy) != SQLITE_DONE) {
                error = errorOf(db);
            }
            written = sqlite3_changes64(db);
        }
        if (!run(db, QStringLiteral("DETACH DATABASE export")) && error.isEmpty()) {
            error = errorOf(db);
        }
        if (!error.isEmpty()) {
            return refuse(error);
        }
    }
    std::error_code renamed;
    std::filesystem::rename(std::filesystem::path(partPath.toStdU16String()),
                            std::filesystem::path(target.absoluteFilePath().toStdU16String()), renamed);
    if (renamed) {
        return refuse(QString::fromStdString(renamed.message()));
    }
    return {written, QString()};
}

} // namespace Vantrel::Archive
