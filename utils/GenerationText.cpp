#include "utils/GenerationText.h"

namespace Vantrel::Utils {

QString GenerationText::of(Com::DfrLink::DfrVersion_t generation)
{
    switch (generation) {
    case Com::DfrLink::DFR_V1:
        return QStringLiteral("DFR V1");
    case Com::DfrLink::DFR_V2:
        return QStringLiteral("DFR V2 (Sorel NG)");
    default:
        return QStringLiteral("DFR (generation unknown)");
    }
}

} // namespace Vantrel::Utils
