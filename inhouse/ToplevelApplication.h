#pragma once

#include <QApplication>
#include <QPointer>

#include <QMainWindow>

namespace Tarsk::Utils {

// The process's QApplication. An Exception escaping a slot or event handler, in
// any thread, is reported as a critical log message and the event loop goes on.
class ToplevelApplication : public QApplication
{
    Q_OBJECT
public:
    ToplevelApplication(int& argc, char** argv);
    ~ToplevelApplication() override;

    // Takes ownership of the window and arranges one queued call of its
    // slotPostInit() once the event loop runs.
    void setMainClass(QMainWindow* window);
    QMainWindow* mainClass() const { return window; }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QPointer<QMainWindow> window;
};

} // namespace Tarsk::Utils
