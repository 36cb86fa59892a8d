#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QCommandLineParser>
#include <QMetaType>
#include <QSysInfo>

#include "AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/Exception.h"
#include "inhouse/ToplevelApplication.h"
#include "ui/MainWindow.h"

namespace {

void setIdentity()
{
    QCoreApplication::setApplicationName(Vantrel::App::applicationName);
    QCoreApplication::setOrganizationName(Vantrel::App::organisationName);
    QCoreApplication::setApplicationVersion(Vantrel::App::applicationVersion);
}

// The help and version options, in the order the help text lists them.
void describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QString::fromLatin1(Vantrel::App::commandLineDescription).arg(Vantrel::App::applicationName));
    parser.addHelpOption();
    parser.addVersionOption();
}

bool asksHelpOrVersion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--") {
            return false;
        }
        if (argument == "-h" || argument == "--help" || argument == "--help-all" || argument == "-?" ||
            argument == "-v" || argument == "--version") {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");

    // Help and version need no display: they are answered before the GUI application
    // exists, which aborts when there is none (a plain SSH session).
    if (asksHelpOrVersion(argc, argv)) {
        QCoreApplication console(argc, argv);
        setIdentity();
        QCommandLineParser parser;
        describe(parser);
        // Toolkit options such as -platform are unknown here; the GUI application
        // below takes those lines as before.
        if (parser.parse(QCoreApplication::arguments())) {
            parser.process(console); // prints and exits
        }
    }

    if (QSysInfo::productType() == QLatin1String("windows")) {
        QApplication::setStyle(QStringLiteral("Fusion"));
    }

    Tarsk::Utils::ToplevelApplication app(argc, argv);

    QCommandLineParser parser;
    setIdentity();
    describe(parser);
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
