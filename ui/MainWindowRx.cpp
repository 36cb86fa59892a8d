// Received messages: the messages table, its filter, CSV export and context
// menu, and the traffic log.
#include "ui/MainWindow.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QTableView>
#include <QTextStream>
#include <QUrl>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/locate/LocateTab.h"
#include "ui/PlatformsTableModel.h"
#include "ui/RxTableColumns.h"
#include "ui/RxTableModel.h"
#include "archive/ArchiveKeeper.h"
#include "ui_UiMainWindow.h"
#include "utils/FlashDumpInfo.h"
#include "utils/GenerationText.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

namespace {

const QString mapUrl = QStringLiteral("https://maps.google.com/maps?q=%1,%2");

bool isMapPosition(const QString& latitude, const QString& longitude)
{
    return !latitude.isEmpty() && !longitude.isEmpty() && latitude != QLatin1String("0") &&
           longitude != QLatin1String("0");
}

} // namespace

void MainWindow::setupRxTable()
{
    rxModel = new RxTableModel(this);
    rxModel->setPayloadFont(monospaceFont());
    QTableView* table = ui->tableWidgetRx;
    table->setModel(rxModel);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    table->setContextMenuPolicy(Qt::CustomContextMenu);

    // Locate follows every message the table takes; it goes last, so the other tabs keep their places.
    auto* locate = new LocateTab(ui->tabWidget);
    ui->tabWidget->addTab(locate, QStringLiteral("Locate"));
    connect(rxModel, &RxTableModel::sigRowTaken, locate, &LocateTab::addRow);
    connect(rxModel, &RxTableModel::sigCleared, locate, &LocateTab::clear);

    // The flash controls get a row of their own, so that the tool rows fit a small window.
    auto* flashTools = new QHBoxLayout;
    for (QWidget* control : std::initializer_list<QWidget*>{ui->checkBoxFlashDumpToFile, ui->checkBoxFlashCrcCheck,
                                                           ui->pushButtonRxFlashRead, ui->pushButtonRxFlashErase,
                                                           ui->pushButtonRxFlashOpenDump}) {
        ui->horizontalLayout_14->removeWidget(control);
        flashTools->addWidget(control);
    }
    flashTools->addStretch();
    ui->verticalLayout_9->insertLayout(1, flashTools);
}

int MainWindow::rxRowCount() const
{
    return rxModel->totalRowCount();
}

void MainWindow::endRxBurst(int sortColumn)
{
    rxModel->flushQueuedRows();
    // The burst goes into the archive as one transaction.
    if (archive) {
        archive->endBurst();
    }
    QTableView* table = ui->tableWidgetRx;
    table->resizeColumnsToContents();
    table->sortByColumn(sortColumn < 0 ? RXCOLUMN_POSITION : sortColumn, Qt::DescendingOrder);
    table->setSortingEnabled(true);
}

void MainWindow::slotOrvanMessageReceived(const Com::DfrLink::OrvanRxMessage_t& orvanRxMessage,
                                          Com::DfrLink::RxOrigin_t rxOrigin)
{
    using Com::DfrLink;
    RxTableModel::Row_t row;
    row.message = orvanRxMessage;
    row.live = rxOrigin == DfrLink::RXORIGIN_LIVE;
    DfrLink::OrvanRxMessage_t& message = row.message;

    // Flash data being decoded brings the favourites it was read with; the receiver
    // may be another one by now, or none.
    const Utils::FlashDumpInfo* source = row.live ? nullptr : flashDecodeInfo;
    if (source) {
        if (const DfrLink::PlatformInfo_t* favorite = source->favoriteWithId(message.platformId)) {
            if (message.platformSlotIndex == -1) {
                message.platformSlotIndex = favorite->index;
            }
            row.label = favorite->label;
        }
    } else {
        if (const DfrLink::PlatformInfo_t* favorite = platformsTableModel()->favoriteWithId(message.platformId)) {
            if (message.platformSlotIndex == -1) {
                message.platformSlotIndex = favorite->index;
            }
            row.label = favorite->label;
        }
    }
    // Who heard it, for the archive.
    row.receiver = source ? source->serialNumber : Utils::FlashDumpInfo::wholeSerialNumber(shownStatus);
    row.partialReceiver = source && source->partialSerialNumber;
    row.generation = source ? source->dfrVersion : dfrLink.dfrVersion;
    const qint32 index = message.platformSlotIndex;
    if (source) {
        const DfrLink::PlatformInfo_t* favorite = index != -1 ? source->favoriteAt(index) : nullptr;
        row.payloadPosition = favorite && favorite->gpsModeEnabled
                              && Utils::GpsFormat::decodePosition(favorite->gpsFormat, message.rawPayload,
                                                                  row.payloadLatitude, row.payloadLongitude);
    } else {
        row.payloadPosition = index != -1 && Utils::GpsFormat::instance()->decodePayload(
                                                 Utils::GpsFormat::ORIGIN_PLATFORM, index, message.rawPayload,
                                                 row.payloadLatitude, row.payloadLongitude);
    }

    // The row gives its record away to the table; the log line is made after the row
    // is in, since rendering it may throw.
    const bool logged = ui->checkBoxRxLogFile->isChecked() && trafficLog.isOpen();
    const DfrLink::OrvanRxMessage_t loggedMessage = logged ? message : DfrLink::OrvanRxMessage_t();
    const bool live = row.live;

    // New rows follow the filter field as it reads now, even when it was set
    // without running the filter (the form clears it on disconnection).
    slotFilterRxTable();

    QTableView* table = ui->tableWidgetRx;
    if (!live) {
        // Flash rows come in bursts and are gathered; the flash reader restores sorting at the end.
        if (table->isSortingEnabled()) {
            table->setSortingEnabled(false);
        }
        rxModel->queueRow(std::move(row));
    } else {
        // A sorted table only needs the new row put in its place: sorting it whole
        // again costs tens of milliseconds per message once it is long.
        rxModel->flushQueuedRows();
        const int shownRow = rxModel->addRow(std::move(row));
        if (shownRow >= 0) {
            // The columns already fit the older rows, so only the new one is measured:
            // measuring the whole table again is as slow as sorting it.
            const int grid = table->showGrid() ? 1 : 0;
            for (int column = 0; column < RXCOLUMN_COUNT; ++column) {
                const int width = table->sizeHintForIndex(rxModel->index(shownRow, column)).width() + grid;
                if (width > table->columnWidth(column)) {
                    table->setColumnWidth(column, width);
                }
            }
        }
        if (!table->isSortingEnabled()) {
            table->setSortingEnabled(true);
        }
    }

    if (logged) {
        const QDateTime received = loggedMessage.dateTime.isNull() ? QDateTime::currentDateTimeUtc()
                                                                    : loggedMessage.dateTime.toQDateTime().toUTC();
        trafficLog.writeMessage(received, live, dfrLink.orvanRxMessageToNprFormat(loggedMessage));
    }
}

void MainWindow::slotSetLiveRxEnabled(bool enabled)
{
    dfrLink.setLiveRxEnabled(enabled);
}

void MainWindow::slotSetLogFileEnabled(bool enabled)
{
    if (!enabled) {
        trafficLog.closeByUser();
        return;
    }
    if (trafficLog.open(logGenerationText(), Utils::FlashDumpInfo::wholeSerialNumber(shownStatus))) {
        return;
    }
    qWarning().noquote() << QStringLiteral("Log file %1 cannot be opened: %2")
                                .arg(QDir::toNativeSeparators(trafficLog.fileName()), trafficLog.errorString());
    // Unticked again, so that the box never claims a log that is not being written.
    const QSignalBlocker blocker(ui->checkBoxRxLogFile);
    ui->checkBoxRxLogFile->setChecked(false);
}

QString MainWindow::logGenerationText() const
{
    // Any generation but the first is named as the second: the log has no other name.
    return Utils::GenerationText::of(dfrLink.dfrVersion == Com::DfrLink::DFR_V1 ? Com::DfrLink::DFR_V1
                                                                                 : Com::DfrLink::DFR_V2);
}

void MainWindow::slotClearRxTable()
{
    rxModel->clear();
}

void MainWindow::slotClearSelectionRxTable()
{
    ui->tableWidgetRx->clearSelection();
}

void MainWindow::slotFilterRxTable()
{
    rxModel->setFilter(ui->lineEditRxFilter->text());
}

void MainWindow::slotClearRxFilter()
{
    ui->lineEditRxFilter->clear();
    slotFilterRxTable();
}

void MainWindow::slotExportRxTable()
{
    const QString fileName = Dialogs::saveFileName(this, QStringLiteral("Select RX file (CSV format)"),
                                                   QStringLiteral("RX Files (*.csv *.txt);;All files (*)"), QString(),
                                                   QStringLiteral("csv"),
                                                   offeredFileName(QStringLiteral("messages"), QStringLiteral("csv")));
    if (fileName.isEmpty()) {
        return;
    }

    // Written aside and renamed at the end: an interrupted export never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        throw Tarsk::Utils::Exception(Tarsk::Utils::Exception::KIND_FILE, QStringLiteral("Unable to open RX file %1").arg(fileName), QtCriticalMsg);
    }

    QTextStream out(&file);
    // UTF-8 with a byte order mark, so that spreadsheet tools read "°" right too.
    out.setEncoding(QStringConverter::Utf8);
    out.setGenerateByteOrderMark(true);
    out << rxTableHeaders().join(QLatin1Char(',')) << '\n';

    // Rows whose origin cell is selected, read from the selection's ranges
    // rather than asked row by row.
    const int rows = rxModel->rowCount();
    const QItemSelection selection = ui->tableWidgetRx->selectionModel()->selection();
    QVector<bool> selected;
    if (!selection.isEmpty()) {
        selected.fill(false, rows);
        for (const QItemSelectionRange& range : selection) {
            if (range.left() <= RXCOLUMN_ORIGIN && range.right() >= RXCOLUMN_ORIGIN) {
                for (int row = range.top(); row <= range.bottom() && row < rows; ++row) {
                    selected[row] = true;
                }
            }
        }
    }

    QStringList fields;
    for (int row = 0; row < rows; ++row) {
        if (!selected.isEmpty() && !selected[row]) {
            continue;
        }
        fields.clear();
        for (int column = 0; column < RXCOLUMN_COUNT; ++column) {
            fields.append(rxModel->text(row, column));
        }
        out << fields.join(QLatin1Char(',')) << '\n';
    }

    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit()) {
        throw Tarsk::Utils::Exception(
            Tarsk::Utils::Exception::KIND_FILE, QStringLiteral("Unable to write RX file %1 (%2)").arg(fileName, file.errorString()), QtCriticalMsg);
        }
    showSuccess(QStringLiteral("Messages exported to %1.").arg(QDir::toNativeSeparators(fileName)));
}

void MainWindow::slotShowRxTableContextMenu(const QPoint& position)
{
    QTableView* table = ui->tableWidgetRx;
    const QModelIndex index = table->indexAt(position);
    if (!index.isValid()) {
        return;
    }
    const int row = index.row();
    const QString id = rxModel->text(row, RXCOLUMN_ID);
    const QString payload = rxModel->text(row, RXCOLUMN_PAYLOAD);
    const QString rawPayload = rxModel->text(row, RXCOLUMN_RAW_PAYLOAD);
    const QString dfrLatitude = rxModel->text(row, RXCOLUMN_DFR_LATITUDE);
    const QString dfrLongitude = rxModel->text(row, RXCOLUMN_DFR_LONGITUDE);
    const QString payloadLatitude = rxModel->text(row, RXCOLUMN_PAYLOAD_LATITUDE);
    const QString payloadLongitude = rxModel->text(row, RXCOLUMN_PAYLOAD_LONGITUDE);

    QMenu menu(this);
    menu.addAction(QStringLiteral("ID filter: %1").arg(id), this, [this, id] {
        ui->lineEditRxFilter->setText(id);
        slotFilterRxTable();
    });
    menu.addSeparator();
    const auto copyEntry = [&menu](const QString& text, const QString& content) {
        if (!content.isEmpty()) {
            menu.addAction(text, [content] { QGuiApplication::clipboard()->setText(content); });
        }
    };
    copyEntry(QStringLiteral("Copy payload to clipboard"), payload);
    copyEntry(QStringLiteral("Copy raw payload to clipboard"), rawPayload);
    if (!payload.isEmpty() || !rawPayload.isEmpty()) {
        menu.addSeparator();
    }
    const auto mapEntry = [&menu](const QString& text, const QString& latitude, const QString& longitude) {
        if (isMapPosition(latitude, longitude)) {
            menu.addAction(text, [url = QUrl(mapUrl.arg(latitude, longitude))] { QDesktopServices::openUrl(url); });
        }
    };
    mapEntry(QStringLiteral("See DFR position on Google Maps"), dfrLatitude, dfrLongitude);
    mapEntry(QStringLiteral("See payload position on Google Maps"), payloadLatitude, payloadLongitude);

    menu.exec(table->viewport()->mapToGlobal(position));
}

void MainWindow::connectRxTab()
{
    connectDevice(ui->checkBoxRxLive, &QCheckBox::toggled, &MainWindow::slotSetLiveRxEnabled);
    connectOnce(ui->checkBoxRxLogFile, &QCheckBox::toggled, &MainWindow::slotSetLogFileEnabled);
}

void MainWindow::resetRxTab()
{
    ui->checkBoxRxLive->setChecked(true);
    ui->checkBoxRxLogFile->setChecked(false);
    ui->checkBoxFlashDumpToFile->setChecked(false);
    ui->checkBoxFlashCrcCheck->setChecked(true);
    ui->lineEditRxFilter->clear();
    // The messages table keeps its rows: a lost receiver must not take away what
    // was heard or read from it; the user clears the table when done with it.
}

} // namespace Vantrel::Ui
