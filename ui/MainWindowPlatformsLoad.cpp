// Favourite platforms tab: reading the receiver's slots into the table, and
// publishing their GPS formats so that received payloads can be decoded.
#include "ui/MainWindow.h"

#include <QHeaderView>
#include <QTableWidget>

#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

void MainWindow::slotGetPlatformsInfo()
{
    QTableWidget* table = ui->tableWidgetPlatforms;
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    table->clearSelection();
    table->setSortingEnabled(false);
    table->setRowCount(0);
    catalogue->clearGpsFormats(Utils::GpsFormat::ORIGIN_PLATFORM);

    const bool hideEmpty = ui->checkBoxHideEmptySlots->isChecked();
    // The slot count is asked again each time: a failed read may have released the link.
    for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
        Com::DfrLink::PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
        if (!info.occupied && hideEmpty) {
            catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, int(slot));
            continue;
        }
        const int row = table->rowCount();
        table->insertRow(row);
        for (int column = 0; column < table->columnCount(); ++column)
            table->setItem(row, column, new QTableWidgetItem());
        table->item(row, 0)->setText(QStringLiteral("%1").arg(info.index, 2, 10, QLatin1Char('0')));
        if (info.occupied) {
            table->item(row, 1)->setText(info.platformId);
            table->item(row, 2)->setText(Com::DfrLink::orvanModulationToString(info.modulation));
            table->item(row, 3)->setText(info.label);
            if (info.gpsModeEnabled)
                table->item(row, 4)->setText(info.gpsFormat.name);
        }
        if (info.occupied && info.gpsModeEnabled) {
            info.gpsFormat.description =
                QStringLiteral("from platform %1 (Id: %2)").arg(info.label, info.platformId);
            catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, int(slot), info.gpsFormat);
        } else {
            catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, int(slot));
        }
    }

    table->resizeColumnsToContents();
    table->setSortingEnabled(true);
    table->sortItems(0, Qt::AscendingOrder);
    if (table->rowCount() > 0)
        table->setCurrentCell(0, 0);
}

void MainWindow::slotToggleEmptySlots()
{
    slotGetPlatformsInfo();
}

} // namespace Vantrel::Ui
