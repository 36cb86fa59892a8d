// Favourite platforms tab: export to and import from a CSV file.
#include "ui/MainWindow.h"

#include <QFile>
#include <QSaveFile>
#include <QTableWidget>

#include <functional>

#include "app/Constants.h"
#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/PlatformsTableColumns.h"
#include "ui/SlotProgress.h"
#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

namespace {

using PlatformInfo_t = Com::DfrLink::PlatformInfo_t;

const QString fileFilter = QStringLiteral("Platforms Files (*.csv *.txt);;All files (*)");
const QString dialogTitle = QStringLiteral("Select platforms file (CSV format)");

[[noreturn]] void fail(const QString& message)
{
    throw Tarsk::Utils::Exception(message, QtCriticalMsg);
}

// Decimal fields read as signed 32-bit numbers, 0 when they are not one.
qint32 decimal(const QString& text)
{
    return text.toInt();
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

quint16 polynomOf(QString text)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text.remove(0, 2);
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 16);
    return ok ? quint16(value & 0xFFFF) : 0;
}

// One column of the file: how a record writes it and reads it back. The order
// is the order of the column titles.
struct Column_t
{
    std::function<QString(const PlatformInfo_t&)> write;
    std::function<void(PlatformInfo_t&, const QString&)> read;
};

template <typename Field>
Column_t decimalColumn(Field PlatformInfo_t::*field)
{
    // Written back as the signed number it was read as, so that the file reads again the same.
    return {[field](const PlatformInfo_t& i) { return QString::number(qint32(i.*field)); },
            [field](PlatformInfo_t& i, const QString& t) { i.*field = Field(decimal(t)); }};
}

template <typename Field>
Column_t formatColumn(Field Utils::GpsFormat_t::*field)
{
    return {[field](const PlatformInfo_t& i) { return QString::number(qint32(i.gpsFormat.*field)); },
            [field](PlatformInfo_t& i, const QString& t) { i.gpsFormat.*field = Field(decimal(t)); }};
}

Column_t coordColumn(Utils::CoordInfo_t Utils::GpsFormat_t::*coord, qint32 Utils::CoordInfo_t::*field)
{
    return {[coord, field](const PlatformInfo_t& i) { return QString::number(i.gpsFormat.*coord.*field); },
            [coord, field](PlatformInfo_t& i, const QString& t) { i.gpsFormat.*coord.*field = decimal(t); }};
}

const QList<Column_t>& columns()
{
    static const QList<Column_t> all = [] {
        QList<Column_t> c;
        c.append({[](const PlatformInfo_t& i) { return QString::number(quint32(i.index)); },
                  [](PlatformInfo_t& i, const QString& t) { i.index = qint32(t.toUInt()); }});
        c.append({[](const PlatformInfo_t& i) { return flag(i.occupied); },
                  [](PlatformInfo_t& i, const QString& t) { i.occupied = decimal(t) != 0; }});
        c.append({[](const PlatformInfo_t& i) { return QString::number(qint32(i.platformIdType)); },
                  [](PlatformInfo_t& i, const QString& t) { i.platformIdType = quint32(decimal(t)); }});
        c.append({[](const PlatformInfo_t& i) { return i.platformId; },
                  [](PlatformInfo_t& i, const QString& t) { i.platformId = t; }});
        c.append({[](const PlatformInfo_t& i) { return i.label; },
                  [](PlatformInfo_t& i, const QString& t) { i.label = t; }});
        c.append({[](const PlatformInfo_t& i) { return flag(i.gpsModeEnabled); },
                  [](PlatformInfo_t& i, const QString& t) { i.gpsModeEnabled = decimal(t) != 0; }});
        c.append({[](const PlatformInfo_t& i) { return i.gpsFormat.name; },
                  [](PlatformInfo_t& i, const QString& t) { i.gpsFormat.name = t; }});
        c.append(formatColumn(&Utils::GpsFormat_t::payloadLen));
        c.append(formatColumn(&Utils::GpsFormat_t::indexPos));
        c.append({[](const PlatformInfo_t& i) { return flag(i.gpsFormat.gpsCheck); },
                  [](PlatformInfo_t& i, const QString& t) { i.gpsFormat.gpsCheck = decimal(t) != 0; }});
        for (auto coord : {&Utils::GpsFormat_t::lat, &Utils::GpsFormat_t::lon})
            for (qint32 Utils::CoordInfo_t::*field : Utils::coordInfoFields)
                c.append(coordColumn(coord, field));
        c.append(formatColumn(&Utils::GpsFormat_t::encryptionType));
        c.append({[](const PlatformInfo_t& i) { return QStringLiteral("0x") + QString::number(i.gpsFormat.polynom, 16); },
                  [](PlatformInfo_t& i, const QString& t) { i.gpsFormat.polynom = polynomOf(t); }});
        c.append(formatColumn(&Utils::GpsFormat_t::crcPos));
        c.append(formatColumn(&Utils::GpsFormat_t::crcLen));
        c.append(formatColumn(&Utils::GpsFormat_t::dataPos));
        c.append(formatColumn(&Utils::GpsFormat_t::dataLen));
        c.append(decimalColumn(&PlatformInfo_t::repetitionPeriod));
        c.append(decimalColumn(&PlatformInfo_t::meanDirectionValues));
        c.append(decimalColumn(&PlatformInfo_t::band));
        c.append(decimalColumn(&PlatformInfo_t::modulation));
        c.append(decimalColumn(&PlatformInfo_t::frequencyMode));
        c.append({[](const PlatformInfo_t& i) { return QString::number(i.narrowFrequencyHz); },
                  [](PlatformInfo_t& i, const QString& t) { i.narrowFrequencyHz = t.toUInt(); }});
        return c;
    }();
    return all;
}

} // namespace

QString MainWindow::platformsFileLine(const PlatformInfo_t& info)
{
    QStringList fields;
    for (const Column_t& column : columns())
        fields.append(column.write(info));
    return fields.join(QLatin1Char(','));
}

QList<PlatformInfo_t> MainWindow::parsePlatformsFile(const QByteArray& content, const QString& fileName,
                                                     const QStringList& titles, quint32 slotCount)
{
    QList<PlatformInfo_t> platforms;
    quint32 next = 0;
    const QStringList lines = QString::fromUtf8(content).split(QLatin1Char('\n'));
    for (int number = 1; number <= lines.size(); ++number) {
        const QString& line = lines.at(number - 1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (next >= slotCount)
            fail(QStringLiteral("Unable to read import whole platform file %1, too many platforms.").arg(fileName));
        const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() != titles.size() || fields.size() != columns().size())
            fail(QStringLiteral("Unable to read platforms file %1, wrong number of columns. Columns shoud be %2.")
                     .arg(fileName, titles.join(QLatin1Char(','))));
        PlatformInfo_t info;
        for (int i = 0; i < fields.size(); ++i)
            columns().at(i).read(info, fields.at(i));
        // A slot the receiver does not have is one platform too many.
        if (quint32(info.index) >= slotCount)
            fail(QStringLiteral("Unable to read import whole platform file %1, too many platforms.").arg(fileName));
        try {
            Com::DfrLink::checkPlatformInfo(info);
        } catch (const Tarsk::Utils::Exception& e) {
            fail(QStringLiteral("Unable to read platforms file %1, line %2: %3").arg(fileName).arg(number).arg(e.message()));
        }
        platforms.append(info);
        next = quint32(info.index) + 1;
    }
    return platforms;
}

void MainWindow::slotExportPlatformsInfo()
{
    const QString fileName = Dialogs::saveFileName(this, dialogTitle, fileFilter);
    if (fileName.isEmpty())
        return;
    QTableWidget* table = ui->tableWidgetPlatforms;
    if (table->rowCount() == 0)
        slotGetPlatformsInfo();

    // Written aside and renamed at the end: a failure never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        fail(QStringLiteral("Unable to open platforms file %1").arg(fileName));

    const QStringList titles = platformsFileColumnsNames.value(dfrLink.dfrVersion);
    QString text = QLatin1Char('#') + titles.join(QLatin1Char(',')) + QLatin1Char('\n');
    if (table->rowCount() > 0) {
        table->sortItems(PLATFORMSCOLUMN_POS, Qt::AscendingOrder);
        const quint32 slotCount = dfrLink.nbIpSlots();
        SlotProgress progress(this, QStringLiteral("Exporting favorite platforms"), int(slotCount));
        for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
            progress.setSlot(int(slot));
            const PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
            if (!info.occupied)
                continue;
            text += platformsFileLine(info) + QLatin1Char('\n');
        }
    }
    if (file.write(text.toUtf8()) < 0 || !file.commit())
        fail(QStringLiteral("Unable to write platforms file %1 (%2)").arg(fileName, file.errorString()));
}

void MainWindow::slotImportPlatformsInfo()
{
    // The file is read and checked whole before anything on the receiver changes,
    // so that a cancelled, unreadable or faulty file never costs a favourite.
    const QString fileName = Dialogs::openFileName(this, dialogTitle, fileFilter);
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QStringLiteral("Unable to open platforms file %1").arg(fileName));

    const QList<PlatformInfo_t> platforms = parsePlatformsFile(
        file.readAll(), fileName, platformsFileColumnsNames.value(dfrLink.dfrVersion), dfrLink.nbIpSlots());

    if (!slotDeleteAllPlatforms())
        return;

    QTableWidget* table = ui->tableWidgetPlatforms;
    table->setSortingEnabled(false);
    {
        SlotProgress progress(this, QStringLiteral("Importing favorite platforms"), int(platforms.size()));
        for (int i = 0; i < platforms.size(); ++i) {
            progress.setSlot(i);
            dfrLink.createPlatformInfo(quint32(platforms.at(i).index));
            dfrLink.setPlatformInfo(platforms.at(i), true);
        }
    }
    slotGetPlatformsInfo();
    table->setSortingEnabled(true);
    table->sortItems(PLATFORMSCOLUMN_POS, Qt::AscendingOrder);
}

} // namespace Vantrel::Ui
