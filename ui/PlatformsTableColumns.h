#pragma once

#include <QStringList>

namespace Vantrel::Ui {

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

} // namespace Vantrel::Ui
