#include "inhouse/ToplevelApplication.h"

#include <QMainWindow>
#include <QMetaObject>

#include "inhouse/Exception.h"
#include "inhouse/LogNote.h"

namespace Tarsk::Utils {

ToplevelApplication::ToplevelApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

ToplevelApplication::~ToplevelApplication()
{
    // The window's widgets and its logger need a living QApplication to go away cleanly.
    delete window.data();
}

void ToplevelApplication::setMainClass(QMainWindow* mainWindow)
{
    if (window && window != mainWindow) {
        delete window.data();
    }
    window = mainWindow;
    if (!window) {
        return;
    }

    // Queued so that it runs from the event loop, once the window is fully built and shown.
    QMetaObject::invokeMethod(window, "slotPostInit", Qt::QueuedConnection);
}

bool ToplevelApplication::notify(QObject* receiver, QEvent* event)
{
    // Qt calls notify for the events of every thread, so this one place also covers
    // queued slot calls and timers of worker threads.
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception& exception) {
        const LogNote note(LogNote::NOTE_FAILURE);
        qCritical().noquote() << exception.message();
    }
    return false;
}

} // namespace Tarsk::Utils
