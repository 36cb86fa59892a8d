// Messages tab, flash memory: read with progress and cancel, erase, dumps, and dumps opened offline.
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScopeGuard>
#include <QtDebug>

#include <memory>
#include <optional>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/PlatformsTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/FilePlace.h"
#include "utils/FlashDumpInfo.h"
#include "utils/FlashMemory.h"
#include "utils/GenerationText.h"

namespace Vantrel::Ui {

namespace {

using Utils::FlashMemory;

// The progress dialog of a read. It is application-modal, so while the link
// waits with user input let through, only its Cancel can be clicked.
class FlashProgress
{
public:
    FlashProgress(QWidget* parent, Com::DfrLink& link, const QString& unit)
        : link(link), unit(unit), dialog(new QProgressDialog(parent))
    {
        dialog->setWindowTitle(QStringLiteral("Read flash"));
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setMinimumDuration(0);
        dialog->setRange(0, 1000);
        dialog->setValue(0);
        dialog->setLabelText(QStringLiteral("Reading flash memory..."));
        QObject::connect(dialog.get(), &QProgressDialog::canceled, &link, &Com::DfrLink::cancelFlashRead);
        QObject::connect(&link, &Com::DfrLink::sigFlashReadProgress, dialog.get(),
                         [this](qint64 done, qint64 total) { update(done, total); });
        QObject::connect(FlashMemory::instance(), &FlashMemory::sigDecodeProgress, dialog.get(),
                         [this](qint64 done, qint64 total) {
                             dialog->setLabelText(QStringLiteral("Decoding: %1 of %2 bytes").arg(done).arg(total));
                             dialog->setValue(int(total > 0 ? done * 1000 / total : 0));
                             QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                         });
        dialog->show();
        link.setUserInputWhileWaiting(true);
        clock.start();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~FlashProgress() { link.setUserInputWhileWaiting(false); }

    void update(qint64 done, qint64 total)
    {
        QString text = QStringLiteral("Read %1 of %2 %3").arg(done).arg(total).arg(unit);
        if (done > 0 && done < total) {
            const qint64 left = clock.elapsed() * (total - done) / done / 1000;
            text += QStringLiteral(", about %1 s left").arg(left);
        }
        dialog->setLabelText(text);
        dialog->setValue(int(total > 0 ? done * 1000 / total : 1000));
    }
    bool cancelled() const { return dialog->wasCanceled(); }
    void decoding()
    {
        // Decoding is not stopped half-way: what was read is shown whole.
        dialog->setCancelButton(nullptr);
        link.setUserInputWhileWaiting(false);
    }

private:
    Com::DfrLink& link;
    QString unit;
    std::unique_ptr<QProgressDialog> dialog;
    QElapsedTimer clock;
};

} // namespace

void MainWindow::slotSetFlashDumpEnabled(bool enabled)
{
    flashDumpEnabled = enabled;
}

void MainWindow::slotSetFlashCrcCheckEnabled(bool enabled)
{
    flashCrcCheckEnabled = enabled;
}

bool MainWindow::prepareRxTableForFlash()
{
    if (rxRowCount() == 0) {
        return true;
    }
    const int answer = Dialogs::askChoice(this, QStringLiteral("RX table contains data"),
                                          QStringLiteral("The RX table contains data. What do you want to do?"),
                                          {QStringLiteral("Clear table and read"), QStringLiteral("Keep table and read"),
                                           QStringLiteral("Cancel")},
                                          0, 2);
    if (answer == 0) {
        slotClearRxTable();
    }
    return answer == 0 || answer == 1;
}

Utils::FlashDumpInfo MainWindow::flashDumpInfoNow() const
{
    Utils::FlashDumpInfo info;
    info.dfrVersion = dfrLink.dfrVersion;
    info.firmwareLevel = dfrLink.firmwareLevel;
    info.serialNumber = Utils::FlashDumpInfo::wholeSerialNumber(shownStatus);
    for (const Com::DfrLink::PlatformInfo_t& slot : platformsModel->records()) {
        if (slot.occupied) {
            info.favorites.append(slot);
        }
    }
    return info;
}

void MainWindow::decodeFlashArea(const QByteArray& data, const Utils::FlashDumpInfo& info, bool cutShort, int* valid,
                                 int* invalid)
{
    flashDecodeInfo = &info;
    const auto done = qScopeGuard([this] { flashDecodeInfo = nullptr; });
    FlashMemory* memory = FlashMemory::instance();
    if (info.dfrVersion == Com::DfrLink::DFR_V1) {
        const Com::DfrLink::PlatformInfo_t* favorite = info.favoriteAt(info.areaSlot);
        memory->decodeFlashMemoryDfrV1(quint32(info.areaSlot), favorite ? favorite->platformId : QString(), data,
                                       flashCrcCheckEnabled, valid, invalid, cutShort);
    } else {
        memory->decodeFlashMemoryDfrV2(data, info.wideIds(), info.favoriteIds(), flashCrcCheckEnabled, valid, invalid,
                                       cutShort);
    }
}

void MainWindow::slotReadFlashMemory()
{
    if (!prepareRxTableForFlash()) {
        return;
    }
    // Rows arrive in bursts; the table is told when the last one is in, whatever ends the read.
    const auto burstEnd = qScopeGuard([this] { endRxBurst(); });
    const int rowsBefore = rxRowCount();

    const bool v2 = dfrLink.dfrVersion == Com::DfrLink::DFR_V2;
    if (!v2) {
        if (ui->tableWidgetPlatforms->model()->rowCount() == 0) {
            slotGetPlatformsInfo();
        }
        if (ui->tableWidgetGpsFormats->model()->rowCount() == 0) {
            slotGetGpsFormats();
        }
    }
    // Rows decode with what was true when the read started, even if the link goes meanwhile.
    Utils::FlashDumpInfo info = flashDumpInfoNow();

    int validTotal = 0;
    int invalidTotal = 0;
    qint64 bytesRead = 0;
    std::optional<Tarsk::Utils::Exception> failure;
    bool cancelled = false;
    QStringList dumps;
    // A link lost during the read resets the form, dump option included; what was
    // read before is still dumped as the user asked.
    const bool dumpWanted = flashDumpEnabled;
    const auto dump = [&](const QByteArray& area, const QString& suffix) {
        flashDumpEnabled = dumpWanted;
        lastFlashDump.clear();
        saveFlashDataToFile(area, suffix, &info);
        flashDumpEnabled = ui->checkBoxFlashDumpToFile->isChecked();
        if (!lastFlashDump.isEmpty()) {
            dumps << QDir::toNativeSeparators(lastFlashDump);
        }
    };

    if (v2) {
        FlashProgress progress(this, dfrLink, QStringLiteral("bytes"));
        QByteArray area;
        try {
            area = dfrLink.readFlashMemoryDfrV2();
        } catch (const Tarsk::Utils::Exception& e) {
            // The chunks read before the fault are kept, shown and dumped as a partial read.
            failure = e;
            area = dfrLink.flashReadBeforeFailure();
        }
        cancelled = dfrLink.flashReadWasCancelled();
        const bool partial = cancelled || failure;
        bytesRead = area.size();
        if (!failure || !area.isEmpty()) {
            dump(area, partial ? QStringLiteral("partial") : QString());
        }
        if (cancelled) {
            qInfo().noquote() << QStringLiteral("Flash memory read cancelled: %1 bytes read.").arg(area.size());
        }
        if (failure && !area.isEmpty()) {
            qWarning().noquote() << QStringLiteral("Flash memory read failed: the %1 bytes read before are kept.")
                                        .arg(area.size());
            }
        if (!area.isEmpty() || !failure) {
            qInfo().noquote() << "Display messages in RX Table (This operation could be long)...";
            progress.decoding();
            decodeFlashArea(area, info, partial, &validTotal, &invalidTotal);
        }
    } else {
        FlashProgress progress(this, dfrLink, QStringLiteral("platform areas"));
        const QList<Com::DfrLink::PlatformInfo_t> favorites = info.favorites;
        for (int k = 0; k < favorites.size(); ++k) {
            progress.update(k, favorites.size());
            if (progress.cancelled()) {
                cancelled = true;
                qInfo().noquote() << QStringLiteral("Flash memory read cancelled: %1 bytes read.").arg(bytesRead);
                break;
            }
            const Com::DfrLink::PlatformInfo_t& favorite = favorites.at(k);
            const quint32 slot = quint32(favorite.index);
            QByteArray area;
            try {
                area = dfrLink.readFlashMemoryDfrV1(slot);
            } catch (const Tarsk::Utils::Exception& e) {
                // The areas read before stay shown and dumped, as after a cancel.
                failure = e;
                break;
            }
            bytesRead += area.size();
            info.areaSlot = favorite.index;
            dump(area, QStringLiteral("platform_%1_%2").arg(slot).arg(favorite.platformId));
            int valid = 0;
            int invalid = 0;
            decodeFlashArea(area, info, false, &valid, &invalid);
            validTotal += valid;
            invalidTotal += invalid;
        }
    }

    endRxBurst();
    const int rowsAdded = rxRowCount() - rowsBefore;
    const QString totals = QStringLiteral("%1 valid messages, %2 invalid messages (Total: %3)")
                               .arg(validTotal)
                               .arg(invalidTotal)
                               .arg(validTotal + invalidTotal);
    // Decoding steps byte by byte through damage, so what it counts as invalid are bytes.
    QString kept = QStringLiteral("%1 messages in the table").arg(rowsAdded);
    if (invalidTotal > 0) {
        kept += QStringLiteral(", %1 invalid bytes skipped").arg(invalidTotal);
    }
    if (dumps.size() == 1) {
        kept += QStringLiteral("; dump saved to %1").arg(dumps.first());
    } else if (dumps.size() > 1) {
        kept += QStringLiteral("; %1 dumps saved in %2")
                    .arg(dumps.size())
                    .arg(QFileInfo(dumps.first()).absolutePath());
        }
    if (!failure && !cancelled) {
        qInfo().noquote() << QStringLiteral("Flash memory read completed: %1").arg(totals);
        showSuccess(QStringLiteral("Flash memory read: %1.").arg(kept));
        slotGetGpsFormats();
        return;
    }
    qInfo().noquote() << QStringLiteral("Flash memory read stopped: %1").arg(totals);
    const QString what = bytesRead == 0 && rowsAdded == 0
                             ? QStringLiteral("nothing could be read.")
                             : QStringLiteral("what was read before is kept: %1.").arg(kept);
    if (!failure) {
        qWarning().noquote() << QStringLiteral("Flash memory read cancelled; %1").arg(what);
        return;
    }
    // What was kept is said; the failure itself goes on leaving the slot.
    explainFailure(*failure, QStringLiteral("Flash memory read failed; %1").arg(what));
    throw *failure;
}

void MainWindow::slotEraseFlashMemory()
{
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete RX messages in flash memory?"),
                           QStringLiteral("Are you sure you want to delete RX messages in flash memory?"))) {
        return;
    }
    if (dfrLink.dfrVersion != Com::DfrLink::DFR_V1) {
        dfrLink.eraseFlashMemoryDfrV2();
        showSuccess(QStringLiteral("Flash memory erased."));
        return;
    }
    if (ui->tableWidgetPlatforms->model()->rowCount() == 0) {
        slotGetPlatformsInfo();
    }
    if (ui->tableWidgetGpsFormats->model()->rowCount() == 0) {
        slotGetGpsFormats();
    }
    const QList<Com::DfrLink::PlatformInfo_t> platforms = shownPlatforms();
    for (int row = 0; row < int(dfrLink.nbIpSlots()) && row < platforms.size(); ++row) {
        if (platforms.at(row).occupied && !platforms.at(row).platformId.isEmpty()) {
            dfrLink.eraseFlashMemoryDfrV1(quint32(platforms.at(row).index));
        }
    }
    showSuccess(QStringLiteral("Flash memory erased."));
}

void MainWindow::saveFlashDataToFile(const QByteArray& data, const QString& suffix, const Utils::FlashDumpInfo* info)
{
    if (!flashDumpEnabled) {
        return;
    }
    const QDir dumps(Utils::FilePlace::resolve(QStringLiteral("../FlashDumps")));
    dumps.mkpath(QStringLiteral("."));
    // The suffix carries an identifier from the receiver: it must not steer the path.
    QString safeSuffix = suffix;
    safeSuffix.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    const QString name = QStringLiteral("%1/flash_memory_%2%3.bin")
                             .arg(dumps.absolutePath(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")),
                                  safeSuffix.isEmpty() ? QString() : QLatin1Char('_') + safeSuffix);
    // Written aside and renamed at the end: a failed write never leaves half a dump.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        qWarning().noquote() << QStringLiteral("Unable to save flash data to: %1").arg(name);
        return;
    }
    lastFlashDump = name;
    qInfo().noquote() << QStringLiteral("Flash data saved to: %1").arg(name);

    // What the dump needs to decode as it did here, for when it is opened without the receiver.
    const Utils::FlashDumpInfo now = info ? *info : flashDumpInfoNow();
    const QByteArray description = now.toText();
    QSaveFile beside(Utils::FlashDumpInfo::pathBeside(name));
    if (!beside.open(QIODevice::WriteOnly) || beside.write(description) != description.size() || !beside.commit()) {
        qWarning().noquote() << QStringLiteral("Unable to save the description of flash data to: %1 (%2)")
                                    .arg(beside.fileName(), beside.errorString());
        }
}

void MainWindow::slotOpenFlashDump()
{
    const QString dumps = Utils::FilePlace::resolve(QStringLiteral("../FlashDumps"));
    const QString path = Dialogs::openFileName(this, QStringLiteral("Open flash dump"),
                                               QStringLiteral("Flash dumps (*.bin);;All files (*)"), dumps);
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("Unable to open flash dump: %1 (%2)").arg(path, file.errorString());
        return;
    }
    const QByteArray data = file.readAll();
    const QString fileName = QFileInfo(path).fileName();
    const bool partial = fileName.endsWith(QLatin1String("_partial.bin"));

    Utils::FlashDumpInfo info;
    QFile described(Utils::FlashDumpInfo::pathBeside(path));
    if (described.open(QIODevice::ReadOnly)) {
        try {
            info = Utils::FlashDumpInfo::fromText(described.readAll());
        } catch (const Tarsk::Utils::Exception& e) {
            reportFailure(e, QStringLiteral("The description beside %1 cannot be read (%2); the dump is not opened.")
                                 .arg(fileName, described.fileName()));
            return;
        }
    } else {
        // An older dump, without a description: the name tells a first-generation area,
        // the user the rest. Identifier widths then follow the favourites known now.
        static const QRegularExpression pattern(
            QStringLiteral("_platform_(\\d+)_([0-9A-Fa-f]+)(_partial)?\\.bin$"));
        const QRegularExpressionMatch area = pattern.match(fileName);
        int generation = area.hasMatch() ? 0 : -1;
        if (generation < 0) {
            generation = Dialogs::askChoice(this, QStringLiteral("Open flash dump"),
                                            QStringLiteral("Which receiver generation wrote %1?").arg(fileName),
                                            {QStringLiteral("First generation (DFR V1)"),
                                             QStringLiteral("Second generation (DFR V2)"), QStringLiteral("Cancel")},
                                            1, 2);
            if (generation != 0 && generation != 1) {
                return;
            }
        }
        info = flashDumpInfoNow();
        if (generation == 0) {
            // The area's identifier is the name's; a favourite known now keeps its label only if it is the same.
            const QString id = area.captured(2).toUpper();
            info.dfrVersion = Com::DfrLink::DFR_V1;
            info.areaSlot = qint32(area.captured(1).toUInt());
            info.favorites.removeIf([&info, &id](const Com::DfrLink::PlatformInfo_t& favorite) {
                return favorite.index == info.areaSlot && favorite.platformId != id;
            });
            if (!info.favoriteAt(info.areaSlot)) {
                Com::DfrLink::PlatformInfo_t favorite;
                favorite.index = info.areaSlot;
                favorite.occupied = true;
                favorite.platformId = id;
                info.favorites.append(favorite);
            }
        } else {
            const int wide = FlashMemory::instance()->countValidRecordsDfrV2(data, true);
            const int narrow = FlashMemory::instance()->countValidRecordsDfrV2(data, false);
            info.dfrVersion = Com::DfrLink::DFR_V2;
            info.firmwareLevel = wide > narrow ? 2 : 1;
            qInfo().noquote() << QStringLiteral("Flash dump read with %1-bit identifiers (%2 valid records, %3 with %4-bit).")
                                     .arg(info.wideIds() ? 32 : 28)
                                     .arg(info.wideIds() ? wide : narrow)
                                     .arg(info.wideIds() ? narrow : wide)
                                     .arg(info.wideIds() ? 28 : 32);
        }
    }

    // A file that holds no records leaves the table as it was.
    int covered = 0;
    const int records = FlashMemory::instance()->countValidRecords(data, info.dfrVersion == Com::DfrLink::DFR_V1,
                                                                    info.wideIds(), &covered);
    if (data.isEmpty() || covered * 2 < data.size()) {
        qWarning().noquote()
            << QStringLiteral("%1 is not a flash dump of a %2 receiver: %3 of its %4 bytes form records with a valid CRC "
                              "(%5 records); the table is left as it was.")
                   .arg(fileName, Utils::GenerationText::of(info.dfrVersion))
                   .arg(covered)
                   .arg(data.size())
                   .arg(records);
        return;
    }
    if (!prepareRxTableForFlash()) {
        return;
    }
    const auto burstEnd = qScopeGuard([this] { endRxBurst(); });
    const int rowsBefore = rxRowCount();

    int valid = 0;
    int invalid = 0;
    qInfo().noquote() << QStringLiteral("Open flash dump %1 (%2 bytes)...").arg(path).arg(data.size());
    decodeFlashArea(data, info, partial, &valid, &invalid);
    endRxBurst();
    qInfo().noquote() << QStringLiteral("Flash dump opened: %1 valid messages, %2 invalid messages (Total: %3)")
                             .arg(valid)
                             .arg(invalid)
                             .arg(valid + invalid);
    showSuccess(QStringLiteral("Flash dump %1 opened: %2 messages in the table%3.")
                    .arg(fileName)
                    .arg(rxRowCount() - rowsBefore)
                    .arg(invalid > 0 ? QStringLiteral(", %1 invalid bytes skipped").arg(invalid) : QString()));
}

void MainWindow::connectFlashTools()
{
    connectDevice(ui->pushButtonRxFlashRead, &QPushButton::clicked, &MainWindow::slotReadFlashMemory);
    connectDevice(ui->pushButtonRxFlashErase, &QPushButton::clicked, &MainWindow::slotEraseFlashMemory);
    connectOnce(ui->checkBoxFlashDumpToFile, &QCheckBox::toggled, &MainWindow::slotSetFlashDumpEnabled);
    connectOnce(ui->checkBoxFlashCrcCheck, &QCheckBox::toggled, &MainWindow::slotSetFlashCrcCheckEnabled);
}

} // namespace Vantrel::Ui
