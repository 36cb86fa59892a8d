#include "ui/RxTableModel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QMetaEnum>
#include <algorithm>
#include <limits>

#include "ui/RxTableColumns.h"

namespace Vantrel::Ui {

namespace {

using Row_t = RxTableModel::Row_t;
using Com::DfrLink;

constexpr double noValue = -std::numeric_limits<double>::infinity();

// Key text of an enumeration value without its prefix; empty for a value without key.
// The few keys are made once, since sorting asks for them a million times.
template <typename Enum>
const QString& enumText(Enum value)
{
    static const QVector<QString> texts = [] {
        const QMetaEnum meta = QMetaEnum::fromType<Enum>();
        const QString name = QString::fromLatin1(meta.enumName());
        const int prefix = int(name.size() - 1);  // "OrvanBand_t": "ORVANBAND_"
        QVector<QString> all;
        for (int i = 0; i < meta.keyCount(); ++i) {
            const int value = meta.value(i);
            if (value < 0 || value > 255)
                continue;
            if (all.size() <= value)
                all.resize(value + 1);
            all[value] = QString::fromLatin1(meta.key(i)).mid(prefix);
        }
        return all;
    }();
    static const QString none;
    const int index = int(value);
    return index >= 0 && index < texts.size() ? texts[index] : none;
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

// The range codes sort just beyond the bound their text names.
double levelKey(qint32 level)
{
    switch (level) {
    case 1: return -135.5;
    case 2: return 0.5;
    case 3: return -112.5;
    case 4: return -115.5;
    default: return level;
    }
}

QColor modulationColour(DfrLink::OrvanModulation_t modulation)
{
    switch (modulation) {
    case DfrLink::ORVANMODULATION_A2: return QColor(70, 130, 180);
    case DfrLink::ORVANMODULATION_A3: return QColor(138, 43, 226);
    case DfrLink::ORVANMODULATION_A4: return QColor(34, 139, 34);
    case DfrLink::ORVANMODULATION_LDK: return QColor(139, 69, 19);
    default: return QColor();
    }
}

bool isNumeric(int column)
{
    switch (column) {
    case RXCOLUMN_ORIGIN:
    case RXCOLUMN_LABEL:
    case RXCOLUMN_ID:
    case RXCOLUMN_BAND:
    case RXCOLUMN_MODULATION:
    case RXCOLUMN_CRC:
    case RXCOLUMN_PAYLOAD:
    case RXCOLUMN_RAW_PAYLOAD:
        return false;
    default:
        return true;
    }
}

// The value a numeric column shows; an empty or "Invalid" cell sorts below every number.
double numericKey(const Row_t& row, int column)
{
    const DfrLink::OrvanRxMessage_t& m = row.message;
    switch (column) {
    case RXCOLUMN_INDEX: return m.platformSlotIndex == -1 ? noValue : m.platformSlotIndex;
    case RXCOLUMN_POSITION: return row.live ? -1.0 : m.flashPosition;
    case RXCOLUMN_TIME: return m.dateTime.isNull() ? noValue : double(m.dateTime.day) * 86400.0 + m.dateTime.seconds;
    case RXCOLUMN_FREQUENCY: return m.frequencyHz;
    case RXCOLUMN_DIRECTION: return m.direction;
    case RXCOLUMN_LEVEL: return levelKey(m.level);
    case RXCOLUMN_PERIOD: return m.periodValid ? double(m.period) : noValue;
    case RXCOLUMN_DFR_LATITUDE: return m.dfrPositionValid ? m.dfrLatitude : noValue;
    case RXCOLUMN_DFR_LONGITUDE: return m.dfrPositionValid ? m.dfrLongitude : noValue;
    case RXCOLUMN_DFR_DIRECTION: return m.dfrDirectionValid ? double(m.dfrDirection) : noValue;
    case RXCOLUMN_PAYLOAD_LATITUDE: return row.payloadPosition ? row.payloadLatitude : noValue;
    case RXCOLUMN_PAYLOAD_LONGITUDE: return row.payloadPosition ? row.payloadLongitude : noValue;
    case RXCOLUMN_ORIGIN: return row.live ? 1.0 : 0.0;  // "Flash" < "Live"
    case RXCOLUMN_CRC: return m.crcOk ? 1.0 : 0.0;      // "No" < "Yes"
    default: return noValue;
    }
}

// Texts that sort a text column; origin and CRC sort as the numbers 0 and 1.
QStringView textKey(const Row_t& row, int column)
{
    switch (column) {
    case RXCOLUMN_LABEL: return row.label;
    case RXCOLUMN_ID: return row.message.platformId;
    case RXCOLUMN_BAND: return enumText(row.message.band);
    case RXCOLUMN_MODULATION: return enumText(row.message.modulation);
    default: return QStringView();
    }
}

template <typename T>
int threeWay(const T& left, const T& right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

// Text columns compare as their texts would, without making them: "Flash" < "Live",
// "No" < "Yes", and upper-case hex digits keep the order of the bytes.
int compareRows(const Row_t& a, const Row_t& b, int column)
{
    switch (column) {
    case RXCOLUMN_ORIGIN: return threeWay(a.live, b.live);
    case RXCOLUMN_LABEL: return a.label.compare(b.label);
    case RXCOLUMN_ID: return a.message.platformId.compare(b.message.platformId);
    case RXCOLUMN_BAND: return enumText(a.message.band).compare(enumText(b.message.band));
    case RXCOLUMN_MODULATION: return enumText(a.message.modulation).compare(enumText(b.message.modulation));
    case RXCOLUMN_CRC: return threeWay(a.message.crcOk, b.message.crcOk);
    case RXCOLUMN_PAYLOAD: return a.message.payload.compare(b.message.payload);
    case RXCOLUMN_RAW_PAYLOAD: return a.message.rawPayload.compare(b.message.rawPayload);
    default: return threeWay(numericKey(a, column), numericKey(b, column));
    }
}

QString cellText(const Row_t& row, int column)
{
    const DfrLink::OrvanRxMessage_t& m = row.message;
    switch (column) {
    case RXCOLUMN_ORIGIN: return row.live ? QStringLiteral("Live") : QStringLiteral("Flash");
    case RXCOLUMN_INDEX: return m.platformSlotIndex == -1 ? QString() : QString::number(m.platformSlotIndex);
    case RXCOLUMN_LABEL: return row.label;
    case RXCOLUMN_POSITION: return row.live ? QStringLiteral("N/A") : QString::number(m.flashPosition);
    case RXCOLUMN_TIME:
        // The decoder gives a frame with an unreadable date a null time: no date beats a false one.
        if (m.dateTime.isNull())
            return QString();
        return m.dateTime.toQDateTime().toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    case RXCOLUMN_ID: return m.platformId;
    case RXCOLUMN_FREQUENCY: return QString::number(m.frequencyHz);
    case RXCOLUMN_DIRECTION:
        if (row.averageDirection)
            return QStringLiteral("%1 (avg %2)").arg(m.direction).arg(m.meanDirection);
        return QString::number(m.direction);
    case RXCOLUMN_BAND: return enumText(m.band);
    case RXCOLUMN_MODULATION: return enumText(m.modulation);
    case RXCOLUMN_LEVEL: return levelText(m.level);
    case RXCOLUMN_PERIOD: return m.periodValid ? QString::number(m.period) : QStringLiteral("Invalid");
    case RXCOLUMN_DFR_LATITUDE:
        return m.dfrPositionValid ? QString::number(m.dfrLatitude, 'g', QLocale::FloatingPointShortest) : QString();
    case RXCOLUMN_DFR_LONGITUDE:
        return m.dfrPositionValid ? QString::number(m.dfrLongitude, 'g', QLocale::FloatingPointShortest) : QString();
    case RXCOLUMN_DFR_DIRECTION:
        return m.dfrDirectionValid ? QString::number(m.dfrDirection) : QStringLiteral("Invalid");
    case RXCOLUMN_PAYLOAD_LATITUDE: return row.payloadPosition ? QString::number(row.payloadLatitude, 'g', 6) : QString();
    case RXCOLUMN_PAYLOAD_LONGITUDE:
        return row.payloadPosition ? QString::number(row.payloadLongitude, 'g', 6) : QString();
    case RXCOLUMN_CRC: return m.crcOk ? QStringLiteral("Yes") : QStringLiteral("No");
    case RXCOLUMN_PAYLOAD: return QString::fromLatin1(m.payload.toHex().toUpper());
    case RXCOLUMN_RAW_PAYLOAD: return QString::fromLatin1(m.rawPayload.toHex().toUpper());
    default: return QString();
    }
}

bool isPayloadColumn(int column)
{
    return column == RXCOLUMN_PAYLOAD || column == RXCOLUMN_RAW_PAYLOAD;
}

} // namespace

RxTableModel::RxTableModel(QObject* parent) : QAbstractTableModel(parent)
{
    batchTimer.setSingleShot(true);
    batchTimer.setInterval(batchIntervalMs);
    connect(&batchTimer, &QTimer::timeout, this, &RxTableModel::flushQueuedRows);
}

int RxTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown.size());
}

int RxTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RXCOLUMN_COUNT;
}

QVariant RxTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= shown.size())
        return QVariant();
    const Row_t& row = records[shown[index.row()]];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, column);
    case Qt::FontRole:
        return isPayloadColumn(column) ? QVariant(payloadFont) : QVariant();
    case Qt::BackgroundRole:
        return row.message.crcOk ? QVariant() : QVariant(QBrush(QColor(220, 220, 220)));
    case Qt::ForegroundRole: {
        const QColor colour = modulationColour(row.message.modulation);
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case SortKeyRole:
        return isNumeric(column) ? QVariant(numericKey(row, column)) : QVariant(cellText(row, column));
    default:
        return QVariant();
    }
}

QVariant RxTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < RXCOLUMN_COUNT) {
        if (role == Qt::DisplayRole)
            return rxTableHeaders().at(section);
        if (role == Qt::FontRole && isPayloadColumn(section))
            return payloadFont;
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString RxTableModel::text(int row, int column) const
{
    return row >= 0 && row < shown.size() ? cellText(records[shown[row]], column) : QString();
}

bool RxTableModel::isSortedBy(int column, Qt::SortOrder order) const
{
    return sortColumn >= 0 && column == sortColumn && order == sortOrder;
}

bool RxTableModel::accepts(const Row_t& row) const
{
    return row.message.platformId.contains(filterText);
}

bool RxTableModel::before(int left, int right) const
{
    const int comparison = compareRows(records[left], records[right], sortColumn);
    return sortOrder == Qt::AscendingOrder ? comparison < 0 : comparison > 0;
}

void RxTableModel::rebuildShown()
{
    if (filterText.isEmpty()) {
        shown = rowOrder;
        return;
    }
    shown.clear();
    for (int record : std::as_const(rowOrder))
        if (accepts(records[record]))
            shown.append(record);
}

template <typename KeyOf>
void RxTableModel::sortByKey(KeyOf keyOf)
{
    // Keys side by side: a sort that walks the records instead misses the cache at every step.
    using Key = decltype(keyOf(records.front()));
    std::vector<std::pair<Key, int>> keyed;
    keyed.reserve(rowOrder.size());
    for (int record : std::as_const(rowOrder))
        keyed.emplace_back(keyOf(records[record]), record);
    const bool ascending = sortOrder == Qt::AscendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& left, const auto& right) {
        return ascending ? left.first < right.first : right.first < left.first;
    });
    for (qsizetype i = 0; i < rowOrder.size(); ++i)
        rowOrder[i] = keyed[i].second;
}

template <typename Change>
void RxTableModel::relayout(Change change)
{
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<int> beforeRecords;
    beforeRecords.reserve(before.size());
    for (const QModelIndex& index : before)
        beforeRecords.append(index.row() < shown.size() ? shown[index.row()] : -1);

    change();

    if (!before.isEmpty()) {
        QVector<int> where(qsizetype(records.size()), -1);
        for (int row = 0; row < shown.size(); ++row)
            where[shown[row]] = row;
        QModelIndexList after;
        after.reserve(before.size());
        for (int i = 0; i < before.size(); ++i) {
            const int record = beforeRecords[i];
            const int row = record < 0 ? -1 : where[record];
            after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
        }
        changePersistentIndexList(before, after);
    }
    Q_EMIT layoutChanged();
}

void RxTableModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= RXCOLUMN_COUNT) {
        sortColumn = -1;
        return;
    }
    if (isSortedBy(column, order))
        return;
    relayout([&] {
        sortColumn = column;
        sortOrder = order;
        switch (column) {
        case RXCOLUMN_LABEL:
        case RXCOLUMN_ID:
        case RXCOLUMN_BAND:
        case RXCOLUMN_MODULATION:
            sortByKey([column](const Row_t& row) { return textKey(row, column); });
            break;
        case RXCOLUMN_PAYLOAD:
            sortByKey([](const Row_t& row) { return QByteArrayView(row.message.payload); });
            break;
        case RXCOLUMN_RAW_PAYLOAD:
            sortByKey([](const Row_t& row) { return QByteArrayView(row.message.rawPayload); });
            break;
        default:
            sortByKey([column](const Row_t& row) { return numericKey(row, column); });
            break;
        }
        rebuildShown();
    });
}

int RxTableModel::addRow(Row_t row)
{
    records.push_back(std::move(row));
    const int record = int(records.size() - 1);
    // Ahead of the rows it equals, as a row inserted on top stays after a stable sort.
    const auto place = [this, record](const QVector<int>& rows) {
        if (sortColumn < 0)
            return 0;
        // The new record is the last one; binary search over the rows in table order.
        const auto it = std::lower_bound(rows.begin(), rows.end(), record,
                                         [this](int existing, int added) { return before(existing, added); });
        return int(it - rows.begin());
    };
    rowOrder.insert(place(rowOrder), record);
    if (!accepts(records[record]))
        return -1;
    const int shownRow = place(shown);
    beginInsertRows(QModelIndex(), shownRow, shownRow);
    shown.insert(shownRow, record);
    endInsertRows();
    return shownRow;
}

void RxTableModel::queueRow(Row_t row)
{
    queued.push_back(std::move(row));
    if (!sinceFlush.isValid() || sinceFlush.hasExpired(batchIntervalMs))
        flushQueuedRows();
    else if (!batchTimer.isActive())
        batchTimer.start();
}

void RxTableModel::flushQueuedRows()
{
    batchTimer.stop();
    sinceFlush.start();
    if (queued.empty())
        return;
    const int first = int(records.size());
    const int count = int(queued.size());
    for (Row_t& row : queued)
        records.push_back(std::move(row));
    queued.clear();

    // Newest on top.
    QVector<int> top;
    QVector<int> topShown;
    top.reserve(count);
    for (int record = first + count - 1; record >= first; --record) {
        top.append(record);
        if (accepts(records[record]))
            topShown.append(record);
    }
    sortColumn = -1;
    top.append(rowOrder);
    rowOrder.swap(top);
    if (topShown.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, int(topShown.size() - 1));
    topShown.append(shown);
    shown.swap(topShown);
    endInsertRows();
}

void RxTableModel::setFilter(const QString& text)
{
    if (text == filterText)
        return;
    relayout([&] {
        filterText = text;
        rebuildShown();
    });
}

void RxTableModel::clear()
{
    beginResetModel();
    records.clear();
    rowOrder.clear();
    shown.clear();
    queued.clear();
    batchTimer.stop();
    endResetModel();
}

} // namespace Vantrel::Ui
