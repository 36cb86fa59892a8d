#pragma once

#include <QObject>
#include <QThread>
#include <QTimer>

#include "archive/ArchiveRecord.h"

namespace Vantrel::Archive {

class ArchiveWorker;

// The window's side of the archive: gathers the messages it is given and hands
// them to the archive's thread, a flash burst as one transaction (a long one in
// parts of burstPartRecords, so that the archive never holds a second copy of
// a whole flash memory), live messages at least every flushIntervalMs. A
// failing archive is switched off for the session; the messages already shown
// stay where they are.
class ArchiveKeeper : public QObject
{
    Q_OBJECT
public:
    explicit ArchiveKeeper(QObject* parent = nullptr);
    // Hands over what is still gathered and waits for it to be written.
    ~ArchiveKeeper() override;

    // Opens the file in the background; sigReady or sigWarning follow.
    void open(const QString& path);
    // On from open() until a failure switches it off.
    bool isOn() const { return on; }
    bool isReady() const { return ready; }
    // False once the file is found read-only: it is browsed, and nothing is stored.
    bool isWritable() const { return writable; }
    QString path() const { return filePath; }

    void add(ArchiveRecord_t record);
    // The gathered messages go as one transaction.
    void endBurst();
    void load(const ArchiveQuery_t& query);
    void refreshSummary();
    // Merges another archive file into this one; sigImported tells what came of it.
    void importArchive(const QString& otherPath);
    // Writes the chosen messages as a new archive file; sigExported tells what came of it.
    void exportArchive(const ArchiveQuery_t& query, const QString& targetPath);

    static constexpr int flushIntervalMs = 1000;
    static constexpr int burstPartRecords = 5000;

Q_SIGNALS:
    void sigReady(const QString& path);
    // For the status bar: a failure, or a damaged file set aside.
    void sigWarning(const QString& text);
    void sigStored(int added, int offered);
    void sigLoaded(const Vantrel::Archive::ArchiveRecords_t& records);
    // The last load asked for brings no rows; sigWarning said why.
    void sigLoadFailed();
    void sigSummary(const Vantrel::Archive::ArchiveSummary_t& summary);
    // refusal: why nothing was moved, empty when done.
    void sigImported(const QString& otherPath, qint64 added, const QString& refusal);
    void sigExported(const QString& targetPath, qint64 written, const QString& refusal);

    // To the worker's thread; emitted by this class only.
    void sigToOpen(const QString& path, QPrivateSignal);
    void sigToStore(const Vantrel::Archive::ArchiveRecords_t& records, QPrivateSignal);
    void sigToLoad(quint64 ticket, const Vantrel::Archive::ArchiveQuery_t& query, QPrivateSignal);
    void sigToSummarize(QPrivateSignal);
    void sigToMerge(const QString& otherPath, QPrivateSignal);
    void sigToExport(const Vantrel::Archive::ArchiveQuery_t& query, const QString& targetPath, QPrivateSignal);
    void sigToFinish(QPrivateSignal);

private:
    void flush();
    // The worker's answers.
    void opened(const QString& path, const QString& note, bool readOnly);
    void loaded(quint64 ticket, const Vantrel::Archive::ArchiveRecords_t& records);
    void loadFailed(quint64 ticket);
    void switchOff(const QString& warning);

    QThread thread;
    ArchiveWorker* worker = nullptr;
    ArchiveRecords_t gathered;
    QTimer flushTimer;
    QString filePath;
    quint64 lastTicket = 0;
    bool on = false;
    bool ready = false;
    bool writable = true;
};

} // namespace Vantrel::Archive
