#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include "com/DfrLink.h"

namespace Vantrel::Utils {

// What decoding a flash area needs besides its bytes, as it stood when the area
// was read: the receiver's generation and firmware level, and its favourites,
// which decide identifier widths, slot indexes, labels and payload positions.
// Written beside each dump, so that the dump opens back the same without the receiver.
class FlashDumpInfo
{
public:
    using FavoriteIds_t = QList<QPair<QString, Com::DfrLink::OrvanModulation_t>>;

    Com::DfrLink::DfrVersion_t dfrVersion = Com::DfrLink::DFR_UNDEFINEDVERSION;
    quint32 firmwareLevel = 0;
    QString serialNumber;  // both parts, "0042-1207"
    // Descriptions of the first format kept the first part of the number only.
    bool partialSerialNumber = false;
    // Occupied favourite slots, in slot order.
    QList<Com::DfrLink::PlatformInfo_t> favorites;
    // First generation: the favourite slot whose area the dump holds, -1 otherwise.
    qint32 areaSlot = -1;

    // Second-generation records carry 32-bit identifiers from firmware level 2 on.
    bool wideIds() const { return dfrVersion == Com::DfrLink::DFR_V2 && firmwareLevel == 2; }
    FavoriteIds_t favoriteIds() const;
    // The first favourite with this identifier, or at this slot; null when none.
    const Com::DfrLink::PlatformInfo_t* favoriteWithId(const QString& platformId) const;
    const Com::DfrLink::PlatformInfo_t* favoriteAt(qint32 slot) const;

    QByteArray toText() const;
    // Throws with the reason when the text does not describe a dump.
    static FlashDumpInfo fromText(const QByteArray& text);
    // Both parts of the number, "0042-1207"; the first alone when there is no second.
    static QString wholeSerialNumber(const Com::DfrLink::DfrVersionsAndStatus_t& status);
    // The description's file beside a dump: the same base name, ".txt".
    static QString pathBeside(const QString& dumpPath);
};

} // namespace Vantrel::Utils
