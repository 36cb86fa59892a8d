// Terminal tab: its title warns of log rows above INFO that the user has not seen.
#include "ui/MainWindow.h"

#include <QTabBar>
#include <QTableWidget>

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

void MainWindow::slotTerminalContentAdded(QTableWidgetItem* item)
{
    if (!item || ui->tabWidget->currentWidget() == ui->tabTerminal || !item->tableWidget() || item->column() != 1)
        return;
    const QString type = item->text().trimmed();
    if (type != QLatin1String("INFO") && type != QLatin1String("DEBUG")) {
        terminalHasNewContent = true;
        updateTerminalTabAppearance();
    }
}

void MainWindow::slotTabChanged(int index)
{
    if (index == ui->tabWidget->indexOf(ui->tabTerminal) && terminalHasNewContent) {
        terminalHasNewContent = false;
        updateTerminalTabAppearance();
    }
}

void MainWindow::updateTerminalTabAppearance()
{
    const int terminalTab = ui->tabWidget->indexOf(ui->tabTerminal);
    ui->tabWidget->setTabText(terminalTab,
                              terminalHasNewContent ? QStringLiteral("Terminal *") : QStringLiteral("Terminal"));
    ui->tabWidget->tabBar()->setTabTextColor(terminalTab, terminalHasNewContent ? Qt::red : Qt::black);
}

} // namespace Vantrel::Ui
