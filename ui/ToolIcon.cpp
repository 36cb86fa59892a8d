#include "ui/ToolIcon.h"

namespace Vantrel::Ui {

QIcon ToolIcon::of(const QString& theme, const QString& own)
{
    // A theme may list an icon it cannot paint here (an SVG without the SVG plugin).
    const QIcon themed = QIcon::fromTheme(theme);
    if (!themed.isNull() && !themed.pixmap(16).isNull()) {
        return themed;
    }
    return QIcon(QStringLiteral(":/Icons/Icons/%1.png").arg(own));
}

} // namespace Vantrel::Ui
