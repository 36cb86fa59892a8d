#include <QApplication>
#include <QCommandLineParser>
#include <QMetaType>
#include <QSysInfo>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/Exception.h"
#include "inhouse/ToplevelApplication.h"
#include "ui/MainWindow.h"

int main(int argc, char* argv[])
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");

    if (QSysInfo::productType() == QLatin1String("windows"))
        QApplication::setStyle(QStringLiteral("Fusion"));

    Tarsk::Utils::ToplevelApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString::fromLatin1(Vantrel::App::commandLineDescription).arg(Vantrel::App::applicationName));
    parser.addHelpOption();

    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setOrganizationName(Vantrel::App::organisationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);

    parser.addVersionOption();
    parser.process(app);

    Vantrel::Ui::MainWindow* window = nullptr;
    try {
        window = new Vantrel::Ui::MainWindow();
        app.setMainClass(window);
    } catch (const Tarsk::Utils::Exception& e) {
        qCritical().noquote() << e.message();
        return -1;
    }

    QObject::connect(&app, &QGuiApplication::lastWindowClosed, window, &Vantrel::Ui::MainWindow::slotLastWindowClosed);

    window->show();
    return app.exec();
}
