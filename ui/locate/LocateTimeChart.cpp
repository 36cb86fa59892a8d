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
    // A short chart under the map: a legend or a title on the time axis would take the height its
    // labels need, and the axis would cut them short. The value axes say what they show.
    auto* plot = new QChart;
    plot->legend()->hide();
    plot->setMargins(QMargins(2, 2, 2, 2));
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
    bearingAxis->setTitleText(QStringLiteral("Bearing (°)"));
    bearingAxis->setTitleBrush(bearingSeries->color());
    levelAxis->setTitleText(QStringLiteral("Level (dBm)"));
    levelAxis->setTitleBrush(levelSeries->color());
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
    connect(plot, &QChart::plotAreaChanged, this, &LocateTimeChart::fitTicks);
    setRenderHint(QPainter::Antialiasing);
    setMinimumHeight(200);
}

void LocateTimeChart::setBearings(const QVector<Locate::Bearing_t>& bearings, qint64 fromMs, qint64 toMs)
{
    QVector<Locate::Bearing_t> inWindow;
    if (fromMs || toMs) {
        for (const Locate::Bearing_t& bearing : bearings) {
            if ((!fromMs || bearing.timeMs >= fromMs) && (!toMs || bearing.timeMs <= toMs)) {
                inWindow.append(bearing);
            }
        }
    }
    const QVector<Locate::Bearing_t>& shown = fromMs || toMs ? inWindow : bearings;
    QList<QPointF> azimuths;
    QList<QPointF> levels;
    qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
    int lowest = std::numeric_limits<int>::max(), highest = std::numeric_limits<int>::min();
    // A chart item per marker: past a few hundred, every step-th bearing stands for its neighbours.
    const int step = std::max(1, int(shown.size() / maxPoints) + (shown.size() % maxPoints ? 1 : 0));
    for (int index = 0; index < shown.size(); index += step) {
        const Locate::Bearing_t& bearing = shown.at(index);
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
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(first - margin, Qt::UTC);
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(last + margin, Qt::UTC);
    timeAxis->setRange(start, end);
    // The axis writes its labels in local time: across a local midnight the time of day alone misleads.
    if (start.toLocalTime().date() != end.toLocalTime().date()) {
        timeAxis->setFormat(QStringLiteral("d MMM HH:mm"));
    } else {
        timeAxis->setFormat(end.toMSecsSinceEpoch() - start.toMSecsSinceEpoch() <= 15 * 60 * 1000
                                ? QStringLiteral("HH:mm:ss")
                                : QStringLiteral("HH:mm"));
    }
    firstMs = first;
    fitTicks();
    if (!levels.isEmpty()) {
        levelAxis->setRange(lowest - 5, highest + 5);
        levelAxis->applyNiceNumbers();
    }
}

void LocateTimeChart::fitTicks()
{
    // The axis cuts a label short ("…") that is wider than the space between ticks.
    const QFontMetrics metrics(timeAxis->labelsFont());
    const int label = metrics.horizontalAdvance(QDateTime::fromMSecsSinceEpoch(firstMs).toString(timeAxis->format())) + 24;
    // The plot area is known once laid out; until then, the view less room for the two value axes.
    const double plotWidth = chart()->plotArea().width() > 0 ? chart()->plotArea().width() : width() - 140.0;
    timeAxis->setTickCount(std::clamp(int(plotWidth / label) + 1, 2, 9));
}

} // namespace Vantrel::Ui
