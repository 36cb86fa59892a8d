#pragma once

#include <QString>

#include "com/DfrLink.h"

namespace Vantrel::Utils {

// How the user reads a receiver's generation, wherever the window names it.
class GenerationText
{
public:
    static QString of(Com::DfrLink::DfrVersion_t generation);
};

} // namespace Vantrel::Utils
