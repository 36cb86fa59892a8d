#pragma once

#include <QStringList>

namespace Vantrel::Ui {

// Columns of the received messages table, in the order of their headers.
enum RxColumn_t {
    RXCOLUMN_ORIGIN = 0,
    RXCOLUMN_INDEX,
    RXCOLUMN_LABEL,
    RXCOLUMN_POSITION,
    RXCOLUMN_TIME,
    RXCOLUMN_ID,
    RXCOLUMN_FREQUENCY,
    RXCOLUMN_DIRECTION,
    RXCOLUMN_BAND,
    RXCOLUMN_MODULATION,
    RXCOLUMN_LEVEL,
    RXCOLUMN_PERIOD,
    RXCOLUMN_DFR_LATITUDE,
    RXCOLUMN_DFR_LONGITUDE,
    RXCOLUMN_DFR_DIRECTION,
    RXCOLUMN_PAYLOAD_LATITUDE,
    RXCOLUMN_PAYLOAD_LONGITUDE,
    RXCOLUMN_CRC,
    RXCOLUMN_PAYLOAD,
    RXCOLUMN_RAW_PAYLOAD,
    RXCOLUMN_COUNT
};

// Header texts, in column order; the model's column table holds them.
const QStringList& rxTableHeaders();

} // namespace Vantrel::Ui
