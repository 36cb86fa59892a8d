#include "ui/ToolIcon.h"

namespace Vantrel::Ui {

QIcon ToolIcon::of(const QString& theme, const QString& own)
{
    return QIcon::fromTheme(theme, QIcon(QStringLiteral(":/Icons/Icons/%1.png").arg(own)));
}

} // namespace Vantrel::Ui
