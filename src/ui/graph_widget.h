#pragma once
// The program's graph: a QCustomPlot with the operations the analysis windows draw with
// (curves in the 16-colour palette, bars, text items, line markers, fixed axis ranges),
// graph cursor 1 (snap-to-point or free, long or short cross-hair), mouse navigation (wheel
// zoom, drag pan, click = commit) and export (PNG, PDF, SVG, printer).
#include <qcustomplot.h>

#include <QColor>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

class QPrinter;

namespace evkit::app {

// Colour of a 16-colour palette index (0 black .. 15 white); -1 is transparent. Indices
// outside -1..15 give black.
QColor dosColor(int index);

enum class LineStyle { Solid, Dotted };
enum class CursorMode { Snap, Free };
enum class CrossHair { Long, Short };

class GraphWidget : public QCustomPlot {
    Q_OBJECT
  public:
    explicit GraphWidget(QWidget* parent = nullptr);

    // Removes every curve, bar plot, text and marker; the cursor stays where it is.
    void deletePlots();
    // Fixed axis ranges.
    void setAxisRanges(double xMin, double xMax, double yMin, double yMax);
    void setXRange(double lo, double hi);
    // Y axis scaled to the data of every plot (bars from zero).
    void autoScaleY();
    // Y ticks every `step` units starting at `origin`; step 0 returns to automatic ticks.
    void setYTickStep(double step, double origin = 0.0);
    void setAxisLabels(const QString& x, const QString& y);
    void setTitle(const QString& title);
    QString title() const;
    // Whole-number tick labels on both axes (sample indexes and codes), or the default ticks.
    void setIntegerTicks(bool on);

    // A curve through every point, in the order given (x ascending). `snap`: the cursor snaps
    // to its points. `name` appears in the legend when one is shown.
    QCPGraph* plotXY(std::span<const double> x, std::span<const double> y, const QColor& colour,
                     LineStyle style = LineStyle::Solid, bool snap = true, const QString& name = {},
                     double width = 1.0);
    // Codes against their index 0..n-1.
    QCPGraph* plotCodes(std::span<const std::int32_t> y, const QColor& colour,
                        LineStyle style = LineStyle::Solid, bool snap = true,
                        const QString& name = {});
    // Vertical bars of the given width centred on x (a QCPBars; with more bins than a plot has
    // pixels, a graph of vertical lines from zero).
    QCPAbstractPlottable* plotBars(std::span<const double> x, std::span<const std::int32_t> counts, double width,
                      const QColor& colour);
    // A text centred at (x, y) in plot coordinates; it is drawn even outside the axis rect.
    QCPItemText* addText(double x, double y, const QString& text, const QColor& colour,
                         const QColor& background = Qt::transparent);
    // A line between two points in plot coordinates, on the marker layer below the curves.
    QCPItemLine* addMarkerLine(double x0, double y0, double x1, double y1, const QColor& colour);
    void showLegend(bool on);

    // --- cursor 1 -----------------------------------------------------------------------
    void setCursorMode(CursorMode mode) { cursorMode_ = mode; }
    CursorMode cursorMode() const { return cursorMode_; }
    void setCrossHair(CrossHair style);
    CrossHair crossHair() const { return crossHair_; }
    // Puts the cursor at (x, y) as given (no snap, no signal).
    void setCursorPosition(double x, double y);
    QPointF cursorPosition() const { return cursor_; }
    // Snaps the cursor to the snap point nearest its x; false when nothing can be snapped to.
    bool snapCursor();
    // Moves the cursor as a click at this widget position would (snap or free) and emits
    // cursorMoved.
    void moveCursorToPixel(QPointF pixel);
    // Widget position of a point in plot coordinates.
    QPointF pixelOf(double x, double y) const;

    // --- export -------------------------------------------------------------------------
    // By the file's extension: .png, .pdf or .svg. False for another extension or a failed
    // write.
    bool exportTo(const QString& path, int width = 0, int height = 0);
    // Draws the graph on the printer's page, scaled to fit it with its aspect kept.
    void printTo(QPrinter& printer);

  signals:
    // The cursor was moved by the user (value changed).
    void cursorMoved(double x, double y);
    // A click on the graph (commit event), after the cursor has moved to it.
    void committed(double x, double y);
    // The user zoomed with the wheel or panned by dragging.
    void viewChangedByUser();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct SnapPoint {
        double x, y;
        int index;
        QCPAbstractPlottable* plottable;
    };
    bool nearestSnapPoint(QPointF pixel, bool byKeyOnly, SnapPoint* out) const;
    void stepCursor(int direction);
    void updateCursorItems();
    void emitCursorMoved();

    CursorMode cursorMode_ = CursorMode::Snap;
    CrossHair crossHair_ = CrossHair::Long;
    QPointF cursor_{0.0, 0.0};
    QCPItemStraightLine* cursorV_ = nullptr;
    QCPItemStraightLine* cursorH_ = nullptr;
    QCPItemTracer* cursorMark_ = nullptr;
    QCPTextElement* title_ = nullptr;
    std::vector<QPointer<QCPAbstractPlottable>> snapTargets_;
    QCPLayer* markerLayer_ = nullptr;
    QCPLayer* labelLayer_ = nullptr;
    QCPLayer* cursorLayer_ = nullptr;

    enum class Drag { None, Pending, Pan, Cursor };
    Drag drag_ = Drag::None;
    QPoint pressPos_;
    QCPRange pressX_, pressY_;
};

}  // namespace evkit::app
