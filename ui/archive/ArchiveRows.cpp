#include "ui/archive/ArchiveRows.h"

namespace Vantrel::Ui {

Archive::ArchiveRecord_t archiveRecordOf(const RxTableModel::Row_t& row)
{
    Archive::ArchiveRecord_t record;
    record.message = row.message;
    record.receiver = row.receiver;
    record.partialReceiver = row.partialReceiver;
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
    row.partialReceiver = record.partialReceiver;
    row.generation = record.generation;
    row.live = record.live;
    row.label = std::move(record.label);
    row.payloadPosition = record.payloadPosition;
    row.payloadLatitude = record.payloadLatitude;
    row.payloadLongitude = record.payloadLongitude;
    row.fromArchive = true;
    return row;
}

} // namespace Vantrel::Ui
