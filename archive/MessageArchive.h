#pragma once

#include <QLockFile>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <memory>

#include "archive/ArchiveRecord.h"

struct sqlite3;

namespace Vantrel::Archive {

// The messages archive: one SQLite file that keeps every message once. Used from
// one thread; each instance has a database connection of its own.
class MessageArchive
{
public:
    // Why the archive cannot be used (held by another Vantrel, not writable, a full
    // disk, a newer format, damage); thrown by every member that touches the file.
    struct Failure_t
    {
        bool damaged = false;  // the file itself is spoiled: set it aside for a new one
        QString text;
        bool readOnly = false;  // the file may be read but not written here
    };

    // For tests, which run as root, where permissions do not bite: connect options
    // added to the writable opening, and statements run on the connection once open.
    struct Testing_t
    {
        QString connectOptions;
        QStringList statements;
    };
    static inline Testing_t testing;

    // PRAGMA user_version of the files this program writes; older files are
    // brought forward when opened.
    static constexpr int schemaVersion = 3;

    MessageArchive();
    ~MessageArchive();
    MessageArchive(const MessageArchive&) = delete;
    MessageArchive& operator=(const MessageArchive&) = delete;

    // Opens the file, made with its folder when missing. A file found damaged is
    // renamed aside with a time stamp and a new one made; the text returned says
    // so, and is empty otherwise. A file that may not be written here (a copy on a
    // read-only medium) is opened read-only. Throws Failure_t.
    QString open(const QString& path);
    // Renames the open file aside, damaged in use, and starts a new one in its
    // place; returns what was done. Throws Failure_t.
    QString setAside();
    void close();
    bool isOpen() const;
    bool isReadOnly() const { return readOnly; }
    QString path() const { return filePath; }

    // Stores in one transaction the records not already there (same receiver,
    // time, identifier, frequency and payload). Returns how many were added.
    int store(const ArchiveRecords_t& records);
    // The matching records, oldest first.
    ArchiveRecords_t load(const ArchiveQuery_t& query);
    ArchiveSummary_t summary();
    qint64 count();

    // What came of a merge or an export: the messages moved, or why nothing was.
    struct Transfer_t
    {
        qint64 count = 0;
        QString refusal;  // empty when done
    };
    // Adds, in one transaction, the messages of another archive file not already here,
    // by the same key as store(). The other file is only read; one that is newer, older
    // (read as its migration would), damaged or no archive at all is refused with the
    // reason, this archive unchanged. Throws Failure_t when this archive cannot be written.
    Transfer_t merge(const QString& otherPath);
    // Writes the matching messages as a new archive file of the current format, to a
    // temporary file renamed into place once whole; refused onto this archive itself.
    Transfer_t exportTo(const ArchiveQuery_t& query, const QString& targetPath);

private:
    void openFile(bool writable);
    // Opens the file read-only after the writable opening failed with this.
    void openReadOnly(const Failure_t& writableFailure);
    void migrate();
    // The reason the attached file "other" cannot be merged, empty when it can; its format version.
    QString refusalOfOther(sqlite3* db, const QString& shown, int& version) const;
    // Throws "The archive <file> cannot be <what>: <reason>".
    [[noreturn]] void fail(const QString& what, const QSqlError& error) const;
    Failure_t failureOn(sqlite3* db, const QString& what) const;
    // SQLite's handle of the connection, null when it is not open.
    sqlite3* handle() const;

    QString filePath;
    QString connection;
    std::unique_ptr<QLockFile> lock;
    QString lockPath;
    bool readOnly = false;
};

} // namespace Vantrel::Archive
