#include "archive/ArchiveWorker.h"

namespace Vantrel::Archive {

ArchiveWorker::ArchiveWorker(QObject* parent) : QObject(parent) {}

ArchiveWorker::~ArchiveWorker() = default;

template <typename Operation>
bool ArchiveWorker::attempt(Operation operation)
{
    if (!archive)
        return false;
    try {
        operation();
        return true;
    } catch (const MessageArchive::Failure_t& failure) {
        if (failure.kind != MessageArchive::Failure_t::DAMAGED) {
            archive.reset();
            Q_EMIT sigFailed(failure.text);
            return false;
        }
    }
    // Damage found in use: the file is set aside for a new one, and the work tried once more.
    try {
        const QString note = archive->setAside();
        Q_EMIT sigOpened(archive->path(), note);
        operation();
        return true;
    } catch (const MessageArchive::Failure_t& failure) {
        archive.reset();
        Q_EMIT sigFailed(failure.text);
        return false;
    }
}

void ArchiveWorker::open(const QString& path)
{
    archive = std::make_unique<MessageArchive>();
    try {
        const QString note = archive->open(path);
        Q_EMIT sigOpened(archive->path(), note);
    } catch (const MessageArchive::Failure_t& failure) {
        archive.reset();
        Q_EMIT sigFailed(failure.text);
    }
}

void ArchiveWorker::store(const ArchiveRecords_t& records)
{
    int added = 0;
    if (attempt([&] { added = archive->store(records); }))
        Q_EMIT sigStored(added, int(records.size()));
}

void ArchiveWorker::load(quint64 ticket, const ArchiveQuery_t& query)
{
    ArchiveRecords_t records;
    if (attempt([&] { records = archive->load(query); }))
        Q_EMIT sigLoaded(ticket, records);
}

void ArchiveWorker::summarize()
{
    ArchiveSummary_t summary;
    if (attempt([&] { summary = archive->summary(); }))
        Q_EMIT sigSummary(summary);
}

void ArchiveWorker::close()
{
    archive.reset();
}

} // namespace Vantrel::Archive
