// What every window test shares: the application object the window expects, and one window shown.
#pragma once

#include <QtTest>

#include "AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"

namespace WindowTest {

// Shown and registered as the application's main class; the caller waits for "Ready!" if it needs it.
inline Vantrel::Ui::MainWindow* openWindow()
{
    auto* window = new Vantrel::Ui::MainWindow();
    window->show();
    static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
    return window;
}

} // namespace WindowTest

#define VANTREL_WINDOW_TEST_MAIN(TestClass)                                                                  \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");                                 \
        Tarsk::Utils::ToplevelApplication app(argc, argv);                                                   \
        QApplication::setApplicationName(Vantrel::App::applicationName);                                     \
        QApplication::setOrganizationName(Vantrel::App::organisationName);                                   \
        QApplication::setApplicationVersion(Vantrel::App::applicationVersion);                               \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
