// Favourite platforms tab: export to and import from a CSV file.
#include "ui/MainWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTableView>

#include <functional>

#include "app/Constants.h"
#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui/PlatformsTableModel.h"
#include "ui/SlotProgress.h"
#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

namespace {

using PlatformInfo_t = Com::DfrLink::PlatformInfo_t;

const QString fileFilter = QStringLiteral("Platforms Files (*.csv *.txt);;All files (*)");
const QString dialogTitle = QStringLiteral("Select platforms file (CSV format)");
constexpr int idColumn = 3;

[[noreturn]] void fail(const QString& message)
{
    throw Tarsk::Utils::Exception(message, QtCriticalMsg);
}

// Decimal fields are signed 32-bit numbers; anything else refuses the file.
qint32 decimal(const QString& text, bool& ok)
{
    return text.toInt(&ok);
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

quint16 polynomOf(QString text, bool& ok)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text.remove(0, 2);
    const quint32 value = text.toUInt(&ok, 16);
    return quint16(value & 0xFFFF);
}

// One column of the file: how a record writes it and reads it back (false when
// the text is not what the column holds). The order is the order of the titles.
struct Column_t
{
    std::function<QString(const PlatformInfo_t&)> write;
    std::function<bool(PlatformInfo_t&, const QString&)> read;
};

// A text column takes any text.
template <typename Set>
std::function<bool(PlatformInfo_t&, const QString&)> text(Set set)
{
    return [set](PlatformInfo_t& i, const QString& t) {
        set(i, t);
        return true;
    };
}

// A decimal column: the number is stored only when it is one.
template <typename Set>
std::function<bool(PlatformInfo_t&, const QString&)> number(Set set)
{
    return [set](PlatformInfo_t& i, const QString& t) {
        bool ok = false;
        const qint32 value = decimal(t, ok);
        if (ok)
            set(i, value);
        return ok;
    };
}

template <typename Field>
Column_t decimalColumn(Field PlatformInfo_t::*field)
{
    // Written back as the signed number it was read as, so that the file reads again the same.
    return {[field](const PlatformInfo_t& i) { return QString::number(qint32(i.*field)); },
            number([field](PlatformInfo_t& i, qint32 v) { i.*field = Field(v); })};
}

template <typename Field>
Column_t formatColumn(Field Utils::GpsFormat_t::*field)
{
    return {[field](const PlatformInfo_t& i) { return QString::number(qint32(i.gpsFormat.*field)); },
            number([field](PlatformInfo_t& i, qint32 v) { i.gpsFormat.*field = Field(v); })};
}

Column_t coordColumn(Utils::CoordInfo_t Utils::GpsFormat_t::*coord, qint32 Utils::CoordInfo_t::*field)
{
    return {[coord, field](const PlatformInfo_t& i) { return QString::number(i.gpsFormat.*coord.*field); },
            number([coord, field](PlatformInfo_t& i, qint32 v) { i.gpsFormat.*coord.*field = v; })};
}

const QList<Column_t>& columns()
{
    static const QList<Column_t> all = [] {
        QList<Column_t> c;
        c.append({[](const PlatformInfo_t& i) { return QString::number(quint32(i.index)); },
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.index = qint32(t.toUInt(&ok));
                      return ok;
                  }});
        c.append({[](const PlatformInfo_t& i) { return flag(i.occupied); },
                  number([](PlatformInfo_t& i, qint32 v) { i.occupied = v != 0; })});
        c.append({[](const PlatformInfo_t& i) { return QString::number(qint32(i.platformIdType)); },
                  number([](PlatformInfo_t& i, qint32 v) { i.platformIdType = quint32(v); })});
        c.append({[](const PlatformInfo_t& i) { return i.platformId; },
                  text([](PlatformInfo_t& i, const QString& t) { i.platformId = t; })});
        c.append({[](const PlatformInfo_t& i) { return i.label; },
                  text([](PlatformInfo_t& i, const QString& t) { i.label = t; })});
        c.append({[](const PlatformInfo_t& i) { return flag(i.gpsModeEnabled); },
                  number([](PlatformInfo_t& i, qint32 v) { i.gpsModeEnabled = v != 0; })});
        c.append({[](const PlatformInfo_t& i) { return i.gpsFormat.name; },
                  text([](PlatformInfo_t& i, const QString& t) { i.gpsFormat.name = t; })});
        c.append(formatColumn(&Utils::GpsFormat_t::payloadLen));
        c.append(formatColumn(&Utils::GpsFormat_t::indexPos));
        c.append({[](const PlatformInfo_t& i) { return flag(i.gpsFormat.gpsCheck); },
                  number([](PlatformInfo_t& i, qint32 v) { i.gpsFormat.gpsCheck = v != 0; })});
        for (auto coord : {&Utils::GpsFormat_t::lat, &Utils::GpsFormat_t::lon})
            for (qint32 Utils::CoordInfo_t::*field : Utils::coordInfoFields)
                c.append(coordColumn(coord, field));
        c.append(formatColumn(&Utils::GpsFormat_t::encryptionType));
        c.append({[](const PlatformInfo_t& i) { return QStringLiteral("0x") + QString::number(i.gpsFormat.polynom, 16); },
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.gpsFormat.polynom = polynomOf(t, ok);
                      return ok;
                  }});
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
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.narrowFrequencyHz = t.toUInt(&ok);
                      return ok;
                  }});
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
        // Every field is checked before anything on the receiver changes: the
        // message names the line and the column.
        const auto refuse = [&](int column, const QString& reason) {
            fail(QStringLiteral("Unable to read platforms file %1, line %2, column \"%3\": %4")
                     .arg(fileName)
                     .arg(number)
                     .arg(titles.at(column), reason));
        };
        PlatformInfo_t info;
        for (int i = 0; i < fields.size(); ++i)
            if (!columns().at(i).read(info, fields.at(i)))
                refuse(i, QStringLiteral("\"%1\" is not a number").arg(fields.at(i)));
        // A slot the receiver does not have is one platform too many.
        if (quint32(info.index) >= slotCount)
            fail(QStringLiteral("Unable to read import whole platform file %1, too many platforms.").arg(fileName));
        try {
            Com::DfrLink::checkPlatformInfo(info);
        } catch (const Tarsk::Utils::Exception& e) {
            if (!Com::DfrLink::isPlatformId(info.platformId))
                refuse(idColumn, e.message());
            fail(QStringLiteral("Unable to read platforms file %1, line %2: %3").arg(fileName).arg(number).arg(e.message()));
        }
        platforms.append(info);
        next = quint32(info.index) + 1;
    }
    return platforms;
}

void MainWindow::slotExportPlatformsInfo()
{
    const QString fileName = Dialogs::saveFileName(this, dialogTitle, fileFilter, QString(), QStringLiteral("csv"));
    if (fileName.isEmpty())
        return;
    QTableView* table = ui->tableWidgetPlatforms;
    if (table->model()->rowCount() == 0)
        slotGetPlatformsInfo();

    // Written aside and renamed at the end: a failure never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        fail(QStringLiteral("Unable to open platforms file %1").arg(fileName));

    const QStringList titles = platformsFileColumnsNames.value(dfrLink.dfrVersion);
    QString text = QLatin1Char('#') + titles.join(QLatin1Char(',')) + QLatin1Char('\n');
    if (table->model()->rowCount() > 0) {
        table->sortByColumn(PLATFORMSCOLUMN_POS, Qt::AscendingOrder);
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
    showSuccess(QStringLiteral("Favorite platforms exported to %1").arg(fileName));
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

    // The favourites as they are now, put back if the receiver refuses a write midway.
    slotGetPlatformsInfo();
    const QList<PlatformInfo_t> before = platformsModel->records();
    if (!slotDeleteAllPlatforms())
        return;

    int done = 0;
    try {
        SlotProgress progress(this, QStringLiteral("Importing favorite platforms"), int(platforms.size()));
        for (; done < platforms.size(); ++done) {
            progress.setSlot(done);
            dfrLink.createPlatformInfo(quint32(platforms.at(done).index));
            dfrLink.setPlatformInfo(platforms.at(done), true);
        }
    } catch (const Tarsk::Utils::Exception& refused) {
        if (!dfrLink.hasUartLink())
            throw;
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
        if (!heldBefore)
            dfrLink.deletePlatformInfo(quint32(info.index));
    }
    for (const PlatformInfo_t& info : before) {
        progress.setSlot(step++);
        if (info.occupied)
            dfrLink.setPlatformInfo(info, true);
    }
}

} // namespace Vantrel::Ui
