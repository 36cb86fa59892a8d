#pragma once

#include <QStringList>

namespace Vantrel::Ui {

// Fixed-width band texts, indexed by DfrLink::OrvanBand_t (INVALID has none).
extern const QStringList orvanBandsText;

} // namespace Vantrel::Ui
