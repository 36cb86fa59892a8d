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
using RxTableDetail::Record_t;
using RxTableDetail::Store_t;
using Com::DfrLink;

QByteArrayView rawPayloadOf(const Store_t& store, const Record_t& record)
{
    return QByteArrayView(store.bytes.constData() + record.bytes, qsizetype(record.rawLength));
}

QByteArrayView payloadOf(const Store_t& store, const Record_t& record)
{
    return QByteArrayView(store.bytes.constData() + record.bytes + record.rawLength, qsizetype(record.payloadLength));
}

// "%1 (avg %2)" in the direction column: a first-generation favourite's message.
bool averagesDirection(const Record_t& record)
{
    return record.generation == DfrLink::DFR_V1 && record.platformSlotIndex != -1;
}

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

// As QDateTime::toString("yyyy-MM-ddThh:mm:ss") writes it, without parsing that
// format again for every cell drawn, measured and exported.
QString timeText(const Tarsk::Utils::DateTime& time)
{
    const QDateTime utc = time.toQDateTime().toUTC();
    const QDate date = utc.date();
    if (!utc.isValid() || date.year() < 1000 || date.year() > 9999) {
        return utc.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    }
    const QTime clock = utc.time();
    const int fields[] = {date.year(), date.month(), date.day(), clock.hour(), clock.minute(), clock.second()};
    static const char separators[] = "--T::";
    QChar text[19];
    int at = 0;
    for (int field = 0; field < 6; ++field) {
        const int width = field == 0 ? 4 : 2;
        for (int digit = width - 1, value = fields[field]; digit >= 0; --digit, value /= 10) {
            text[at + digit] = QChar(u'0' + value % 10);
        }
        at += width;
        if (field < 5) {
            text[at++] = QLatin1Char(separators[field]);
        }
    }
    return QString(text, 19);
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
    QString (*text)(const Store_t&, const Record_t&);
    double (*number)(const Store_t&, const Record_t&);
    QStringView (*word)(const Store_t&, const Record_t&);
    QByteArrayView (*bytes)(const Store_t&, const Record_t&);
};


// clang-format off
constexpr RxColumnInfo_t rxColumns[] = {
    // "Flash" < "Live"
    {RXCOLUMN_ORIGIN, "Origin", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.live ? QStringLiteral("Live") : QStringLiteral("Flash"); },
     [](const Store_t&, const Record_t& r) { return r.live ? 1.0 : 0.0; }, nullptr, nullptr},
    {RXCOLUMN_INDEX, "Index", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.platformSlotIndex == -1 ? QString() : QString::number(r.platformSlotIndex); },
     [](const Store_t&, const Record_t& r) { return r.platformSlotIndex == -1 ? noValue : r.platformSlotIndex; }, nullptr, nullptr},
    {RXCOLUMN_LABEL, "Label", SORT_TEXT, [](const Store_t& s, const Record_t& r) { return s.labels.texts[r.label]; }, nullptr,
     [](const Store_t& s, const Record_t& r) { return QStringView(s.labels.texts[r.label]); }, nullptr},
    // A live message has no flash position: it sorts before position 0.
    {RXCOLUMN_POSITION, "Position", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.live ? QStringLiteral("N/A") : QString::number(r.flashPosition); },
     [](const Store_t&, const Record_t& r) { return r.live ? -1.0 : r.flashPosition; }, nullptr, nullptr},
    // The decoder gives a frame with an unreadable date a null time: no date beats a false one.
    {RXCOLUMN_TIME, "Time", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) {
         const Record_t& m = r;
         return m.dateTime.isNull() ? QString() : timeText(m.dateTime);
     },
     [](const Store_t&, const Record_t& r) {
         const Record_t& m = r;
         return m.dateTime.isNull() ? noValue : double(m.dateTime.day) * 86400.0 + m.dateTime.seconds;
     }, nullptr, nullptr},
    {RXCOLUMN_ID, "Id", SORT_TEXT, [](const Store_t& s, const Record_t& r) { return s.ids.texts[r.id]; }, nullptr,
     [](const Store_t& s, const Record_t& r) { return QStringView(s.ids.texts[r.id]); }, nullptr},
    {RXCOLUMN_FREQUENCY, "Frequency (Hz)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return QString::number(r.frequencyHz); },
     [](const Store_t&, const Record_t& r) { return double(r.frequencyHz); }, nullptr, nullptr},
    {RXCOLUMN_DIRECTION, "Direction (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) {
         const Record_t& m = r;
         return averagesDirection(r) ? QStringLiteral("%1 (avg %2)").arg(m.direction).arg(m.meanDirection)
                                   : QString::number(m.direction);
     },
     [](const Store_t&, const Record_t& r) { return double(r.direction); }, nullptr, nullptr},
    {RXCOLUMN_BAND, "Band", SORT_TEXT, [](const Store_t&, const Record_t& r) { return enumText(DfrLink::OrvanBand_t(r.band)); }, nullptr,
     [](const Store_t&, const Record_t& r) { return QStringView(enumText(DfrLink::OrvanBand_t(r.band))); }, nullptr},
    {RXCOLUMN_MODULATION, "Modulation", SORT_TEXT, [](const Store_t&, const Record_t& r) { return enumText(DfrLink::OrvanModulation_t(r.modulation)); },
     nullptr, [](const Store_t&, const Record_t& r) { return QStringView(enumText(DfrLink::OrvanModulation_t(r.modulation))); }, nullptr},
    {RXCOLUMN_LEVEL, "Level (dBm)", SORT_NUMBER, [](const Store_t&, const Record_t& r) { return levelText(r.level); },
     [](const Store_t&, const Record_t& r) { return levelKey(r.level); }, nullptr, nullptr},
    {RXCOLUMN_PERIOD, "Period (s)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.periodValid ? QString::number(r.period) : QStringLiteral("Invalid"); },
     [](const Store_t&, const Record_t& r) { return r.periodValid ? double(r.period) : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_LATITUDE, "Latitude DFR (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.dfrPositionValid ? shortest(r.dfrLatitude) : QString(); },
     [](const Store_t&, const Record_t& r) { return r.dfrPositionValid ? r.dfrLatitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_LONGITUDE, "Longitude DFR (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.dfrPositionValid ? shortest(r.dfrLongitude) : QString(); },
     [](const Store_t&, const Record_t& r) { return r.dfrPositionValid ? r.dfrLongitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_DFR_DIRECTION, "Direction DFR (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) {
         return r.dfrDirectionValid ? QString::number(r.dfrDirection) : QStringLiteral("Invalid");
     },
     [](const Store_t&, const Record_t& r) { return r.dfrDirectionValid ? double(r.dfrDirection) : noValue; }, nullptr,
     nullptr},
    {RXCOLUMN_PAYLOAD_LATITUDE, "Latitude payload (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.payloadPosition ? QString::number(r.payloadLatitude, 'g', 6) : QString(); },
     [](const Store_t&, const Record_t& r) { return r.payloadPosition ? r.payloadLatitude : noValue; }, nullptr, nullptr},
    {RXCOLUMN_PAYLOAD_LONGITUDE, "Longitude payload (°)", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.payloadPosition ? QString::number(r.payloadLongitude, 'g', 6) : QString(); },
     [](const Store_t&, const Record_t& r) { return r.payloadPosition ? r.payloadLongitude : noValue; }, nullptr, nullptr},
    // "No" < "Yes"
    {RXCOLUMN_CRC, "CRC", SORT_NUMBER,
     [](const Store_t&, const Record_t& r) { return r.crcOk ? QStringLiteral("Yes") : QStringLiteral("No"); },
     [](const Store_t&, const Record_t& r) { return r.crcOk ? 1.0 : 0.0; }, nullptr, nullptr},
    {RXCOLUMN_PAYLOAD, "Payload", SORT_BYTES, [](const Store_t& s, const Record_t& r) { return hexText(payloadOf(s, r).toByteArray()); }, nullptr,
     nullptr, [](const Store_t& s, const Record_t& r) { return payloadOf(s, r); }},
    {RXCOLUMN_RAW_PAYLOAD, "Raw payload", SORT_BYTES, [](const Store_t& s, const Record_t& r) { return hexText(rawPayloadOf(s, r).toByteArray()); },
     nullptr, nullptr, [](const Store_t& s, const Record_t& r) { return rawPayloadOf(s, r); }},
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
int compareRows(const Store_t& store, const Record_t& a, const Record_t& b, int column)
{
    const RxColumnInfo_t& info = rxColumns[column];
    switch (info.kind) {
    case SORT_TEXT: return info.word(store, a).compare(info.word(store, b));
    case SORT_BYTES: return info.bytes(store, a).compare(info.bytes(store, b));
    case SORT_NUMBER: break;
    }
    return threeWay(info.number(store, a), info.number(store, b));
}

// The archive's key of a message: who heard it, when, and what.
size_t keyHash(const Store_t& store, const Record_t& record)
{
    return qHashMulti(0, record.receiver, record.dateTime.day, record.dateTime.seconds, record.id,
                      record.frequencyHz, rawPayloadOf(store, record));
}

bool sameKey(const Store_t& store, const Record_t& a, const Record_t& b)
{
    return a.frequencyHz == b.frequencyHz && a.dateTime == b.dateTime && a.id == b.id && a.receiver == b.receiver
           && rawPayloadOf(store, a) == rawPayloadOf(store, b);
}

QString cellText(const Store_t& store, const Record_t& record, int column)
{
    return column >= 0 && column < RXCOLUMN_COUNT ? rxColumns[column].text(store, record) : QString();
}

// Bytes are shown as hex in the payload font.
bool isPayloadColumn(int column)
{
    return column >= 0 && column < RXCOLUMN_COUNT && rxColumns[column].kind == SORT_BYTES;
}

} // namespace

namespace RxTableDetail {

quint32 TextTable_t::intern(QString& shared)
{
    const auto held = indexes.constFind(shared);
    if (held != indexes.cend()) {
        shared = texts[qsizetype(*held)];
        return *held;
    }
    const auto index = quint32(texts.size());
    texts.append(shared);
    indexes.insert(shared, index);
    return index;
}

} // namespace RxTableDetail

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
    const Record_t& row = store.records[size_t(shown[index.row()])];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(store, row, column);
    case Qt::FontRole:
        return isPayloadColumn(column) ? QVariant(payloadFont) : QVariant();
    case Qt::BackgroundRole:
        return row.crcOk ? QVariant() : QVariant(QBrush(QColor(220, 220, 220)));
    case Qt::ForegroundRole: {
        const QColor colour = modulationColour(DfrLink::OrvanModulation_t(row.modulation));
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
    return row >= 0 && row < shown.size() ? cellText(store, store.records[size_t(shown[row])], column) : QString();
}

bool RxTableModel::isSortedBy(int column, Qt::SortOrder order) const
{
    return sortColumn >= 0 && column == sortColumn && order == sortOrder;
}

bool RxTableModel::accepts(const Record_t& record) const
{
    return store.ids.texts[qsizetype(record.id)].contains(filterText);
}

bool RxTableModel::before(int left, int right) const
{
    const int comparison = compareRows(store, store.records[size_t(left)], store.records[size_t(right)], sortColumn);
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
        if (accepts(store.records[size_t(record)])) {
            shown.append(record);
        }
    }
}

template <typename KeyOf>
void RxTableModel::sortByKey(KeyOf keyOf)
{
    // Keys side by side: a sort that walks the records instead misses the cache at every step.
    using Key = decltype(keyOf(store, store.records.front()));
    std::vector<std::pair<Key, int>> keyed;
    keyed.reserve(rowOrder.size());
    for (int record : std::as_const(rowOrder)) {
        keyed.emplace_back(keyOf(store, store.records[size_t(record)]), record);
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
        QVector<int> where(qsizetype(store.records.size()), -1);
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
    const Record_t& row = store.records[size_t(record)];
    const size_t mask = size_t(keySlots.size() - 1);
    for (size_t at = keyHash(store, row) & mask;; at = (at + 1) & mask) {
        const int held = keySlots[qsizetype(at)];
        if (held < 0 || sameKey(store, store.records[size_t(held)], row)) {
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
    const DfrLink::OrvanRxMessage_t& m = row.message;
    Record_t record;
    record.dateTime = m.dateTime;
    record.dfrLongitude = m.dfrLongitude;
    record.dfrLatitude = m.dfrLatitude;
    record.payloadLatitude = row.payloadLatitude;
    record.payloadLongitude = row.payloadLongitude;
    record.platformSlotIndex = m.platformSlotIndex;
    record.flashPosition = m.flashPosition;
    record.level = m.level;
    record.frequencyHz = m.frequencyHz;
    record.direction = m.direction;
    record.meanDirection = m.meanDirection;
    record.period = m.period;
    record.dfrDirection = m.dfrDirection;
    record.id = store.ids.intern(row.message.platformId);
    record.label = store.labels.intern(row.label);
    record.receiver = store.receivers.intern(row.receiver);
    record.bytes = quint32(store.bytes.size());
    record.rawLength = quint32(m.rawPayload.size());
    record.payloadLength = quint32(m.payload.size());
    record.band = quint8(m.band);
    record.modulation = quint8(m.modulation);
    record.generation = quint8(row.generation);
    record.live = row.live;
    record.crcOk = m.crcOk;
    record.dfrDirectionValid = m.dfrDirectionValid;
    record.dfrPositionValid = m.dfrPositionValid;
    record.periodValid = m.periodValid;
    record.payloadPosition = row.payloadPosition;
    store.bytes.append(m.rawPayload).append(m.payload);
    store.records.push_back(record);
    const int added = int(store.records.size() - 1);
    const qsizetype at = keySlot(added);
    if (keySlots[at] >= 0) {
        store.records.pop_back();
        store.bytes.truncate(qsizetype(record.bytes));
        return false;
    }
    keySlots[at] = added;
    ++keyCount;
    Q_EMIT sigRowTaken(row);
    return true;
}
int RxTableModel::addRow(Row_t row)
{
    if (firstQueued < int(store.records.size())) {
        flushQueuedRows();
    }
    if (!take(std::move(row))) {
        return -1;
    }
    const int record = int(store.records.size() - 1);
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
    if (!accepts(store.records[size_t(record)])) {
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
    const int count = int(store.records.size()) - first;
    if (count == 0) {
        return;
    }
    firstQueued = int(store.records.size());

    // Newest on top.
    QVector<int> top;
    QVector<int> topShown;
    top.reserve(count);
    for (int record = first + count - 1; record >= first; --record) {
        top.append(record);
        if (accepts(store.records[size_t(record)])) {
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
    store = RxTableDetail::Store_t();
    firstQueued = 0;
    rowOrder.clear();
    shown.clear();
    keySlots.clear();
    keyCount = 0;
    batchTimer.stop();
    endResetModel();
    Q_EMIT sigCleared();
}

} // namespace Vantrel::Ui
