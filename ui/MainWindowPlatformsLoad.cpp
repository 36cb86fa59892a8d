// Slot tables: reading a receiver's bank into its model, hiding empty slots,
// and publishing the favourites' GPS formats so that received payloads can be decoded.
#include "ui/MainWindow.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableView>

#include "ui/Dialogs.h"
#include "ui/GpsFormatsTableModel.h"
#include "ui/PlatformsTableModel.h"
#include "ui/SlotProgress.h"
#include "ui/SlotsFilterModel.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

void MainWindow::setupSlotTables()
{
    platformsModel = new PlatformsTableModel(this);
    platformsFilter = new SlotsFilterModel(platformsModel, this);
    gpsFormatsModel = new GpsFormatsTableModel(this);
    gpsFormatsFilter = new SlotsFilterModel(gpsFormatsModel, this);
    for (const auto& [view, filter] : {std::pair<QTableView*, SlotsFilterModel*>{ui->tableWidgetPlatforms, platformsFilter},
                                       {ui->tableWidgetGpsFormats, gpsFormatsFilter}}) {
        view->setModel(filter);
        view->setWordWrap(false);  // one line per slot, however long its label
        view->sortByColumn(0, Qt::AscendingOrder);
        view->resizeColumnsToContents();
    }
}

void MainWindow::loadSlotBank(QTableView* view, const QString& what, const std::function<quint32()>& slotCount,
                              const std::function<void(quint32)>& readSlot, const std::function<void()>& reinitPanel)
{
    {
        // Rebuilding selects nothing: the panel is shown once, for the first row.
        const QSignalBlocker quiet(view->selectionModel());
        view->clearSelection();
        SlotProgress progress(this, what, int(slotCount()));
        // The slot count is asked again each time: a failed read may have released the link.
        for (quint32 slot = 0; slot < slotCount(); ++slot) {
            progress.setSlot(int(slot));
            readSlot(slot);
        }
        view->resizeColumnsToContents();
        view->sortByColumn(0, Qt::AscendingOrder);
    }
    reinitPanel();
    if (view->model()->rowCount() > 0) {
        view->setCurrentIndex(view->model()->index(0, 0));
    }
}

void MainWindow::hideEmptySlots(QTableView* view, SlotsFilterModel* filter, bool hide,
                                const std::function<void()>& reinitPanel)
{
    const int shown = currentSlot(view);
    {
        // Rows that go out of view must not make the panel read another slot.
        const QSignalBlocker quiet(view->selectionModel());
        filter->setHideEmpty(hide);
        const QModelIndex row = rowOfSlot(view, shown);
        if (row.isValid()) {
            // The panel already shows this slot.
            view->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return;
        }
        view->selectionModel()->clear();
    }
    reinitPanel();
}

QModelIndex MainWindow::rowOfSlot(const QTableView* view, int slot)
{
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QModelIndex index = view->model()->index(row, 0);
        if (slot >= 0 && index.data(SLOTROLE_SLOT).toInt() == slot) {
            return index;
        }
    }
    return {};
}

int MainWindow::currentSlot(const QTableView* view)
{
    const QModelIndex current = view->currentIndex();
    return current.isValid() ? current.data(SLOTROLE_SLOT).toInt() : -1;
}

QList<Com::DfrLink::PlatformInfo_t> MainWindow::shownPlatforms() const
{
    QList<Com::DfrLink::PlatformInfo_t> shown;
    for (int row = 0; row < platformsFilter->rowCount(); ++row) {
        shown.append(platformsModel->records().at(platformsFilter->mapToSource(platformsFilter->index(row, 0)).row()));
    }
    return shown;
}

void MainWindow::holdPlatform(const Com::DfrLink::PlatformInfo_t& info)
{
    platformsModel->setSlot(info);
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    if (!info.occupied || !info.gpsModeEnabled) {
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index);
        return;
    }
    Utils::GpsFormat_t format = info.gpsFormat;
    format.description = QStringLiteral("from platform %1 (Id: %2)").arg(info.label, info.platformId);
    catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_PLATFORM, info.index, format);
}

void MainWindow::holdGpsFormat(const Com::DfrLink::GpsFormatInfo_t& info)
{
    gpsFormatsModel->setSlot(info);
    Utils::GpsFormat* catalogue = Utils::GpsFormat::instance();
    if (info.occupied) {
        catalogue->addGpsFormat(Utils::GpsFormat::ORIGIN_DFR, info.index, info.gpsFormat);
    } else {
        catalogue->removeGpsFormat(Utils::GpsFormat::ORIGIN_DFR, info.index);
    }
}

void MainWindow::slotGetPlatformsInfo()
{
    platformsModel->clear();
    platformsFilter->setHideEmpty(ui->checkBoxHideEmptySlots->isChecked());
    Utils::GpsFormat::instance()->clearGpsFormats(Utils::GpsFormat::ORIGIN_PLATFORM);
    loadSlotBank(
        ui->tableWidgetPlatforms, QStringLiteral("Reading favorite platforms"), [this] { return dfrLink.nbIpSlots(); },
        [this](quint32 slot) { holdPlatform(dfrLink.getPlatformInfo(slot)); }, [this] { reinitGUIPlatformsInfo(); });
}

void MainWindow::slotToggleEmptySlots()
{
    hideEmptySlots(ui->tableWidgetPlatforms, platformsFilter, ui->checkBoxHideEmptySlots->isChecked(),
                   [this] { reinitGUIPlatformsInfo(); });
}

bool MainWindow::slotDeleteAllPlatforms()
{
    if (platformsFilter->rowCount() == 0 || platformsModel->rowCount() != int(dfrLink.nbIpSlots())) {
        slotGetPlatformsInfo();
    }

    // The slots as held, not the table's rows: the table may be emptied under us.
    QList<quint32> occupied;
    for (const Com::DfrLink::PlatformInfo_t& info : platformsModel->records()) {
        if (info.occupied) {
            occupied.append(quint32(info.index));
        }
    }
    if (occupied.isEmpty()) {
        return true;
    }
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete all platforms?"),
                           QStringLiteral("Are you sure you want to delete all favorite platform entries?"))) {
        return false;
    }

    {
        SlotProgress progress(this, QStringLiteral("Deleting favorite platforms"), int(occupied.size()));
        for (int i = 0; i < occupied.size() && occupied.at(i) < dfrLink.nbIpSlots(); ++i) {
            progress.setSlot(i);
            dfrLink.deletePlatformInfo(occupied.at(i));
            Com::DfrLink::PlatformInfo_t emptied;
            emptied.index = qint32(occupied.at(i));
            // A port removed meanwhile has emptied the model: nothing to hold any more.
            if (platformsModel->slotAt(emptied.index)) {
                holdPlatform(emptied);
            }
        }
    }
    slotGetPlatformsInfo();
    return true;
}

} // namespace Vantrel::Ui
