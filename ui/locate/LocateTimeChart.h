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

    // The bearings timed in [fromMs, toMs] (0: that side open); untimed ones have no place on this axis.
    void setBearings(const QVector<Locate::Bearing_t>& bearings, qint64 fromMs = 0, qint64 toMs = 0);

    static constexpr int maxPoints = 500;

private:
    // As many time labels as fit whole in the plot's width.
    void fitTicks();

    QScatterSeries* bearingSeries;
    QScatterSeries* levelSeries;
    QDateTimeAxis* timeAxis;
    QValueAxis* bearingAxis;
    QValueAxis* levelAxis;
    qint64 firstMs = 0;
};

} // namespace Vantrel::Ui
