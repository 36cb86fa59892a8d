#include "ui/locate/LocateTimeChart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <limits>

namespace Vantrel::Ui {

LocateTimeChart::LocateTimeChart(QWidget* parent)
    : QChartView(parent), bearingSeries(new QScatterSeries), levelSeries(new QScatterSeries),
      timeAxis(new QDateTimeAxis), bearingAxis(new QValueAxis), levelAxis(new QValueAxis)
{
    auto* plot = new QChart;
    plot->legend()->setAlignment(Qt::AlignTop);
    plot->setMargins(QMargins(4, 4, 4, 4));
    bearingSeries->setName(QStringLiteral("Bearing (°)"));
    bearingSeries->setMarkerSize(6);
    bearingSeries->setColor(QColor(200, 40, 40));
    bearingSeries->setBorderColor(Qt::transparent);
    levelSeries->setName(QStringLiteral("Level (dBm)"));
    levelSeries->setMarkerSize(5);
    levelSeries->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    levelSeries->setColor(QColor(40, 70, 160));
    levelSeries->setBorderColor(Qt::transparent);
    plot->addSeries(bearingSeries);
    plot->addSeries(levelSeries);

    timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    timeAxis->setTitleText(QStringLiteral("Time"));
    bearingAxis->setRange(0, 360);
    bearingAxis->setTickCount(5);
    bearingAxis->setLabelFormat(QStringLiteral("%.0f"));
    levelAxis->setLabelFormat(QStringLiteral("%.0f"));
    plot->addAxis(timeAxis, Qt::AlignBottom);
    plot->addAxis(bearingAxis, Qt::AlignLeft);
    plot->addAxis(levelAxis, Qt::AlignRight);
    bearingSeries->attachAxis(timeAxis);
    bearingSeries->attachAxis(bearingAxis);
    levelSeries->attachAxis(timeAxis);
    levelSeries->attachAxis(levelAxis);
    setChart(plot);
    setRenderHint(QPainter::Antialiasing);
    setMinimumHeight(160);
}

void LocateTimeChart::setBearings(const QVector<Locate::Bearing_t>& bearings)
{
    QList<QPointF> azimuths;
    QList<QPointF> levels;
    qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
    int lowest = std::numeric_limits<int>::max(), highest = std::numeric_limits<int>::min();
    // A chart item per marker: past a few hundred, every step-th bearing stands for its neighbours.
    const int step = std::max(1, int(bearings.size() / maxPoints) + (bearings.size() % maxPoints ? 1 : 0));
    for (int index = 0; index < bearings.size(); index += step) {
        const Locate::Bearing_t& bearing = bearings.at(index);
        if (bearing.timeMs == 0) {
            continue;
        }
        first = std::min(first, bearing.timeMs);
        last = std::max(last, bearing.timeMs);
        azimuths.append(QPointF(bearing.timeMs, bearing.azimuth));
        // Levels 1 to 4 are range codes, not dBm.
        if (bearing.level < 1 || bearing.level > 4) {
            levels.append(QPointF(bearing.timeMs, bearing.level));
            lowest = std::min(lowest, bearing.level);
            highest = std::max(highest, bearing.level);
        }
    }
    bearingSeries->replace(azimuths);
    levelSeries->replace(levels);
    if (azimuths.isEmpty()) {
        return;
    }
    // A minute either side of a lone point, a margin of 2 % otherwise.
    const qint64 margin = std::max<qint64>((last - first) / 50, first == last ? 60000 : 0);
    timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(first - margin, Qt::UTC),
                       QDateTime::fromMSecsSinceEpoch(last + margin, Qt::UTC));
    if (!levels.isEmpty()) {
        levelAxis->setRange(lowest - 5, highest + 5);
        levelAxis->applyNiceNumbers();
    }
}

} // namespace Vantrel::Ui
