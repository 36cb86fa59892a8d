#pragma once

#include "com/DfrLink.h"
#include "locate/SearchLog.h"

namespace Vantrel::Ui {

// What a received message gives the search log; the receiver is its serial number, as the
// messages table has it.
Locate::Sighting_t sightingOf(const Com::DfrLink::OrvanRxMessage_t& message, const QString& receiver = QString());

} // namespace Vantrel::Ui
