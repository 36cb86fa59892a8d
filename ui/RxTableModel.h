#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QTimer>
#include <QVector>
#include <vector>

#include "com/DfrLink.h"

namespace Vantrel::Ui {

namespace RxTableDetail {

// A row as the table holds it: numbers in place, texts as indexes into tables of
// their distinct values and the payloads in one buffer, so that a row costs no
// allocation of its own.
struct Record_t
{
    Tarsk::Utils::DateTime dateTime;
    double dfrLongitude = 0.0;
    double dfrLatitude = 0.0;
    double payloadLatitude = 0.0;
    double payloadLongitude = 0.0;
    qint32 platformSlotIndex = -1;
    qint32 flashPosition = 0;
    qint32 level = 0;
    quint32 frequencyHz = 0;
    quint32 direction = 0;
    quint32 meanDirection = 0;
    quint32 period = 0;
    quint32 dfrDirection = 0;
    quint32 id = 0;
    quint32 label = 0;
    quint32 receiver = 0;
    quint32 bytes = 0;  // the raw payload, then the payload
    quint32 rawLength = 0;
    quint32 payloadLength = 0;
    quint8 band = 0;
    quint8 modulation = 0;
    quint8 generation = 0;
    bool live = false;
    bool crcOk = false;
    bool dfrDirectionValid = false;
    bool dfrPositionValid = false;
    bool periodValid = false;
    bool payloadPosition = false;
};

// Distinct texts, each kept once and named by its index.
struct TextTable_t
{
    QStringList texts;
    QHash<QString, quint32> indexes;
    // The index of the text, added when new; `shared` becomes the kept copy.
    quint32 intern(QString& shared);
};

struct Store_t
{
    std::vector<Record_t> records;  // queued rows at the end
    QByteArray bytes;
    TextTable_t ids;
    TextTable_t labels;
    TextTable_t receivers;
};

} // namespace RxTableDetail

// The received messages: one record per message, cell texts made when shown.
// The model sorts and filters itself, so a table of a whole flash memory stays
// one compact record per row.
class RxTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // A message as the table keeps it: the record after the platform lookup and
    // what was decided when it arrived.
    struct Row_t
    {
        Com::DfrLink::OrvanRxMessage_t message;
        QString label;
        QString receiver;  // the serial number of the receiver that heard it, empty when unknown
        double payloadLatitude = 0.0;
        double payloadLongitude = 0.0;
        Com::DfrLink::DfrVersion_t generation = Com::DfrLink::DFR_UNDEFINEDVERSION;  // of that receiver
        bool live = false;
        bool payloadPosition = false;
        bool fromArchive = false;  // loaded back from the archive, not heard this session
        bool partialReceiver = false;  // the first part of the serial number only
        // "%1 (avg %2)" in the direction column: a first-generation favourite's message.
        bool averagesDirection() const
        {
            return generation == Com::DfrLink::DFR_V1 && message.platformSlotIndex != -1;
        }
    };

    explicit RxTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Stable: rows that compare equal keep their order, as in a table of items.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void setPayloadFont(const QFont& font) { payloadFont = font; }

    // Every row, shown or filtered out; queued rows are not counted yet.
    int totalRowCount() const { return firstQueued; }
    // Text of a cell of a shown row, as displayed.
    QString text(int row, int column) const;
    bool isSortedBy(int column, Qt::SortOrder order) const;

    // A message is taken once: a row with the receiver, time, identifier, frequency and raw
    // payload of one the table holds or has queued is left out, as the archive does.
    // A row on top, or where a stable sort puts a row that joined on top when the table is sorted.
    // Returns its shown row, -1 when the filter hides it or it was left out.
    int addRow(Row_t row);
    // Rows that go on top, newest first, gathered and inserted together: at the
    // latest after batchIntervalMs, or by flushQueuedRows(). They unsort the table.
    void queueRow(Row_t row);
    void flushQueuedRows();

    // Shows the rows whose identifier contains the text (case-sensitive).
    void setFilter(const QString& text);
    QString filter() const { return filterText; }
    void clear();

    static constexpr int batchIntervalMs = 200;  // the table shows new rows at least every 250 ms

Q_SIGNALS:
    // Each row as addRow or queueRow takes it, before any filter: what other views of the messages follow.
    void sigRowTaken(const Vantrel::Ui::RxTableModel::Row_t& row);
    // Every row has gone: the views that follow them start again.
    void sigCleared();

private:
    bool accepts(const RxTableDetail::Record_t& record) const;
    // Strictly before in the current sort: the table order of the rows compared.
    bool before(int left, int right) const;
    // Runs a change of order or filter, keeping selections and other persistent indexes on their rows.
    template <typename Change>
    void relayout(Change change);
    void rebuildShown();
    // Stable sort of the rows by the key each record gives, in the current order.
    template <typename KeyOf>
    void sortByKey(KeyOf keyOf);

    // Appends the row when it is a message not held yet; false when it was left out.
    bool take(Row_t&& row);
    // The key slot of a record with the key of `record`, or the free slot it would take.
    qsizetype keySlot(int record) const;

    RxTableDetail::Store_t store;
    int firstQueued = 0;  // records from here on are not in the table yet
    QVector<int> rowOrder;  // every record in the table, top first
    QVector<int> shown;  // the records the filter lets through, in table order
    // Records by message key, open addressing: -1 free, at most half full.
    QVector<int> keySlots;
    int keyCount = 0;
    QString filterText;
    int sortColumn = -1;  // -1: rows are in arrival order, not sorted
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QFont payloadFont;
    QTimer batchTimer;
    QElapsedTimer sinceFlush;
};

} // namespace Vantrel::Ui
