// Favourite platforms tab: export to and import from a CSV file.
#include "ui/MainWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTableView>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/PlatformsTableModel.h"
#include "ui/SlotProgress.h"
#include "ui_UiMainWindow.h"
#include "utils/PlatformsFile.h"

namespace Vantrel::Ui {

namespace {

using PlatformInfo_t = Com::DfrLink::PlatformInfo_t;

const QString fileFilter = QStringLiteral("Platforms Files (*.csv *.txt);;All files (*)");
const QString dialogTitle = QStringLiteral("Select platforms file (CSV format)");

using Tarsk::Utils::fail;
constexpr auto fileProblem = Tarsk::Utils::Exception::KIND_FILE;

} // namespace

void MainWindow::slotExportPlatformsInfo()
{
    const QString fileName = Dialogs::saveFileName(this, dialogTitle, fileFilter, QString(), QStringLiteral("csv"),
                                                   offeredFileName(QStringLiteral("favourites"), QStringLiteral("csv")));
    if (fileName.isEmpty()) {
        return;
    }
    QTableView* table = ui->tableWidgetPlatforms;
    if (table->model()->rowCount() == 0) {
        slotGetPlatformsInfo();
    }

    // Written aside and renamed at the end: a failure never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        fail(fileProblem, QStringLiteral("Unable to open platforms file %1").arg(fileName));
    }

    const QStringList titles = platformsFileColumnsNames.value(dfrLink.dfrVersion);
    QString text = QLatin1Char('#') + titles.join(QLatin1Char(',')) + QLatin1Char('\n');
    if (table->model()->rowCount() > 0) {
        table->sortByColumn(PLATFORMSCOLUMN_POS, Qt::AscendingOrder);
        const quint32 slotCount = dfrLink.nbIpSlots();
        SlotProgress progress(this, QStringLiteral("Exporting favorite platforms"), int(slotCount));
        for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
            progress.setSlot(int(slot));
            const PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
            if (!info.occupied) {
                continue;
            }
            text += Utils::PlatformsFile::line(info) + QLatin1Char('\n');
        }
    }
    if (file.write(text.toUtf8()) < 0 || !file.commit()) {
        fail(fileProblem, QStringLiteral("Unable to write platforms file %1 (%2)").arg(fileName, file.errorString()));
    }
    showSuccess(QStringLiteral("Favorite platforms exported to %1").arg(fileName));
}

void MainWindow::slotImportPlatformsInfo()
{
    // The file is read and checked whole before anything on the receiver changes,
    // so that a cancelled, unreadable or faulty file never costs a favourite.
    const QString fileName = Dialogs::openFileName(this, dialogTitle, fileFilter);
    if (fileName.isEmpty()) {
        return;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fail(fileProblem, QStringLiteral("Unable to open platforms file %1").arg(fileName));
    }

    const QList<PlatformInfo_t> platforms = Utils::PlatformsFile::parse(
        file.readAll(), fileName, platformsFileColumnsNames.value(dfrLink.dfrVersion), dfrLink.nbIpSlots());

    // The favourites as they are now, put back if the receiver refuses a write midway.
    slotGetPlatformsInfo();
    const QList<PlatformInfo_t> before = platformsModel->records();
    if (!slotDeleteAllPlatforms()) {
        return;
    }

    int done = 0;
    try {
        SlotProgress progress(this, QStringLiteral("Importing favorite platforms"), int(platforms.size()));
        for (; done < platforms.size(); ++done) {
            progress.setSlot(done);
            dfrLink.createPlatformInfo(quint32(platforms.at(done).index));
            dfrLink.setPlatformInfo(platforms.at(done), true);
        }
    } catch (const Tarsk::Utils::Exception& refused) {
        if (!dfrLink.hasUartLink()) {
            throw;
        }
        const PlatformInfo_t& failed = platforms.at(done);
        const QString summary = QStringLiteral("The receiver refused favourite %1 (identifier %2) from %3")
                                    .arg(failed.index, 2, 10, QLatin1Char('0'))
                                    .arg(failed.platformId, QFileInfo(fileName).fileName());
        try {
            putBackPlatforms(before, platforms.mid(0, done + 1));
        } catch (const Tarsk::Utils::Exception&) {
            reportFailure(refused, summary + QStringLiteral("; the favourites could not all be put back"));
            throw;
        }
        slotGetPlatformsInfo();
        explainFailure(refused, summary + QStringLiteral("; the favourites held before the import were put back"));
        throw;
    }
    slotGetPlatformsInfo();
    showSuccess(QStringLiteral("%1 favorite platforms imported from %2").arg(platforms.size()).arg(fileName));
}

void MainWindow::putBackPlatforms(const QList<PlatformInfo_t>& before, const QList<PlatformInfo_t>& written)
{
    SlotProgress progress(this, QStringLiteral("Putting favorite platforms back"), int(written.size() + before.size()));
    int step = 0;
    for (const PlatformInfo_t& info : written) {
        progress.setSlot(step++);
        const bool heldBefore = info.index < before.size() && before.at(info.index).occupied;
        if (!heldBefore) {
            dfrLink.deletePlatformInfo(quint32(info.index));
        }
    }
    for (const PlatformInfo_t& info : before) {
        progress.setSlot(step++);
        if (info.occupied) {
            dfrLink.setPlatformInfo(info, true);
        }
    }
}

} // namespace Vantrel::Ui
