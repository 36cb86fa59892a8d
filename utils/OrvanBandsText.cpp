#include "utils/OrvanBandsText.h"

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

} // namespace Vantrel::Ui
