#include "utils/FileNames.h"

#include <QRegularExpression>

namespace Vantrel::Utils {

QString FileNames::offered(const QString& what, const QStringList& about, const QDateTime& when,
                           const QString& suffix)
{
    // Serial numbers and identifiers come from the receiver: they must not steer the path.
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9-]"));
    QStringList parts{what};
    for (const QString& part : about) {
        if (!part.isEmpty()) {
            parts.append(QString(part).replace(unsafe, QStringLiteral("_")));
        }
    }
    parts.append(when.toUTC().toString(QStringLiteral("yyyy-MM-dd_HHmm")) + QLatin1String("UTC"));
    return parts.join(QLatin1Char('_')) + QLatin1Char('.') + suffix;
}

} // namespace Vantrel::Utils
