// Favourite platforms tab: the edit panel of one slot, and the favourites as
// the identifier rules see them.
#include "ui/MainWindow.h"

#include <QSignalBlocker>
#include <QTableView>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/GpsFormatWidget.h"
#include "ui/PlatformsTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"
#include "utils/PlatformsFile.h"
#include "utils/SignalsBlocked.h"

namespace Vantrel::Ui {

QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> MainWindow::getFavoritePlatforms() const
{
    QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> favorites;
    for (const Com::DfrLink::PlatformInfo_t& info : shownPlatforms()) {
        // Empty slots and unknown modulations cannot tell an identifier's width.
        if (info.occupied && !info.platformId.isEmpty() && info.modulation >= Com::DfrLink::ORVANMODULATION_A2
            && info.modulation < Com::DfrLink::ORVANMODULATION_INVALID) {
            favorites.append({info.platformId, info.modulation});
        }
    }
    return favorites;
}

void MainWindow::reinitGUIPlatformsInfo()
{
    const QList<QWidget*> edits = platformPanelEditors();
    const Utils::SignalsBlocked quiet(edits);
    ui->pushButtonPlatformsCreate->setEnabled(false);
    ui->pushButtonPlatformsDelete->setEnabled(false);
    for (QWidget* edit : edits) {
        edit->setEnabled(false);
    }
    ui->lineEditPlatformsIndex->clear();
    clearPlatformPanel();
    ui->doubleSpinBoxPlatformsNarrowFrequency->setVisible(false);
    platformShown = false;
}

void MainWindow::slotDisplayPlatformInfo()
{
    const int slot = currentSlot(ui->tableWidgetPlatforms);
    if (slot < 0) {
        reinitGUIPlatformsInfo();
        return;
    }
    Com::DfrLink::PlatformInfo_t info;
    try {
        info = dfrLink.getPlatformInfo(quint32(slot));
    } catch (const Tarsk::Utils::Exception&) {
        reinitGUIPlatformsInfo();
        throw;
    }
    // A port removed while the reply came in has emptied the table and the panel.
    if (!platformsModel->slotAt(slot)) {
        return;
    }
    holdPlatform(info);
    if (!info.occupied) {
        reinitGUIPlatformsInfo();
        ui->lineEditPlatformsIndex->setText(QString::number(info.index));
        ui->pushButtonPlatformsCreate->setEnabled(true);
        return;
    }

    // An occupied slot shown again after a write keeps its fields enabled, so the
    // edited one keeps the keyboard focus.
    ui->pushButtonPlatformsCreate->setEnabled(false);
    ui->pushButtonPlatformsDelete->setEnabled(true);
    const QList<QWidget*> edits = platformPanelEditors();
    const Utils::SignalsBlocked quiet(edits);
    for (QWidget* edit : edits) {
        edit->setEnabled(true);
    }
    ui->lineEditPlatformsIndex->setText(QString::number(info.index));
    ui->lineEditPlatformsOrvanId->setText(info.platformId);
    ui->lineEditPlatformsLabel->setText(info.label);
    ui->comboBoxPlatformsOrvanBand->setCurrentIndex(int(info.band));
    ui->comboBoxPlatformsModulation->setCurrentIndex(int(info.modulation));
    const bool narrow = info.frequencyMode == Com::DfrLink::FREQUENCYMODE_NARROW;
    ui->checkBoxPlatformNarrowEnabled->setChecked(narrow);
    // Only the second generation has frequency modes; the first hides the whole row.
    ui->doubleSpinBoxPlatformsNarrowFrequency->setVisible(narrow && dfrLink.dfrVersion != Com::DfrLink::DFR_V1);
    ui->doubleSpinBoxPlatformsNarrowFrequency->setValue(info.narrowFrequencyHz / 1000000.0);
    ui->spinBoxPlatformsMeanDirectionValue->setValue(int(info.meanDirectionValues));
    ui->spinBoxPlatformsRepetitionPeriod->setValue(info.repetitionPeriod);
    ui->checkBoxGpsModeEnabled->setChecked(info.gpsModeEnabled);
    if (info.gpsModeEnabled) {
        ui->widgetGpsFormatPlatform->setEnabled(true);
        ui->widgetGpsFormatPlatform->setGpsFormat(info.gpsFormat);
    } else {
        ui->widgetGpsFormatPlatform->reinitGUI();
    }
    shownPlatform = info;
    shownPlatformPanel = platformFromPanel();
    platformShown = true;
}

Com::DfrLink::PlatformInfo_t MainWindow::platformFromPanel() const
{
    Com::DfrLink::PlatformInfo_t info;
    info.index = qint32(ui->lineEditPlatformsIndex->text().toUInt());
    info.occupied = true;
    info.platformId = ui->lineEditPlatformsOrvanId->text();
    info.label = ui->lineEditPlatformsLabel->text();
    info.band = Com::DfrLink::OrvanBand_t(ui->comboBoxPlatformsOrvanBand->currentIndex());
    info.modulation = Com::DfrLink::OrvanModulation_t(ui->comboBoxPlatformsModulation->currentIndex());
    info.frequencyMode = ui->checkBoxPlatformNarrowEnabled->isChecked() ? Com::DfrLink::FREQUENCYMODE_NARROW
                                                                        : Com::DfrLink::FREQUENCYMODE_WIDE;
    info.narrowFrequencyHz = quint32(ui->doubleSpinBoxPlatformsNarrowFrequency->value() * 1000000.0);
    info.meanDirectionValues = quint32(ui->spinBoxPlatformsMeanDirectionValue->value());
    info.repetitionPeriod = ui->spinBoxPlatformsRepetitionPeriod->value();
    info.gpsModeEnabled = ui->checkBoxGpsModeEnabled->isChecked();
    info.gpsFormat = ui->widgetGpsFormatPlatform->getGpsFormat();
    return info;
}

bool MainWindow::samePlatform(Com::DfrLink::PlatformInfo_t a, Com::DfrLink::PlatformInfo_t b)
{
    // Without GPS mode the format is not written, so it cannot differ.
    if (!a.gpsModeEnabled) {
        a.gpsFormat = {};
    }
    if (!b.gpsModeEnabled) {
        b.gpsFormat = {};
    }
    return Utils::PlatformsFile::line(a) == Utils::PlatformsFile::line(b);
}

void MainWindow::writePlatformSlot(const Com::DfrLink::PlatformInfo_t& info, bool recreate,
                                   const Com::DfrLink::PlatformInfo_t& held)
{
    try {
        dfrLink.setPlatformInfo(info, recreate);
    } catch (const Tarsk::Utils::Exception& refused) {
        // Without a receiver nothing can be put back; a recording sends nothing.
        if (!dfrLink.hasUartLink() || dfrLink.isNoSendCommandMode()) {
            throw;
        }
        QString summary = QStringLiteral("The receiver refused favourite %1 (identifier %2)")
                              .arg(info.index, 2, 10, QLatin1Char('0'))
                              .arg(info.platformId);
        try {
            // A recreate emptied the slot before the refused write.
            if (held.occupied && held.index == info.index) {
                dfrLink.setPlatformInfo(held, recreate);
                summary += QStringLiteral("; the favourite it held before was written back");
            }
        } catch (const Tarsk::Utils::Exception&) {
            reportFailure(refused, summary);
            throw;
        }
        // The panel and the list show what the receiver holds, then the refusal goes on.
        slotDisplayPlatformInfo();
        explainFailure(refused, summary);
        throw;
    }
}

void MainWindow::slotSavePlatformsInfo()
{
    if (ui->lineEditPlatformsIndex->text().isEmpty()) {
        return;
    }

    const Com::DfrLink::PlatformInfo_t panel = platformFromPanel();
    const bool held = platformShown && shownPlatform.index == panel.index;
    Com::DfrLink::PlatformInfo_t info = panel;
    if (held) {
        // Fields the user left alone keep what the receiver holds, also values
        // the panel cannot show (a period beyond the spin box, an unknown band).
        info = shownPlatform;
        info.occupied = true;
        const auto take = [&](auto field) {
            if (!(panel.*field == shownPlatformPanel.*field)) {
                info.*field = panel.*field;
            }
        };
        take(&Com::DfrLink::PlatformInfo_t::platformId);
        take(&Com::DfrLink::PlatformInfo_t::label);
        take(&Com::DfrLink::PlatformInfo_t::band);
        take(&Com::DfrLink::PlatformInfo_t::modulation);
        take(&Com::DfrLink::PlatformInfo_t::frequencyMode);
        take(&Com::DfrLink::PlatformInfo_t::narrowFrequencyHz);
        take(&Com::DfrLink::PlatformInfo_t::meanDirectionValues);
        take(&Com::DfrLink::PlatformInfo_t::repetitionPeriod);
        take(&Com::DfrLink::PlatformInfo_t::gpsModeEnabled);
        info.gpsFormat = panel.gpsFormat;  // the editor keeps what it was not told to change
        // Return and then leaving a field finish the same edit; an unchanged one writes nothing.
        if (samePlatform(info, shownPlatform)) {
            return;
        }
    }

    try {
        Com::DfrLink::checkPlatformInfo(info);
    } catch (const Tarsk::Utils::Exception&) {
        // Refused before anything is sent; the panel goes back to what the receiver holds.
        slotDisplayPlatformInfo();
        throw;
    }

    bool recreate = false;
    if (held) {
        const bool hadFormatName = shownPlatform.gpsModeEnabled && !shownPlatform.gpsFormat.name.isEmpty();
        recreate = info.platformId != shownPlatform.platformId
            || (!shownPlatform.label.isEmpty() && info.label.isEmpty()) || !info.gpsModeEnabled
            || (hadFormatName && info.gpsFormat.name.isEmpty());
    }

    if (dfrLink.dfrVersion == Com::DfrLink::DFR_V1 && recreate) {
        bool confirmed = false;
        {
            // The question takes the focus, which would finish the sender's edit a second time.
            const QSignalBlocker quiet(sender());
            confirmed = Dialogs::askYesNo(
                this, QStringLiteral("Delete associated flash memory?"),
                QStringLiteral("This modification will need a delete and create operation on this platform.\n\n"
                               "All recorded message in flash memory associated to this platform will be lost.\n\n"
                               "Are you sure you want to continue?"));
        }
        if (!confirmed) {
            slotDisplayPlatformInfo();
            return;
        }
    }

    writePlatformSlot(info, recreate, held ? shownPlatform : Com::DfrLink::PlatformInfo_t());
    if (!dfrLink.isNoSendCommandMode()) {
        slotDisplayPlatformInfo();
    }
}

void MainWindow::slotCreatePlatformsInfo()
{
    const int slot = currentSlot(ui->tableWidgetPlatforms);
    if (slot < 0) {
        return;
    }
    dfrLink.createPlatformInfo(quint32(slot));
    slotDisplayPlatformInfo();
}

void MainWindow::slotDeletePlatformsInfo()
{
    const int slot = currentSlot(ui->tableWidgetPlatforms);
    if (slot < 0) {
        return;
    }
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete platform?"),
                           QStringLiteral("Are you sure you want to delete this favorite platform entry?"))) {
        return;
    }
    dfrLink.deletePlatformInfo(quint32(slot));
    Com::DfrLink::PlatformInfo_t emptied;
    emptied.index = slot;
    if (platformsModel->slotAt(slot)) {
        holdPlatform(emptied);
    }
    slotDisplayPlatformInfo();
}

void MainWindow::slotNewFavorite()
{
    if (ui->checkBoxHideEmptySlots->isChecked()) {
        ui->checkBoxHideEmptySlots->setChecked(false);
    }

    const quint32 slotCount = dfrLink.nbIpSlots();
    quint32 slot = 0;
    while (slot < slotCount && dfrLink.getPlatformInfo(slot).occupied) {
        ++slot;
    }
    if (slot >= slotCount) {
        qWarning().noquote() << "No empty favorite platform slot left.";
        return;
    }
    const QModelIndex row = rowOfSlot(ui->tableWidgetPlatforms, int(slot));
    if (row.isValid()) {
        ui->tableWidgetPlatforms->setCurrentIndex(row);
        slotCreatePlatformsInfo();
        return;
    }
    // Without a row for the free slot, creating in the current one could overwrite a favourite.
}

} // namespace Vantrel::Ui
