// Messages tab, flash memory: the options of a flash read.
#include "ui/MainWindow.h"

namespace Vantrel::Ui {

void MainWindow::slotSetFlashDumpEnabled(bool enabled)
{
    flashDumpEnabled = enabled;
}

void MainWindow::slotSetFlashCrcCheckEnabled(bool enabled)
{
    flashCrcCheckEnabled = enabled;
}

} // namespace Vantrel::Ui
