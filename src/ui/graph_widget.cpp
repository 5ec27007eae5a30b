#include "ui/graph_widget.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QSvgGenerator>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "collection/plot_navigation.h"
#include "support/file_writer.h"

namespace evkit::app {

QColor dosColor(int index) {
    static constexpr std::array<QRgb, 16> kPalette = {
        0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
        0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    if (index == -1) return QColor(Qt::transparent);
    if (index < 0 || index > 15) return QColor(Qt::black);
    return QColor(kPalette[static_cast<std::size_t>(index)]);
}

namespace {

// Curves with many points are drawn without antialiasing: the difference cannot be seen
// and drawing stays fast.
constexpr int kAntialiasLimit = 8192;
// Pixels the mouse may move between press and release for a click.
constexpr int kClickSlack = 4;
// Pixels from the cursor's vertical line within which a press grabs the cursor.
constexpr double kCursorGrab = 5.0;
// Bar plots with more bins than this are drawn as vertical lines.
constexpr int kDenseBars = 1500;

template <class Container>
int nearestIndex(const Container& data, double key) {
    if (data.isEmpty()) return -1;
    auto it = data.findBegin(key, false);  // first point with a key >= key
    const auto begin = data.constBegin();
    const auto end = data.constEnd();
    if (it == end) return static_cast<int>(data.size()) - 1;
    if (it == begin) return 0;
    const auto before = it - 1;
    return (key - before->key <= it->key - key) ? static_cast<int>(before - begin)
                                                : static_cast<int>(it - begin);
}

}  // namespace

GraphWidget::GraphWidget(QWidget* parent) : QCustomPlot(parent) {
    setBackground(Qt::white);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(480, 320);

    QFont tickFont = font();
    tickFont.setPointSizeF(std::max(8.0, tickFont.pointSizeF() - 0.5));
    QFont labelFont = font();
    labelFont.setBold(true);
    const QPen gridPen(QColor(205, 208, 214), 0, Qt::DotLine);
    for (QCPAxis* axis : {xAxis, yAxis}) {
        axis->setTickLabelFont(tickFont);
        axis->setLabelFont(labelFont);
        axis->grid()->setPen(gridPen);
        axis->grid()->setZeroLinePen(QPen(QColor(160, 164, 172), 0));
        axis->setBasePen(QPen(QColor(70, 70, 70), 1));
        // Plain numbers: codes up to 8388608 and frequencies read as they are.
        axis->setNumberFormat("g");
        axis->setNumberPrecision(9);
    }
    // Frame the plot: the upper and right axes repeat the lines without labels.
    axisRect()->setupFullAxesBox(true);
    // Room above the axis rect for the labels of tones at full scale.
    axisRect()->setMinimumMargins(QMargins(20, 26, 20, 10));

    addLayer("markers", layer("grid"), QCustomPlot::limAbove);
    addLayer("labels", layer("main"), QCustomPlot::limAbove);
    addLayer("cursor", layer("labels"), QCustomPlot::limAbove);
    markerLayer_ = layer("markers");
    labelLayer_ = layer("labels");
    cursorLayer_ = layer("cursor");

    const QPen cursorPen(QColor(40, 40, 40), 1, Qt::DashLine);
    cursorV_ = new QCPItemStraightLine(this);
    cursorH_ = new QCPItemStraightLine(this);
    cursorMark_ = new QCPItemTracer(this);
    for (QCPAbstractItem* item :
         std::initializer_list<QCPAbstractItem*>{cursorV_, cursorH_, cursorMark_}) {
        item->setLayer(cursorLayer_);
        item->setSelectable(false);
    }
    cursorV_->setPen(cursorPen);
    cursorH_->setPen(cursorPen);
    cursorMark_->setPen(QPen(QColor(20, 20, 20), 1.5));
    cursorMark_->setBrush(Qt::NoBrush);

    legend->setVisible(false);
    legend->setBrush(QColor(255, 255, 255, 220));
    legend->setBorderPen(QPen(QColor(160, 160, 160)));
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

    setAxisRanges(0.0, 1.0, -1.0, 1.0);
    updateCursorItems();
}

void GraphWidget::deletePlots() {
    clearPlottables();
    for (int i = itemCount() - 1; i >= 0; --i) {
        QCPAbstractItem* it = item(i);
        if (it != cursorV_ && it != cursorH_ && it != cursorMark_) removeItem(it);
    }
    snapTargets_.clear();
    legend->setVisible(false);
    replot(rpQueuedReplot);
}

void GraphWidget::setAxisRanges(double xMin, double xMax, double yMin, double yMax) {
    xAxis->setRange(xMin, xMax);
    yAxis->setRange(yMin, yMax);
    xAxis2->setRange(xMin, xMax);
    yAxis2->setRange(yMin, yMax);
    replot(rpQueuedReplot);
}

void GraphWidget::setXRange(double lo, double hi) {
    xAxis->setRange(lo, hi);
    xAxis2->setRange(lo, hi);
}

void GraphWidget::autoScaleY() {
    bool found = false;
    QCPRange all;
    for (int i = 0; i < plottableCount(); ++i) {
        bool ok = false;
        const QCPRange r = plottable(i)->getValueRange(ok);
        if (!ok) continue;
        all = found ? QCPRange(std::min(all.lower, r.lower), std::max(all.upper, r.upper)) : r;
        found = true;
    }
    if (!found) return;
    const double pad = std::max(all.size() * 0.05, 0.5);
    yAxis->setRange(std::min(0.0, all.lower), all.upper + pad);
    yAxis2->setRange(yAxis->range());
}

void GraphWidget::setYTickStep(double step, double origin) {
    if (step > 0.0) {
        auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
        ticker->setTickStep(step);
        ticker->setTickOrigin(origin);
        ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        yAxis->setTicker(ticker);
    } else {
        yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    }
    yAxis2->setTicker(yAxis->ticker());
}

void GraphWidget::setAxisLabels(const QString& x, const QString& y) {
    xAxis->setLabel(x);
    yAxis->setLabel(y);
}

void GraphWidget::setTitle(const QString& title) {
    if (!title_) {
        plotLayout()->insertRow(0);
        title_ = new QCPTextElement(this, QString(),
                                    QFont(font().family(), font().pointSize() + 1, QFont::Bold));
        title_->setMargins(QMargins(4, 4, 4, 0));
        plotLayout()->addElement(0, 0, title_);
    }
    title_->setText(title);
}

void GraphWidget::setIntegerTicks(bool on) {
    if (!on) {
        // Back to the default ticks on X; the Y ticks follow setYTickStep.
        if (qSharedPointerDynamicCast<QCPAxisTickerFixed>(xAxis->ticker())) {
            xAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
            yAxis->setTicker(QSharedPointer<QCPAxisTicker>::create());
            yAxis2->setTicker(yAxis->ticker());
        }
        return;
    }
    for (QCPAxis* axis : {xAxis, yAxis}) {
        auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
        ticker->setTickStep(1.0);
        ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        axis->setTicker(ticker);
    }
    yAxis2->setTicker(yAxis->ticker());
}

QString GraphWidget::title() const {
    return title_ ? title_->text() : QString();
}

QCPGraph* GraphWidget::plotXY(std::span<const double> x, std::span<const double> y,
                              const QColor& colour, LineStyle style, bool snap, const QString& name,
                              double width) {
    const std::size_t n = std::min(x.size(), y.size());
    QVector<QCPGraphData> data(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i) data[static_cast<qsizetype>(i)] = QCPGraphData(x[i], y[i]);
    QCPGraph* g = addGraph();
    g->data()->set(data, true);
    QPen pen(colour, width);
    if (style == LineStyle::Dotted) pen.setStyle(Qt::DotLine);
    g->setPen(pen);
    g->setLineStyle(QCPGraph::lsLine);
    g->setAntialiased(n <= static_cast<std::size_t>(kAntialiasLimit));
    g->setName(name);
    g->setSelectable(QCP::stNone);
    if (name.isEmpty()) g->removeFromLegend();
    if (snap) snapTargets_.emplace_back(g);
    return g;
}

QCPGraph* GraphWidget::plotCodes(std::span<const std::int32_t> y, const QColor& colour,
                                 LineStyle style, bool snap, const QString& name) {
    QVector<QCPGraphData> data(static_cast<qsizetype>(y.size()));
    for (std::size_t i = 0; i < y.size(); ++i)
        data[static_cast<qsizetype>(i)] = QCPGraphData(static_cast<double>(i), y[i]);
    QCPGraph* g = addGraph();
    g->data()->set(data, true);
    QPen pen(colour, 1.0);
    if (style == LineStyle::Dotted) pen.setStyle(Qt::DotLine);
    g->setPen(pen);
    g->setAntialiased(y.size() <= static_cast<std::size_t>(kAntialiasLimit));
    g->setName(name);
    g->setSelectable(QCP::stNone);
    if (name.isEmpty()) g->removeFromLegend();
    if (snap) snapTargets_.emplace_back(g);
    return g;
}

QCPAbstractPlottable* GraphWidget::plotBars(std::span<const double> x,
                                            std::span<const std::int32_t> counts, double width,
                                            const QColor& colour) {
    const std::size_t n = std::min(x.size(), counts.size());
    if (n > static_cast<std::size_t>(kDenseBars)) {
        // More bars than pixels: one vertical line per bin, reduced to what each pixel column
        // shows, instead of rectangles thinner than a pixel.
        QVector<QCPGraphData> data(static_cast<qsizetype>(n));
        for (std::size_t i = 0; i < n; ++i)
            data[static_cast<qsizetype>(i)] = QCPGraphData(x[i], counts[i]);
        QCPGraph* g = addGraph();
        g->data()->set(data, true);
        g->setLineStyle(QCPGraph::lsImpulse);
        g->setPen(QPen(colour, 1.0));
        g->setAntialiased(false);
        g->setSelectable(QCP::stNone);
        g->removeFromLegend();
        snapTargets_.emplace_back(g);
        return g;
    }
    QVector<QCPBarsData> data(static_cast<qsizetype>(n));
    for (std::size_t i = 0; i < n; ++i)
        data[static_cast<qsizetype>(i)] = QCPBarsData(x[i], counts[i]);
    auto* bars = new QCPBars(xAxis, yAxis);
    bars->data()->set(data, true);
    bars->setWidth(width);
    bars->setWidthType(QCPBars::wtPlotCoords);
    QColor fill = colour;
    fill.setAlpha(200);
    bars->setBrush(fill);
    bars->setPen(QPen(colour.darker(160), 0.8));
    bars->setSelectable(QCP::stNone);
    bars->removeFromLegend();
    snapTargets_.emplace_back(bars);
    return bars;
}

QCPItemText* GraphWidget::addText(double x, double y, const QString& text, const QColor& colour,
                                  const QColor& background) {
    auto* t = new QCPItemText(this);
    t->setLayer(labelLayer_);
    t->setClipToAxisRect(false);
    t->setSelectable(false);
    t->position->setType(QCPItemPosition::ptPlotCoords);
    t->position->setCoords(x, y);
    t->setPositionAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    t->setText(text);
    QFont f = font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() + 1.0);
    t->setFont(f);
    t->setColor(colour);
    t->setBrush(background);
    t->setPen(Qt::NoPen);
    t->setPadding(QMargins(2, 0, 2, 0));
    return t;
}

QCPItemLine* GraphWidget::addMarkerLine(double x0, double y0, double x1, double y1,
                                        const QColor& colour) {
    auto* line = new QCPItemLine(this);
    line->setLayer(markerLayer_);
    line->setSelectable(false);
    line->start->setCoords(x0, y0);
    line->end->setCoords(x1, y1);
    line->setPen(QPen(colour, 1.0));
    return line;
}

void GraphWidget::showLegend(bool on) {
    legend->setVisible(on);
}

// --- cursor ------------------------------------------------------------------------------

void GraphWidget::setCrossHair(CrossHair style) {
    crossHair_ = style;
    updateCursorItems();
    replot(rpQueuedReplot);
}

void GraphWidget::setCursorPosition(double x, double y) {
    cursor_ = QPointF(x, y);
    updateCursorItems();
    replot(rpQueuedReplot);
}

void GraphWidget::updateCursorItems() {
    const double x = cursor_.x(), y = cursor_.y();
    cursorV_->point1->setCoords(x, 0.0);
    cursorV_->point2->setCoords(x, 1.0);
    cursorH_->point1->setCoords(0.0, y);
    cursorH_->point2->setCoords(1.0, y);
    const bool longCross = crossHair_ == CrossHair::Long;
    cursorV_->setVisible(longCross);
    cursorH_->setVisible(longCross);
    cursorMark_->position->setCoords(x, y);
    cursorMark_->setStyle(longCross ? QCPItemTracer::tsCircle : QCPItemTracer::tsPlus);
    cursorMark_->setSize(longCross ? 9 : 17);
}

QPointF GraphWidget::pixelOf(double x, double y) const {
    return QPointF(xAxis->coordToPixel(x), yAxis->coordToPixel(y));
}

bool GraphWidget::nearestSnapPoint(QPointF pixel, bool byKeyOnly, SnapPoint* out) const {
    const double key = xAxis->pixelToCoord(pixel.x());
    bool found = false;
    double best = 0.0;
    for (const auto& target : snapTargets_) {
        QCPAbstractPlottable* p = target.data();
        if (!p || !p->visible()) continue;
        int index = -1;
        double x = 0.0, y = 0.0;
        if (auto* g = qobject_cast<QCPGraph*>(p)) {
            index = nearestIndex(*g->data(), key);
            if (index >= 0) {
                const auto it = g->data()->at(index);
                x = it->key;
                y = it->value;
            }
        } else if (auto* b = qobject_cast<QCPBars*>(p)) {
            index = nearestIndex(*b->data(), key);
            if (index >= 0) {
                const auto it = b->data()->at(index);
                x = it->key;
                y = it->value;
            }
        }
        if (index < 0) continue;
        const QPointF at = pixelOf(x, y);
        const double dx = at.x() - pixel.x();
        const double dy = byKeyOnly ? 0.0 : at.y() - pixel.y();
        const double d = dx * dx + dy * dy;
        if (!found || d < best) {
            best = d;
            *out = SnapPoint{x, y, index, p};
            found = true;
        }
    }
    return found;
}

bool GraphWidget::snapCursor() {
    // A cursor left outside the view or hugging its edge (where it cannot be seen) comes to
    // the middle of it.
    const QCPRange xr = xAxis->range();
    const double margin = xr.size() * 0.01;
    if (!(cursor_.x() > xr.lower + margin && cursor_.x() < xr.upper - margin))
        cursor_.setX(xr.center());
    SnapPoint s{};
    if (!nearestSnapPoint(pixelOf(cursor_.x(), cursor_.y()), false, &s)) return false;
    setCursorPosition(s.x, s.y);
    return true;
}

void GraphWidget::moveCursorToPixel(QPointF pixel) {
    SnapPoint s{};
    if (cursorMode_ == CursorMode::Snap && nearestSnapPoint(pixel, false, &s))
        cursor_ = QPointF(s.x, s.y);
    else
        cursor_ = QPointF(xAxis->pixelToCoord(pixel.x()), yAxis->pixelToCoord(pixel.y()));
    updateCursorItems();
    replot(rpQueuedReplot);
    emitCursorMoved();
}

void GraphWidget::emitCursorMoved() {
    emit cursorMoved(cursor_.x(), cursor_.y());
}

void GraphWidget::stepCursor(int direction) {
    SnapPoint s{};
    if (cursorMode_ == CursorMode::Snap &&
        nearestSnapPoint(pixelOf(cursor_.x(), cursor_.y()), false, &s)) {
        const int next = s.index + direction;
        if (auto* g = qobject_cast<QCPGraph*>(s.plottable)) {
            if (next < 0 || next >= g->data()->size()) return;
            const auto it = g->data()->at(next);
            cursor_ = QPointF(it->key, it->value);
        } else if (auto* b = qobject_cast<QCPBars*>(s.plottable)) {
            if (next < 0 || next >= b->data()->size()) return;
            const auto it = b->data()->at(next);
            cursor_ = QPointF(it->key, it->value);
        }
    } else {
        const QPointF p = pixelOf(cursor_.x(), cursor_.y()) + QPointF(direction, 0.0);
        cursor_.setX(xAxis->pixelToCoord(p.x()));
    }
    updateCursorItems();
    replot(rpQueuedReplot);
    emitCursorMoved();
}

// --- mouse and keys -----------------------------------------------------------------------

void GraphWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QCustomPlot::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    pressPos_ = event->position().toPoint();
    pressX_ = xAxis->range();
    pressY_ = yAxis->range();
    const double cursorPx = xAxis->coordToPixel(cursor_.x());
    drag_ = std::abs(cursorPx - event->position().x()) <= kCursorGrab &&
                    axisRect()->rect().contains(pressPos_)
                ? Drag::Cursor
                : Drag::Pending;
    event->accept();
}

void GraphWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a quick double click: a press like any other.
    mousePressEvent(event);
}

void GraphWidget::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    switch (drag_) {
        case Drag::Pending:
            if ((pos - pressPos_).manhattanLength() <= kClickSlack) break;
            drag_ = Drag::Pan;
            [[fallthrough]];
        case Drag::Pan: {
            const QRect r = axisRect()->rect();
            if (r.width() <= 0 || r.height() <= 0) break;
            const double dx = (pos.x() - pressPos_.x()) * pressX_.size() / r.width();
            const double dy = (pos.y() - pressPos_.y()) * pressY_.size() / r.height();
            setXRange(pressX_.lower - dx, pressX_.upper - dx);
            yAxis->setRange(pressY_.lower + dy, pressY_.upper + dy);
            yAxis2->setRange(yAxis->range());
            replot(rpQueuedReplot);
            emit viewChangedByUser();
            break;
        }
        case Drag::Cursor:
            moveCursorToPixel(event->position());
            break;
        case Drag::None:
            QCustomPlot::mouseMoveEvent(event);
            break;
    }
}

void GraphWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None) {
        QCustomPlot::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = drag_;
    drag_ = Drag::None;
    if (drag == Drag::Pan) return;
    moveCursorToPixel(event->position());
    emit committed(cursor_.x(), cursor_.y());
}

void GraphWidget::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    const QPointF pos = event->position();
    const QRect r = axisRect()->rect();
    bool zoomX = true, zoomY = true;
    if (event->modifiers() & Qt::ShiftModifier) zoomY = false;
    if (event->modifiers() & Qt::ControlModifier) zoomX = false;
    // Over an axis: that axis only.
    if (pos.y() > r.bottom() && pos.x() >= r.left()) zoomY = false;
    if (pos.x() < r.left() && pos.y() <= r.bottom()) zoomX = false;
    const double factor = collection::wheelZoomFactor(delta);
    if (zoomX) {
        const auto s = collection::scaleAbout({xAxis->range().lower, xAxis->range().upper},
                                              xAxis->pixelToCoord(pos.x()), factor);
        setXRange(s.lo, s.hi);
    }
    if (zoomY) {
        const auto s = collection::scaleAbout({yAxis->range().lower, yAxis->range().upper},
                                              yAxis->pixelToCoord(pos.y()), factor);
        yAxis->setRange(s.lo, s.hi);
        yAxis2->setRange(s.lo, s.hi);
    }
    replot(rpQueuedReplot);
    event->accept();
    emit viewChangedByUser();
}

void GraphWidget::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Left:
            stepCursor(-1);
            break;
        case Qt::Key_Right:
            stepCursor(+1);
            break;
        default:
            QCustomPlot::keyPressEvent(event);
            return;
    }
    event->accept();
}

// --- export -------------------------------------------------------------------------------

bool GraphWidget::exportTo(const QString& path, int width, int height) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const int w = width > 0 ? width : std::max(this->width(), 640);
    const int h = height > 0 ? height : std::max(this->height(), 400);
    if (suffix != "png" && suffix != "pdf" && suffix != "svg") return false;
    // Drawn into a temporary file beside the target, which replaces the target only once
    // complete.
    const auto produce = [&](const std::string& temp) {
        const QString file = QString::fromStdString(temp);
        if (suffix == "png") return savePng(file, w, h, 2.0);
        if (suffix == "pdf") return savePdf(file, w, h);
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(QSize(w, h));
        svg.setViewBox(QRect(0, 0, w, h));
        svg.setTitle(title_ ? title_->text() : QString("Graph"));
        QCPPainter painter;
        if (!painter.begin(&svg)) return false;
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        toPainter(&painter, w, h);
        return painter.end() && QFileInfo(file).size() > 0;
    };
    return writeFileAtomicallyWith(path.toStdString(), QString("." + suffix).toStdString(), produce);
}

void GraphWidget::printTo(QPrinter& printer) {
    QCPPainter painter;
    if (!painter.begin(&printer)) return;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int w = std::max(width(), 640);
    const int h = std::max(height(), 400);
    const double scale = std::min(page.width() / w, page.height() / h);
    painter.scale(scale, scale);
    toPainter(&painter, w, h);
    painter.end();
}

}  // namespace evkit::app
