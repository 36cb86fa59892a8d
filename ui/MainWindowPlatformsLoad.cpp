// Favourite platforms tab: reading the receiver's slots into the table, and
// publishing their GPS formats so that received payloads can be decoded.
#include "ui/MainWindow.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>

#include "ui/Dialogs.h"
#include "ui/PlatformsTableColumns.h"
#include "ui/SlotProgress.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

void MainWindow::showPlatformRow(int row, Com::DfrLink::PlatformInfo_t info)
{
    QTableWidget* table = ui->tableWidgetPlatforms;
    for (int column = PLATFORMSCOLUMN_ID; column <= PLATFORMSCOLUMN_GPSFORMAT; ++column)
        if (QTableWidgetItem* item = table->item(row, column))
            item->setText(QString());
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    if (!info.occupied) {
        favoriteRecords.remove(info.index);
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index);
        return;
    }
    favoriteRecords.insert(info.index, info);
    table->item(row, PLATFORMSCOLUMN_ID)->setText(info.platformId);
    table->item(row, PLATFORMSCOLUMN_MODULATION)->setText(Com::DfrLink::orvanModulationToString(info.modulation));
    table->item(row, PLATFORMSCOLUMN_LABEL)->setText(info.label);
    if (info.gpsModeEnabled) {
        table->item(row, PLATFORMSCOLUMN_GPSFORMAT)->setText(info.gpsFormat.name);
        info.gpsFormat.description = QStringLiteral("from platform %1 (Id: %2)").arg(info.label, info.platformId);
        catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index, info.gpsFormat);
    } else {
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index);
    }
}

void MainWindow::slotGetPlatformsInfo()
{
    QTableWidget* table = ui->tableWidgetPlatforms;
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    {
        // Rebuilding selects nothing: the panel is shown once, for the first row.
        const QSignalBlocker quiet(table);
        table->clearSelection();
        table->setSortingEnabled(false);
        table->setRowCount(0);
        favoriteRecords.clear();
        catalogue->clearGpsFormats(Utils::GpsFormat::ORIGIN_PLATFORM);

        const bool hideEmpty = ui->checkBoxHideEmptySlots->isChecked();
        SlotProgress progress(this, QStringLiteral("Reading favorite platforms"), int(dfrLink.nbIpSlots()));
        // The slot count is asked again each time: a failed read may have released the link.
        for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
            progress.setSlot(int(slot));
            const Com::DfrLink::PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
            if (!info.occupied && hideEmpty) {
                catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, int(slot));
                continue;
            }
            const int row = table->rowCount();
            table->insertRow(row);
            for (int column = 0; column < table->columnCount(); ++column)
                table->setItem(row, column, new QTableWidgetItem());
            table->item(row, PLATFORMSCOLUMN_POS)->setText(QStringLiteral("%1").arg(info.index, 2, 10, QLatin1Char('0')));
            showPlatformRow(row, info);
        }
        table->resizeColumnsToContents();
        table->setSortingEnabled(true);
        table->sortItems(PLATFORMSCOLUMN_POS, Qt::AscendingOrder);
    }
    reinitGUIPlatformsInfo();
    if (table->rowCount() > 0)
        table->setCurrentCell(0, PLATFORMSCOLUMN_POS);
}

void MainWindow::slotToggleEmptySlots()
{
    slotGetPlatformsInfo();
}

bool MainWindow::slotDeleteAllPlatforms()
{
    QTableWidget* table = ui->tableWidgetPlatforms;
    if (table->rowCount() == 0)
        slotGetPlatformsInfo();

    const int rows = qMin(table->rowCount(), int(dfrLink.nbIpSlots()));
    const auto occupied = [table](int row) {
        const QTableWidgetItem* item = table->item(row, PLATFORMSCOLUMN_ID);
        return item && !item->text().isEmpty();
    };
    bool any = false;
    for (int row = 0; row < rows && !any; ++row)
        any = occupied(row);
    if (!any)
        return true;
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete all platforms?"),
                           QStringLiteral("Are you sure you want to delete all favorite platform entries?")))
        return false;

    table->setSortingEnabled(false);
    {
        SlotProgress progress(this, QStringLiteral("Deleting favorite platforms"), rows);
        for (int row = 0; row < qMin(table->rowCount(), int(dfrLink.nbIpSlots())); ++row) {
            progress.setSlot(row);
            if (!occupied(row))
                continue;
            dfrLink.deletePlatformInfo(slotOfRow(table, row));
            favoriteRecords.remove(qint32(slotOfRow(table, row)));
            for (int column = PLATFORMSCOLUMN_ID; column <= PLATFORMSCOLUMN_GPSFORMAT; ++column)
                table->item(row, column)->setText(QString());
        }
    }
    slotGetPlatformsInfo();
    return true;
}

} // namespace Vantrel::Ui
