#pragma once

#include <QChartView>
#include <QVector>

#include "locate/Bearing.h"

class QDateTimeAxis;
class QScatterSeries;
class QValueAxis;

namespace Vantrel::Ui {

// One platform's bearings and levels against time, bearing on the left axis, level on the right.
class LocateTimeChart : public QChartView
{
    Q_OBJECT
public:
    explicit LocateTimeChart(QWidget* parent = nullptr);

    // Bearings without a time are left out: they have no place on this axis.
    void setBearings(const QVector<Locate::Bearing_t>& bearings);

    static constexpr int maxPoints = 500;

private:
    QScatterSeries* bearingSeries;
    QScatterSeries* levelSeries;
    QDateTimeAxis* timeAxis;
    QValueAxis* bearingAxis;
    QValueAxis* levelAxis;
};

} // namespace Vantrel::Ui
