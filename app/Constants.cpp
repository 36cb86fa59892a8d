#include "app/Constants.h"

namespace Vantrel::Ui {

const QStringList orvanBandsText = {
    QStringLiteral("EESS3  : 401.610 MHz to 401.690 MHz"),
    QStringLiteral("EESS4-1: 402.870 MHz to 402.950 MHz"),
    QStringLiteral("EESS4-2: 402.940 MHz to 403.020 MHz"),
    QStringLiteral("MSS    : 399.900 MHz to 399.980 MHz"),
    QStringLiteral("EESS1-1: 401.000 MHz to 401.080 MHz"),
    QStringLiteral("EESS1-2: 401.070 MHz to 401.150 MHz"),
    QStringLiteral("EESS1-3: 401.140 MHz to 401.220 MHz"),
    QStringLiteral("EESS2-1: 401.300 MHz to 401.380 MHz"),
    QStringLiteral("EESS2-2: 401.370 MHz to 401.450 MHz"),
    QStringLiteral("EESS2-3: 401.440 MHz to 401.520 MHz"),
};

namespace {
const QStringList platformsColumns = {
    "Index", "Occupied", "Platform ID Type", "Orvan ID", "Label", "GPS Mode Enabled", "GPS Format Name",
    "Payload Length", "GPS Index Start", "GPS Idx Check", "Lat Sign Pos", "Lat Sign Length", "Lat Pos",
    "Lat Bit Length", "Lat T", "Lat U", "Lat V", "Lat W", "Lat TY", "Long Sign Pos", "Long Sign Length",
    "Long Pos", "Long Bit Length", "Long T", "Long U", "Long V", "Long W", "Long TY", "Encryption Type",
    "CRC Polynom Value", "CRC Start Position", "CRC Length", "Data Start Position", "Data Length",
    "Repetition Period", "Mean Direction Values", "Orvan Band", "Orvan Modulation", "Orvan Frequency Mode",
    "Narrow Mode Frequency",
};
} // namespace

const QMap<Com::DfrLink::DfrVersion_t, QStringList> platformsFileColumnsNames = {
    {Com::DfrLink::DFR_V1, platformsColumns},
    {Com::DfrLink::DFR_V2, platformsColumns},
};

} // namespace Vantrel::Ui
