// Wiring of the two slot tabs, favourite platforms and GPS formats: their
// connections, their disconnected state and the platform panel's editors by generation.
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QItemSelectionModel>

#include "ui/GpsFormatWidget.h"
#include "ui/GpsFormatsTableModel.h"
#include "ui/PlatformsTableModel.h"
#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

QList<MainWindow::PanelField_t> MainWindow::platformPanel() const
{
    using Com::DfrLink;
    return {
        {ui->lineEditPlatformsOrvanId, nullptr, DfrLink::DFR_UNDEFINEDVERSION},
        {ui->lineEditPlatformsLabel, nullptr, DfrLink::DFR_UNDEFINEDVERSION},
        {ui->comboBoxPlatformsOrvanBand, ui->labelPlatformsOrvanBand, DfrLink::DFR_V2},
        {ui->comboBoxPlatformsModulation, ui->labelPlatformsModulation, DfrLink::DFR_V2},
        {ui->checkBoxPlatformNarrowEnabled, nullptr, DfrLink::DFR_V2},
        {ui->doubleSpinBoxPlatformsNarrowFrequency, nullptr, DfrLink::DFR_V2},
        {ui->spinBoxPlatformsMeanDirectionValue, ui->labelPlatformsMeanDirection, DfrLink::DFR_V1},
        {ui->spinBoxPlatformsRepetitionPeriod, nullptr, DfrLink::DFR_UNDEFINEDVERSION},
        {ui->checkBoxGpsModeEnabled, nullptr, DfrLink::DFR_UNDEFINEDVERSION},
        {ui->widgetGpsFormatPlatform, nullptr, DfrLink::DFR_UNDEFINEDVERSION},
    };
}

QList<QWidget*> MainWindow::platformPanelEditors() const
{
    QList<QWidget*> editors;
    for (const PanelField_t& field : platformPanel()) {
        editors.append(field.editor);
    }
    return editors;
}

void MainWindow::clearPlatformPanel()
{
    for (QWidget* editor : platformPanelEditors()) {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            edit->clear();
        } else if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(0);
        } else if (auto* check = qobject_cast<QCheckBox*>(editor)) {
            check->setChecked(false);
        } else if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
            spin->setValue(0);
        } else if (auto* real = qobject_cast<QDoubleSpinBox*>(editor)) {
            real->setValue(0.0);
        } else if (auto* format = qobject_cast<GpsFormatWidget*>(editor)) {
            format->reinitGUI();
        }
    }
}

void MainWindow::connectPlatformsTab()
{
    connectDevice(ui->pushButtonPlatformsUpdate, &QPushButton::clicked, &MainWindow::slotGetPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsImport, &QPushButton::clicked, &MainWindow::slotImportPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsExport, &QPushButton::clicked, &MainWindow::slotExportPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsDeleteAll, &QPushButton::clicked, &MainWindow::slotDeleteAllPlatforms);
    connectDevice(ui->pushButtonNewFavorite, &QPushButton::clicked, &MainWindow::slotNewFavorite);
    connectDevice(ui->tableWidgetPlatforms->selectionModel(), &QItemSelectionModel::selectionChanged,
                  &MainWindow::slotDisplayPlatformInfo);
    connectDevice(ui->pushButtonPlatformsCreate, &QPushButton::clicked, &MainWindow::slotCreatePlatformsInfo);
    connectDevice(ui->pushButtonPlatformsDelete, &QPushButton::clicked, &MainWindow::slotDeletePlatformsInfo);
    // A field writes the slot once its edit is done: a finished text or number, a choice, a tick.
    for (QWidget* editor : platformPanelEditors()) {
        if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
            connectDevice(edit, &QLineEdit::editingFinished, &MainWindow::slotSavePlatformsInfo);
        } else if (auto* box = qobject_cast<QComboBox*>(editor)) {
            connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSavePlatformsInfo);
        } else if (auto* check = qobject_cast<QCheckBox*>(editor)) {
            connectDevice(check, &QCheckBox::toggled, &MainWindow::slotSavePlatformsInfo);
        } else if (auto* number = qobject_cast<QAbstractSpinBox*>(editor)) {
            connectDevice(number, &QAbstractSpinBox::editingFinished, &MainWindow::slotSavePlatformsInfo);
        } else if (auto* format = qobject_cast<GpsFormatWidget*>(editor)) {
            connectDevice(format, &GpsFormatWidget::sigGpsFormatChanged, &MainWindow::slotSavePlatformsInfo);
        }
    }
    connectOnce(ui->checkBoxHideEmptySlots, &QCheckBox::toggled, &MainWindow::slotToggleEmptySlots);
}

void MainWindow::resetPlatformsTab()
{
    platformsModel->clear();
    reinitGUIPlatformsInfo();
}

void MainWindow::adaptPlatformsTab(Com::DfrLink::DfrVersion_t generation)
{
    const bool v1 = generation == Com::DfrLink::DFR_V1;
    for (const PanelField_t& field : platformPanel()) {
        const bool shown =
            field.onlyFor == Com::DfrLink::DFR_UNDEFINEDVERSION || (field.onlyFor == Com::DfrLink::DFR_V1) == v1;
        field.editor->setVisible(shown);
        if (field.label) {
            field.label->setVisible(shown);
        }
    }
    // The narrow frequency shows only for a narrow slot, as the platform panel decided.
    ui->doubleSpinBoxPlatformsNarrowFrequency->setVisible(!v1 && ui->checkBoxPlatformNarrowEnabled->isChecked());
}

void MainWindow::connectGpsFormatsTab()
{
    connectDevice(ui->pushButtonGpsFormatsReload, &QPushButton::clicked, &MainWindow::slotGetGpsFormats);
    connectDevice(ui->tableWidgetGpsFormats->selectionModel(), &QItemSelectionModel::selectionChanged,
                  &MainWindow::slotDisplayGpsFormatInfo);
    connectDevice(ui->pushButtonGpsFormatsCreate, &QPushButton::clicked, &MainWindow::slotCreateGpsFormats);
    connectDevice(ui->pushButtonGpsFormatsDelete, &QPushButton::clicked, &MainWindow::slotDeleteGpsFormats);
    connectOnce(ui->pushButtonGpsFormatsDeleteAll, &QPushButton::clicked, &MainWindow::slotDeleteAllGpsFormats);
    connectOnce(ui->checkBoxGpsFormatsHideEmptySlots, &QCheckBox::toggled,
                &MainWindow::slotToggleEmptyGpsFormatsSlots);
    connectOnce(ui->widgetGpsFormatTab, &GpsFormatWidget::sigGpsFormatChanged, &MainWindow::slotSaveGpsFormats);
}

void MainWindow::resetGpsFormatsTab()
{
    gpsFormatsModel->clear();
    reinitGUIGpsFormatsInfo();
}

} // namespace Vantrel::Ui
