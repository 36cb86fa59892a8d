#include "inhouse/Help.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>
#include <QMessageBox>
#include <QToolBar>

#include "inhouse/MainWindow.h"

namespace Tarsk::Ui {

Help::Help(MainWindow* window, const QString& buildStamp, const QString& logo, const QString& appIcon)
    : window(window)
    , buildStamp(buildStamp)
    , logoPath(logo)
    , appIconPath(appIcon)
{
}

void Help::setupUiToolbar()
{
    QToolBar* const bar = window ? window->toolBar() : nullptr;
    if (!bar) {
        qWarning().noquote() << "No tool bar for the help entries";
        return;
    }

    auto* about = new QAction(QIcon(appIconPath), tr("About"), bar);
    about->setObjectName(QStringLiteral("actionAbout"));
    connect(about, &QAction::triggered, this, &Help::slotAbout);
    bar->addAction(about);

    auto* aboutQt = new QAction(tr("About Qt"), bar);
    aboutQt->setObjectName(QStringLiteral("actionAboutQt"));
    connect(aboutQt, &QAction::triggered, this, &Help::slotAboutQt);
    bar->addAction(aboutQt);
}

QString Help::aboutText() const
{
    const auto image = [](const QString& path) {
        return path.isEmpty() ? QString() : QStringLiteral("<img src=\"%1\" height=\"64\"/>").arg(path.toHtmlEscaped());
    };
    const QString organization = QCoreApplication::organizationName();
    return QStringLiteral("<p>%1&nbsp;&nbsp;%2</p>"
                          "<h3>%3</h3>"
                          "<p>%4: %5<br/>%6: %7</p>"
                          "%8")
        .arg(image(logoPath), image(appIconPath),
             QCoreApplication::applicationName().toHtmlEscaped(),
             tr("Version"), QCoreApplication::applicationVersion().toHtmlEscaped(),
             tr("Build"), buildStamp.toHtmlEscaped(),
             organization.isEmpty() ? QString() : QStringLiteral("<p>&copy; %1</p>").arg(organization.toHtmlEscaped()));
}

void Help::slotAbout()
{
    QMessageBox::about(window, tr("About %1").arg(QCoreApplication::applicationName()), aboutText());
}

void Help::slotAboutQt()
{
    QMessageBox::aboutQt(window);
}

} // namespace Tarsk::Ui
