#include "ui/locate/LocatePlot.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "locate/GisExport.h"

namespace Vantrel::Ui {

namespace {

const QColor trackColour(40, 70, 160);
const QColor rayColour(200, 40, 40);
const QColor downWeightedColour(150, 150, 150);
const QColor ellipseColour(20, 110, 210);
const QColor sentColour(20, 150, 60);
constexpr double tipDistancePx = 6.0;

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t = length2 > 0.0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

} // namespace

LocatePlot::LocatePlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
    emptyText = QStringLiteral("Choose a platform in the list");
}

QPointF LocatePlot::toPlane(double latitude, double longitude) const
{
    double east = 0.0, north = 0.0;
    frame->forward(latitude, longitude, &east, &north);
    return {east, north};
}

QPointF LocatePlot::toScreen(const QPointF& plane) const
{
    return {width() / 2.0 + (plane.x() - centre.x()) * scale, height() / 2.0 - (plane.y() - centre.y()) * scale};
}

QPointF LocatePlot::fromScreen(const QPointF& screen) const
{
    return {centre.x() + (screen.x() - width() / 2.0) / scale, centre.y() - (screen.y() - height() / 2.0) / scale};
}

void LocatePlot::setPlatform(const Locate::SearchLog::Platform_t* platform, double offsetDeg)
{
    track.clear();
    rays.clear();
    ellipse.clear();
    sent.clear();
    hasFix = false;
    if (!platform || platform->bearings.isEmpty()) {
        shown = {};
        frame.reset();
        emptyText = QStringLiteral("Choose a platform in the list");
        update();
        return;
    }
    const bool another = platform->id != shown.id;
    shown = *platform;
    if (another || !frame) {
        frame = std::make_unique<Locate::LocalFrame>(platform->bearings.first().latitude,
                                                     platform->bearings.first().longitude);
        userMoved = false;
    }
    const QVector<int> order = platform->timeOrder();
    // Past maxRays a map of rays is a smear that takes seconds to paint: every stride-th stands for the others.
    stride = int((order.size() + maxRays - 1) / maxRays);
    for (int i = 0; i < order.size(); ++i) {
        const int index = order.at(i);
        const Locate::Bearing_t& bearing = platform->bearings.at(index);
        track.append(toPlane(bearing.latitude, bearing.longitude));
        if (i % stride != 0) {
            continue;
        }
        double latitude = 0.0, longitude = 0.0;
        Locate::GisExport::rayEnd(bearing, platform->fix, offsetDeg, &latitude, &longitude);
        rays.append({track.last(), toPlane(latitude, longitude), platform->downWeighted(index), index});
    }
    const Locate::Fix_t& result = platform->fix;
    hasFix = result.ok();
    if (hasFix) {
        fix = toPlane(result.latitude, result.longitude);
        for (const auto& point : Locate::ellipseOutline(result)) {
            ellipse.append(toPlane(point.first, point.second));
        }
    }
    emptyText = hasFix ? QString() : result.reason;
    for (const Locate::SearchLog::PayloadPosition_t& position : platform->payloadPositions) {
        sent.append(toPlane(position.latitude, position.longitude));
    }
    if (!userMoved) {
        fitView();
    }
    update();
}

void LocatePlot::fitView()
{
    QPolygonF all = track;
    all << ellipse;
    for (const Ray_t& ray : rays) {
        all << ray.to;
    }
    for (const QPointF& point : sent) {
        all << point;
    }
    if (hasFix) {
        all << fix;
    }
    if (all.isEmpty()) {
        return;
    }
    const QRectF bounds = all.boundingRect();
    centre = bounds.center();
    // At least 200 m across, with a margin for the marks at the edges.
    const double spanX = std::max(bounds.width(), 200.0) * 1.1;
    const double spanY = std::max(bounds.height(), 200.0) * 1.1;
    scale = std::min(width() / spanX, height() / spanY);
    userMoved = false;
    update();
}

void LocatePlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(250, 250, 246));
    painter.setRenderHint(QPainter::Antialiasing);
    if (!frame) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, emptyText);
        return;
    }
    // Down-weighted rays first, so that the ones the fix rests on are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Ray_t& ray : rays) {
            if (ray.downWeighted != (pass == 0)) {
                continue;
            }
            painter.setPen(ray.downWeighted ? QPen(downWeightedColour, 1.0, Qt::DashLine)
                                            : QPen(rayColour, 1.2));
            painter.drawLine(toScreen(ray.from), toScreen(ray.to));
        }
    }
    QPolygonF screenTrack;
    for (int i = 0; i < track.size(); i += stride) {
        screenTrack << toScreen(track.at(i));
    }
    if (!track.isEmpty() && (track.size() - 1) % stride != 0) {
        screenTrack << toScreen(track.last());
    }
    painter.setPen(QPen(trackColour, 2.0));
    painter.drawPolyline(screenTrack);
    painter.setBrush(trackColour);
    if (stride == 1) {
        for (const QPointF& point : screenTrack) {
            painter.drawEllipse(point, 2.5, 2.5);
        }
    }

    if (hasFix) {
        QPolygonF screenEllipse;
        for (const QPointF& point : ellipse) {
            screenEllipse << toScreen(point);
        }
        QColor fill = ellipseColour;
        fill.setAlpha(40);
        painter.setBrush(fill);
        painter.setPen(QPen(ellipseColour, 1.5));
        painter.drawPolygon(screenEllipse);
        const QPointF at = toScreen(fix);
        painter.setPen(QPen(Qt::black, 2.0));
        painter.drawLine(at + QPointF(-7, 0), at + QPointF(7, 0));
        painter.drawLine(at + QPointF(0, -7), at + QPointF(0, 7));
    }
    painter.setPen(QPen(sentColour.darker(), 1.0));
    painter.setBrush(sentColour);
    for (const QPointF& point : sent) {
        const QPointF at = toScreen(point);
        painter.drawPolygon(
            QPolygonF{at + QPointF(0, -5), at + QPointF(5, 0), at + QPointF(0, 5), at + QPointF(-5, 0)});
    }
    drawScaleBar(painter);
    drawNorthArrow(painter);
    drawLegend(painter);
    if (stride > 1) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect().adjusted(8, 8, -8, -36), Qt::AlignBottom | Qt::AlignRight,
                         QStringLiteral("one bearing in %1 drawn").arg(stride));
    }
    if (!emptyText.isEmpty()) {
        painter.setPen(Qt::darkRed);
        painter.drawText(rect().adjusted(8, 8, -40, -8), Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap, emptyText);
    }
}

void LocatePlot::drawScaleBar(QPainter& painter) const
{
    // The longest 1, 2 or 5 × 10^n metres that fits in a fifth of the width.
    const double target = width() / 5.0 / scale;
    const double decade = std::pow(10.0, std::floor(std::log10(target)));
    double metres = decade;
    for (double step : {2.0, 5.0, 10.0}) {
        if (step * decade <= target) {
            metres = step * decade;
        }
    }
    const double length = metres * scale;
    const QPointF left(12, height() - 14);
    painter.setPen(QPen(Qt::black, 2.0));
    painter.drawLine(left, left + QPointF(length, 0));
    painter.drawLine(left + QPointF(0, -4), left + QPointF(0, 4));
    painter.drawLine(left + QPointF(length, -4), left + QPointF(length, 4));
    const QString text = metres >= 1000.0 ? QStringLiteral("%1 km").arg(metres / 1000.0)
                                          : QStringLiteral("%1 m").arg(metres);
    painter.drawText(QRectF(left.x(), left.y() - 20, length, 16), Qt::AlignCenter, text);
}

void LocatePlot::drawNorthArrow(QPainter& painter) const
{
    const QPointF tip(width() - 22, 12);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(Qt::black);
    painter.drawPolygon(QPolygonF{tip, tip + QPointF(6, 22), tip + QPointF(0, 17), tip + QPointF(-6, 22)});
    painter.drawText(QRectF(tip.x() - 8, tip.y() + 22, 16, 16), Qt::AlignCenter, QStringLiteral("N"));
}

void LocatePlot::drawLegend(QPainter& painter) const
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int line = metrics.height();
    const QString texts[] = {QStringLiteral("receiver"), QStringLiteral("bearing"), QStringLiteral("down-weighted"),
                             QStringLiteral("fix, 95 %"), QStringLiteral("sent position")};
    int textWidth = 0;
    for (const QString& text : texts) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(text));
    }
    const QRectF box(width() - textWidth - 44, height() - 5 * line - 12, textWidth + 36, 5 * line + 8);
    painter.setPen(QPen(QColor(200, 200, 200)));
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRect(box);
    for (int row = 0; row < 5; ++row) {
        const double y = box.top() + 4 + line * (row + 0.5);
        const QPointF mark(box.left() + 14, y);
        painter.setBrush(Qt::NoBrush);
        switch (row) {
        case 0:
            painter.setPen(QPen(trackColour, 2.0));
            painter.setBrush(trackColour);
            painter.drawEllipse(mark, 2.5, 2.5);
            break;
        case 1:
        case 2:
            painter.setPen(row == 1 ? QPen(rayColour, 1.2) : QPen(downWeightedColour, 1.0, Qt::DashLine));
            painter.drawLine(mark - QPointF(9, 0), mark + QPointF(9, 0));
            break;
        case 3:
            painter.setPen(QPen(ellipseColour, 1.5));
            painter.drawEllipse(mark, 8, 4);
            painter.setPen(QPen(Qt::black, 1.5));
            painter.drawLine(mark - QPointF(4, 0), mark + QPointF(4, 0));
            painter.drawLine(mark - QPointF(0, 4), mark + QPointF(0, 4));
            break;
        default:
            painter.setPen(QPen(sentColour.darker(), 1.0));
            painter.setBrush(sentColour);
            painter.drawPolygon(QPolygonF{mark + QPointF(0, -4), mark + QPointF(4, 0), mark + QPointF(0, 4),
                                          mark + QPointF(-4, 0)});
        }
        painter.setPen(Qt::black);
        painter.drawText(QRectF(box.left() + 28, y - line / 2.0, textWidth + 4, line), Qt::AlignVCenter, texts[row]);
    }
}

void LocatePlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!userMoved) {
        fitView();
    }
}

void LocatePlot::wheelEvent(QWheelEvent* event)
{
    if (!frame) {
        return;
    }
    // The point under the cursor stays under it.
    const QPointF cursor = event->position();
    const QPointF anchor = fromScreen(cursor);
    scale = std::clamp(scale * std::pow(1.0015, event->angleDelta().y()), 1e-5, 100.0);
    centre = QPointF(anchor.x() - (cursor.x() - width() / 2.0) / scale,
                     anchor.y() + (cursor.y() - height() / 2.0) / scale);
    userMoved = true;
    update();
    event->accept();
}

void LocatePlot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        return QWidget::mousePressEvent(event);
    }
    dragging = true;
    dragFrom = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void LocatePlot::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging) {
        return QWidget::mouseMoveEvent(event);
    }
    const QPointF moved = event->position() - dragFrom;
    dragFrom = event->position();
    centre += QPointF(-moved.x() / scale, moved.y() / scale);
    userMoved = true;
    update();
}

void LocatePlot::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    unsetCursor();
    QWidget::mouseReleaseEvent(event);
}

void LocatePlot::mouseDoubleClickEvent(QMouseEvent*)
{
    fitView();
}

bool LocatePlot::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const Ray_t* nearest = nullptr;
    double best = tipDistancePx;
    for (const Ray_t& ray : rays) {
        const double distance = distanceToSegment(help->pos(), toScreen(ray.from), toScreen(ray.to));
        if (distance <= best) {
            best = distance;
            nearest = &ray;
        }
    }
    if (nearest) {
        QToolTip::showText(help->globalPos(), Locate::GisExport::describeBearing(shown, nearest->bearing), this);
    } else {
        QToolTip::hideText();
    }
    return true;
}

} // namespace Vantrel::Ui
