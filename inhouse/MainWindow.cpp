#include "inhouse/MainWindow.h"

namespace Tarsk::Ui {

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
}

// The logger goes before the widgets (members die before the QWidget base), so the
// message handler is back to its previous owner before the log table is deleted.
MainWindow::~MainWindow() = default;

void MainWindow::configureLogger(QTableWidget* table, int option, const QString& iconPath)
{
    uiLogger.configure(table, option, iconPath);
}

} // namespace Tarsk::Ui
