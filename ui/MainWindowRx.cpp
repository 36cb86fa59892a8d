// Received messages: the messages table, its filter, CSV export and context
// menu, and the traffic log file.
#include "ui/MainWindow.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMetaEnum>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextStream>
#include <QUrl>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/NumericTableWidgetItem.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

namespace {

enum RxColumn_t {
    COL_ORIGIN = 0, COL_INDEX, COL_LABEL, COL_POSITION, COL_TIME, COL_ID, COL_FREQUENCY, COL_DIRECTION, COL_BAND,
    COL_MODULATION, COL_LEVEL, COL_PERIOD, COL_DFR_LATITUDE, COL_DFR_LONGITUDE, COL_DFR_DIRECTION,
    COL_PAYLOAD_LATITUDE, COL_PAYLOAD_LONGITUDE, COL_CRC, COL_PAYLOAD, COL_RAW_PAYLOAD, COL_COUNT
};

// The entries of the context menu, carried by their actions.
enum RxMenuEntry_t { MENU_FILTER = 1, MENU_COPY_PAYLOAD, MENU_COPY_RAW_PAYLOAD, MENU_DFR_MAP, MENU_PAYLOAD_MAP };

const QString mapUrl = QStringLiteral("https://maps.google.com/maps?q=%1,%2");

template <typename Enum>
QString enumText(Enum value, const char* prefix)
{
    const char* key = QMetaEnum::fromType<Enum>().valueToKey(int(value));
    if (!key)
        return QString();
    return QString::fromLatin1(key).mid(int(qstrlen(prefix)));
}

QString levelText(qint32 level)
{
    switch (level) {
    case 1: return QStringLiteral("< -135");
    case 2: return QStringLiteral("> 0");
    case 3: return QStringLiteral("< -112");
    case 4: return QStringLiteral("< -115");
    default: return QString::number(level);
    }
}

QColor modulationColour(const QString& modulation)
{
    if (modulation == QLatin1String("A2"))
        return QColor(70, 130, 180);
    if (modulation == QLatin1String("A3"))
        return QColor(138, 43, 226);
    if (modulation == QLatin1String("A4"))
        return QColor(34, 139, 34);
    if (modulation == QLatin1String("LDK"))
        return QColor(139, 69, 19);
    return QColor();
}

QString cellText(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

bool isMapPosition(const QString& latitude, const QString& longitude)
{
    return !latitude.isEmpty() && !longitude.isEmpty() && latitude != QLatin1String("0") &&
           longitude != QLatin1String("0");
}

} // namespace

void MainWindow::slotOrvanMessageReceived(const Com::DfrLink::OrvanRxMessage_t& orvanRxMessage,
                                          Com::DfrLink::RxOrigin_t rxOrigin)
{
    using Com::DfrLink;
    DfrLink::OrvanRxMessage_t message = orvanRxMessage;
    const bool live = rxOrigin == DfrLink::RXORIGIN_LIVE;
    QTableWidget* table = ui->tableWidgetRx;

    // The row's cells are filled before they join the table, which then files them once.
    QTableWidgetItem* items[COL_COUNT];
    for (int column = 0; column < COL_COUNT; ++column)
        items[column] = column == COL_POSITION ? new NumericTableWidgetItem : new QTableWidgetItem;

    items[COL_ORIGIN]->setText(live ? QStringLiteral("Live") : QStringLiteral("Flash"));

    QString label;
    const QTableWidget* platforms = ui->tableWidgetPlatforms;
    for (int row = 0; row < platforms->rowCount(); ++row) {
        if (cellText(platforms, row, 1) != message.platformId)
            continue;
        if (message.platformSlotIndex == -1)
            message.platformSlotIndex = cellText(platforms, row, 0).toInt();
        label = cellText(platforms, row, 3);
        break;
    }
    const qint32 index = message.platformSlotIndex;
    if (index != -1)
        items[COL_INDEX]->setText(QString::number(index));
    items[COL_LABEL]->setText(label);

    if (live) {
        items[COL_POSITION]->setText(QStringLiteral("N/A"));
        items[COL_POSITION]->setData(Qt::UserRole, -1);
    } else {
        items[COL_POSITION]->setText(QString::number(message.flashPosition));
        items[COL_POSITION]->setData(Qt::UserRole, message.flashPosition);
    }

    // The decoder gives a frame with an unreadable date a null time: no date beats a false one.
    if (!message.dateTime.isNull())
        items[COL_TIME]->setText(
            message.dateTime.toQDateTime().toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")));
    items[COL_ID]->setText(message.platformId);
    items[COL_FREQUENCY]->setText(QString::number(message.frequencyHz));
    if (dfrLink.hasUartLink() && dfrLink.dfrVersion == DfrLink::DFR_V1 && index != -1)
        items[COL_DIRECTION]->setText(
            QStringLiteral("%1 (avg %2)").arg(message.direction).arg(message.meanDirection));
    else
        items[COL_DIRECTION]->setText(QString::number(message.direction));
    items[COL_BAND]->setText(enumText(message.band, "ORVANBAND_"));
    const QString modulation = enumText(message.modulation, "ORVANMODULATION_");
    items[COL_MODULATION]->setText(modulation);
    items[COL_LEVEL]->setText(levelText(message.level));
    items[COL_PERIOD]->setText(message.periodValid ? QString::number(message.period) : QStringLiteral("Invalid"));
    if (message.dfrPositionValid) {
        items[COL_DFR_LATITUDE]->setText(QString::number(message.dfrLatitude, 'g', QLocale::FloatingPointShortest));
        items[COL_DFR_LONGITUDE]->setText(
            QString::number(message.dfrLongitude, 'g', QLocale::FloatingPointShortest));
    }
    items[COL_DFR_DIRECTION]->setText(message.dfrDirectionValid ? QString::number(message.dfrDirection)
                                                                : QStringLiteral("Invalid"));
    double latitude = 0.0;
    double longitude = 0.0;
    if (index != -1 && Utils::GpsFormat::instance()->decodePayload(Utils::GpsFormat::ORIGIN_PLATFORM, index,
                                                                   message.rawPayload, latitude, longitude)) {
        items[COL_PAYLOAD_LATITUDE]->setText(QString::number(latitude, 'g', 6));
        items[COL_PAYLOAD_LONGITUDE]->setText(QString::number(longitude, 'g', 6));
    }
    items[COL_CRC]->setText(message.crcOk ? QStringLiteral("Yes") : QStringLiteral("No"));

    items[COL_PAYLOAD]->setText(QString::fromLatin1(message.payload.toHex().toUpper()));
    items[COL_RAW_PAYLOAD]->setText(QString::fromLatin1(message.rawPayload.toHex().toUpper()));
    static const QFont mono = monospaceFont();
    items[COL_PAYLOAD]->setFont(mono);
    items[COL_RAW_PAYLOAD]->setFont(mono);

    const QColor foreground = modulationColour(modulation);
    for (QTableWidgetItem* item : items) {
        if (!message.crcOk)
            item->setBackground(QColor(220, 220, 220));
        if (foreground.isValid())
            item->setForeground(foreground);
    }

    // A table that is sorted already only needs the new row put in its place, which the
    // table does itself when the sort column's cell arrives: sorting it whole again
    // costs tens of milliseconds per message once it is long. The place is the one a
    // stable sort gives a row inserted on top.
    const bool stillSorted = live && table->isSortingEnabled();
    if (!stillSorted)
        table->setSortingEnabled(false);
    table->insertRow(0);
    const int sortColumn = stillSorted ? table->horizontalHeader()->sortIndicatorSection() : -1;
    for (int column = 0; column < COL_COUNT; ++column)
        if (column != sortColumn)
            table->setItem(0, column, items[column]);
    if (sortColumn >= 0 && sortColumn < COL_COUNT)
        table->setItem(0, sortColumn, items[sortColumn]);
    if (live && !stillSorted)
        table->setSortingEnabled(true);
    const int row = items[COL_ID]->row();
    if (live) {
        // The columns already fit the older rows, so only the new one is measured:
        // measuring the whole table again is as slow as sorting it.
        const int grid = table->showGrid() ? 1 : 0;
        for (int column = 0; column < COL_COUNT; ++column) {
            const int width = table->sizeHintForIndex(table->model()->index(row, column)).width() + grid;
            if (width > table->columnWidth(column))
                table->setColumnWidth(column, width);
        }
    }
    table->setRowHidden(row, !message.platformId.contains(ui->lineEditRxFilter->text()));

    if (ui->checkBoxRxLogFile->isChecked() && logFile.isOpen()) {
        const QDateTime received = message.dateTime.isNull() ? QDateTime::currentDateTimeUtc()
                                                              : message.dateTime.toQDateTime().toUTC();
        writeLogFileLine(received, QStringLiteral(" %1 : %2")
                                       .arg(live ? QStringLiteral("Received") : QStringLiteral("Flash"),
                                            dfrLink.orvanRxMessageToNprFormat(message)));
    }
}

void MainWindow::slotSetLiveRxEnabled(bool enabled)
{
    dfrLink.setLiveRxEnabled(enabled);
}

void MainWindow::slotSetLogFileEnabled(bool enabled)
{
    if (!enabled) {
        if (logFile.isOpen()) {
            writeLogFileEvent(QStringLiteral(" : Log file closed"));
            logFile.close();
        }
        return;
    }
    if (logFile.isOpen())
        return;
    const bool existed = logFile.exists();
    if (!logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    if (existed) {
        QTextStream out(&logFile);
        out << Qt::endl << Qt::endl << Qt::endl;
    }
    writeLogFileEvent(QStringLiteral(" : USB connection to %1 SN %2").arg(logGenerationText(), dfrLink.serialNumber));
}

QString MainWindow::logGenerationText() const
{
    return dfrLink.dfrVersion == Com::DfrLink::DFR_V1 ? QStringLiteral("DFR V1") : QStringLiteral("DFR V2 (Sorel NG)");
}

void MainWindow::writeLogFileLine(const QDateTime& utc, const QString& text)
{
    if (!logFile.isOpen())
        return;
    QTextStream out(&logFile);
    out << utc.date().toString(Qt::ISODate) << ' ' << utc.toString(QStringLiteral("HH:mm:ss")) << text << Qt::endl;
    // The stream flushes the file at endl and reports a write that did not land.
    if (out.status() != QTextStream::Ok) {
        qWarning().noquote() << QStringLiteral("Unable to write log file %1 (%2): logging stopped")
                                    .arg(logFile.fileName(), logFile.errorString());
        logFile.close();
    }
}

void MainWindow::slotClearRxTable()
{
    ui->tableWidgetRx->setRowCount(0);
}

void MainWindow::slotClearSelectionRxTable()
{
    ui->tableWidgetRx->clearSelection();
}

void MainWindow::slotFilterRxTable()
{
    QTableWidget* table = ui->tableWidgetRx;
    const QString filter = ui->lineEditRxFilter->text();
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHidden(row, !cellText(table, row, COL_ID).contains(filter));
}

void MainWindow::slotClearRxFilter()
{
    ui->lineEditRxFilter->clear();
    slotFilterRxTable();
}

void MainWindow::slotExportRxTable()
{
    const QString fileName = Dialogs::saveFileName(this, QStringLiteral("Select RX file (CSV format)"),
                                                   QStringLiteral("RX Files (*.csv *.txt);;All files (*)"));
    if (fileName.isEmpty())
        return;

    // Written aside and renamed at the end: an interrupted export never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw Tarsk::Utils::Exception(QStringLiteral("Unable to open RX file %1").arg(fileName), QtCriticalMsg);

    const QTableWidget* table = ui->tableWidgetRx;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Latin1);

    QStringList fields;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* header = table->horizontalHeaderItem(column);
        fields.append(header ? header->text() : QString());
    }
    out << fields.join(QLatin1Char(',')) << '\n';

    const bool selectionOnly = table->selectionModel()->hasSelection();
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->isRowHidden(row))
            continue;
        if (selectionOnly) {
            const QTableWidgetItem* origin = table->item(row, COL_ORIGIN);
            if (!origin || !origin->isSelected())
                continue;
        }
        fields.clear();
        for (int column = 0; column < table->columnCount(); ++column)
            fields.append(cellText(table, row, column));
        out << fields.join(QLatin1Char(',')) << '\n';
    }

    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        throw Tarsk::Utils::Exception(
            QStringLiteral("Unable to write RX file %1 (%2)").arg(fileName, file.errorString()), QtCriticalMsg);
}

void MainWindow::slotShowRxTableContextMenu(const QPoint& position)
{
    QTableWidget* table = ui->tableWidgetRx;
    const QTableWidgetItem* item = table->itemAt(position);
    if (!item)
        return;
    const int row = item->row();
    const QTableWidgetItem* idItem = table->item(row, COL_ID);
    if (!idItem)
        return;
    const QString id = idItem->text();
    const QString payload = cellText(table, row, COL_PAYLOAD);
    const QString rawPayload = cellText(table, row, COL_RAW_PAYLOAD);
    const QString dfrLatitude = cellText(table, row, COL_DFR_LATITUDE);
    const QString dfrLongitude = cellText(table, row, COL_DFR_LONGITUDE);
    const QString payloadLatitude = cellText(table, row, COL_PAYLOAD_LATITUDE);
    const QString payloadLongitude = cellText(table, row, COL_PAYLOAD_LONGITUDE);

    QMenu menu(this);
    menu.addAction(QStringLiteral("ID filter: %1").arg(id))->setData(MENU_FILTER);
    menu.addSeparator();
    if (!payload.isEmpty())
        menu.addAction(QStringLiteral("Copy payload to clipboard"))->setData(MENU_COPY_PAYLOAD);
    if (!rawPayload.isEmpty())
        menu.addAction(QStringLiteral("Copy raw payload to clipboard"))->setData(MENU_COPY_RAW_PAYLOAD);
    if (!payload.isEmpty() || !rawPayload.isEmpty())
        menu.addSeparator();
    if (isMapPosition(dfrLatitude, dfrLongitude))
        menu.addAction(QStringLiteral("See DFR position on Google Maps"))->setData(MENU_DFR_MAP);
    if (isMapPosition(payloadLatitude, payloadLongitude))
        menu.addAction(QStringLiteral("See payload position on Google Maps"))->setData(MENU_PAYLOAD_MAP);

    const QAction* chosen = menu.exec(table->viewport()->mapToGlobal(position));
    if (!chosen)
        return;
    switch (chosen->data().toInt()) {
    case MENU_FILTER:
        ui->lineEditRxFilter->setText(id);
        slotFilterRxTable();
        break;
    case MENU_COPY_PAYLOAD:
        QGuiApplication::clipboard()->setText(payload);
        break;
    case MENU_COPY_RAW_PAYLOAD:
        QGuiApplication::clipboard()->setText(rawPayload);
        break;
    case MENU_DFR_MAP:
        QDesktopServices::openUrl(QUrl(mapUrl.arg(dfrLatitude, dfrLongitude)));
        break;
    case MENU_PAYLOAD_MAP:
        QDesktopServices::openUrl(QUrl(mapUrl.arg(payloadLatitude, payloadLongitude)));
        break;
    default:
        break;
    }
}

} // namespace Vantrel::Ui
