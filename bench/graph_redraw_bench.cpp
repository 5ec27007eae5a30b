// Redrawing the data window's graph: a 32768-point time record and a 32768-point spectrum
// (16385 bins with labels and markers), drawn afresh and replotted, on the offscreen
// platform. The budget is well under 100 ms per redraw.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "ui/graph_widget.h"
#include "spectrum/freq_test.h"
#include "support/messages.h"

namespace {

using evkit::app::GraphWidget;

QApplication& app() {
    static int argc = 1;
    static char name[] = "bench_graph_redraw";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> a = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *a;
}

std::vector<std::int32_t> codes(int n) {
    std::vector<std::int32_t> c(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        c[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(
            std::lround(4e6 * std::sin(2.0 * std::numbers::pi * 50.0 * i / 4000.0) +
                        ((i * 7919) % 2001 - 1000)));
    return c;
}

void BM_TimeViewRedraw(benchmark::State& state) {
    app();
    GraphWidget g;
    g.resize(1000, 620);
    g.show();
    QApplication::processEvents();
    const auto y = codes(32768);
    for (auto _ : state) {
        g.deletePlots();
        g.setAxisRanges(0.0, 32768.0, -4.1e6, 4.1e6);
        g.plotCodes(y, evkit::app::dosColor(13));
        g.snapCursor();
        g.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_TimeViewRedraw)->Unit(benchmark::kMillisecond);

void BM_FftViewRedraw(benchmark::State& state) {
    app();
    const auto y = codes(32768);
    const std::vector<double> block(y.begin(), y.end());
    evkit::spectrum::FftTest test;
    evkit::RecordingMessages messages;
    evkit::spectrum::FftTestSettings s;
    s.samples = 32768;
    s.fs = 4000.0;
    test.freq_test(s, block, messages);
    const auto& r = *test.last();
    GraphWidget g;
    g.resize(1000, 620);
    g.show();
    QApplication::processEvents();
    for (auto _ : state) {
        g.deletePlots();
        g.setAxisRanges(r.axis->xMin, r.axis->xMax, r.axis->yMin, r.axis->yMax);
        g.setYTickStep(20.0);
        for (const auto& m : r.annotation.markers)
            g.addMarkerLine(m.x, m.y0, m.x, m.y1, m.colour ? QColor(Qt::red) : QColor(Qt::black));
        g.plotXY(r.spectrum.freq, r.spectrum.db, evkit::app::dosColor(13));
        for (const auto& l : r.annotation.labels)
            g.addText(l.x, l.y, QString::fromStdString(l.text), Qt::black);
        g.setCursorPosition(r.annotation.cursorX, r.annotation.cursorY);
        g.replot(QCustomPlot::rpImmediateRefresh);
    }
}
BENCHMARK(BM_FftViewRedraw)->Unit(benchmark::kMillisecond);

}  // namespace
