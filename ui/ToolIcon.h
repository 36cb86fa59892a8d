#pragma once

#include <QIcon>
#include <QString>

namespace Vantrel::Ui {

// Icons of the tabs' buttons: the desktop theme's where it has one, so that they
// look like the rest of the desktop, and the program's own set otherwise.
class ToolIcon
{
public:
    // `theme`: a freedesktop icon name ("view-refresh"); `own`: a file of the program's set ("refresh").
    static QIcon of(const QString& theme, const QString& own);
};

} // namespace Vantrel::Ui
