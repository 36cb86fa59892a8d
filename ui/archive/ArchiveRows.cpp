#include "ui/archive/ArchiveRows.h"

namespace Vantrel::Ui {

Archive::ArchiveRecord_t archiveRecordOf(const RxTableModel::Row_t& row)
{
    Archive::ArchiveRecord_t record;
    record.message = row.message;
    record.receiver = row.receiver;
    record.generation = row.generation;
    record.live = row.live;
    record.label = row.label;
    record.payloadPosition = row.payloadPosition;
    record.payloadLatitude = row.payloadLatitude;
    record.payloadLongitude = row.payloadLongitude;
    return record;
}

RxTableModel::Row_t rowOf(Archive::ArchiveRecord_t record)
{
    RxTableModel::Row_t row;
    row.message = std::move(record.message);
    row.receiver = std::move(record.receiver);
    row.generation = record.generation;
    row.live = record.live;
    row.label = std::move(record.label);
    row.payloadPosition = record.payloadPosition;
    row.payloadLatitude = record.payloadLatitude;
    row.payloadLongitude = record.payloadLongitude;
    // The first generation shows the slot's mean direction beside each message heard for a favourite.
    row.averageDirection = record.generation == Com::DfrLink::DFR_V1 && row.message.platformSlotIndex != -1;
    row.fromArchive = true;
    return row;
}

} // namespace Vantrel::Ui
