#include "archive/ArchiveWorker.h"

namespace Vantrel::Archive {

ArchiveWorker::ArchiveWorker(QObject* parent) : QObject(parent) {}

ArchiveWorker::~ArchiveWorker() = default;

template <typename Operation>
bool ArchiveWorker::attempt(Operation operation, bool again)
{
    if (!archive) {
        return false;
    }
    try {
        operation();
        return true;
    } catch (const MessageArchive::Failure_t& failure) {
        // A read-only file cannot be set aside.
        if (!failure.damaged || archive->isReadOnly()) {
            archive.reset();
            Q_EMIT sigFailed(failure.text);
            return false;
        }
    }
    // Damage found in use: the file is set aside for a new one, and the work tried once more.
    try {
        const QString note = archive->setAside();
        Q_EMIT sigOpened(archive->path(), note, false);
        if (!again) {
            return false;
        }
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
        Q_EMIT sigOpened(archive->path(), note, archive->isReadOnly());
    } catch (const MessageArchive::Failure_t& failure) {
        archive.reset();
        Q_EMIT sigFailed(failure.text);
    }
}

void ArchiveWorker::store(const ArchiveRecords_t& records)
{
    int added = 0;
    if (attempt([&] { added = archive->store(records); }, true)) {
        Q_EMIT sigStored(added, int(records.size()));
    }
}

void ArchiveWorker::load(quint64 ticket, const ArchiveQuery_t& query)
{
    ArchiveRecords_t records;
    // Rows of a new file in place of a damaged one would replace the table with nothing.
    const bool loaded = attempt([&] { records = archive->load(query); }, false);
    if (loaded) {
        Q_EMIT sigLoaded(ticket, records);
    } else {
        Q_EMIT sigLoadFailed(ticket);
    }
}

void ArchiveWorker::summarize()
{
    ArchiveSummary_t summary;
    if (attempt([&] { summary = archive->summary(); }, true)) {
        Q_EMIT sigSummary(summary);
    }
}

void ArchiveWorker::merge(const QString& otherPath)
{
    MessageArchive::Transfer_t outcome;
    if (!attempt([&] { outcome = archive->merge(otherPath); }, false)) {
        // The warning about the archive itself says why.
        outcome = {0, QStringLiteral("the archive could not take it")};
    }
    Q_EMIT sigMerged(otherPath, outcome.count, outcome.refusal);
}

void ArchiveWorker::exportTo(const ArchiveQuery_t& query, const QString& targetPath)
{
    MessageArchive::Transfer_t outcome;
    if (!attempt([&] { outcome = archive->exportTo(query, targetPath); }, false)) {
        outcome = {0, QStringLiteral("the archive could not be read")};
    }
    Q_EMIT sigExported(targetPath, outcome.count, outcome.refusal);
}

void ArchiveWorker::finish()
{
    archive.reset();
    thread()->quit();
}

} // namespace Vantrel::Archive
