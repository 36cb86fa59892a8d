#pragma once

#include <QObject>
#include <memory>

#include "archive/MessageArchive.h"

namespace Vantrel::Archive {

// Runs the archive in a thread of its own, so that no frame of the window waits
// on the disk. Reached only through queued calls; answers with signals.
class ArchiveWorker : public QObject
{
    Q_OBJECT
public:
    explicit ArchiveWorker(QObject* parent = nullptr);
    ~ArchiveWorker() override;

public Q_SLOTS:
    void open(const QString& path);
    void store(const Vantrel::Archive::ArchiveRecords_t& records);
    void load(quint64 ticket, const Vantrel::Archive::ArchiveQuery_t& query);
    void summarize();
    void merge(const QString& otherPath);
    void exportTo(const Vantrel::Archive::ArchiveQuery_t& query, const QString& targetPath);
    // Closes the file and stops the thread the worker runs in.
    void finish();

Q_SIGNALS:
    // note: what happened to a damaged file, empty when nothing did.
    void sigOpened(const QString& path, const QString& note, bool readOnly);
    // The archive is off for the rest of the session.
    void sigFailed(const QString& warning);
    void sigStored(int added, int offered);
    void sigLoaded(quint64 ticket, const Vantrel::Archive::ArchiveRecords_t& records);
    // The load ended without rows: the reason went as sigFailed or sigOpened.
    void sigLoadFailed(quint64 ticket);
    void sigSummary(const Vantrel::Archive::ArchiveSummary_t& summary);
    // refusal: why nothing was merged or exported, empty when done.
    void sigMerged(const QString& otherPath, qint64 added, const QString& refusal);
    void sigExported(const QString& targetPath, qint64 written, const QString& refusal);

private:
    // Runs an operation; a damaged file is set aside and, when again, the operation
    // tried once on a new one; any other failure turns the archive off.
    template <typename Operation>
    bool attempt(Operation operation, bool again);

    std::unique_ptr<MessageArchive> archive;
};

} // namespace Vantrel::Archive
