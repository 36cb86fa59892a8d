#include "ui/locate/LocatePlot.h"

#include <QHash>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "locate/GisExport.h"
#include "maps/BaseMap.h"
#include "ui/locate/LocateAnalysis.h"

namespace Vantrel::Ui {

namespace {

const QColor trackColour(40, 70, 160);
const QColor rayColour(200, 40, 40);
// Each receiver's bearings in a colour of their own when several heard the platform,
// the first one in the colour of a lone receiver.
const QColor receiverColours[] = {rayColour, QColor(20, 140, 60), QColor(190, 110, 0), QColor(130, 50, 170),
                                  QColor(0, 140, 160), QColor(160, 40, 110)};
const QColor downWeightedColour(150, 150, 150);
const QColor ellipseColour(20, 110, 210);
const QColor sentColour(20, 150, 60);
const QColor receiverColour(220, 110, 0);
const QColor regionColour(120, 60, 170);
const QColor driftColour(120, 0, 140);
const QColor legColour(0, 130, 110);
constexpr double tipDistancePx = 6.0;
constexpr double tileOverlapPx = 0.7;

// A line with an arrow head at its end.
void drawArrow(QPainter& painter, const QPointF& from, const QPointF& to, double headPx)
{
    painter.drawLine(from, to);
    const QPointF along = to - from;
    const double length = std::hypot(along.x(), along.y());
    if (length < 1.0) {
        return;
    }
    const QPointF unit = along / length;
    const QPointF side(-unit.y(), unit.x());
    const double head = std::min(headPx, length);
    painter.save();
    painter.setBrush(painter.pen().color());
    painter.setPen(QPen(painter.pen().color(), 1.0));
    painter.drawPolygon(QPolygonF{to, to - head * unit + 0.45 * head * side, to - head * unit - 0.45 * head * side});
    painter.restore();
}

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    const double t = length2 > 0.0 ? std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0) : 0.0;
    const QPointF d = p - (a + t * ab);
    return std::hypot(d.x(), d.y());
}

// Liang–Barsky: the part [*enter, *leave] of the segment a→b inside the box; false when none.
bool clipSegment(const QPointF& a, const QPointF& b, const QRectF& box, double* enter, double* leave)
{
    const QPointF d = b - a;
    const double p[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) {
                return false;
            }
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            *enter = std::max(*enter, t);
        } else {
            *leave = std::min(*leave, t);
        }
    }
    return *enter <= *leave;
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

const LocatePlot::Layer_t LocatePlot::layers[] = {
    {&LocatePlot::drawBaseMap, nullptr},
    {&LocatePlot::drawRegion, &LocatePlot::legendRegion},
    {&LocatePlot::drawRays, &LocatePlot::legendRays},
    {&LocatePlot::drawTrack, &LocatePlot::legendTrack},
    // The drift track over the positions sent, which show where the platform truly went.
    {&LocatePlot::drawSent, &LocatePlot::legendSent},
    {&LocatePlot::drawDrift, &LocatePlot::legendDrift},
    {&LocatePlot::drawFix, &LocatePlot::legendFix},
    {&LocatePlot::drawWayToFix, nullptr},
    {&LocatePlot::drawLeg, &LocatePlot::legendLeg},
    {&LocatePlot::drawReceiver, &LocatePlot::legendReceiver},
};

void LocatePlot::setPlatform(const Locate::SearchLog::Platform_t* platform, double offsetDeg, const Scope_t& scope,
                             const LocateAnalysis* analysis)
{
    track.clear();
    recent.clear();
    rays.clear();
    ellipse.clear();
    sent.clear();
    wayToFix.clear();
    hasFix = false;
    driftTrack.clear();
    region.clear();
    regionOpen = false;
    hasLeg = false;
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
    QVector<int> inScope;
    inScope.reserve(order.size());
    for (int index : order) {
        const qint64 timeMs = platform->bearings.at(index).timeMs;
        if ((!scope.fromMs || timeMs >= scope.fromMs) && (!scope.toMs || timeMs <= scope.toMs)) {
            inScope.append(index);
        }
    }
    // Past maxRays a map of rays is a smear that takes seconds to paint: every stride-th stands for the others.
    stride = std::max(1, int((inScope.size() + maxRays - 1) / maxRays));
    // Each receiver has its own track: several vehicles' bearings interleave in time.
    QHash<int, int> previousOf;
    QHash<int, int> pieceOf;
    for (int i = 0; i < inScope.size(); ++i) {
        const int index = inScope.at(i);
        const int receiverIndex = platform->receiverIndex.value(index, 0);
        const Locate::Bearing_t& bearing = platform->bearings.at(index);
        const QPointF point = toPlane(bearing.latitude, bearing.longitude);
        const auto previous = previousOf.constFind(receiverIndex);
        if (previous == previousOf.cend() ||
            Locate::trackBreaks(platform->bearings.at(*previous), bearing, scope.track)) {
            pieceOf.insert(receiverIndex, int(track.size()));
            track.append(QPolygonF());
        }
        previousOf.insert(receiverIndex, index);
        track[pieceOf.value(receiverIndex)].append(point);
        if (bearing.timeMs >= scope.recentFromMs) {
            recent.append(point);
        }
        if (i % stride != 0) {
            continue;
        }
        double latitude = 0.0, longitude = 0.0;
        Locate::GisExport::rayEnd(bearing, platform->fix, scope.receiverOffsetsDeg.value(receiverIndex, offsetDeg),
                                  &latitude, &longitude);
        rays.append({point, toPlane(latitude, longitude), platform->downWeighted(index), index, receiverIndex});
    }
    receiver = toPlane(platform->receiverLatitude, platform->receiverLongitude);
    headingDeg =
        Locate::receiverHeading(platform->bearings, platform->timeOrderOf(platform->receiverNow), scope.track);
    // A drifting platform is drawn where it is now, at the end of its track.
    const Locate::Fix_t& result = analysis ? analysis->fix() : platform->fix;
    hasFix = result.ok();
    if (hasFix) {
        fix = toPlane(result.latitude, result.longitude);
        fixSemiMajorM = result.semiMajorM;
        for (const auto& point : Locate::ellipseOutline(result)) {
            ellipse.append(toPlane(point.first, point.second));
        }
        wayToFix = Locate::rangeAndAzimuth(platform->receiverLatitude, platform->receiverLongitude, result.latitude,
                                           result.longitude);
    }
    emptyText = hasFix ? QString() : result.reason;
    if (analysis && analysis->drifting()) {
        for (const Locate::DriftPoint_t& point : analysis->drift().track) {
            driftTrack.append(toPlane(point.latitude, point.longitude));
        }
    }
    if (analysis && analysis->region().departs()) {
        for (const Locate::LikelihoodRegion::Polygon_t& polygon : analysis->region().polygons()) {
            for (const Locate::LikelihoodRegion::Ring_t& ring : polygon) {
                QPolygonF outline;
                for (const auto& [latitude, longitude] : ring) {
                    outline.append(toPlane(latitude, longitude));
                }
                region.addPolygon(outline);
                region.closeSubpath();
            }
        }
        region.setFillRule(Qt::OddEvenFill);
        regionOpen = analysis->region().open();
    }
    if (analysis && analysis->guided()) {
        legEnd = toPlane(analysis->leg().endLatitude, analysis->leg().endLongitude);
        hasLeg = true;
    }
    for (const Locate::SearchLog::PayloadPosition_t& position : platform->payloadPositions) {
        sent.append(toPlane(position.latitude, position.longitude));
    }
    if (!userMoved) {
        fitView();
    }
    update();
}

void LocatePlot::setBaseMap(Maps::BaseMap* map)
{
    disconnect(baseMapChanged);
    baseMap = map;
    if (map) {
        baseMapChanged = connect(map, &Maps::BaseMap::changed, this, qOverload<>(&QWidget::update));
    }
    update();
}

bool LocatePlot::viewBox(QRectF* box, double* metresPerPx) const
{
    if (!frame) {
        return false;
    }
    double middleLatitude = 0.0, middleLongitude = 0.0;
    frame->reverse(centre.x(), centre.y(), &middleLatitude, &middleLongitude);
    double west = middleLongitude, east = middleLongitude, south = middleLatitude, north = middleLatitude;
    for (double across : {0.0, 0.5, 1.0}) {
        for (double down : {0.0, 0.5, 1.0}) {
            const QPointF plane = fromScreen(QPointF(across * width(), down * height()));
            double latitude = 0.0, longitude = 0.0;
            frame->reverse(plane.x(), plane.y(), &latitude, &longitude);
            // Across the date line the longitudes run on past ±180 from the middle's.
            longitude = middleLongitude + std::remainder(longitude - middleLongitude, 360.0);
            west = std::min(west, longitude);
            east = std::max(east, longitude);
            south = std::min(south, latitude);
            north = std::max(north, latitude);
        }
    }
    *box = QRectF(QPointF(west, south), QPointF(east, north));
    *metresPerPx = 1.0 / scale;
    return true;
}

void LocatePlot::fitView()
{
    // Old bearings from far away would shrink the search to a dot: the fix and today's track set the view.
    QPolygonF all = recent;
    if (all.isEmpty()) {
        for (const QPolygonF& piece : track) {
            all << piece;
        }
    }
    if (hasFix) {
        all << ellipse << fix << driftTrack;
        // A region cut off at the grid's edge reaches too far to frame.
        if (!region.isEmpty() && !regionOpen) {
            all << QPolygonF(region.boundingRect());
        }
    } else {
        for (const Ray_t& ray : rays) {
            all << ray.to;
        }
    }
    if (hasLeg) {
        all << legEnd;
    }
    if (all.isEmpty()) {
        return;
    }
    const QRectF bounds = all.boundingRect();
    centre = bounds.center();
    // At least 200 m across, with a margin for the marks at the edges.
    const double spanX = std::max(bounds.width(), 200.0) * 1.15;
    const double spanY = std::max(bounds.height(), 200.0) * 1.15;
    scale = std::min(width() / spanX, height() / spanY);
    userMoved = false;
    update();
}

bool LocatePlot::shows(double latitude, double longitude) const
{
    return frame && QRectF(rect()).contains(toScreen(toPlane(latitude, longitude)));
}

bool LocatePlot::ellipseMarked() const
{
    return hasFix && fixSemiMajorM * scale < smallestEllipsePx;
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
    for (const Layer_t& layer : layers) {
        painter.save();
        (this->*layer.draw)(painter);
        painter.restore();
    }
    drawAttribution(painter);
    drawScaleBar(painter);
    drawNorthArrow(painter);
    drawLegend(painter);
    if (!emptyText.isEmpty()) {
        painter.setPen(Qt::darkRed);
        painter.drawText(rect().adjusted(8, 8, -40, -8), Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap, emptyText);
    }
}

QColor LocatePlot::bearingsColour(int receiver)
{
    constexpr int colours = int(sizeof(receiverColours) / sizeof(receiverColours[0]));
    return receiverColours[std::max(receiver, 0) % colours];
}

void LocatePlot::setReceiverNames(const QMap<QString, QString>& names)
{
    receiverNames = names;
    update();
}

void LocatePlot::drawBaseMap(QPainter& painter) const
{
    QRectF box;
    double metresPerPx = 0.0;
    if (!baseMap || std::hypot(width(), height()) / scale > widestBaseMapM || !viewBox(&box, &metresPerPx)) {
        return;
    }
    // The plane is no Mercator: each tile goes where its four corners fall, which at
    // the scale of a search is right to well under a pixel inside it too.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Maps::BaseMap::Piece_t& piece : baseMap->cover(box, metresPerPx)) {
        QPolygonF corners{toScreen(toPlane(piece.north, piece.west)), toScreen(toPlane(piece.north, piece.east)),
                          toScreen(toPlane(piece.south, piece.east)), toScreen(toPlane(piece.south, piece.west))};
        // Tiles overlap by a pixel: edge to edge, rounding leaves hairlines of background between them.
        const QPointF middle = (corners.at(0) + corners.at(1) + corners.at(2) + corners.at(3)) / 4.0;
        for (QPointF& corner : corners) {
            const QPointF out = corner - middle;
            corner += out * (tileOverlapPx / std::max(1.0, std::hypot(out.x(), out.y())));
        }
        const QRectF& source = piece.source;
        const QPolygonF from{source.topLeft(), source.topRight(), source.bottomRight(), source.bottomLeft()};
        // Where the corners make a parallelogram to a fraction of a pixel, as a tile does
        // at the scale of a search, an affine map from three of them draws it as well and
        // several times faster than the projective one through all four.
        const QPointF bent = corners.at(0) + corners.at(2) - corners.at(1) - corners.at(3);
        QTransform transform;
        if (std::hypot(bent.x(), bent.y()) < 0.25) {
            const QPointF across = (corners.at(1) - corners.at(0)) / source.width();
            const QPointF down = (corners.at(3) - corners.at(0)) / source.height();
            const QPointF origin = corners.at(0) - across * source.left() - down * source.top();
            transform = QTransform(across.x(), across.y(), down.x(), down.y(), origin.x(), origin.y());
        } else if (!QTransform::quadToQuad(from, corners, transform)) {
            continue;
        }
        painter.setTransform(transform);
        painter.drawImage(source, piece.image, source);
    }
}

void LocatePlot::drawAttribution(QPainter& painter) const
{
    if (!baseMap || baseMap->attribution().isEmpty()) {
        return;
    }
    QFont small = painter.font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    painter.setFont(small);
    const QFontMetricsF metrics(small);
    const QRectF text = metrics.boundingRect(QRectF(0, 0, width() / 2.0, height()), Qt::TextWordWrap,
                                             baseMap->attribution());
    // Above the scale bar, at the bottom left.
    const QRectF box(4, height() - 40 - text.height() - 2, text.width() + 6, text.height() + 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 190));
    painter.drawRect(box);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(box.adjusted(3, 1, -3, -1), Qt::TextWordWrap, baseMap->attribution());
}

void LocatePlot::drawRays(QPainter& painter) const
{
    // Down-weighted rays first, so that the ones the fix rests on are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (const Ray_t& ray : rays) {
            if (ray.downWeighted != (pass == 0)) {
                continue;
            }
            painter.setPen(ray.downWeighted ? QPen(downWeightedColour, 1.0, Qt::DashLine)
                                            : QPen(bearingsColour(ray.receiver), 1.2));
            painter.drawLine(toScreen(ray.from), toScreen(ray.to));
        }
    }
}

void LocatePlot::legendRays(QVector<LegendEntry_t>& entries) const
{
    const auto line = [](const QColor& colour) {
        return [colour](QPainter& painter, const QPointF& mark) {
            painter.setPen(QPen(colour, 1.2));
            painter.drawLine(mark - QPointF(9, 0), mark + QPointF(9, 0));
        };
    };
    if (shown.receivers.size() < 2) {
        entries.append({QStringLiteral("bearing"), line(rayColour)});
    } else {
        for (int k = 0; k < shown.receivers.size(); ++k) {
            const QString serial = shown.receivers.at(k);
            const QString name = receiverNames.value(serial);
            const QString who = serial.isEmpty() ? QStringLiteral("an unknown receiver")
                                                 : name.isEmpty() ? serial
                                                                  : QStringLiteral("%1 (%2)").arg(name, serial);
            entries.append({QStringLiteral("bearings of %1").arg(who), line(bearingsColour(k))});
        }
    }
    if (std::any_of(rays.cbegin(), rays.cend(), [](const Ray_t& ray) { return ray.downWeighted; })) {
        entries.append({QStringLiteral("down-weighted"), [](QPainter& painter, const QPointF& mark) {
                            painter.setPen(QPen(downWeightedColour, 1.0, Qt::DashLine));
                            painter.drawLine(mark - QPointF(9, 0), mark + QPointF(9, 0));
                        }});
    }
}

void LocatePlot::drawTrack(QPainter& painter) const
{
    painter.setPen(QPen(trackColour, 2.0));
    painter.setBrush(trackColour);
    for (const QPolygonF& piece : track) {
        QPolygonF screen;
        for (int i = 0; i < piece.size(); i += stride) {
            screen << toScreen(piece.at(i));
        }
        if ((piece.size() - 1) % stride != 0) {
            screen << toScreen(piece.last());
        }
        painter.drawPolyline(screen);
        if (stride == 1) {
            for (const QPointF& point : screen) {
                painter.drawEllipse(point, 2.5, 2.5);
            }
        }
    }
}

void LocatePlot::legendTrack(QVector<LegendEntry_t>& entries) const
{
    entries.append({QStringLiteral("receiver track"), [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(trackColour, 2.0));
                        painter.setBrush(trackColour);
                        painter.drawLine(mark - QPointF(9, 0), mark + QPointF(9, 0));
                        painter.drawEllipse(mark, 2.5, 2.5);
                    }});
}

void LocatePlot::drawFix(QPainter& painter) const
{
    if (!hasFix) {
        return;
    }
    QColor fill = ellipseColour;
    fill.setAlpha(40);
    painter.setBrush(fill);
    painter.setPen(QPen(ellipseColour, 1.5));
    const QPointF at = toScreen(fix);
    if (ellipseMarked()) {
        // Smaller than the cross at this zoom: a ring of fixed size says where it is and its size.
        painter.drawEllipse(at, 12.0, 12.0);
        painter.setPen(ellipseColour.darker());
        const QString size = fixSemiMajorM < 1000.0
                                 ? QStringLiteral("± %1 m").arg(qRound(fixSemiMajorM))
                                 : QStringLiteral("± %1 km").arg(fixSemiMajorM / 1000.0, 0, 'f', 1);
        painter.drawText(at + QPointF(15, -6), size);
    } else {
        QPolygonF screenEllipse;
        for (const QPointF& point : ellipse) {
            screenEllipse << toScreen(point);
        }
        painter.drawPolygon(screenEllipse);
    }
    painter.setPen(QPen(Qt::black, 2.0));
    painter.drawLine(at + QPointF(-7, 0), at + QPointF(7, 0));
    painter.drawLine(at + QPointF(0, -7), at + QPointF(0, 7));
}

void LocatePlot::legendFix(QVector<LegendEntry_t>& entries) const
{
    if (!hasFix) {
        return;
    }
    const QString text = driftTrack.isEmpty() ? QStringLiteral("fix, 95 %") : QStringLiteral("position now, 95 %");
    entries.append({text, [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(ellipseColour, 1.5));
                        painter.drawEllipse(mark, 8, 4);
                        painter.setPen(QPen(Qt::black, 1.5));
                        painter.drawLine(mark - QPointF(4, 0), mark + QPointF(4, 0));
                        painter.drawLine(mark - QPointF(0, 4), mark + QPointF(0, 4));
                    }});
}

void LocatePlot::drawSent(QPainter& painter) const
{
    painter.setPen(QPen(sentColour.darker(), 1.0));
    painter.setBrush(sentColour);
    for (const QPointF& point : sent) {
        const QPointF at = toScreen(point);
        painter.drawPolygon(
            QPolygonF{at + QPointF(0, -5), at + QPointF(5, 0), at + QPointF(0, 5), at + QPointF(-5, 0)});
    }
}

void LocatePlot::legendSent(QVector<LegendEntry_t>& entries) const
{
    if (sent.isEmpty()) {
        return;
    }
    entries.append({QStringLiteral("sent position"), [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(sentColour.darker(), 1.0));
                        painter.setBrush(sentColour);
                        painter.drawPolygon(QPolygonF{mark + QPointF(0, -4), mark + QPointF(4, 0),
                                                      mark + QPointF(0, 4), mark + QPointF(-4, 0)});
                    }});
}

void LocatePlot::drawRegion(QPainter& painter) const
{
    if (region.isEmpty()) {
        return;
    }
    const QTransform toWidget(scale, 0.0, 0.0, -scale, width() / 2.0 - centre.x() * scale,
                              height() / 2.0 + centre.y() * scale);
    QColor fill = regionColour;
    fill.setAlpha(35);
    painter.setBrush(fill);
    painter.setPen(QPen(regionColour, 1.5, Qt::DashLine));
    painter.drawPath(toWidget.map(region));
}

void LocatePlot::legendRegion(QVector<LegendEntry_t>& entries) const
{
    if (region.isEmpty()) {
        return;
    }
    entries.append({regionOpen ? QStringLiteral("95 % region (goes on)") : QStringLiteral("95 % region"),
                    [](QPainter& painter, const QPointF& mark) {
                        QColor fill = regionColour;
                        fill.setAlpha(35);
                        painter.setBrush(fill);
                        painter.setPen(QPen(regionColour, 1.5, Qt::DashLine));
                        painter.drawRect(QRectF(mark - QPointF(9, 5), mark + QPointF(9, 5)));
                    }});
}

void LocatePlot::drawDrift(QPainter& painter) const
{
    if (driftTrack.size() < 2) {
        return;
    }
    QPolygonF screen;
    for (const QPointF& point : driftTrack) {
        screen << toScreen(point);
    }
    // A white casing keeps it apart from the rays it crosses.
    for (const QColor& colour : {QColor(Qt::white), driftColour}) {
        painter.setPen(QPen(colour, colour == driftColour ? 3.0 : 6.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawPolyline(screen);
        drawArrow(painter, screen.at(screen.size() - 2), screen.last(), colour == driftColour ? 14.0 : 17.0);
    }
    painter.setBrush(driftColour);
    painter.drawEllipse(screen.first(), 3.0, 3.0);
}

void LocatePlot::legendDrift(QVector<LegendEntry_t>& entries) const
{
    if (driftTrack.size() < 2) {
        return;
    }
    entries.append({QStringLiteral("drift track"), [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(driftColour, 2.0));
                        drawArrow(painter, mark - QPointF(9, 0), mark + QPointF(9, 0), 7.0);
                    }});
}

void LocatePlot::drawLeg(QPainter& painter) const
{
    if (!hasLeg) {
        return;
    }
    painter.setPen(QPen(legColour, 3.0, Qt::SolidLine, Qt::RoundCap));
    drawArrow(painter, toScreen(receiver), toScreen(legEnd), 16.0);
}

void LocatePlot::legendLeg(QVector<LegendEntry_t>& entries) const
{
    if (!hasLeg) {
        return;
    }
    entries.append({QStringLiteral("next leg"), [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(legColour, 3.0));
                        drawArrow(painter, mark - QPointF(9, 0), mark + QPointF(9, 0), 8.0);
                    }});
}

void LocatePlot::drawWayToFix(QPainter& painter) const
{
    if (!hasFix) {
        return;
    }
    const QPointF from = toScreen(receiver), to = toScreen(fix);
    painter.setPen(QPen(receiverColour, 1.5, Qt::DashDotLine));
    painter.drawLine(from, to);
    // The label sits halfway along the part of the line in view, so that it shows whatever the zoom.
    const QRectF view = QRectF(rect()).adjusted(60, 30, -60, -30);
    double enter = 0.0, leave = 1.0;
    if (!clipSegment(from, to, view, &enter, &leave)) {
        return;
    }
    const QPointF middle = from + (enter + leave) / 2.0 * (to - from);
    const QFontMetricsF metrics(painter.font());
    QRectF box(0, 0, metrics.horizontalAdvance(wayToFix) + 8, metrics.height() + 2);
    box.moveCenter(middle);
    // A short line: the label goes beside it, off the receiver's and the fix's marks.
    const QPointF along = to - from;
    const double length = std::hypot(along.x(), along.y());
    if (length > 0.0 && (box.adjusted(-12, -12, 12, 12).contains(from) || box.adjusted(-12, -12, 12, 12).contains(to))) {
        const QPointF side(-along.y() / length, along.x() / length);
        box.translate(side * (std::fabs(side.x()) * box.width() / 2.0 + std::fabs(side.y()) * box.height() / 2.0 + 14.0));
    }
    painter.setPen(QPen(receiverColour, 1.0));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(receiverColour.darker(150));
    painter.drawText(box, Qt::AlignCenter, wayToFix);
}

void LocatePlot::drawReceiver(QPainter& painter) const
{
    const QPointF at = toScreen(receiver);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(receiverColour);
    if (std::isnan(headingDeg)) {
        painter.drawEllipse(at, 6.0, 6.0);
        return;
    }
    // An arrow head along the heading, its centre on the receiver.
    const double heading = qDegreesToRadians(headingDeg);
    const QPointF ahead(std::sin(heading), -std::cos(heading));
    const QPointF side(-ahead.y(), ahead.x());
    painter.drawPolygon(QPolygonF{at + 11.0 * ahead, at - 7.0 * ahead + 7.0 * side, at - 3.0 * ahead,
                                  at - 7.0 * ahead - 7.0 * side});
}

void LocatePlot::legendReceiver(QVector<LegendEntry_t>& entries) const
{
    entries.append({QStringLiteral("receiver now"), [](QPainter& painter, const QPointF& mark) {
                        painter.setPen(QPen(Qt::white, 1.0));
                        painter.setBrush(receiverColour);
                        painter.drawPolygon(QPolygonF{mark + QPointF(7, 0), mark + QPointF(-5, -5),
                                                      mark + QPointF(-2, 0), mark + QPointF(-5, 5)});
                    }});
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

QVector<LocatePlot::LegendEntry_t> LocatePlot::legendEntries() const
{
    QVector<LegendEntry_t> entries;
    for (const Layer_t& layer : layers) {
        if (layer.legend) {
            (this->*layer.legend)(entries);
        }
    }
    return entries;
}

QStringList LocatePlot::legendTexts() const
{
    QStringList texts;
    for (const LegendEntry_t& entry : legendEntries()) {
        texts << entry.text;
    }
    return texts;
}

QString LocatePlot::thinnedNote() const
{
    return stride > 1 ? QStringLiteral("one bearing in %1 drawn").arg(stride) : QString();
}

QVector<QRectF> LocatePlot::legendRows() const
{
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    QStringList texts = legendTexts();
    int textWidth = 0;
    for (const QString& text : texts) {
        textWidth = std::max(textWidth, metrics.horizontalAdvance(text) + 28);
    }
    // The note takes a line of its own below the entries, without a mark.
    const QString note = thinnedNote();
    if (!note.isEmpty()) {
        texts << note;
        textWidth = std::max(textWidth, metrics.horizontalAdvance(note));
    }
    QVector<QRectF> rows;
    const double left = width() - textWidth - 16, top = height() - texts.size() * line - 8;
    for (int row = 0; row < texts.size(); ++row) {
        rows.append(QRectF(left, top + row * line, textWidth + 4, line));
    }
    return rows;
}

void LocatePlot::drawLegend(QPainter& painter) const
{
    const QVector<LegendEntry_t> entries = legendEntries();
    const QVector<QRectF> rows = legendRows();
    if (rows.isEmpty()) {
        return;
    }
    QRectF box = rows.first();
    for (const QRectF& row : rows) {
        box |= row;
    }
    painter.setPen(QPen(QColor(200, 200, 200)));
    painter.setBrush(QColor(255, 255, 255, 220));
    painter.drawRect(box.adjusted(-6, -4, 4, 4));
    for (int row = 0; row < rows.size(); ++row) {
        const QRectF at = rows.at(row);
        if (row >= entries.size()) {
            painter.setPen(Qt::darkGray);
            painter.drawText(at, Qt::AlignVCenter | Qt::AlignLeft, thinnedNote());
            continue;
        }
        painter.save();
        painter.setBrush(Qt::NoBrush);
        entries.at(row).mark(painter, QPointF(at.left() + 10, at.center().y()));
        painter.restore();
        painter.setPen(Qt::black);
        painter.drawText(at.adjusted(28, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, entries.at(row).text);
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
