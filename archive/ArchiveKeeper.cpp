#include "archive/ArchiveKeeper.h"

#include <QDir>

#include "archive/ArchiveWorker.h"
#include "com/ThreadHandoff.h"

namespace Vantrel::Archive {

ArchiveKeeper::ArchiveKeeper(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<ArchiveRecords_t>();
    qRegisterMetaType<ArchiveQuery_t>();
    qRegisterMetaType<ArchiveSummary_t>();

    worker = new ArchiveWorker;
    worker->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("archive"));

    // Every crossing tells ThreadSanitizer of the order Qt's queue gives (ThreadHandoff).
    connect(worker, &ArchiveWorker::sigOpened, this, [this](const QString& path, const QString& note, bool readOnly) {
        Com::ThreadHandoff::acquire();
        filePath = path;
        ready = on;
        writable = !readOnly;
        if (readOnly) {
            gathered.clear();
            Q_EMIT sigWarning(QStringLiteral("The archive %1 is read-only: its messages can be browsed and loaded, "
                                             "new messages are not kept in it")
                                  .arg(QDir::toNativeSeparators(path)));
        }
        if (!note.isEmpty())
            Q_EMIT sigWarning(note);
        if (ready)
            Q_EMIT sigReady(path);
    });
    connect(worker, &ArchiveWorker::sigFailed, this, [this](const QString& warning) {
        Com::ThreadHandoff::acquire();
        switchOff(warning);
    });
    connect(worker, &ArchiveWorker::sigStored, this, [this](int added, int offered) {
        Com::ThreadHandoff::acquire();
        Q_EMIT sigStored(added, offered);
    });
    connect(worker, &ArchiveWorker::sigSummary, this, [this](const ArchiveSummary_t& summary) {
        Com::ThreadHandoff::acquire();
        Q_EMIT sigSummary(summary);
    });
    connect(worker, &ArchiveWorker::sigLoaded, this, [this](quint64 ticket, const ArchiveRecords_t& records) {
        Com::ThreadHandoff::acquire();
        // Only the last load asked for is shown.
        if (ticket == lastTicket)
            Q_EMIT sigLoaded(records);
    });
    connect(worker, &ArchiveWorker::sigLoadFailed, this, [this](quint64 ticket) {
        Com::ThreadHandoff::acquire();
        if (ticket == lastTicket) {
            Q_EMIT sigLoadFailed();
        }
    });

    // Calls to the worker are queued signals too: what they carry is copied inside Qt.
    connect(this, &ArchiveKeeper::sigToOpen, worker, &ArchiveWorker::open);
    connect(this, &ArchiveKeeper::sigToStore, worker, &ArchiveWorker::store);
    connect(this, &ArchiveKeeper::sigToLoad, worker, &ArchiveWorker::load);
    connect(this, &ArchiveKeeper::sigToSummarize, worker, &ArchiveWorker::summarize);
    connect(this, &ArchiveKeeper::sigToFinish, worker, &ArchiveWorker::finish);

    flushTimer.setSingleShot(true);
    flushTimer.setInterval(flushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &ArchiveKeeper::flush);
    thread.start();
}

ArchiveKeeper::~ArchiveKeeper()
{
    flush();
    // The worker ends its queue, the last burst included, then closes the file and stops its thread.
    Com::ThreadHandoff::release();
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
    Com::ThreadHandoff::release();
    Q_EMIT sigToOpen(filePath, QPrivateSignal());
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
    // Flash rows wait for the end of their burst, so that a burst is one transaction.
    if (live && !flushTimer.isActive())
        flushTimer.start();
}

void ArchiveKeeper::endBurst()
{
    flush();
}

void ArchiveKeeper::flush()
{
    flushTimer.stop();
    if (!on || gathered.isEmpty())
        return;
    ArchiveRecords_t records;
    records.swap(gathered);
    Com::ThreadHandoff::release();
    Q_EMIT sigToStore(records, QPrivateSignal());
}

void ArchiveKeeper::load(const ArchiveQuery_t& query)
{
    if (!on)
        return;
    // What is still gathered belongs in what is loaded.
    flush();
    Com::ThreadHandoff::release();
    Q_EMIT sigToLoad(++lastTicket, query, QPrivateSignal());
}

void ArchiveKeeper::refreshSummary()
{
    if (!on)
        return;
    flush();
    Com::ThreadHandoff::release();
    Q_EMIT sigToSummarize(QPrivateSignal());
}

} // namespace Vantrel::Archive
