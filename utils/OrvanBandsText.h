#pragma once

#include <QStringList>

namespace Vantrel::Ui {

// Fixed-width band texts, indexed by DfrLink::OrvanBand_t (INVALID has none). In the
// window's namespace, where the band boxes and the status panel read them.
extern const QStringList orvanBandsText;

} // namespace Vantrel::Ui
