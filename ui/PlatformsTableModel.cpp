#include "ui/PlatformsTableModel.h"

namespace Vantrel::Ui {

const Com::DfrLink::PlatformInfo_t* PlatformsTableModel::favoriteWithId(const QString& id) const
{
    for (const Com::DfrLink::PlatformInfo_t& info : records()) {
        if (info.occupied && info.platformId == id) {
            return &info;
        }
    }
    return nullptr;
}

QString PlatformsTableModel::cellText(const Com::DfrLink::PlatformInfo_t& info, int column) const
{
    switch (column) {
    case PLATFORMSCOLUMN_ID:
        return info.platformId;
    case PLATFORMSCOLUMN_MODULATION:
        return Com::DfrLink::orvanModulationToString(info.modulation);
    case PLATFORMSCOLUMN_LABEL:
        return info.label;
    case PLATFORMSCOLUMN_GPSFORMAT:
        return info.gpsModeEnabled ? info.gpsFormat.name : QString();
    default:
        return {};
    }
}

} // namespace Vantrel::Ui
