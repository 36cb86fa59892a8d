// Settings tab: every edit is stored at once.
#include "ui/MainWindow.h"

#include "ui_UiMainWindow.h"
#include "utils/Settings.h"
#include "utils/SignalsBlocked.h"

namespace Vantrel::Ui {

namespace {

using Utils::Settings;

// The NPR format box lists "V1" and "V2", stored as 1 and 2.
int formatIndex(qint32 format)
{
    return format == 2 ? 1 : 0;
}

qint32 formatOf(int index)
{
    return index == 1 ? 2 : 1;
}

void storeSetting(const QWidget* widget, qint32 value)
{
    for (const Settings::Entry_t& entry : Settings::entries()) {
        if (widget->objectName() == QLatin1String(entry.widget)) {
            Settings::instance()->setValue(entry, value);
        }
    }
    Settings::instance()->saveSettingsInternal();
}

void showSetting(QWidget* widget, qint32 value)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        box->setChecked(value != 0);
    } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        spin->setValue(value);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        combo->setCurrentIndex(formatIndex(value));
    }
}

} // namespace

void MainWindow::initSettingsTab()
{
    ui->comboBoxNprFormat->addItems({QStringLiteral("V1"), QStringLiteral("V2")});

    connectSettingsTab();
    updateSettingsWidgets();
}

void MainWindow::updateSettingsWidgets()
{
    QList<QWidget*> widgets;
    for (const Settings::Entry_t& entry : Settings::entries()) {
        widgets.append(ui->tabSettings->findChild<QWidget*>(QLatin1String(entry.widget)));
        // A name the form does not hold is a mistake of the table: said at once, not at the first edit.
        if (!widgets.last()) {
            qCritical("Setting %s has no widget %s", entry.key, entry.widget);
        }
    }
    const Utils::SignalsBlocked blocked{widgets};
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        showSetting(widgets.at(i), Settings::instance()->value(Settings::entries().at(i)));
    }
}

void MainWindow::slotSettingsPrintUartDebugInfo(bool checked)
{
    storeSetting(ui->checkBoxPrintUartDebugInfo, checked);
}

void MainWindow::slotSettingsPrintAtCmdDebugInfo(bool checked)
{
    storeSetting(ui->checkBoxPrintAtCmdDebugInfo, checked);
}

void MainWindow::slotSettingsKeepChecksumError(bool checked)
{
    storeSetting(ui->checkBoxKeepChecksumError, checked);
}

void MainWindow::slotSettingsDfrCommandTimeout()
{
    storeSetting(ui->spinBoxDfrCommandTimeout, ui->spinBoxDfrCommandTimeout->value());
}

void MainWindow::slotSettingsKeepAliveTimeout()
{
    storeSetting(ui->spinBoxKeepAliveTimeout, ui->spinBoxKeepAliveTimeout->value());
}

void MainWindow::slotSettingsKeepAlivePeriod()
{
    storeSetting(ui->spinBoxKeepAlivePeriod, ui->spinBoxKeepAlivePeriod->value());
}

void MainWindow::slotSettingsNprFormat(int formatIndex)
{
    storeSetting(ui->comboBoxNprFormat, formatOf(formatIndex));
}

void MainWindow::connectSettingsTab()
{
    wire(ui->checkBoxPrintUartDebugInfo, &QCheckBox::toggled, &MainWindow::slotSettingsPrintUartDebugInfo);
    wire(ui->checkBoxPrintAtCmdDebugInfo, &QCheckBox::toggled, &MainWindow::slotSettingsPrintAtCmdDebugInfo);
    wire(ui->spinBoxDfrCommandTimeout, &QSpinBox::editingFinished, &MainWindow::slotSettingsDfrCommandTimeout);
    wire(ui->spinBoxKeepAliveTimeout, &QSpinBox::editingFinished, &MainWindow::slotSettingsKeepAliveTimeout);
    wire(ui->spinBoxKeepAlivePeriod, &QSpinBox::editingFinished, &MainWindow::slotSettingsKeepAlivePeriod);
    wire(ui->spinBoxStatusRefreshPeriod, &QSpinBox::editingFinished, [this] {
        storeSetting(ui->spinBoxStatusRefreshPeriod, ui->spinBoxStatusRefreshPeriod->value());
        restartStatusRefresh();
    });
    wire(ui->checkBoxKeepChecksumError, &QCheckBox::toggled, &MainWindow::slotSettingsKeepChecksumError);
    wire(ui->comboBoxNprFormat, qOverload<int>(&QComboBox::currentIndexChanged),
         &MainWindow::slotSettingsNprFormat);
}

} // namespace Vantrel::Ui
