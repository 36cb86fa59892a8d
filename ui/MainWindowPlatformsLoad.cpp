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
    // The row may be gone: a port removed during the read empties the table.
    const auto show = [table, row](int column, const QString& text) {
        if (QTableWidgetItem* item = table->item(row, column))
            item->setText(text);
    };
    for (int column = PLATFORMSCOLUMN_ID; column <= PLATFORMSCOLUMN_GPSFORMAT; ++column)
        show(column, QString());
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    if (!info.occupied) {
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index);
        return;
    }
    show(PLATFORMSCOLUMN_ID, info.platformId);
    show(PLATFORMSCOLUMN_MODULATION, Com::DfrLink::orvanModulationToString(info.modulation));
    show(PLATFORMSCOLUMN_LABEL, info.label);
    if (info.gpsModeEnabled) {
        show(PLATFORMSCOLUMN_GPSFORMAT, info.gpsFormat.name);
        info.gpsFormat.description = QStringLiteral("from platform %1 (Id: %2)").arg(info.label, info.platformId);
        catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index, info.gpsFormat);
    } else {
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index);
    }
}

void MainWindow::holdPlatform(const Com::DfrLink::PlatformInfo_t& info)
{
    if (info.index >= 0 && info.index < heldPlatforms.size())
        heldPlatforms[info.index] = info;
}

int MainWindow::rowOfPlatformSlot(quint32 slot) const
{
    const QTableWidget* table = ui->tableWidgetPlatforms;
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, PLATFORMSCOLUMN_POS) && slotOfRow(table, row) == slot)
            return row;
    return -1;
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
        catalogue->clearGpsFormats(Utils::GpsFormat::ORIGIN_PLATFORM);
        heldPlatforms.clear();

        const bool hideEmpty = ui->checkBoxHideEmptySlots->isChecked();
        SlotProgress progress(this, QStringLiteral("Reading favorite platforms"), int(dfrLink.nbIpSlots()));
        // The slot count is asked again each time: a failed read may have released the link.
        for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
            progress.setSlot(int(slot));
            const Com::DfrLink::PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
            heldPlatforms.append(info);
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
    if (table->rowCount() == 0 || heldPlatforms.size() != int(dfrLink.nbIpSlots()))
        slotGetPlatformsInfo();

    // The slots as read, not the table's text: the table may be emptied under us.
    QList<quint32> occupied;
    for (const Com::DfrLink::PlatformInfo_t& info : std::as_const(heldPlatforms))
        if (info.occupied)
            occupied.append(quint32(info.index));
    if (occupied.isEmpty())
        return true;
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete all platforms?"),
                           QStringLiteral("Are you sure you want to delete all favorite platform entries?")))
        return false;

    table->setSortingEnabled(false);
    {
        SlotProgress progress(this, QStringLiteral("Deleting favorite platforms"), int(occupied.size()));
        for (int i = 0; i < occupied.size() && occupied.at(i) < dfrLink.nbIpSlots(); ++i) {
            progress.setSlot(i);
            dfrLink.deletePlatformInfo(occupied.at(i));
            Com::DfrLink::PlatformInfo_t emptied;
            emptied.index = qint32(occupied.at(i));
            holdPlatform(emptied);
            const int row = rowOfPlatformSlot(occupied.at(i));
            if (row >= 0)
                showPlatformRow(row, emptied);
        }
    }
    slotGetPlatformsInfo();
    return true;
}

} // namespace Vantrel::Ui
