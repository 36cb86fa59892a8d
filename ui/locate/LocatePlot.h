#pragma once

#include <QPolygonF>
#include <QWidget>
#include <memory>

#include "locate/LocalFrame.h"
#include "locate/SearchLog.h"

namespace Vantrel::Ui {

// A map of one platform's search on a plane around it: the receiver's track, the
// bearing rays (down-weighted ones grey and dashed), the fix in its 95 % ellipse,
// the positions the platform sent, a scale bar and a north arrow. The wheel zooms
// around the cursor, dragging pans, a double click fits everything in.
class LocatePlot : public QWidget
{
    Q_OBJECT
public:
    explicit LocatePlot(QWidget* parent = nullptr);

    // Shows the platform (nullptr: none). The view stays where the user put it while
    // the same platform grows; another platform is fitted.
    void setPlatform(const Locate::SearchLog::Platform_t* platform, double offsetDeg);
    void fitView();

    QSize sizeHint() const override { return {480, 360}; }

    static constexpr int maxRays = 1500;

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
    };

    QPointF toPlane(double latitude, double longitude) const;
    QPointF toScreen(const QPointF& plane) const;
    QPointF fromScreen(const QPointF& screen) const;
    void drawScaleBar(QPainter& painter) const;
    void drawNorthArrow(QPainter& painter) const;
    void drawLegend(QPainter& painter) const;

    Locate::SearchLog::Platform_t shown;  // shares the log's data: tooltips are made on demand
    std::unique_ptr<Locate::LocalFrame> frame;  // on the platform's first bearing: stable while it grows
    QPolygonF track;
    QVector<Ray_t> rays;
    QPolygonF ellipse;
    QPointF fix;
    bool hasFix = false;
    int stride = 1;
    QString emptyText;
    QVector<QPointF> sent;

    double scale = 0.05;  // pixels per metre
    QPointF centre;       // plane metres at the middle of the widget
    bool userMoved = false;
    bool dragging = false;
    QPointF dragFrom;
};

} // namespace Vantrel::Ui
