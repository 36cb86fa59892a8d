// GPS format bank tab: the receiver's format slots, the editor of the selected
// one, and the bank's formats in the catalogue.
#include "ui/MainWindow.h"

#include <QSignalBlocker>
#include <QTableView>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/GpsFormatWidget.h"
#include "ui/GpsFormatsTableModel.h"
#include "ui/SlotProgress.h"
#include "ui/SlotsFilterModel.h"
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

void MainWindow::slotGetGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0) {
        return;
    }
    gpsFormatsModel->clear();
    gpsFormatsFilter->setHideEmpty(ui->checkBoxGpsFormatsHideEmptySlots->isChecked());
    Utils::GpsFormat::instance()->clearGpsFormats(Utils::GpsFormat::ORIGIN_DFR);
    loadSlotBank(
        ui->tableWidgetGpsFormats, QStringLiteral("Reading GPS formats"), [this] { return dfrLink.nbGpsFormatSlots(); },
        [this](quint32 slot) { holdGpsFormat(dfrLink.getGpsFormatInfo(slot)); }, [this] { reinitGUIGpsFormatsInfo(); });
}

void MainWindow::slotToggleEmptyGpsFormatsSlots()
{
    hideEmptySlots(ui->tableWidgetGpsFormats, gpsFormatsFilter, ui->checkBoxGpsFormatsHideEmptySlots->isChecked(),
                   [this] { reinitGUIGpsFormatsInfo(); });
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

void MainWindow::slotDisplayGpsFormatInfo()
{
    if (dfrLink.nbGpsFormatSlots() == 0) {
        return;
    }
    const int slot = currentSlot(ui->tableWidgetGpsFormats);
    if (slot < 0) {
        reinitGUIGpsFormatsInfo();
        return;
    }

    // Always read afresh: the receiver is the only record of the bank.
    Com::DfrLink::GpsFormatInfo_t info;
    try {
        info = dfrLink.getGpsFormatInfo(quint32(slot));
    } catch (const Tarsk::Utils::Exception&) {
        reinitGUIGpsFormatsInfo();
        throw;
    }
    // A port removed while the reply came in has emptied the table and the editor.
    if (!gpsFormatsModel->slotAt(slot)) {
        return;
    }
    holdGpsFormat(info);
    if (!info.occupied) {
        reinitGUIGpsFormatsInfo();
        ui->lineEditGpsFormatsIndex->setText(QString::number(info.index));
        ui->pushButtonGpsFormatsCreate->setEnabled(true);
        shownGpsFormat = info;
        return;
    }
    // Shown again after a write, the editor stays enabled and the edited field keeps the focus.
    ui->pushButtonGpsFormatsCreate->setEnabled(false);
    ui->pushButtonGpsFormatsDelete->setEnabled(true);
    ui->lineEditGpsFormatsIndex->setText(QString::number(info.index));
    ui->widgetGpsFormatTab->setEnabled(true);
    {
        const QSignalBlocker editor(ui->widgetGpsFormatTab);
        ui->widgetGpsFormatTab->setGpsFormat(info.gpsFormat);
    }
    shownGpsFormat = info;
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
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty()) {
        return;
    }
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
        if (!dfrLink.hasUartLink() || dfrLink.isNoSendCommandMode()) {
            throw;
        }
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
    if (!dfrLink.isNoSendCommandMode()) {
        slotDisplayGpsFormatInfo();
    }
}

void MainWindow::slotCreateGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty()) {
        return;
    }
    const quint32 slot = ui->lineEditGpsFormatsIndex->text().toUInt();
    Utils::GpsFormat_t format = blankFormat();
    format.name = QStringLiteral("Format %1").arg(slot);
    writeGpsFormatSlot(slot, true, format);
    slotDisplayGpsFormatInfo();
}

void MainWindow::slotDeleteGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0 || ui->lineEditGpsFormatsIndex->text().isEmpty()) {
        return;
    }
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete GPS format?"),
                           QStringLiteral("Are you sure you want to delete this GPS format entry?"))) {
        return;
    }
    writeGpsFormatSlot(ui->lineEditGpsFormatsIndex->text().toUInt(), false, blankFormat());
    slotDisplayGpsFormatInfo();
}

void MainWindow::slotDeleteAllGpsFormats()
{
    if (dfrLink.nbGpsFormatSlots() == 0) {
        return;
    }
    if (gpsFormatsFilter->rowCount() == 0) {
        slotGetGpsFormats();
    }

    bool anyOccupied = false;
    for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots() && !anyOccupied; ++slot) {
        anyOccupied = dfrLink.getGpsFormatInfo(slot).occupied;
    }
    if (!anyOccupied) {
        return;
    }
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete all GPS formats?"),
                           QStringLiteral("Are you sure you want to delete all GPS format entries?"))) {
        return;
    }

    {
        const quint32 slotCount = dfrLink.nbGpsFormatSlots();
        SlotProgress progress(this, QStringLiteral("Deleting GPS formats"), int(slotCount));
        for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots(); ++slot) {
            progress.setSlot(int(slot));
            if (dfrLink.getGpsFormatInfo(slot).occupied) {
                writeGpsFormatSlot(slot, false, blankFormat());
            }
        }
    }
    slotGetGpsFormats();
}

} // namespace Vantrel::Ui
