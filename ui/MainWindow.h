#pragma once

#include <QFile>
#include <QFont>
#include <QMap>
#include <QString>

#include "com/ComManager.h"
#include "com/DfrLink.h"
#include "inhouse/Help.h"
#include "inhouse/MainWindow.h"

class QAction;
class QTableWidgetItem;
class QToolBar;

namespace Vantrel {
class Ui_UiMainWindow;
}

namespace Vantrel::Ui {

// The application's one window. Its functions are spread over several source
// files, one per area of the window.
class MainWindow : public Tarsk::Ui::MainWindow
{
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    QToolBar* toolBar() const override;

    // The generated form, for the window's own files and for tests that drive it.
    Ui_UiMainWindow* form() const { return ui; }

public Q_SLOTS:
    void slotLastWindowClosed();
    void slotPostInit() override;

    void slotSettingsPrintUartDebugInfo(bool checked);
    void slotSettingsPrintAtCmdDebugInfo(bool checked);
    void slotSettingsKeepChecksumError(bool checked);
    void slotSettingsDfrCommandTimeout();
    void slotSettingsKeepAliveTimeout();
    void slotSettingsKeepAlivePeriod();
    void slotSettingsNprFormat(int formatIndex);

    void slotTerminalContentAdded(QTableWidgetItem* item);
    void slotTabChanged(int index);

private:
    // Font of the payload columns: the first exact match of a few fixed-width families.
    static QFont monospaceFont();

    // Disconnected state of the whole form.
    void reinitGUI();

    void initSettingsTab();
    void updateSettingsWidgets();

    void updateTerminalTabAppearance();

    Ui_UiMainWindow* ui;
    Tarsk::Ui::Help help;
    Com::ComManager comManager;
    QMap<QString, QAction*> portActions;
    Com::DfrLink dfrLink;
    QFile logFile;
    bool flashDumpEnabled = false;
    bool flashCrcCheckEnabled = true;
    bool terminalHasNewContent = false;
};

} // namespace Vantrel::Ui
