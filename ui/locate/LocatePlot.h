#pragma once

#include <QMap>
#include <QPainterPath>
#include <QPointer>
#include <QPolygonF>
#include <QWidget>
#include <functional>
#include <memory>

#include "locate/LocalFrame.h"
#include "locate/ReceiverTrack.h"
#include "locate/SearchLog.h"

namespace Vantrel::Maps {
class BaseMap;
}

namespace Vantrel::Ui {

// A map of one platform's search on a plane around it: the receiver's track, broken
// where it jumps, the bearing rays (down-weighted ones grey and dashed), the fix in
// its 95 % ellipse, the receiver now with its heading and the way to the fix, the
// positions the platform sent, a drifting platform's track to its position now, the
// 95 % region where it departs from the ellipse, the next leg to drive, a scale bar,
// a north arrow and a legend. The wheel
// zooms around the cursor, dragging pans, a double click fits the search in.
// What is drawn is a list of layers painted in turn, each with its legend lines.
class LocateAnalysis;

class LocatePlot : public QWidget
{
    Q_OBJECT
public:
    // Which bearings are shown: [fromMs, toMs] (0: open); those from recentFromMs on are
    // the current search, which a fit frames with the fix.
    struct Scope_t
    {
        qint64 fromMs = 0;
        qint64 toMs = 0;
        qint64 recentFromMs = 0;
        Locate::TrackLimits_t track;
        // The offset added to each receiver's bearings, in the platform's receivers' order;
        // the one given beside, for those missing.
        QVector<double> receiverOffsetsDeg;
    };

    explicit LocatePlot(QWidget* parent = nullptr);

    // Shows the platform (nullptr: none) with what the analysis made of it, when given.
    // The view stays where the user put it while the same platform grows; another
    // platform is fitted.
    void setPlatform(const Locate::SearchLog::Platform_t* platform, double offsetDeg, const Scope_t& scope,
                     const LocateAnalysis* analysis = nullptr);
    // Frames the fix, its ellipse and the current search's track.
    void fitView();
    // The tiles drawn under the search (nullptr: none); not owned.
    void setBaseMap(Maps::BaseMap* map);
    // The view's corners and edge middles in degrees (x: longitude, unwrapped around the
    // middle's, y: latitude), and its ground metres per pixel; false with no platform.
    bool viewBox(QRectF* box, double* metresPerPx) const;

    // Whether the point is inside the view.
    bool shows(double latitude, double longitude) const;
    // Whether the ellipse is too small to see at this zoom, so a mark of fixed size stands for it.
    bool ellipseMarked() const;
    // Where the legend's lines go, in widget pixels, the note on thinned rays last.
    QVector<QRectF> legendRows() const;
    // The legend's texts, in its order.
    QStringList legendTexts() const;
    int trackPieces() const { return int(track.size()); }
    // The team name shown beside each receiver's serial number in the legend.
    void setReceiverNames(const QMap<QString, QString>& names);
    // The colour of the rays of the platform's k-th receiver.
    static QColor bearingsColour(int receiver);

    QSize sizeHint() const override { return {480, 360}; }

    static constexpr int maxRays = 1500;
    static constexpr double smallestEllipsePx = 6.0;
    // Past this the plane is no map of the ground any more: no tiles are drawn.
    static constexpr double widestBaseMapM = 3.0e6;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Ray_t
    {
        QPointF from;
        QPointF to;
        bool downWeighted = false;
        int bearing = 0;  // index in the platform's bearings
        int receiver = 0;  // index in the platform's receivers
    };
    // A line of the legend: its text and the mark drawn before it, centred on a point.
    struct LegendEntry_t
    {
        QString text;
        std::function<void(QPainter&, const QPointF&)> mark;
    };
    // One kind of thing on the map: what it paints and the legend lines it adds.
    struct Layer_t
    {
        void (LocatePlot::*draw)(QPainter&) const;
        void (LocatePlot::*legend)(QVector<LegendEntry_t>&) const;
    };
    static const Layer_t layers[];

    QPointF toPlane(double latitude, double longitude) const;
    QPointF toScreen(const QPointF& plane) const;
    QPointF fromScreen(const QPointF& screen) const;

    void drawBaseMap(QPainter& painter) const;
    void drawAttribution(QPainter& painter) const;
    void drawRays(QPainter& painter) const;
    void drawTrack(QPainter& painter) const;
    void drawFix(QPainter& painter) const;
    void drawWayToFix(QPainter& painter) const;
    void drawReceiver(QPainter& painter) const;
    void drawSent(QPainter& painter) const;
    void drawRegion(QPainter& painter) const;
    void drawDrift(QPainter& painter) const;
    void drawLeg(QPainter& painter) const;
    void legendRays(QVector<LegendEntry_t>& entries) const;
    void legendTrack(QVector<LegendEntry_t>& entries) const;
    void legendFix(QVector<LegendEntry_t>& entries) const;
    void legendReceiver(QVector<LegendEntry_t>& entries) const;
    void legendSent(QVector<LegendEntry_t>& entries) const;
    void legendRegion(QVector<LegendEntry_t>& entries) const;
    void legendDrift(QVector<LegendEntry_t>& entries) const;
    void legendLeg(QVector<LegendEntry_t>& entries) const;

    void drawScaleBar(QPainter& painter) const;
    void drawNorthArrow(QPainter& painter) const;
    QVector<LegendEntry_t> legendEntries() const;
    QString thinnedNote() const;
    void drawLegend(QPainter& painter) const;

    Locate::SearchLog::Platform_t shown;  // shares the log's data: tooltips are made on demand
    std::unique_ptr<Locate::LocalFrame> frame;  // on the platform's first bearing: stable while it grows
    QVector<QPolygonF> track;  // pieces without a jump in time or place
    QPolygonF recent;          // the current search's part of the track
    QVector<Ray_t> rays;
    QPolygonF ellipse;
    QPointF fix;  // the still fix, or the position now of a drifting platform
    double fixSemiMajorM = 0.0;
    bool hasFix = false;
    QPolygonF driftTrack;  // from the first bearing's time to the last; empty when still
    QPainterPath region;   // the 95 % region's outlines, holes included; empty when the ellipse speaks for it
    bool regionOpen = false;  // it runs on past the largest grid
    QPointF legEnd;
    bool hasLeg = false;
    QPointF receiver;
    double headingDeg = 0.0;  // NaN when the receiver has not moved
    QString wayToFix;         // "3.2 km at 045°"
    int stride = 1;
    QString emptyText;
    QMap<QString, QString> receiverNames;
    QVector<QPointF> sent;

    QPointer<Maps::BaseMap> baseMap;
    QMetaObject::Connection baseMapChanged;

    double scale = 0.05;  // pixels per metre
    QPointF centre;       // plane metres at the middle of the widget
    bool userMoved = false;
    bool dragging = false;
    QPointF dragFrom;
};

} // namespace Vantrel::Ui
