// Settings tab: every edit is stored at once.
#include "ui/MainWindow.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "maps/BaseMap.h"
#include "ui/ToolIcon.h"
#include "ui/locate/LocatePlot.h"
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

QStringList listedFiles(const QListWidget* list)
{
    QStringList files;
    for (int row = 0; row < list->count(); ++row) {
        files << list->item(row)->data(Qt::UserRole).toString();
    }
    return files;
}

void listFiles(QListWidget* list, const QStringList& files)
{
    list->clear();
    for (const QString& file : files) {
        auto* item = new QListWidgetItem(QDir::toNativeSeparators(file), list);
        item->setData(Qt::UserRole, file);
    }
}

// The base maps group: the files in the order they win, added and removed here, each
// change stored and shown at once; a file that fails is marked with its reason.
void initBaseMaps(QWidget* tab, QVBoxLayout* layout, Maps::BaseMap* baseMap)
{
    auto* group = new QGroupBox(QStringLiteral("Base maps (MBTiles) under the Locate map"), tab);
    group->setObjectName(QStringLiteral("groupBoxBaseMaps"));
    auto* list = new QListWidget(group);
    list->setObjectName(QStringLiteral("listWidgetBaseMaps"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setToolTip(QStringLiteral("Where files overlap, the one higher in the list is drawn"));
    auto* add = new QPushButton(QStringLiteral("Add…"), group);
    add->setObjectName(QStringLiteral("pushButtonAddBaseMap"));
    add->setIcon(ToolIcon::of(QStringLiteral("list-add"), QStringLiteral("list-add")));
    auto* remove = new QPushButton(QStringLiteral("Remove"), group);
    remove->setObjectName(QStringLiteral("pushButtonRemoveBaseMap"));
    remove->setIcon(ToolIcon::of(QStringLiteral("list-remove"), QStringLiteral("eraseFlash")));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    auto* inside = new QVBoxLayout(group);
    inside->addWidget(list);
    inside->addLayout(buttons);
    list->setMaximumHeight(list->fontMetrics().height() * 6);
    // Above the spacer that keeps the groups at the top.
    layout->insertWidget(std::max(0, layout->count() - 1), group);

    const auto store = [list, baseMap] {
        const QStringList files = listedFiles(list);
        Settings::instance()->saveMapFiles(files);
        baseMap->setFiles(files);
    };
    QObject::connect(add, &QPushButton::clicked, list, [list, store] {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            list, QStringLiteral("Add base maps"), QString(), QStringLiteral("MBTiles (*.mbtiles);;All files (*)"));
        QStringList files = listedFiles(list);
        for (const QString& file : chosen) {
            if (!files.contains(file)) {
                files << file;
            }
        }
        listFiles(list, files);
        store();
    });
    QObject::connect(remove, &QPushButton::clicked, list, [list, store] {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        if (selected.isEmpty()) {
            return;
        }
        qDeleteAll(selected);
        store();
    });
    QObject::connect(baseMap, &Maps::BaseMap::fileFailed, list, [list](const QString& path, const QString& reason) {
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem* item = list->item(row);
            if (item->data(Qt::UserRole).toString() == path) {
                item->setIcon(list->style()->standardIcon(QStyle::SP_MessageBoxWarning));
                item->setToolTip(reason);
            }
        }
    });
    listFiles(list, Settings::instance()->loadMapFiles());
    baseMap->setFiles(listedFiles(list));
}

} // namespace

void MainWindow::initSettingsTab()
{
    ui->comboBoxNprFormat->addItems({QStringLiteral("V1"), QStringLiteral("V2")});
    auto* baseMap = new Maps::BaseMap(this);
    baseMap->setObjectName(QStringLiteral("baseMap"));
    for (LocatePlot* plot : findChildren<LocatePlot*>()) {
        plot->setBaseMap(baseMap);
    }
    initBaseMaps(ui->tabSettings, ui->verticalLayoutSettings, baseMap);

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
