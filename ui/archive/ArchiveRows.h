#pragma once

#include "archive/ArchiveRecord.h"
#include "ui/RxTableModel.h"

namespace Vantrel::Ui {

// A messages table row as the archive keeps it, and back: what the archive gives
// back shows as it was shown when heard.
Archive::ArchiveRecord_t archiveRecordOf(const RxTableModel::Row_t& row);
RxTableModel::Row_t rowOf(Archive::ArchiveRecord_t record);

} // namespace Vantrel::Ui
