#pragma once

#include <QMap>
#include <QStringList>

#include "com/DfrLink.h"

namespace Vantrel::Ui {

// Fixed-width band texts, indexed by DfrLink::OrvanBand_t (INVALID has none).
extern const QStringList orvanBandsText;

// Header row of the favourite platforms CSV file, per receiver generation.
extern const QMap<Com::DfrLink::DfrVersion_t, QStringList> platformsFileColumnsNames;

} // namespace Vantrel::Ui
