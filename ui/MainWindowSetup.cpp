// Configuration tab: software setup, clock and hardware setup. Every edit writes
// the whole group and reads it back, so the widgets show what the receiver holds.
#include "ui/MainWindow.h"

#include "inhouse/DateTimeWidget.h"
#include "ui/NumericTextValidator.h"
#include "ui_UiMainWindow.h"
#include "utils/SignalsBlocked.h"

namespace Vantrel::Ui {

using Utils::SignalsBlocked;

namespace {

// The property holding the text a numeric field showed after the last read or write.
constexpr char shownTextProperty[] = "shownText";

QString fieldText(const QObject* field)
{
    if (const auto* edit = qobject_cast<const QLineEdit*>(field)) {
        return edit->text();
    }
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(field)) {
        return spin->text();
    }
    return QString();
}

} // namespace

void MainWindow::setupNumericFields()
{
    // Magnetic declination in degrees; the receiver takes the text as it stands.
    ui->lineEditHardwareDeclination->setValidator(
        new NumericTextValidator(-180.0, 180.0, 3, ui->lineEditHardwareDeclination));
}

void MainWindow::rememberShownValues(std::initializer_list<QWidget*> fields)
{
    for (QWidget* field : fields) {
        field->setProperty(shownTextProperty, fieldText(field));
    }
    // An unfinished declination goes back to what the receiver holds.
    if (auto* validator = ui->lineEditHardwareDeclination->findChild<NumericTextValidator*>()) {
        validator->setFallback(ui->lineEditHardwareDeclination->property(shownTextProperty).toString());
    }
}

bool MainWindow::editChangedNothing() const
{
    // Return and then leaving the field both finish the same edit.
    const QObject* field = sender();
    if (!field || !(qobject_cast<const QLineEdit*>(field) || qobject_cast<const QAbstractSpinBox*>(field))) {
        return false;
    }
    const QVariant shown = field->property(shownTextProperty);
    return shown.isValid() && shown.toString() == fieldText(field);
}

void MainWindow::getSetupSoftware()
{
    const Com::DfrLink::SetupSoftware_t setup = dfrLink.getSetupSoftware();
    {
        const SignalsBlocked blocked{
            ui->checkBoxSetupSoftwareAudio,          ui->checkBoxSetupSoftwareBacklight,
            ui->horizontalSliderSetupSoftwareConstrast, ui->checkBoxSetupSoftwareGpsAcquisition,
            ui->comboBoxSetupSoftwareCoordType,      ui->comboBoxSetupSoftwareDistType,
            ui->spinBoxSetupSoftwareDirectionOffset, ui->widgetSoftwareSetupDateTime,
            ui->comboBoxSetupSoftwareOrvanBand,      ui->checkBoxSetupSoftwareAllToFavorites};
        ui->checkBoxSetupSoftwareAudio->setChecked(setup.audio);
        ui->checkBoxSetupSoftwareBacklight->setChecked(setup.backlight);
        ui->checkBoxSetupSoftwareGpsAcquisition->setChecked(setup.gpsAcquisition);
        ui->horizontalSliderSetupSoftwareConstrast->setValue(setup.contrast);
        ui->comboBoxSetupSoftwareCoordType->setCurrentIndex(int(setup.coordType));
        ui->comboBoxSetupSoftwareDistType->setCurrentIndex(int(setup.distType));
        ui->spinBoxSetupSoftwareDirectionOffset->setValue(setup.directionOffset);
        ui->widgetSoftwareSetupDateTime->setDateTime(setup.dateTime);

        if (dfrLink.dfrVersion == Com::DfrLink::DFR_V2) {
            ui->comboBoxSetupSoftwareOrvanBand->setCurrentIndex(int(setup.band));
            ui->checkBoxSetupSoftwareAllToFavorites->setChecked(setup.allToFavorites);
        }
    }
    if (!setup.gpsAcquisition) {
        ui->widgetSoftwareSetupDateTime->setEnabled(true);
        ui->lineEditStatusLatitude->setText(QStringLiteral("INVALID"));
        ui->lineEditStatusLongitude->setText(QStringLiteral("INVALID"));
    } else {
        ui->widgetSoftwareSetupDateTime->setEnabled(false);
    }
    rememberShownValues({ui->spinBoxSetupSoftwareDirectionOffset});
}

void MainWindow::slotSetSetupSoftware()
{
    if (editChangedNothing()) {
        return;
    }
    Com::DfrLink::SetupSoftware_t setup;
    setup.audio = ui->checkBoxSetupSoftwareAudio->isChecked();
    setup.backlight = ui->checkBoxSetupSoftwareBacklight->isChecked();
    setup.contrast = quint16(ui->horizontalSliderSetupSoftwareConstrast->value());
    setup.gpsAcquisition = ui->checkBoxSetupSoftwareGpsAcquisition->isChecked();
    setup.coordType = Com::DfrLink::CoordType_t(ui->comboBoxSetupSoftwareCoordType->currentIndex());
    setup.distType = Com::DfrLink::DistType_t(ui->comboBoxSetupSoftwareDistType->currentIndex());
    setup.directionOffset = quint16(ui->spinBoxSetupSoftwareDirectionOffset->value());
    setup.band = Com::DfrLink::OrvanBand_t(ui->comboBoxSetupSoftwareOrvanBand->currentIndex());
    setup.allToFavorites = ui->checkBoxSetupSoftwareAllToFavorites->isChecked();
    dfrLink.setSetupSoftware(setup);
    rememberShownValues({ui->spinBoxSetupSoftwareDirectionOffset});
    if (!dfrLink.isNoSendCommandMode()) {
        getSetupSoftware();
    }
}

void MainWindow::slotSetTime()
{
    dfrLink.setSetupTime(ui->widgetSoftwareSetupDateTime->dateTime());
    if (!dfrLink.isNoSendCommandMode()) {
        getSetupSoftware();
    }
}

void MainWindow::getSetupHardware()
{
    const Com::DfrLink::SetupHardware_t setup = dfrLink.getSetupHardware();
    const SignalsBlocked blocked{ui->comboBoxHardwareDirectionMode, ui->comboBoxHardwareAntennaPosition,
                                 ui->spinBoxHardwareCableLength,    ui->comboBoxHardwareAntennaMode,
                                 ui->comboBoxHardwareCompassMode,   ui->lineEditHardwareDeclination,
                                 ui->checkBoxHardwareProximityMode};
    ui->comboBoxHardwareDirectionMode->setCurrentIndex(int(setup.directionMode));
    ui->comboBoxHardwareAntennaPosition->setCurrentIndex(int(setup.antennaPosition));
    ui->spinBoxHardwareCableLength->setValue(setup.cableLength);
    ui->comboBoxHardwareAntennaMode->setCurrentIndex(int(setup.antennaType));
    ui->comboBoxHardwareCompassMode->setCurrentIndex(int(setup.compassMode));
    ui->lineEditHardwareDeclination->setText(setup.declination);
    ui->checkBoxHardwareProximityMode->setChecked(setup.proximityMode);
    rememberShownValues({ui->spinBoxHardwareCableLength, ui->lineEditHardwareDeclination});
}

void MainWindow::slotSetSetupHardware()
{
    if (editChangedNothing()) {
        return;
    }
    Com::DfrLink::SetupHardware_t setup;
    setup.directionMode = Com::DfrLink::DirectionMode_t(ui->comboBoxHardwareDirectionMode->currentIndex());
    setup.antennaPosition = Com::DfrLink::AntennaPosition_t(ui->comboBoxHardwareAntennaPosition->currentIndex());
    setup.cableLength = ui->spinBoxHardwareCableLength->value();
    setup.antennaType = Com::DfrLink::AntennaType_t(ui->comboBoxHardwareAntennaMode->currentIndex());
    setup.compassMode = Com::DfrLink::CompassMode_t(ui->comboBoxHardwareCompassMode->currentIndex());
    // A declination still being typed ("-") stays out of a write that another field started.
    QLineEdit* declination = ui->lineEditHardwareDeclination;
    setup.declination = declination->hasAcceptableInput() || !declination->property(shownTextProperty).isValid()
                            ? declination->text()
                            : declination->property(shownTextProperty).toString();
    setup.proximityMode = ui->checkBoxHardwareProximityMode->isChecked();
    dfrLink.setSetupHardware(setup);
    rememberShownValues({ui->spinBoxHardwareCableLength, ui->lineEditHardwareDeclination});
    if (!dfrLink.isNoSendCommandMode()) {
        getSetupHardware();
    }
}

void MainWindow::connectSetupTab()
{
    for (QCheckBox* box : {ui->checkBoxSetupSoftwareAudio, ui->checkBoxSetupSoftwareBacklight,
                           ui->checkBoxSetupSoftwareGpsAcquisition, ui->checkBoxSetupSoftwareAllToFavorites}) {
        connectDevice(box, &QCheckBox::toggled, &MainWindow::slotSetSetupSoftware);
    }
    connectDevice(ui->horizontalSliderSetupSoftwareConstrast, &QSlider::valueChanged,
                  &MainWindow::slotSetSetupSoftware);
    for (QComboBox* box : {ui->comboBoxSetupSoftwareCoordType, ui->comboBoxSetupSoftwareDistType,
                           ui->comboBoxSetupSoftwareOrvanBand}) {
        connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSetSetupSoftware);
    }
    connectDevice(ui->spinBoxSetupSoftwareDirectionOffset, &QSpinBox::editingFinished,
                  &MainWindow::slotSetSetupSoftware);
    connectDevice(ui->widgetSoftwareSetupDateTime, &Tarsk::Ui::DateTimeWidget::sigDateTimeChanged,
                  &MainWindow::slotSetTime);

    for (QComboBox* box : {ui->comboBoxHardwareDirectionMode, ui->comboBoxHardwareAntennaMode,
                           ui->comboBoxHardwareAntennaPosition, ui->comboBoxHardwareCompassMode}) {
        connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSetSetupHardware);
    }
    connectDevice(ui->spinBoxHardwareCableLength, &QSpinBox::editingFinished, &MainWindow::slotSetSetupHardware);
    connectDevice(ui->lineEditHardwareDeclination, &QLineEdit::editingFinished, &MainWindow::slotSetSetupHardware);
    connectDevice(ui->checkBoxHardwareProximityMode, &QCheckBox::toggled, &MainWindow::slotSetSetupHardware);
}

void MainWindow::resetSetupTab()
{
    ui->checkBoxSetupSoftwareAudio->setChecked(false);
    ui->checkBoxSetupSoftwareBacklight->setChecked(false);
    ui->checkBoxSetupSoftwareGpsAcquisition->setChecked(false);
    ui->checkBoxSetupSoftwareAllToFavorites->setChecked(false);
    ui->horizontalSliderSetupSoftwareConstrast->setValue(0);
    ui->comboBoxSetupSoftwareCoordType->setCurrentIndex(0);
    ui->comboBoxSetupSoftwareDistType->setCurrentIndex(0);
    ui->comboBoxSetupSoftwareOrvanBand->setCurrentIndex(0);
    ui->spinBoxSetupSoftwareDirectionOffset->setValue(0);
    ui->widgetSoftwareSetupDateTime->setDateTime(Tarsk::Utils::DateTime());

    ui->comboBoxHardwareDirectionMode->setCurrentIndex(0);
    ui->comboBoxHardwareAntennaPosition->setCurrentIndex(0);
    ui->comboBoxHardwareAntennaMode->setCurrentIndex(0);
    ui->comboBoxHardwareCompassMode->setCurrentIndex(0);
    ui->spinBoxHardwareCableLength->setValue(0);
    ui->lineEditHardwareDeclination->clear();
    ui->checkBoxHardwareProximityMode->setChecked(false);
}

void MainWindow::adaptSetupTab(Com::DfrLink::DfrVersion_t generation)
{
    // Bands, favourites-only reception and the proximity mode are the second generation's.
    const bool v2 = generation == Com::DfrLink::DFR_V2;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->labelSetupSoftwareOrvanBand, ui->comboBoxSetupSoftwareOrvanBand, ui->checkBoxSetupSoftwareAllToFavorites}) {
        widget->setVisible(v2);
    }
    ui->checkBoxHardwareProximityMode->setVisible(generation != Com::DfrLink::DFR_V1);
}

} // namespace Vantrel::Ui
