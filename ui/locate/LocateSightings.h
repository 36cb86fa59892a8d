#pragma once

#include "com/DfrLink.h"
#include "locate/SearchLog.h"

namespace Vantrel::Ui {

// What a received message gives the search log.
Locate::Sighting_t sightingOf(const Com::DfrLink::OrvanRxMessage_t& message);

} // namespace Vantrel::Ui
