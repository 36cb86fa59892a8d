// Settings tab: every edit is stored at once.
#include "ui/MainWindow.h"

#include <cstring>

#include "ui_UiMainWindow.h"
#include "utils/Settings.h"
#include "utils/SignalsBlocked.h"

namespace Vantrel::Ui {

namespace {

using Utils::Settings;

// The widget that shows and edits each setting, by the setting's key.
struct SettingWidget_t
{
    const char* key;
    QWidget* (*widget)(Ui_UiMainWindow*);
};

const SettingWidget_t settingWidgets[] = {
    {"printUartDebugInfo", [](Ui_UiMainWindow* f) -> QWidget* { return f->checkBoxPrintUartDebugInfo; }},
    {"printAtCmdDebugInfo", [](Ui_UiMainWindow* f) -> QWidget* { return f->checkBoxPrintAtCmdDebugInfo; }},
    {"dfrCommandTimeoutMs", [](Ui_UiMainWindow* f) -> QWidget* { return f->spinBoxDfrCommandTimeout; }},
    {"keepAliveTimeoutMs", [](Ui_UiMainWindow* f) -> QWidget* { return f->spinBoxKeepAliveTimeout; }},
    {"keepAlivePeriodMs", [](Ui_UiMainWindow* f) -> QWidget* { return f->spinBoxKeepAlivePeriod; }},
    {"keepChecksumErrorOnNprDfr500", [](Ui_UiMainWindow* f) -> QWidget* { return f->checkBoxKeepChecksumError; }},
    {"nprMessagesFormat", [](Ui_UiMainWindow* f) -> QWidget* { return f->comboBoxNprFormat; }},
    {"Display/statusRefreshSeconds", [](Ui_UiMainWindow* f) -> QWidget* { return f->spinBoxStatusRefreshPeriod; }},
};

// The NPR format box lists "V1" and "V2", stored as 1 and 2.
int formatIndex(qint32 format)
{
    return format == 2 ? 1 : 0;
}

qint32 formatOf(int index)
{
    return index == 1 ? 2 : 1;
}

const Settings::Entry_t& entryOf(const char* key)
{
    for (const Settings::Entry_t& entry : Settings::entries())
        if (std::strcmp(entry.key, key) == 0)
            return entry;
    qFatal("no setting %s", key);
}

void storeSetting(Ui_UiMainWindow* form, const QWidget* widget, qint32 value)
{
    for (const SettingWidget_t& row : settingWidgets)
        if (row.widget(form) == widget)
            Settings::instance()->setValue(entryOf(row.key), value);
    Settings::instance()->saveSettingsInternal();
}

void showSetting(QWidget* widget, qint32 value)
{
    if (auto* box = qobject_cast<QCheckBox*>(widget))
        box->setChecked(value != 0);
    else if (auto* spin = qobject_cast<QSpinBox*>(widget))
        spin->setValue(value);
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setCurrentIndex(formatIndex(value));
}

} // namespace

void MainWindow::initSettingsTab()
{
    ui->comboBoxNprFormat->addItems({QStringLiteral("V1"), QStringLiteral("V2")});

    connect(ui->checkBoxPrintUartDebugInfo, &QCheckBox::toggled, this, &MainWindow::slotSettingsPrintUartDebugInfo);
    connect(ui->checkBoxPrintAtCmdDebugInfo, &QCheckBox::toggled, this, &MainWindow::slotSettingsPrintAtCmdDebugInfo);
    connect(ui->spinBoxDfrCommandTimeout, &QSpinBox::editingFinished, this, &MainWindow::slotSettingsDfrCommandTimeout);
    connect(ui->spinBoxKeepAliveTimeout, &QSpinBox::editingFinished, this, &MainWindow::slotSettingsKeepAliveTimeout);
    connect(ui->spinBoxKeepAlivePeriod, &QSpinBox::editingFinished, this, &MainWindow::slotSettingsKeepAlivePeriod);
    connect(ui->spinBoxStatusRefreshPeriod, &QSpinBox::editingFinished, this, [this] {
        storeSetting(ui, ui->spinBoxStatusRefreshPeriod, ui->spinBoxStatusRefreshPeriod->value());
        restartStatusRefresh();
    });
    connect(ui->checkBoxKeepChecksumError, &QCheckBox::toggled, this, &MainWindow::slotSettingsKeepChecksumError);
    connect(ui->comboBoxNprFormat, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::slotSettingsNprFormat);

    updateSettingsWidgets();
}

void MainWindow::updateSettingsWidgets()
{
    QList<QWidget*> widgets;
    for (const SettingWidget_t& row : settingWidgets)
        widgets.append(row.widget(ui));
    const Utils::SignalsBlocked blocked{widgets};
    for (const SettingWidget_t& row : settingWidgets)
        showSetting(row.widget(ui), Settings::instance()->value(entryOf(row.key)));
}

void MainWindow::slotSettingsPrintUartDebugInfo(bool checked)
{
    storeSetting(ui, ui->checkBoxPrintUartDebugInfo, checked);
}

void MainWindow::slotSettingsPrintAtCmdDebugInfo(bool checked)
{
    storeSetting(ui, ui->checkBoxPrintAtCmdDebugInfo, checked);
}

void MainWindow::slotSettingsKeepChecksumError(bool checked)
{
    storeSetting(ui, ui->checkBoxKeepChecksumError, checked);
}

void MainWindow::slotSettingsDfrCommandTimeout()
{
    storeSetting(ui, ui->spinBoxDfrCommandTimeout, ui->spinBoxDfrCommandTimeout->value());
}

void MainWindow::slotSettingsKeepAliveTimeout()
{
    storeSetting(ui, ui->spinBoxKeepAliveTimeout, ui->spinBoxKeepAliveTimeout->value());
}

void MainWindow::slotSettingsKeepAlivePeriod()
{
    storeSetting(ui, ui->spinBoxKeepAlivePeriod, ui->spinBoxKeepAlivePeriod->value());
}

void MainWindow::slotSettingsNprFormat(int formatIndex)
{
    storeSetting(ui, ui->comboBoxNprFormat, formatOf(formatIndex));
}

} // namespace Vantrel::Ui
