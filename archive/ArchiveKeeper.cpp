#include "archive/ArchiveKeeper.h"

#include <QDir>

#include "archive/ArchiveWorker.h"

namespace Vantrel::Archive {

ArchiveKeeper::ArchiveKeeper(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<ArchiveRecords_t>();
    qRegisterMetaType<ArchiveQuery_t>();
    qRegisterMetaType<ArchiveSummary_t>();

    worker = new ArchiveWorker;
    worker->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("archive"));

    connect(worker, &ArchiveWorker::sigOpened, this, [this](const QString& path, const QString& note) {
        filePath = path;
        ready = on;
        if (!note.isEmpty())
            Q_EMIT sigWarning(note);
        if (ready)
            Q_EMIT sigReady(path);
    });
    connect(worker, &ArchiveWorker::sigFailed, this, &ArchiveKeeper::switchOff);
    connect(worker, &ArchiveWorker::sigStored, this, &ArchiveKeeper::sigStored);
    connect(worker, &ArchiveWorker::sigSummary, this, &ArchiveKeeper::sigSummary);
    connect(worker, &ArchiveWorker::sigLoaded, this, [this](quint64 ticket, const ArchiveRecords_t& records) {
        // Only the last load asked for is shown.
        if (ticket == lastTicket)
            Q_EMIT sigLoaded(records);
    });

    flushTimer.setSingleShot(true);
    flushTimer.setInterval(flushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &ArchiveKeeper::flush);
    thread.start();
}

ArchiveKeeper::~ArchiveKeeper()
{
    flush();
    // The worker ends its queue, the last burst included, then closes the file and stops its thread from there.
    QMetaObject::invokeMethod(
        worker,
        [w = worker] {
            w->close();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    thread.wait();
    delete worker;
}

void ArchiveKeeper::open(const QString& path)
{
    on = true;
    ready = false;
    filePath = QDir::cleanPath(path);
    QMetaObject::invokeMethod(worker, [w = worker, path = filePath] { w->open(path); }, Qt::QueuedConnection);
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
    if (!on)
        return;
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
    QMetaObject::invokeMethod(worker, [w = worker, records = std::move(records)] { w->store(records); },
                              Qt::QueuedConnection);
}

void ArchiveKeeper::load(const ArchiveQuery_t& query)
{
    if (!on)
        return;
    // What is still gathered belongs in what is loaded.
    flush();
    const quint64 ticket = ++lastTicket;
    QMetaObject::invokeMethod(worker, [w = worker, ticket, query] { w->load(ticket, query); }, Qt::QueuedConnection);
}

void ArchiveKeeper::refreshSummary()
{
    if (!on)
        return;
    flush();
    QMetaObject::invokeMethod(worker, &ArchiveWorker::summarize, Qt::QueuedConnection);
}

} // namespace Vantrel::Archive
