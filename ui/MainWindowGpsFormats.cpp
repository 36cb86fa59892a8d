// GPS format bank tab: the receiver's format slots, the editor of the selected
// one, and the bank's formats in the catalogue.
#include "ui/MainWindow.h"

#include <QSignalBlocker>
#include <QTableWidget>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/GpsFormatWidget.h"
#include "ui/PlatformsTableColumns.h"
#include "ui/SlotProgress.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

namespace {

// A created slot and an emptied one carry the smallest data length the receiver takes.
Utils::GpsFormat_t blankFormat()
{
    Utils::GpsFormat_t format;
    format.dataLen = 1;
    return format;
}

} // namespace

quint32 MainWindow::slotOfRow(const QTableWidget* table, int row)
{
    const QTableWidgetItem* item = table->item(row, 0);
    return item ? item->text().toUInt() : 0;
}

void MainWindow::slotGetGpsFormats()
{
    const quint32 slotCount = dfrLink.nbGpsFormatSlots();
    if (slotCount == 0)
        return;
    QTableWidget* table = ui->tableWidgetGpsFormats;
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    {
        // Rebuilding selects nothing: the panel is shown once, for the first row.
        const QSignalBlocker quiet(table);
        table->clearSelection();
        table->setSortingEnabled(false);
        table->setRowCount(0);
        catalogue->clearGpsFormats(Utils::GpsFormat::ORIGIN_DFR);

        const bool hideEmpty = ui->checkBoxGpsFormatsHideEmptySlots->isChecked();
        SlotProgress progress(this, QStringLiteral("Reading GPS formats"), int(slotCount));
        for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots(); ++slot) {
            progress.setSlot(int(slot));
            const Com::DfrLink::GpsFormatInfo_t info = dfrLink.getGpsFormatInfo(slot);
            if (hideEmpty && !info.occupied)
                continue;
            const int row = table->rowCount();
            table->insertRow(row);
            for (int column = 0; column < table->columnCount(); ++column)
                table->setItem(row, column, new QTableWidgetItem());
            table->item(row, GPSFORMATSCOLUMN_POS)->setText(QStringLiteral("%1").arg(info.index, 2, 10, QLatin1Char('0')));
            if (info.occupied) {
                table->item(row, GPSFORMATSCOLUMN_NAME)->setText(info.gpsFormat.name);
                catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_DFR, int(slot), info.gpsFormat);
            } else {
                catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_DFR, int(slot));
            }
        }
        table->resizeColumnsToContents();
        table->setSortingEnabled(true);
        table->sortItems(GPSFORMATSCOLUMN_POS, Qt::AscendingOrder);
    }
    reinitGUIGpsFormatsInfo();
    if (table->rowCount() > 0)
        table->setCurrentCell(0, GPSFORMATSCOLUMN_POS);
}

void MainWindow::slotToggleEmptyGpsFormatsSlots()
{
    slotGetGpsFormats();
}

void MainWindow::reinitGUIGpsFormatsInfo()
{
    const QSignalBlocker create(ui->pushButtonGpsFormatsCreate);
    const QSignalBlocker remove(ui->pushButtonGpsFormatsDelete);
    const QSignalBlocker editor(ui->widgetGpsFormatTab);
    ui->pushButtonGpsFormatsCreate->setEnabled(false);
    ui->pushButtonGpsFormatsDelete->setEnabled(false);
    ui->lineEditGpsFormatsIndex->clear();
    ui->widgetGpsFormatTab->reinitGUI();
    shownGpsFormat = {};
}

void MainWindow::showGpsFormatName(int row, const QString& name)
{
    QTableWidget* table = ui->tableWidgetGpsFormats;
    // Sorting would move the row while it is written.
    table->setSortingEnabled(false);
    if (QTableWidgetItem* item = table->item(row, GPSFORMATSCOLUMN_NAME))
        item->setText(name);
    table->setSortingEnabled(true);
}

void MainWindow::slotDisplayGpsFormatInfo()
{
    if (dfrLink.nbGpsFormatSlots() == 0)
        return;
    reinitGUIGpsFormatsInfo();
    QTableWidget* table = ui->tableWidgetGpsFormats;
    const int row = table->currentRow();
    if (row < 0)
        return;

    // Always read afresh: the receiver is the only record of the bank.
    const Com::DfrLink::GpsFormatInfo_t info = dfrLink.getGpsFormatInfo(slotOfRow(table, row));
    // A port removed while the reply came in has emptied the table and the editor.
    if (row >= table->rowCount())
        return;
    shownGpsFormat = info;
    ui->lineEditGpsFormatsIndex->setText(QString::number(info.index));
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    if (info.occupied) {
        ui->pushButtonGpsFormatsDelete->setEnabled(true);
        ui->widgetGpsFormatTab->setEnabled(true);
        {
            const QSignalBlocker editor(ui->widgetGpsFormatTab);
            ui->widgetGpsFormatTab->setGpsFormat(info.gpsFormat);
        }
        showGpsFormatName(row, info.gpsFormat.name);
        catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_DFR, info.index, info.gpsFormat);
    } else {
        ui->pushButtonGpsFormatsCreate->setEnabled(true);
        showGpsFormatName(row, QString());
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_DFR, info.index);
    }
}

void MainWindow::writeGpsFormatSlot(quint32 slot, bool occupied, const Utils::GpsFormat_t& format)
{
    Com::DfrLink::GpsFormatInfo_t info;
    info.index = qint32(slot);
    info.occupied = occupied;
    info.gpsFormat = format;
    dfrLink.setGpsFormatInfo(info);
}

void MainWindow::slotSaveGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty())
        return;
    Com::DfrLink::GpsFormatInfo_t info;
    info.index = qint32(ui->lineEditGpsFormatsIndex->text().toUInt());
    info.occupied = true;
    info.gpsFormat = ui->widgetGpsFormatTab->getGpsFormat();
    const Com::DfrLink::GpsFormatInfo_t held = shownGpsFormat;
    try {
        Com::DfrLink::checkGpsFormatInfo(info);
    } catch (const Tarsk::Utils::Exception&) {
        // A refused edit must not stay on screen as if it had been stored.
        slotDisplayGpsFormatInfo();
        throw;
    }
    try {
        dfrLink.setGpsFormatInfo(info);
    } catch (const Tarsk::Utils::Exception& refused) {
        if (!dfrLink.hasUartLink() || dfrLink.isNoSendCommandMode())
            throw;
        QString summary = QStringLiteral("The receiver refused GPS format %1 (%2)")
                              .arg(info.index, 2, 10, QLatin1Char('0'))
                              .arg(info.gpsFormat.name);
        try {
            if (held.occupied && held.index == info.index) {
                dfrLink.setGpsFormatInfo(held);
                summary += QStringLiteral("; the format it held before was written back");
            }
        } catch (const Tarsk::Utils::Exception&) {
            reportFailure(refused, summary);
            throw;
        }
        slotDisplayGpsFormatInfo();
        explainFailure(refused, summary);
        throw;
    }
    if (!dfrLink.isNoSendCommandMode())
        slotDisplayGpsFormatInfo();
}

void MainWindow::slotCreateGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty())
        return;
    const quint32 slot = ui->lineEditGpsFormatsIndex->text().toUInt();
    Utils::GpsFormat_t format = blankFormat();
    format.name = QStringLiteral("Format %1").arg(slot);
    writeGpsFormatSlot(slot, true, format);
    slotDisplayGpsFormatInfo();
}

void MainWindow::slotDeleteGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty())
        return;
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete GPS format?"),
                           QStringLiteral("Are you sure you want to delete this GPS format entry?")))
        return;
    writeGpsFormatSlot(ui->lineEditGpsFormatsIndex->text().toUInt(), false, blankFormat());
    slotDisplayGpsFormatInfo();
}

void MainWindow::slotDeleteAllGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0)
        return;
    if (ui->tableWidgetGpsFormats->rowCount() == 0)
        slotGetGpsFormats();

    bool anyOccupied = false;
    for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots() && !anyOccupied; ++slot)
        anyOccupied = dfrLink.getGpsFormatInfo(slot).occupied;
    if (!anyOccupied)
        return;
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete all GPS formats?"),
                           QStringLiteral("Are you sure you want to delete all GPS format entries?")))
        return;

    ui->tableWidgetGpsFormats->setSortingEnabled(false);
    {
        const quint32 slotCount = dfrLink.nbGpsFormatSlots();
        SlotProgress progress(this, QStringLiteral("Deleting GPS formats"), int(slotCount));
        for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots(); ++slot) {
            progress.setSlot(int(slot));
            if (dfrLink.getGpsFormatInfo(slot).occupied)
                writeGpsFormatSlot(slot, false, blankFormat());
        }
    }
    slotGetGpsFormats();
}

} // namespace Vantrel::Ui
