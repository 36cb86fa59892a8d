// The messages archive: every message the table takes is kept, and the Archive
// page loads what it keeps back into the table and Locate.
#include "ui/MainWindow.h"

#include "archive/ArchiveKeeper.h"
#include "ui/archive/ArchiveRows.h"
#include "ui/archive/ArchiveTab.h"
#include "ui/Dialogs.h"
#include "ui/RxTableColumns.h"
#include "ui/RxTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

void MainWindow::setupArchive()
{
    archive = new Archive::ArchiveKeeper(this);
    archiveTab = new ArchiveTab(archive, ui->tabWidget);
    ui->tabWidget->addTab(archiveTab, QStringLiteral("Archive"));

    // Rows loaded from the archive are there already.
    connect(rxModel, &RxTableModel::sigRowTaken, archive, [this](const RxTableModel::Row_t& row) {
        if (!row.fromArchive) {
            archive->add(archiveRecordOf(row));
        }
    });
    // Logged, so that the status bar shows it and the log keeps it.
    connect(archive, &Archive::ArchiveKeeper::sigWarning, this,
            [](const QString& text) { qWarning().noquote() << text; });
    connect(archiveTab, &ArchiveTab::sigLoadRequested, this, &MainWindow::loadFromArchive);
    connect(archive, &Archive::ArchiveKeeper::sigLoaded, this, &MainWindow::showArchivedRows);
    connect(archive, &Archive::ArchiveKeeper::sigLoadFailed, this, [this] {
        replaceByArchived = false;
        archiveTab->showLoaded(-1);
    });

    const Utils::Settings::ArchiveSettings_t settings = Utils::Settings::instance()->loadArchiveSettings();
    if (settings.enabled) {
        archive->open(settings.file);
    }
}

void MainWindow::loadFromArchive(const Archive::ArchiveQuery_t& query)
{
    replaceByArchived = false;
    if (rxRowCount() > 0) {
        const QString held = archive->isWritable()
                                 ? QStringLiteral("The messages table holds %1 messages.")
                                 : QStringLiteral("The messages table holds %1 messages, which the read-only archive "
                                                  "does not keep.");
        const int answer = Dialogs::askChoice(
            this, QStringLiteral("Messages table contains data"),
            held.arg(rxRowCount()) + QStringLiteral(" Load the archived ones in their place, or beside them?"),
            {QStringLiteral("Replace"), QStringLiteral("Add"), QStringLiteral("Cancel")}, 0, 2);
        if (answer == 2 || answer < 0) {
            return;
        }
        // Cleared once the rows are in hand: a load that fails leaves the table as it was.
        replaceByArchived = answer == 0;
    }
    archive->load(query);
}

void MainWindow::showArchivedRows(const QVector<Archive::ArchiveRecord_t>& records)
{
    // A burst like a flash read's, but in time order: positions from several reads mean little side by side.
    if (replaceByArchived) {
        slotClearRxTable();
        replaceByArchived = false;
    }
    ui->tableWidgetRx->setSortingEnabled(false);
    for (const Archive::ArchiveRecord_t& record : records) {
        rxModel->queueRow(rowOf(record));
    }
    endRxBurst(RXCOLUMN_TIME);
    archiveTab->showLoaded(int(records.size()));
    showSuccess(QStringLiteral("%1 archived messages loaded into the messages table and Locate").arg(records.size()));
}

} // namespace Vantrel::Ui
