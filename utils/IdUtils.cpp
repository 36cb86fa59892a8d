#include "utils/IdUtils.h"

#include <QDebug>

#include "inhouse/Exception.h"
#include "ui/MainWindow.h"

namespace Vantrel::Utils {

using Com::DfrLink;

namespace {

void warnInconsistent(DfrLink::PlatformIdType_t idType, const char* modulation)
{
    qWarning().noquote()
        << QStringLiteral("Inconsistent ID type (%1) for modulation %2").arg(int(idType)).arg(QLatin1String(modulation));
}

// The identifier's leading bits sit in the first nibbles: shift them out and keep
// whole bytes by padding the tail with a zero nibble.
QByteArray dropLeadingNibbles(const QByteArray& payload, int count)
{
    QByteArray hex = payload.toHex().toUpper().mid(count);
    if (hex.size() % 2 != 0) {
        hex.append('0');
    }
    return QByteArray::fromHex(hex);
}

} // namespace

void IdUtils::setMainWindow(Ui::MainWindow* window)
{
    mainWindow = window;
}

DfrLink::PlatformIdType_t IdUtils::determinePlatformIdTypeFromLength(const QString& id)
{
    switch (id.size()) {
    case 8:
        return DfrLink::PLATFORMIDTYPE_32BITS;
    case 7:
        return DfrLink::PLATFORMIDTYPE_28BITS;
    case 5:
        return DfrLink::PLATFORMIDTYPE_20BITS;
    default:
        throw Tarsk::Utils::Exception(Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unknown platform ID type for ID (%1)").arg(id), QtCriticalMsg);
    }
}

DfrLink::PlatformIdType_t IdUtils::determinePlatformIdTypeFromFavorites(const QString& id,
                                                                        DfrLink::OrvanModulation_t modulation)
{
    // Without a window (tools, early start-up) nothing is known about favourites.
    if (!mainWindow) {
        return DfrLink::PLATFORMIDTYPE_UNDEFINED;
    }

    return determinePlatformIdTypeFromFavorites(id, modulation, mainWindow->getFavoritePlatforms());
}

DfrLink::PlatformIdType_t IdUtils::determinePlatformIdTypeFromFavorites(
    const QString& id, DfrLink::OrvanModulation_t modulation,
    const QList<QPair<QString, DfrLink::OrvanModulation_t>>& favorites)
{
    for (const auto& favorite : favorites) {
        if (favorite.second != modulation) {
            continue;
        }
        if (favorite.first == id) {
            return DfrLink::PLATFORMIDTYPE_32BITS;
        }
        if (favorite.first == id.left(7)) {
            return DfrLink::PLATFORMIDTYPE_28BITS;
        }
        if (favorite.first == id.left(5)) {
            return DfrLink::PLATFORMIDTYPE_20BITS;
        }
    }
    return DfrLink::PLATFORMIDTYPE_UNDEFINED;
}

QString IdUtils::adjustId(const QString& id, DfrLink::PlatformIdType_t idType, DfrLink::OrvanModulation_t modulation,
                          bool isDfrV2)
{
    QString result = id;
    const bool is20 = idType == DfrLink::PLATFORMIDTYPE_20BITS;
    const bool is28OrUndefined =
        idType == DfrLink::PLATFORMIDTYPE_28BITS || idType == DfrLink::PLATFORMIDTYPE_UNDEFINED;

    if (!isDfrV2) {
        if (modulation == DfrLink::ORVANMODULATION_A2 && is20) {
            result.chop(1);
        }
        return result;
    }

    switch (modulation) {
    case DfrLink::ORVANMODULATION_A2:
        if (is20) {
            result.chop(3);
        } else if (is28OrUndefined) {
            result.chop(1);
        }
        break;
    case DfrLink::ORVANMODULATION_A3:
        if (!is28OrUndefined) {
            warnInconsistent(idType, "A3");
        }
        result.chop(1);
        break;
    case DfrLink::ORVANMODULATION_A4:
        if (is28OrUndefined) {
            result.chop(1);
        } else if (is20) {
            warnInconsistent(idType, "A4");
        }
        break;
    default:
        if (is20 || idType == DfrLink::PLATFORMIDTYPE_28BITS) {
            warnInconsistent(idType, "LDK");
        }
        break;
    }
    return result;
}

QByteArray IdUtils::adjustPayload(const QByteArray& payload, DfrLink::PlatformIdType_t idType,
                                  DfrLink::OrvanModulation_t modulation, bool isDfrV2)
{
    if (payload.isEmpty()) {
        return payload;
    }
    const bool isA2 = modulation == DfrLink::ORVANMODULATION_A2;

    if (!isDfrV2) {
        return isA2 && idType != DfrLink::PLATFORMIDTYPE_20BITS ? payload.mid(1) : payload;
    }

    if (isA2) {
        switch (idType) {
        case DfrLink::PLATFORMIDTYPE_28BITS:
        case DfrLink::PLATFORMIDTYPE_UNDEFINED:
            return payload.mid(1);
        case DfrLink::PLATFORMIDTYPE_32BITS:
            return payload.size() >= 2 ? dropLeadingNibbles(payload, 3) : payload;
        default:
            return payload;
        }
    }
    if (modulation == DfrLink::ORVANMODULATION_A4 && idType == DfrLink::PLATFORMIDTYPE_32BITS) {
        return dropLeadingNibbles(payload, 1);
    }
    return payload;
}

} // namespace Vantrel::Utils
