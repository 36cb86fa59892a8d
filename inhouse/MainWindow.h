#pragma once

#include <QMainWindow>

#include "inhouse/UiLogger.h"

class QTableWidget;
class QToolBar;

namespace Tarsk::Ui {

// Base of an application's main window: owns the logger that feeds its log table.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    void configureLogger(QTableWidget* table, int option, const QString& iconPath);
    UiLogger& logger() { return uiLogger; }

    // The window's main tool bar, where the help entries go.
    virtual QToolBar* toolBar() const = 0;

public Q_SLOTS:
    // Called once, from the running event loop, after construction.
    virtual void slotPostInit() {}

private:
    UiLogger uiLogger;
};

} // namespace Tarsk::Ui
