#pragma once

#include <QByteArray>
#include <QString>

#include "com/DfrLink.h"

namespace Vantrel::Ui {
class MainWindow;
}

namespace Vantrel::Utils {

// Identifier width rules: receivers report identifiers with spare trailing digits
// and payloads with leading identifier bits; these cut both back to their content.
class IdUtils
{
public:
    IdUtils() = delete;

    // The window whose favourite platforms decide identifier widths; not owned.
    static void setMainWindow(Ui::MainWindow* window);

    // 5, 7 or 8 digits; any other length throws.
    static Com::DfrLink::PlatformIdType_t determinePlatformIdTypeFromLength(const QString& id);
    // The first favourite of the same modulation matching the whole identifier or
    // its first 7 or 5 characters decides; undefined when none does.
    static Com::DfrLink::PlatformIdType_t determinePlatformIdTypeFromFavorites(
        const QString& id, Com::DfrLink::OrvanModulation_t modulation);
    // The same rule over a given list, such as the favourites a flash area was read with.
    static Com::DfrLink::PlatformIdType_t determinePlatformIdTypeFromFavorites(
        const QString& id, Com::DfrLink::OrvanModulation_t modulation,
        const QList<QPair<QString, Com::DfrLink::OrvanModulation_t>>& favorites);

    static QString adjustId(const QString& id, Com::DfrLink::PlatformIdType_t idType,
                            Com::DfrLink::OrvanModulation_t modulation, bool isDfrV2);
    static QByteArray adjustPayload(const QByteArray& payload, Com::DfrLink::PlatformIdType_t idType,
                                    Com::DfrLink::OrvanModulation_t modulation, bool isDfrV2);

private:
    inline static Ui::MainWindow* mainWindow = nullptr;
};

} // namespace Vantrel::Utils
