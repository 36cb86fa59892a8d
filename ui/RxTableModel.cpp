#include "ui/RxTableModel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QMetaEnum>
#include <algorithm>
#include <limits>
#include <utility>

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
            if (value < 0 || value > 255) {
                continue;
            }
            if (all.size() <= value) {
                all.resize(value + 1);
            }
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

// Upper-case hex of the bytes, so that the text keeps the order of the bytes.
QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// How a column sorts: by a number, a text or bytes. Cells that show nothing or
// "Invalid" have the number noValue and sort below every number.
enum SortKind_t { SORT_NUMBER, SORT_TEXT, SORT_BYTES };

// One column of the table: what it is called, what its cells show and how they
// sort. The key a column does not sort by is left null.
struct RxColumnInfo_t
{
    RxColumn_t column;
    const char* header;  // UTF-8
    SortKind_t kind;
    QString (*text)(const Row_t&);
    double (*number)(const Row_t&);
    QStringView (*word)(const Row_t&);
    QByteArrayView (*bytes)(const Row_t&);
};

using M = DfrLink::OrvanRxMessage_t;

// clang-format off
constexpr RxColumnInfo_t rxColumns[] = {
    // "Flash" < "Live"
    {RXCOLUMN_ORIGIN, "Origin", SORT_NUMBER,
     [](const Row_t& r) { return r.live ? QStringLiteral("Live") : QStringLiteral("Flash"); },
     [](const Row_t& r) { return r.live ? 1.0 : 0.0; }, nullptr, nullptr},
    {RXCOLUMN_INDEX, "Index", SORT_NUMBER,
     [](const Row_t& r) { return r.message.platformSlotIndex == -1 ? QString() : QString::number(r.message.platformSlotIndex); },
     [](const Row_t& r) { return r.message.platformSlotIndex == -1 ? noValue : r.message.platformSlotIndex; }, nullptr, nullptr},
    {RXCOLUMN_LABEL, "Label", SORT_TEXT, [](const Row_t& r) { return r.label; }, nullptr,
     [](const Row_t& r) { return QStringView(r.label); }, nullptr},
    // A live message has no flash position: it sorts before position 0.
    {RXCOLUMN_POSITION, "Position", SORT_NUMBER,
     [](const Row_t& r) { return r.live ? QStringLiteral("N/A") : QString::number(r.message.flashPosition); },
     [](const Row_t& r) { return r.live ? -1.0 : r.message.flashPosition; }, nullptr, nullptr},
    // The decoder gives a frame with an unreadable date a null time: no date beats a false one.
    {RXCOLUMN_TIME, "Time", SORT_NUMBER,
     [](const Row_t& r) {
         const M& m = r.message;
         return m.dateTime.isNull() ? QString()
                                    : m.dateTime.toQDateTime().toUTC().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
     },
     [](const Row_t& r) {
         const M& m = r.message;
         return m.dateTime.isNull() ? noValue : double(m.dateTime.day) * 86400.0 + m.dateTime.seconds;
     }, nullptr, nullptr},
    {RXCOLUMN_ID, "Id", SORT_TEXT, [](const Row_t& r) { return r.message.platformId; }, nullptr,
     [](const Row_t& r) { return QStringView(r.message.platformId); }, nullptr},
    {RXCOLUMN_FREQUENCY, "Frequency (Hz)", SORT_NUMBER,
     [](const Row_t& r) { return QString::number(r.message.frequencyHz); },
     [](const Row_t& r) { return double(r.message.frequencyHz); }, nullptr, nullptr},
    {RXCOLUMN_DIRECTION, "Direction (°)", SORT_NUMBER,
     [](const Row_t& r) {
         const M& m = r.message;
         return r.averagesDirection() ? QStringLiteral("%1 (avg %2)").arg(m.direction).arg(m.meanDirection)
                                   : QString::number(m.direction);
     },
     [](const Row_t& r) { return double(r.message.direction); }, nullptr, nullptr},
    {RXCOLUMN_BAND, "Band", SORT_TEXT, [](const Row_t& r) { return enumText(r.message.band); }, nullptr,
     [](const Row_t& r) { return QStringView(enumText(r.message.band)); }, nullptr},
    {RXCOLUMN_MODULATION, "Modulation", SORT_TEXT, [](const Row_t& r) { return enumText(r.message.modulation); },
     nullptr, [](const Row_t& r) { return QStringView(enumText(r.message.modulation)); }, nullptr},
    {RXCOLUMN_LEVEL, "Level (dBm)", SORT_NUMBER, [](const Row_t& r) { return levelText(r.message.level); },
     [](const Row_t& r) { return levelKey(r.message.level); }, nullptr, nullptr},
    {RXCOLUMN_PERIOD, "Period (s)", SORT_NUMBER,
     [](const Row_t& r) { return r.message.periodValid ? QString::number(r.message.period) : QStringLiteral("Invalid"); },
     [](const Row_t& r) { return r.message.periodValid ? double(r.message.period) : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_LATITUDE, "Latitude DFR (°)", SORT_NUMBER,
     [](const Row_t& r) { return r.message.dfrPositionValid ? shortest(r.message.dfrLatitude) : QString(); },
     [](const Row_t& r) { return r.message.dfrPositionValid ? r.message.dfrLatitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_LONGITUDE, "Longitude DFR (°)", SORT_NUMBER,
     [](const Row_t& r) { return r.message.dfrPositionValid ? shortest(r.message.dfrLongitude) : QString(); },
     [](const Row_t& r) { return r.message.dfrPositionValid ? r.message.dfrLongitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_DIRECTION, "Direction DFR (°)", SORT_NUMBER,
     [](const Row_t& r) {
         return r.message.dfrDirectionValid ? QString::number(r.message.dfrDirection) : QStringLiteral("Invalid");
     },
     [](const Row_t& r) { return r.message.dfrDirectionValid ? double(r.message.dfrDirection) : noValue; }, nullptr,
     nullptr},
    {RXCOLUMN_PAYLOAD_LATITUDE, "Latitude payload (°)", SORT_NUMBER,
     [](const Row_t& r) { return r.payloadPosition ? QString::number(r.payloadLatitude, 'g', 6) : QString(); },
     [](const Row_t& r) { return r.payloadPosition ? r.payloadLatitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_PAYLOAD_LONGITUDE, "Longitude payload (°)", SORT_NUMBER,
     [](const Row_t& r) { return r.payloadPosition ? QString::number(r.payloadLongitude, 'g', 6) : QString(); },
     [](const Row_t& r) { return r.payloadPosition ? r.payloadLongitude : noValue; }, nullptr, nullptr},
    // "No" < "Yes"
    {RXCOLUMN_CRC, "CRC", SORT_NUMBER,
     [](const Row_t& r) { return r.message.crcOk ? QStringLiteral("Yes") : QStringLiteral("No"); },
     [](const Row_t& r) { return r.message.crcOk ? 1.0 : 0.0; }, nullptr, nullptr},
    {RXCOLUMN_PAYLOAD, "Payload", SORT_BYTES, [](const Row_t& r) { return hexText(r.message.payload); }, nullptr,
     nullptr, [](const Row_t& r) { return QByteArrayView(r.message.payload); }},
    {RXCOLUMN_RAW_PAYLOAD, "Raw payload", SORT_BYTES, [](const Row_t& r) { return hexText(r.message.rawPayload); },
     nullptr, nullptr, [](const Row_t& r) { return QByteArrayView(r.message.rawPayload); }},
};
// clang-format on

constexpr bool inColumnOrder()
{
    for (int i = 0; i < int(std::size(rxColumns)); ++i) {
        if (rxColumns[i].column != i) {
            return false;
        }
    }
    return std::size(rxColumns) == RXCOLUMN_COUNT;
}
static_assert(inColumnOrder(), "one entry per column, in the order of RxColumn_t");

template <typename T>
int threeWay(const T& left, const T& right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

// Compares by the column's key, without making the texts the cells show.
int compareRows(const Row_t& a, const Row_t& b, int column)
{
    const RxColumnInfo_t& info = rxColumns[column];
    switch (info.kind) {
    case SORT_TEXT: return info.word(a).compare(info.word(b));
    case SORT_BYTES: return info.bytes(a).compare(info.bytes(b));
    case SORT_NUMBER: break;
    }
    return threeWay(info.number(a), info.number(b));
}

// The archive's key of a message: who heard it, when, and what.
size_t keyHash(const Row_t& row)
{
    const M& m = row.message;
    return qHashMulti(0, row.receiver, m.dateTime.day, m.dateTime.seconds, m.platformId, m.frequencyHz, m.rawPayload);
}

bool sameKey(const Row_t& a, const Row_t& b)
{
    const M& x = a.message;
    const M& y = b.message;
    return x.frequencyHz == y.frequencyHz && x.dateTime == y.dateTime && x.platformId == y.platformId
           && x.rawPayload == y.rawPayload && a.receiver == b.receiver;
}

QString cellText(const Row_t& row, int column)
{
    return column >= 0 && column < RXCOLUMN_COUNT ? rxColumns[column].text(row) : QString();
}

// Bytes are shown as hex in the payload font.
bool isPayloadColumn(int column)
{
    return column >= 0 && column < RXCOLUMN_COUNT && rxColumns[column].kind == SORT_BYTES;
}

} // namespace

const QStringList& rxTableHeaders()
{
    static const QStringList headers = [] {
        QStringList all;
        for (const RxColumnInfo_t& info : rxColumns) {
            all.append(QString::fromUtf8(info.header));
        }
        return all;
    }();
    return headers;
}

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
    if (!index.isValid() || index.row() >= shown.size()) {
        return QVariant();
    }
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
    default:
        return QVariant();
    }
}

QVariant RxTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= 0 && section < RXCOLUMN_COUNT) {
        if (role == Qt::DisplayRole) {
            return rxTableHeaders().at(section);
        }
        if (role == Qt::FontRole && isPayloadColumn(section)) {
            return payloadFont;
        }
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
    for (int record : std::as_const(rowOrder)) {
        if (accepts(records[record])) {
            shown.append(record);
        }
    }
}

template <typename KeyOf>
void RxTableModel::sortByKey(KeyOf keyOf)
{
    // Keys side by side: a sort that walks the records instead misses the cache at every step.
    using Key = decltype(keyOf(records.front()));
    std::vector<std::pair<Key, int>> keyed;
    keyed.reserve(rowOrder.size());
    for (int record : std::as_const(rowOrder)) {
        keyed.emplace_back(keyOf(records[record]), record);
    }
    const bool ascending = sortOrder == Qt::AscendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& left, const auto& right) {
        return ascending ? left.first < right.first : right.first < left.first;
    });
    for (qsizetype i = 0; i < rowOrder.size(); ++i) {
        rowOrder[i] = keyed[i].second;
    }
}

template <typename Change>
void RxTableModel::relayout(Change change)
{
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<int> beforeRecords;
    beforeRecords.reserve(before.size());
    for (const QModelIndex& index : before) {
        beforeRecords.append(index.row() < shown.size() ? shown[index.row()] : -1);
    }

    change();

    if (!before.isEmpty()) {
        QVector<int> where(qsizetype(records.size()), -1);
        for (int row = 0; row < shown.size(); ++row) {
            where[shown[row]] = row;
        }
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
    if (isSortedBy(column, order)) {
        return;
    }
    relayout([&] {
        sortColumn = column;
        sortOrder = order;
        const RxColumnInfo_t& info = rxColumns[column];
        switch (info.kind) {
        case SORT_TEXT: sortByKey(info.word); break;
        case SORT_BYTES: sortByKey(info.bytes); break;
        case SORT_NUMBER: sortByKey(info.number); break;
        }
        rebuildShown();
    });
}

qsizetype RxTableModel::keySlot(int record) const
{
    const Row_t& row = records[size_t(record)];
    const size_t mask = size_t(keySlots.size() - 1);
    for (size_t at = keyHash(row) & mask;; at = (at + 1) & mask) {
        const int held = keySlots[qsizetype(at)];
        if (held < 0 || sameKey(records[size_t(held)], row)) {
            return qsizetype(at);
        }
    }
}

bool RxTableModel::take(Row_t&& row)
{
    if ((keyCount + 1) * 2 > keySlots.size()) {
        const QVector<int> before = std::exchange(keySlots, QVector<int>(qMax<qsizetype>(1024, 2 * keySlots.size()), -1));
        for (const int held : before) {
            if (held >= 0) {
                keySlots[keySlot(held)] = held;
            }
        }
    }
    const auto id = platformIds.constFind(row.message.platformId);
    if (id != platformIds.cend()) {
        row.message.platformId = *id;
    } else {
        platformIds.insert(row.message.platformId);
    }
    records.push_back(std::move(row));
    const int record = int(records.size() - 1);
    const qsizetype at = keySlot(record);
    if (keySlots[at] >= 0) {
        records.pop_back();
        return false;
    }
    keySlots[at] = record;
    ++keyCount;
    Q_EMIT sigRowTaken(records.back());
    return true;
}

int RxTableModel::addRow(Row_t row)
{
    if (firstQueued < int(records.size())) {
        flushQueuedRows();
    }
    if (!take(std::move(row))) {
        return -1;
    }
    const int record = int(records.size() - 1);
    firstQueued = record + 1;
    // Ahead of the rows it equals, as a row inserted on top stays after a stable sort.
    const auto place = [this, record](const QVector<int>& rows) {
        if (sortColumn < 0) {
            return 0;
        }
        // The new record is the last one; binary search over the rows in table order.
        const auto it = std::lower_bound(rows.begin(), rows.end(), record,
                                         [this](int existing, int added) { return before(existing, added); });
        return int(it - rows.begin());
    };
    rowOrder.insert(place(rowOrder), record);
    if (!accepts(records[record])) {
        return -1;
    }
    const int shownRow = place(shown);
    beginInsertRows(QModelIndex(), shownRow, shownRow);
    shown.insert(shownRow, record);
    endInsertRows();
    return shownRow;
}

void RxTableModel::queueRow(Row_t row)
{
    if (!take(std::move(row))) {
        return;
    }
    if (!sinceFlush.isValid() || sinceFlush.hasExpired(batchIntervalMs)) {
        flushQueuedRows();
    } else if (!batchTimer.isActive()) {
        batchTimer.start();
    }
}

void RxTableModel::flushQueuedRows()
{
    batchTimer.stop();
    sinceFlush.start();
    const int first = firstQueued;
    const int count = int(records.size()) - first;
    if (count == 0) {
        return;
    }
    firstQueued = int(records.size());

    // Newest on top.
    QVector<int> top;
    QVector<int> topShown;
    top.reserve(count);
    for (int record = first + count - 1; record >= first; --record) {
        top.append(record);
        if (accepts(records[record])) {
            topShown.append(record);
        }
    }
    sortColumn = -1;
    top.append(rowOrder);
    rowOrder.swap(top);
    if (topShown.isEmpty()) {
        return;
    }
    beginInsertRows(QModelIndex(), 0, int(topShown.size() - 1));
    topShown.append(shown);
    shown.swap(topShown);
    endInsertRows();
}

void RxTableModel::setFilter(const QString& text)
{
    if (text == filterText) {
        return;
    }
    relayout([&] {
        filterText = text;
        rebuildShown();
    });
}

void RxTableModel::clear()
{
    beginResetModel();
    records.clear();
    firstQueued = 0;
    rowOrder.clear();
    shown.clear();
    keySlots.clear();
    keyCount = 0;
    platformIds.clear();
    batchTimer.stop();
    endResetModel();
    Q_EMIT sigCleared();
}

} // namespace Vantrel::Ui
