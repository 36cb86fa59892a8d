#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include "locate/GisExport.h"
#include "locate/SearchLog.h"
#include "ui/RxTableModel.h"
#include "ui/locate/LocateAnalysis.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

namespace Vantrel::Ui {

class LocateCalibrationPanel;
class LocatePlatformsModel;
class LocatePlot;
class LocateTimeChart;

// The Locate page: the platforms heard with the state of their fix, the fix
// options, and for the chosen platform its map, its bearings against time, a
// one-line summary and the exports. It follows the messages as they come.
class LocateTab : public QWidget
{
    Q_OBJECT
public:
    explicit LocateTab(QWidget* parent = nullptr);

    const Locate::SearchLog& searchLog() const { return log; }
    // The identifier of the chosen platform, "" when none.
    QString chosenPlatform() const { return chosenId; }

    // Fixes are recomputed at most this often, however fast messages come.
    static constexpr int refreshDelayMs = 150;

public Q_SLOTS:
    // Every message the messages table takes; those that give a bearing join the search.
    void addRow(const Vantrel::Ui::RxTableModel::Row_t& row);
    // The messages table was emptied: so is the search.
    void clear();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* createOptions();
    void optionsChanged();
    void stretchesChanged();
    void scheduleRefresh();
    void refresh();
    void showChosen();
    QString summaryOf(const Locate::SearchLog::Platform_t& platform) const;
    void exportChosen(Locate::GisExport::Format_t format);

    Locate::SearchLog log;
    LocateAnalysis analysis;  // of the chosen platform
    LocatePlatformsModel* model;
    QTableView* platformsView;
    LocatePlot* plot;
    LocateTimeChart* timeChart;
    LocateCalibrationPanel* calibration;
    QLabel* summary;
    QLabel* legText;
    QLabel* stretchText;
    QLabel* clocksText;
    QLabel* exportOutcome;
    QComboBox* estimator = nullptr;
    QDoubleSpinBox* sigma = nullptr;
    QCheckBox* estimateSigma = nullptr;
    QDoubleSpinBox* offset = nullptr;
    QCheckBox* fromEnabled = nullptr;
    QCheckBox* toEnabled = nullptr;
    QDateTimeEdit* from = nullptr;
    QDateTimeEdit* to = nullptr;
    QComboBox* searches = nullptr;
    QSpinBox* searchGap = nullptr;
    QCheckBox* guide = nullptr;
    QSpinBox* legSeconds = nullptr;
    QList<QPushButton*> exportButtons;
    QString chosenId;
    QString exportFolder;
    QTimer refreshTimer;
    int lastRefreshMs = 0;
    bool refreshWhenShown = false;
};

} // namespace Vantrel::Ui
