// Window layout: tab pages that scroll on small screens, and the window's state
// (geometry, last tab, messages table columns) kept between runs.
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/ToolIcon.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

void MainWindow::setupScrollingTabs()
{
    for (int index = 0; index < ui->tabWidget->count(); ++index) {
        QWidget* page = ui->tabWidget->widget(index);
        QLayout* layout = page->layout();
        if (!layout) {
            continue;
        }
        // The page keeps its name and place; its layout, and with it every widget,
        // moves onto a content widget inside a scroll area.
        auto* content = new QWidget;
        content->setObjectName(page->objectName() + QStringLiteral("Content"));
        content->setLayout(layout);
        auto* scroll = new QScrollArea(page);
        scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(content);
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        pageLayout->addWidget(scroll);
    }
    // Room for the Configuration tab at 1024 x 700 without a scroll bar.
    ui->gridLayout_6->setContentsMargins(4, 4, 4, 4);
    // The pages scroll now, so the tab widget no longer needs its full width:
    // the window fits an 800 pixel wide screen.
    ui->tabWidget->setMinimumWidth(0);
    ui->tabWidget->setMinimumSize(0, 0);
}

void MainWindow::setupToolIcons()
{
    struct Tool_t
    {
        QAbstractButton* button;
        const char* theme;
        const char* own;
    };
    const Tool_t tools[] = {
        {ui->pushButtonFirmwareUpdate, "system-software-update", "arrow-right"},
        {ui->pushButtonSwitchMode, "system-reboot", "refresh"},
        {ui->pushButtonStatusRefresh, "view-refresh", "refresh"},
        {ui->pushButtonPlatformsUpdate, "view-refresh", "refresh"},
        {ui->pushButtonPlatformsDeleteAll, "edit-delete", "eraseFlash"},
        {ui->pushButtonNewFavorite, "list-add", "list-add"},
        {ui->pushButtonPlatformsImport, "document-open", "open"},
        {ui->pushButtonPlatformsExport, "document-save", "save"},
        {ui->pushButtonPlatformsCreate, "list-add", "list-add"},
        {ui->pushButtonPlatformsDelete, "edit-delete", "eraseFlash"},
        {ui->pushButtonGpsFormatsReload, "view-refresh", "refresh"},
        {ui->pushButtonGpsFormatsDeleteAll, "edit-delete", "eraseFlash"},
        {ui->pushButtonGpsFormatsCreate, "list-add", "list-add"},
        {ui->pushButtonGpsFormatsDelete, "edit-delete", "eraseFlash"},
        {ui->pushButtonRxClearSelection, "edit-select-none", "clearSelection"},
        {ui->pushButtonRxClearTable, "edit-clear-all", "clearTable"},
        {ui->pushButtonRxExportCSV, "document-save", "save"},
        {ui->pushButtonRxFlashRead, "document-import", "refresh"},
        {ui->pushButtonRxFlashErase, "edit-delete", "eraseFlash"},
        {ui->pushButtonRxFlashOpenDump, "document-open", "open"},
        {ui->pushButtonTerminalSend, "go-next", "arrow-right"},
        {ui->pushButtonTerminalSaveScript, "document-save", "save"},
        {ui->pushButtonTerminalScript, "system-run", "script"},
        {ui->pushButtonTerminalReloadGui, "view-refresh", "refresh"},
    };
    for (const Tool_t& tool : tools) {
        tool.button->setIcon(ToolIcon::of(QLatin1String(tool.theme), QLatin1String(tool.own)));
    }
    // The date and time field's button takes the computer's clock.
    for (QPushButton* now : ui->widgetSoftwareSetupDateTime->findChildren<QPushButton*>()) {
        now->setIcon(ToolIcon::of(QStringLiteral("appointment-new"), QStringLiteral("refresh")));
    }
}

void MainWindow::restoreWindowState()
{
    const Utils::Settings::WindowState_t state = Utils::Settings::instance()->loadWindowState();
    if (!state.geometry.isEmpty()) {
        restoreGeometry(state.geometry);
    }
    QHeaderView* header = ui->tableWidgetRx->horizontalHeader();
    // A state saved for another set of columns would scramble them.
    if (!state.rxHeader.isEmpty() && state.rxColumns == header->count()) {
        const QByteArray fallback = header->saveState();
        if (!header->restoreState(state.rxHeader) || header->count() != state.rxColumns) {
            header->restoreState(fallback);
        }
    }
    pendingTab = state.tab;
}

void MainWindow::saveWindowState() const
{
    Utils::Settings::WindowState_t state;
    state.geometry = saveGeometry();
    state.tab = ui->tabWidget->currentIndex();
    QHeaderView* header = ui->tableWidgetRx->horizontalHeader();
    state.rxHeader = header->saveState();
    state.rxColumns = header->count();
    Utils::Settings::instance()->saveWindowState(state);
}

void MainWindow::showTabIfEnabled(int index)
{
    if (index < 0 || index >= ui->tabWidget->count() || !ui->tabWidget->isTabEnabled(index)) {
        return;
    }
    ui->tabWidget->setCurrentIndex(index);
    pendingTab = -1;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowState();
    Tarsk::Ui::MainWindow::closeEvent(event);
}

} // namespace Vantrel::Ui
