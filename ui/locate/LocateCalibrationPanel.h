#pragma once

#include <QDialog>

#include "locate/BearingCalibration.h"
#include "locate/SearchLog.h"

class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScatterSeries;
class QValueAxis;

namespace Vantrel::Ui {

// The bearing offset and sigma of a receiver, from a platform whose position is known: the
// one it reports in its payload, or one the user enters. Shows the residuals against the
// bearing relative to the receiver's heading, where an antenna pattern shows, and keeps the
// calibration in the settings for the fixes of the receiver's other platforms.
class LocateCalibrationPanel : public QDialog
{
    Q_OBJECT
public:
    // Gives the search log the calibrations the settings hold.
    explicit LocateCalibrationPanel(Locate::SearchLog* log, QWidget* parent = nullptr);

    // The platform to calibrate from; recomputed now when shown, else when next shown.
    void setPlatform(const QString& id);
    const Locate::Calibration_t& calibration() const { return current; }
    // The serial number of the receiver calibrated, "" when unknown.
    QString receiver() const;

Q_SIGNALS:
    // A receiver's calibration was applied or forgotten: fixes must be recomputed.
    void calibrationsChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void recompute();
    void showChart();
    void showStored();
    void store(bool apply);
    const Locate::SearchLog::Platform_t* platform() const;

    Locate::SearchLog* log;
    QString platformId;
    Locate::Calibration_t current;
    QVector<Locate::CalibrationPair_t> pairs;
    QRadioButton* fromPayload;
    QRadioButton* fromReference;
    QDoubleSpinBox* latitude;
    QDoubleSpinBox* longitude;
    QComboBox* receivers;
    QLabel* title;
    QLabel* result;
    QLabel* stored;
    QChartView* chartView;
    QValueAxis* residualAxis;
    QScatterSeries* inliers;
    QScatterSeries* outliers;
    QPushButton* apply;
    QPushButton* forget;
};

} // namespace Vantrel::Ui
