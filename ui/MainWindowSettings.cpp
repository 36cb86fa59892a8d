// Settings tab: every edit is stored at once.
#include "ui/MainWindow.h"

#include "ui_UiMainWindow.h"
#include "utils/Settings.h"
#include "utils/SignalsBlocked.h"

namespace Vantrel::Ui {

void MainWindow::initSettingsTab()
{
    ui->comboBoxNprFormat->addItems({QStringLiteral("V1"), QStringLiteral("V2")});

    connectSettingsTab();
    updateSettingsWidgets();
}

void MainWindow::updateSettingsWidgets()
{
    const Utils::SignalsBlocked blocked{ui->checkBoxPrintUartDebugInfo, ui->checkBoxPrintAtCmdDebugInfo,
                                        ui->spinBoxDfrCommandTimeout,   ui->spinBoxKeepAliveTimeout,
                                        ui->spinBoxKeepAlivePeriod,     ui->checkBoxKeepChecksumError,
                                        ui->comboBoxNprFormat,          ui->spinBoxStatusRefreshPeriod};

    const Utils::Settings* settings = Utils::Settings::instance();
    ui->checkBoxPrintUartDebugInfo->setChecked(settings->printUartDebugInfo);
    ui->checkBoxPrintAtCmdDebugInfo->setChecked(settings->printAtCmdDebugInfo);
    ui->spinBoxDfrCommandTimeout->setValue(settings->dfrCommandTimeoutMs);
    ui->spinBoxKeepAliveTimeout->setValue(settings->keepAliveTimeoutMs);
    ui->spinBoxKeepAlivePeriod->setValue(settings->keepAlivePeriodMs);
    ui->checkBoxKeepChecksumError->setChecked(settings->keepChecksumErrorOnNprDfr500);
    ui->comboBoxNprFormat->setCurrentIndex(settings->nprMessagesFormat == 2 ? 1 : 0);
    ui->spinBoxStatusRefreshPeriod->setValue(settings->statusRefreshSeconds);
}

void MainWindow::slotSettingsPrintUartDebugInfo(bool checked)
{
    Utils::Settings::instance()->printUartDebugInfo = checked;
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsPrintAtCmdDebugInfo(bool checked)
{
    Utils::Settings::instance()->printAtCmdDebugInfo = checked;
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsKeepChecksumError(bool checked)
{
    Utils::Settings::instance()->keepChecksumErrorOnNprDfr500 = checked;
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsDfrCommandTimeout()
{
    Utils::Settings::instance()->dfrCommandTimeoutMs = ui->spinBoxDfrCommandTimeout->value();
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsKeepAliveTimeout()
{
    Utils::Settings::instance()->keepAliveTimeoutMs = ui->spinBoxKeepAliveTimeout->value();
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsKeepAlivePeriod()
{
    Utils::Settings::instance()->keepAlivePeriodMs = ui->spinBoxKeepAlivePeriod->value();
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::slotSettingsNprFormat(int formatIndex)
{
    Utils::Settings::instance()->nprMessagesFormat = formatIndex == 1 ? 2 : 1;
    Utils::Settings::instance()->saveSettingsInternal();
}

void MainWindow::connectSettingsTab()
{
    wire(ui->checkBoxPrintUartDebugInfo, &QCheckBox::toggled, &MainWindow::slotSettingsPrintUartDebugInfo);
    wire(ui->checkBoxPrintAtCmdDebugInfo, &QCheckBox::toggled, &MainWindow::slotSettingsPrintAtCmdDebugInfo);
    wire(ui->spinBoxDfrCommandTimeout, &QSpinBox::editingFinished, &MainWindow::slotSettingsDfrCommandTimeout);
    wire(ui->spinBoxKeepAliveTimeout, &QSpinBox::editingFinished, &MainWindow::slotSettingsKeepAliveTimeout);
    wire(ui->spinBoxKeepAlivePeriod, &QSpinBox::editingFinished, &MainWindow::slotSettingsKeepAlivePeriod);
    wire(ui->spinBoxStatusRefreshPeriod, &QSpinBox::editingFinished, [this] {
        Utils::Settings::instance()->statusRefreshSeconds = ui->spinBoxStatusRefreshPeriod->value();
        Utils::Settings::instance()->saveSettingsInternal();
        restartStatusRefresh();
    });
    wire(ui->checkBoxKeepChecksumError, &QCheckBox::toggled, &MainWindow::slotSettingsKeepChecksumError);
    wire(ui->comboBoxNprFormat, qOverload<int>(&QComboBox::currentIndexChanged),
         &MainWindow::slotSettingsNprFormat);
}

} // namespace Vantrel::Ui
