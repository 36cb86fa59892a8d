#pragma once

#include <QStringList>

namespace Vantrel::Ui {

// Roles every slot table answers on each cell, besides the shown text.
enum SlotRole_t : int {
    SLOTROLE_SORTKEY = Qt::UserRole,  // a number for the position, else the text
    SLOTROLE_SLOT,                    // the slot number of the row
    SLOTROLE_OCCUPIED,                // false for an empty slot
};

// Columns of the favourite platforms table, in the order of their titles.
enum PlatformsColumn_t : int {
    PLATFORMSCOLUMN_POS = 0,
    PLATFORMSCOLUMN_ID,
    PLATFORMSCOLUMN_MODULATION,
    PLATFORMSCOLUMN_LABEL,
    PLATFORMSCOLUMN_GPSFORMAT,
};
inline QStringList platformsTableHeaders()
{
    return {QStringLiteral("Pos"), QStringLiteral("Id"), QStringLiteral("Modulation"), QStringLiteral("Label"),
            QStringLiteral("GPS Format")};
}

// Columns of the receiver's GPS format bank table.
enum GpsFormatsColumn_t : int {
    GPSFORMATSCOLUMN_POS = 0,
    GPSFORMATSCOLUMN_NAME,
};
inline QStringList gpsFormatsTableHeaders()
{
    return {QStringLiteral("Pos"), QStringLiteral("Name")};
}

// The position column's text: the slot number on two digits.
inline QString slotPositionText(qint32 slot)
{
    return QStringLiteral("%1").arg(slot, 2, 10, QLatin1Char('0'));
}

} // namespace Vantrel::Ui
