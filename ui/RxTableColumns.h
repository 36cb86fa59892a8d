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

inline const QStringList& rxTableHeaders()
{
    static const QStringList headers = {
        QStringLiteral("Origin"), QStringLiteral("Index"), QStringLiteral("Label"), QStringLiteral("Position"),
        QStringLiteral("Time"), QStringLiteral("Id"), QStringLiteral("Frequency (Hz)"),
        QString::fromUtf8("Direction (°)"), QStringLiteral("Band"), QStringLiteral("Modulation"),
        QStringLiteral("Level (dBm)"), QStringLiteral("Period (s)"), QString::fromUtf8("Latitude DFR (°)"),
        QString::fromUtf8("Longitude DFR (°)"), QString::fromUtf8("Direction DFR (°)"),
        QString::fromUtf8("Latitude payload (°)"), QString::fromUtf8("Longitude payload (°)"),
        QStringLiteral("CRC"), QStringLiteral("Payload"), QStringLiteral("Raw payload"),
    };
    return headers;
}

} // namespace Vantrel::Ui
