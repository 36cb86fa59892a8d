// Stand-ins for window functions that other work brings; removed when that work lands.
#include "ui/MainWindow.h"

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

void MainWindow::endRxBurst()
{
}

void MainWindow::slotGetGpsFormats()
{
}

int MainWindow::rxRowCount() const
{
    return ui->tableWidgetRx->rowCount();
}

} // namespace Vantrel::Ui
