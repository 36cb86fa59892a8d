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

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui_UiMainWindow.h"
#include "utils/FlashMemory.h"

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
    if (rxRowCount() == 0)
        return true;
    const int answer = Dialogs::askChoice(this, QStringLiteral("RX table contains data"),
                                          QStringLiteral("The RX table contains data. What do you want to do?"),
                                          {QStringLiteral("Clear table and read"), QStringLiteral("Keep table and read"),
                                           QStringLiteral("Cancel")},
                                          0);
    if (answer == 0)
        slotClearRxTable();
    return answer == 0 || answer == 1;
}

void MainWindow::slotReadFlashMemory()
{
    if (!prepareRxTableForFlash())
        return;
    // Rows arrive in bursts; the table is told when the last one is in, whatever ends the read.
    const auto burstEnd = qScopeGuard([this] { endRxBurst(); });

    int validTotal = 0;
    int invalidTotal = 0;
    FlashMemory* memory = FlashMemory::instance();
    // A link lost during the read resets the form, dump option included; what was
    // read before is still dumped as the user asked.
    const bool dumpWanted = flashDumpEnabled;

    if (dfrLink.dfrVersion == Com::DfrLink::DFR_V2) {
        FlashProgress progress(this, dfrLink, QStringLiteral("bytes"));
        const bool wideIds = dfrLink.firmwareLevel == 2;
        QByteArray area;
        QString failure;
        try {
            area = dfrLink.readFlashMemoryDfrV2();
        } catch (const Tarsk::Utils::Exception& e) {
            // The chunks read before the fault are kept, shown and dumped as a partial read.
            area = dfrLink.flashReadBeforeFailure();
            if (area.isEmpty())
                throw;
            failure = e.message();
        }
        const bool partial = dfrLink.flashReadWasCancelled() || !failure.isEmpty();
        flashDumpEnabled = dumpWanted;
        saveFlashDataToFile(area, partial ? QStringLiteral("partial") : QString());
        flashDumpEnabled = ui->checkBoxFlashDumpToFile->isChecked();
        if (dfrLink.flashReadWasCancelled())
            qInfo().noquote() << QStringLiteral("Flash memory read cancelled: %1 bytes read.").arg(area.size());
        if (!failure.isEmpty())
            qWarning().noquote() << QStringLiteral("Flash memory read failed: the %1 bytes read before are kept.")
                                        .arg(area.size());
        qInfo().noquote() << "Display messages in RX Table (This operation could be long)...";
        progress.decoding();
        memory->decodeFlashMemoryDfrV2(area, wideIds, flashCrcCheckEnabled, &validTotal, &invalidTotal, partial);
        if (!failure.isEmpty())
            throw Tarsk::Utils::Exception(failure, QtCriticalMsg);
    } else {
        QTableWidget* platforms = ui->tableWidgetPlatforms;
        FlashProgress progress(this, dfrLink, QStringLiteral("platform areas"));
        qint64 bytesRead = 0;
        for (int row = 0; row < int(dfrLink.nbIpSlots()); ++row) {
            if (platforms->rowCount() == 0)
                slotGetPlatformsInfo();
            if (ui->tableWidgetGpsFormats->rowCount() == 0)
                slotGetGpsFormats();
            if (row >= platforms->rowCount())
                break;
            progress.update(row, platforms->rowCount());
            if (progress.cancelled()) {
                qInfo().noquote() << QStringLiteral("Flash memory read cancelled: %1 bytes read.").arg(bytesRead);
                break;
            }
            const QTableWidgetItem* slotItem = platforms->item(row, 0);
            const QTableWidgetItem* idItem = platforms->item(row, 1);
            const quint32 slot = slotItem ? slotItem->text().toUInt() : 0;
            const QString id = idItem ? idItem->text() : QString();
            if (id.isEmpty())
                continue;
            const QByteArray area = dfrLink.readFlashMemoryDfrV1(slot);
            bytesRead += area.size();
            saveFlashDataToFile(area, QStringLiteral("platform_%1_%2").arg(slot).arg(id));
            int valid = 0;
            int invalid = 0;
            memory->decodeFlashMemoryDfrV1(slot, id, area, flashCrcCheckEnabled, &valid, &invalid);
            validTotal += valid;
            invalidTotal += invalid;
        }
    }

    qInfo().noquote() << QStringLiteral("Flash memory read completed: %1 valid messages, %2 invalid messages (Total: %3)")
                             .arg(validTotal)
                             .arg(invalidTotal)
                             .arg(validTotal + invalidTotal);
    slotGetGpsFormats();
}

void MainWindow::slotEraseFlashMemory()
{
    if (!Dialogs::askYesNo(this, QStringLiteral("Delete RX messages in flash memory?"),
                           QStringLiteral("Are you sure you want to delete RX messages in flash memory?")))
        return;
    if (dfrLink.dfrVersion != Com::DfrLink::DFR_V1) {
        dfrLink.eraseFlashMemoryDfrV2();
        return;
    }
    QTableWidget* platforms = ui->tableWidgetPlatforms;
    if (platforms->rowCount() == 0)
        slotGetPlatformsInfo();
    if (ui->tableWidgetGpsFormats->rowCount() == 0)
        slotGetGpsFormats();
    for (int row = 0; row < int(dfrLink.nbIpSlots()) && row < platforms->rowCount(); ++row) {
        const QTableWidgetItem* slotItem = platforms->item(row, 0);
        const QTableWidgetItem* idItem = platforms->item(row, 1);
        if (idItem && !idItem->text().isEmpty())
            dfrLink.eraseFlashMemoryDfrV1(slotItem ? slotItem->text().toUInt() : 0);
    }
}

void MainWindow::saveFlashDataToFile(const QByteArray& data, const QString& suffix)
{
    if (!flashDumpEnabled)
        return;
    const QDir dumps(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../FlashDumps")));
    dumps.mkpath(QStringLiteral("."));
    const QString name = QStringLiteral("%1/flash_memory_%2%3.bin")
                             .arg(dumps.absolutePath(),
                                  QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss")),
                                  suffix.isEmpty() ? QString() : QLatin1Char('_') + suffix);
    // Written aside and renamed at the end: a failed write never leaves half a dump.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        qWarning().noquote() << QStringLiteral("Unable to save flash data to: %1").arg(name);
        return;
    }
    lastFlashDump = name;
    qInfo().noquote() << QStringLiteral("Flash data saved to: %1").arg(name);
}

void MainWindow::slotOpenFlashDump()
{
    const QString path = Dialogs::openFileName(this, QStringLiteral("Open flash dump"),
                                               QStringLiteral("Flash dumps (*.bin);;All files (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("Unable to open flash dump: %1 (%2)").arg(path, file.errorString());
        return;
    }
    const QByteArray data = file.readAll();
    const QString fileName = QFileInfo(path).fileName();
    static const QRegularExpression pattern(
        QStringLiteral("_platform_(\\d+)_([0-9A-Fa-f]+)(_partial)?\\.bin$"));
    const QRegularExpressionMatch area = pattern.match(fileName);
    const bool partial = fileName.endsWith(QLatin1String("_partial.bin"));

    int generation = area.hasMatch() ? 0 : -1;
    if (generation < 0) {
        generation = Dialogs::askChoice(this, QStringLiteral("Open flash dump"),
                                        QStringLiteral("Which receiver generation wrote %1?").arg(fileName),
                                        {QStringLiteral("First generation (DFR V1)"),
                                         QStringLiteral("Second generation (DFR V2)"), QStringLiteral("Cancel")},
                                        1);
        if (generation != 0 && generation != 1)
            return;
    }
    if (!prepareRxTableForFlash())
        return;
    const auto burstEnd = qScopeGuard([this] { endRxBurst(); });

    FlashMemory* memory = FlashMemory::instance();
    int valid = 0;
    int invalid = 0;
    qInfo().noquote() << QStringLiteral("Open flash dump %1 (%2 bytes)...").arg(path).arg(data.size());
    if (generation == 0) {
        const quint32 slot = area.captured(1).toUInt();
        memory->decodeFlashMemoryDfrV1(slot, area.captured(2).toUpper(), data, flashCrcCheckEnabled, &valid,
                                       &invalid, partial);
    } else {
        const int wide = memory->countValidRecordsDfrV2(data, true);
        const int narrow = memory->countValidRecordsDfrV2(data, false);
        const bool wideIds = wide > narrow;
        qInfo().noquote() << QStringLiteral("Flash dump read with %1-bit identifiers (%2 valid records, %3 with %4-bit).")
                                 .arg(wideIds ? 32 : 28)
                                 .arg(wideIds ? wide : narrow)
                                 .arg(wideIds ? narrow : wide)
                                 .arg(wideIds ? 28 : 32);
        memory->decodeFlashMemoryDfrV2(data, wideIds, flashCrcCheckEnabled, &valid, &invalid, partial);
    }
    qInfo().noquote() << QStringLiteral("Flash dump opened: %1 valid messages, %2 invalid messages (Total: %3)")
                             .arg(valid)
                             .arg(invalid)
                             .arg(valid + invalid);
}

} // namespace Vantrel::Ui
