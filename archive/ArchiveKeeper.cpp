#include "archive/ArchiveKeeper.h"

#include <QDir>

#include "archive/ArchiveWorker.h"
#include "com/CrossThread.h"

namespace Vantrel::Archive {

using Com::crossThread;

ArchiveKeeper::ArchiveKeeper(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<ArchiveRecords_t>();
    qRegisterMetaType<ArchiveQuery_t>();
    qRegisterMetaType<ArchiveSummary_t>();

    worker = new ArchiveWorker;
    worker->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("archive"));

    crossThread(worker, &ArchiveWorker::sigOpened, this, &ArchiveKeeper::opened);
    crossThread(worker, &ArchiveWorker::sigFailed, this, &ArchiveKeeper::switchOff);
    crossThread(worker, &ArchiveWorker::sigStored, this, &ArchiveKeeper::sigStored);
    crossThread(worker, &ArchiveWorker::sigSummary, this, &ArchiveKeeper::sigSummary);
    crossThread(worker, &ArchiveWorker::sigLoaded, this, &ArchiveKeeper::loaded);
    crossThread(worker, &ArchiveWorker::sigLoadFailed, this, &ArchiveKeeper::loadFailed);
    crossThread(worker, &ArchiveWorker::sigMerged, this, &ArchiveKeeper::sigImported);
    crossThread(worker, &ArchiveWorker::sigExported, this, &ArchiveKeeper::sigExported);

    // What the calls to the worker carry is copied inside Qt.
    crossThread(this, &ArchiveKeeper::sigToOpen, worker, &ArchiveWorker::open);
    crossThread(this, &ArchiveKeeper::sigToStore, worker, &ArchiveWorker::store);
    crossThread(this, &ArchiveKeeper::sigToLoad, worker, &ArchiveWorker::load);
    crossThread(this, &ArchiveKeeper::sigToSummarize, worker, &ArchiveWorker::summarize);
    crossThread(this, &ArchiveKeeper::sigToFinish, worker, &ArchiveWorker::finish);
    crossThread(this, &ArchiveKeeper::sigToMerge, worker, &ArchiveWorker::merge);
    crossThread(this, &ArchiveKeeper::sigToExport, worker, &ArchiveWorker::exportTo);

    flushTimer.setSingleShot(true);
    flushTimer.setInterval(flushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &ArchiveKeeper::flush);
    thread.start();
}

ArchiveKeeper::~ArchiveKeeper()
{
    flush();
    // The worker ends its queue, the last burst included, then closes the file and stops its thread.
    Q_EMIT sigToFinish(QPrivateSignal());
    thread.wait();
    delete worker;
}

void ArchiveKeeper::open(const QString& path)
{
    on = true;
    ready = false;
    writable = true;
    filePath = QDir::cleanPath(path);
    Q_EMIT sigToOpen(filePath, QPrivateSignal());
}

void ArchiveKeeper::opened(const QString& path, const QString& note, bool readOnly)
{
    filePath = path;
    ready = on;
    writable = !readOnly;
    if (readOnly) {
        gathered.clear();
        Q_EMIT sigWarning(QStringLiteral("The archive %1 is read-only: its messages can be browsed and loaded, "
                                         "new messages are not kept in it")
                              .arg(QDir::toNativeSeparators(path)));
    }
    if (!note.isEmpty()) {
        Q_EMIT sigWarning(note);
    }
    if (ready) {
        Q_EMIT sigReady(path);
    }
}

// Only the last load asked for is answered.
void ArchiveKeeper::loaded(quint64 ticket, const ArchiveRecords_t& records)
{
    if (ticket == lastTicket) {
        Q_EMIT sigLoaded(records);
    }
}

void ArchiveKeeper::loadFailed(quint64 ticket)
{
    if (ticket == lastTicket) {
        Q_EMIT sigLoadFailed();
    }
}

void ArchiveKeeper::switchOff(const QString& warning)
{
    on = false;
    ready = false;
    gathered.clear();
    flushTimer.stop();
    Q_EMIT sigWarning(QStringLiteral("%1. The archive is off until Vantrel is started again.").arg(warning));
}

void ArchiveKeeper::add(ArchiveRecord_t record)
{
    if (!on || !writable) {
        return;
    }
    const bool live = record.live;
    gathered.append(std::move(record));
    if (gathered.size() >= burstPartRecords) {
        flush();
        return;
    }
    // Flash rows wait for the end of their burst, so that a burst is one transaction.
    if (live && !flushTimer.isActive()) {
        flushTimer.start();
    }
}

void ArchiveKeeper::endBurst()
{
    flush();
}

void ArchiveKeeper::flush()
{
    flushTimer.stop();
    if (!on || gathered.isEmpty()) {
        return;
    }
    ArchiveRecords_t records;
    records.swap(gathered);
    Q_EMIT sigToStore(records, QPrivateSignal());
}

void ArchiveKeeper::load(const ArchiveQuery_t& query)
{
    if (!on) {
        return;
    }
    // What is still gathered belongs in what is loaded.
    flush();
    Q_EMIT sigToLoad(++lastTicket, query, QPrivateSignal());
}

void ArchiveKeeper::refreshSummary()
{
    if (!on) {
        return;
    }
    flush();
    Q_EMIT sigToSummarize(QPrivateSignal());
}

void ArchiveKeeper::importArchive(const QString& otherPath)
{
    if (!on || !writable) {
        Q_EMIT sigImported(otherPath, 0, on ? QStringLiteral("the archive is read-only") : QStringLiteral("no archive is kept"));
        return;
    }
    flush();
    Q_EMIT sigToMerge(otherPath, QPrivateSignal());
}

void ArchiveKeeper::exportArchive(const ArchiveQuery_t& query, const QString& targetPath)
{
    if (!on) {
        Q_EMIT sigExported(targetPath, 0, QStringLiteral("no archive is kept"));
        return;
    }
    // What is still gathered belongs in what is written.
    flush();
    Q_EMIT sigToExport(query, targetPath, QPrivateSignal());
}

} // namespace Vantrel::Archive
