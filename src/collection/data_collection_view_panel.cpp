// The data collection window's analysis view: the time record, the histogram and the
// spectrum drawn on the graph with their captions, markers and labels, the result displays
// and the cursor readouts.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cmath>

#include "collection/data_collection_panel.h"
#include "collection/plot_navigation.h"
#include "spectrum/more_figures_widget.h"
#include "ui/graph_widget.h"

namespace evkit::app {

using collection::kTestFft;
using collection::kTestHistogram;
using collection::kTestTime;

namespace {

constexpr int kFigureNormal = 11;   // light cyan
constexpr int kFigureWarning = 14;  // yellow

const char* const kWindowNames[] = {"4-term Blackman-Harris", "5-term cosine sum", "Hanning",
                                    "Blackman", "7-term cosine sum"};

}  // namespace

const char* DataCollectionPanel::windowName(int window) {
    return window >= 0 && window <= 4 ? kWindowNames[window] : "no";
}

void NumericDisplay::setLabel(const QString& text) {
    label->setText(text);
}

void NumericDisplay::show(double v) {
    // A value that cannot be shown reads 0.
    if (!std::isfinite(v)) v = 0.0;
    const QString full = QString::number(v, 'f', precision);
    // The tooltip always has every digit.
    constexpr int kResultWidth = NumericDisplay::kFitWidth;
    const QFontMetrics metrics(value->font());
    const auto needed = [&](const QString& text) {
        return metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth() + 8;
    };
    QString text = full;
    if (fitValue) {
        // The box keeps one width for every analysis (the window does not re-lay out);
        // a value too long for it is shown with fewer digits.
        value->setFixedWidth(kResultWidth);
        for (int digits : {10, 6})
            if (needed(text) > kResultWidth) text = QString::number(v, 'g', digits);
    }
    value->setText(text);
    value->setCursorPosition(0);
    value->setToolTip(full);
}

void NumericDisplay::setVisible(bool on) {
    label->setVisible(on);
    value->setVisible(on);
}

void NumericDisplay::setColour(const QColor& background) {
    if (!background.isValid()) {
        value->setStyleSheet({});
        return;
    }
    value->setStyleSheet(QString("QLineEdit { background: %1; color: black; font-weight: bold; }")
                             .arg(background.name()));
}

QString DataCollectionPanel::channelName() const {
    const std::string& label = data_->shownChannel == 2 ? data_->buttonlabel2 : data_->buttonlabel1;
    if (diskMode()) return inputFileName();
    return QString::fromStdString(label);
}

QString DataCollectionPanel::rateText() const {
    return QString("%1 Hz").arg(static_cast<double>(ctx_.session.fs), 0, 'f',
                                ctx_.session.fs >= 100.0f ? 0 : 3);
}

void DataCollectionPanel::stampDateTime() {
    const QDateTime now = QDateTime::currentDateTime();
    date_->setText(now.toString("MM-dd-yyyy"));
    time_->setText(now.toString("HH:mm:ss"));
}

void DataCollectionPanel::resetResultColours() {
    for (NumericDisplay& d : results_) d.setColour(QColor());
    more_->clearFigures();
}

void DataCollectionPanel::clearResults() {
    more_->clearFigures();
    for (NumericDisplay& d : results_) {
        d.value->clear();
        d.value->setToolTip({});
        d.setColour(QColor());
    }
}

void DataCollectionPanel::showNoAnalysis(const QString& title, const QString& xLabel,
                                         const QString& yLabel) {
    graph_->deletePlots();
    graph_->setIntegerTicks(false);
    graph_->setTitle(title);
    graph_->setAxisLabels(xLabel, yLabel);
    clearResults();
    graph_->replot();
}

void DataCollectionPanel::setReadouts(int test) {
    if (const auto f = collection::readoutFormat(test)) {
        cursorX_.setLabel(f->xLabel);
        cursorY_.setLabel(f->yLabel);
        cursorX_.setPrecision(f->precision);
        cursorY_.setPrecision(f->precision);
    }
    PLOT();
}

void DataCollectionPanel::PLOT() {
    const QPointF p = graph_->cursorPosition();
    cursorX_.show(p.x());
    cursorY_.show(p.y());
}

void DataCollectionPanel::time_test() {
    const auto block = data_->block();
    const collection::TimeResult r = collection::time_test(block);
    resetResultColours();
    for (int i = 0; i < 3; ++i) results_[static_cast<std::size_t>(i)].setVisible(false);
    for (int i : {3, 4}) {
        results_[static_cast<std::size_t>(i)].setPrecision(0);
        results_[static_cast<std::size_t>(i)].setVisible(true);
    }
    results_[3].setLabel("MAXIMUM");
    results_[4].setLabel("MINIMUM");
    results_[3].show(r.maximum);
    results_[4].show(r.minimum);

    graph_->deletePlots();
    graph_->setYTickStep(0.0);
    // A short record would otherwise get fractional sample indexes and codes as tick labels.
    graph_->setIntegerTicks(block.size() <= 64);
    graph_->setAxisLabels("Sample index", "Code");
    if (haveBlock_)
        graph_->setTitle(QString("Time record \u2014 %1 \u00B7 %2 samples \u00B7 %3")
                             .arg(channelName())
                             .arg(block.size())
                             .arg(rateText()));
    else
        graph_->setTitle("Time record \u2014 no data yet: press Collect to capture a block");
    graph_->setAxisRanges(r.xAxisMin, r.xAxisMax, r.yAxisMin, r.yAxisMax);
    graph_->plotCodes(data_->blockCodes(), dosColor(data_->settings.curv_color));
    graph_->snapCursor();
    stampDateTime();
    setReadouts(kTestTime);
    graph_->replot();
}

void DataCollectionPanel::hist_test() {
    const auto block = data_->block();
    collection::HistResult r = collection::hist_test(block, data_->settings.bin_width);
    resetResultColours();
    for (NumericDisplay& d : results_) d.setVisible(true);
    results_[3].setPrecision(0);
    results_[4].setPrecision(0);
    const std::array<std::pair<const char*, double>, 5> shown = {{{"MEAN", r.mean},
                                                                  {"STD_DEV", r.std_dev},
                                                                  {"VARIANCE", r.variance},
                                                                  {"MAXIMUM", r.maximum},
                                                                  {"MINIMUM", r.minimum}}};
    for (std::size_t i = 0; i < shown.size(); ++i) {
        results_[i].setLabel(shown[i].first);
        results_[i].show(shown[i].second);
    }

    if (!r.binned) {
        ctx_.messages.show(evkit::msg::kErrorTitle, collection::msg::kHistogramTooLarge);
        // The statistics stand; the graph says why it has no bars, and no earlier histogram
        // is left to be saved as if it were this one.
        graph_->deletePlots();
        graph_->setAxisLabels("Code", "Count");
        graph_->setTitle(
            QString("Histogram \u2014 %1 \u00B7 %2 samples \u00B7 distribution too large to bin")
                .arg(channelName())
                .arg(block.size()));
        lastHist_.reset();
    } else {
        graph_->deletePlots();
        graph_->setIntegerTicks(false);
        graph_->setYTickStep(0.0);
        graph_->setAxisLabels("Code", "Count");
        const double width =
            r.bins() > 0 ? (r.maximum + 1.0 - r.minimum) / static_cast<double>(r.bins()) : 1.0;
        graph_->setTitle(
            QString("Histogram \u2014 %1 \u00B7 %2 samples \u00B7 %3 bin(s) of %4 codes")
                .arg(channelName())
                .arg(block.size())
                .arg(r.bins())
                .arg(width, 0, 'g', 6));
        graph_->plotBars(r.axis, r.counts, width, dosColor(data_->settings.curv_color));
        graph_->setXRange(r.xAxisMin, r.xAxisMax);
        graph_->autoScaleY();
        graph_->snapCursor();
        stampDateTime();
        lastHist_ = std::move(r);
        lastHistSamples_ = static_cast<int>(block.size());
    }
    setReadouts(kTestHistogram);
    graph_->replot();
}

void DataCollectionPanel::freqTestInMemory() {
    if (!haveBlock_) {
        // Nothing captured yet: an empty block has no spectrum to show.
        showNoAnalysis("Spectrum \u2014 no data yet: press Collect to capture a block",
                       "Frequency (Hz)", "Magnitude (dB re full scale)");
        status_->setText("No data yet: press Collect to capture a block for the FFT.");
        stampDateTime();
        setReadouts(kTestFft);
        return;
    }
    spectrum::FftObserver observer;
    observer.spectrum = [this](const spectrum::SpectrumResult& r) { drawSpectrum(r); };
    fft_.freq_test(fftSettings(), data_->buffers.sample_real, ctx_.messages, observer);
    if (fft_.outcome() != spectrum::FftOutcome::kAnalysed) {
        // Refused: no spectrum to show, and no plot or figure of another analysis under
        // these captions.
        showNoAnalysis(QString("Spectrum \u2014 %1 samples are too few for the FFT")
                           .arg(data_->settings.samples),
                       "Frequency (Hz)", "Magnitude (dB re full scale)");
    }
    averageCount_->setValue(1);
    showSpectrumCaptions();
}

void DataCollectionPanel::showSpectrumCaptions() {
    averageLabel_->setText("# of Averages");
    stampDateTime();
    setReadouts(kTestFft);
    graph_->replot();
}

void DataCollectionPanel::showFigures(const spectrum::FftStats& stats) {
    for (int i : {0, 1, 2, 4}) results_[static_cast<std::size_t>(i)].setVisible(true);
    results_[3].setVisible(true);
    results_[3].setPrecision(2);
    results_[4].setPrecision(3);
    const std::array<const char*, 5> labels = {"S/PN", "SINAD", "S/D", "SNR", "FS-PdB"};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        results_[i].setLabel(labels[i]);
        results_[i].setColour(dosColor(stats.warning ? kFigureWarning : kFigureNormal));
    }
    const auto& f = stats.figures;
    results_[1].show(f.sinad);
    results_[0].show(f.spn);
    results_[3].show(f.snr);
    results_[2].show(f.sd);
    results_[4].show(f.fsPdB);
    const QString why = stats.fundamentalTooLow    ? "fundamental too low"
                        : stats.fundamentalTooHigh ? "fundamental too high"
                                                   : "a band was cut";
    for (NumericDisplay& d : results_)
        d.value->setToolTip(d.value->toolTip() + (stats.warning
                                                      ? QString(" dB \u2014 warning: %1").arg(why)
                                                      : QString(" dB")));
}

void DataCollectionPanel::drawSpectrum(const spectrum::SpectrumResult& r) {
    graph_->deletePlots();
    graph_->setIntegerTicks(false);
    graph_->setAxisLabels("Frequency (Hz)", "Magnitude (dB re full scale)");
    const int windowIndex = r.window;
    graph_->setTitle(
        QString("Spectrum \u2014 %1 \u00B7 %2 samples \u00B7 %3 window \u00B7 average %4 of %5 "
                "\u00B7 fundamental %6 Hz")
            .arg(channelName())
            .arg(r.samples)
            .arg(windowName(windowIndex))
            .arg(r.block)
            .arg(r.blocks)
            .arg(r.fundamentalHz(), 0, 'f', 2));
    if (r.axis) {
        graph_->setAxisRanges(r.axis->xMin, r.axis->xMax, r.axis->yMin, r.axis->yMax);
        graph_->setYTickStep(20.0);
    }
    showFigures(r.stats);
    more_->showFigures(r.more);

    if (r.plotError()) {
        graph_->deletePlots();  // the core has said "Plotting Error"
    } else {
        const QColor curve = dosColor(data_->settings.curv_color);
        // Markers lie on their own layer under the curves, labels above them.
        for (const auto& m : r.annotation.markers)
            graph_->addMarkerLine(m.x, m.y0, m.x, m.y1,
                                  m.colour == spectrum::kFundamentalMarkerColour
                                      ? QColor(Qt::red)
                                      : QColor(Qt::black));
        // The newest block alone is drawn first, under the average, only when asked for:
        // its noise hides the averaged floor. The cursor snaps to the average only.
        if (!r.newestPlotError()) {
            newestCurve_ = graph_->plotXY(r.newest.freq, r.newest.db, QColor(128, 128, 128),
                                          LineStyle::Solid, false);
            newestCurve_->setVisible(showNewest_->isChecked());
        }
        graph_->plotXY(r.spectrum.freq, r.spectrum.db, curve, LineStyle::Solid, true);
        for (const auto& l : r.annotation.labels) {
            QCPItemText* t = graph_->addText(l.x, l.y, QString::fromStdString(l.text), dosColor(0),
                                             dosColor(-1));
            t->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        }
        graph_->setCursorPosition(r.annotation.cursorX, r.annotation.cursorY);
    }
    PLOT();
    averageCount_->setValue(r.block);
    averageLabel_->setText("# of Averages");
    graph_->replot(QCustomPlot::rpImmediateRefresh);
}

void DataCollectionPanel::showNewestBlock(bool on) {
    if (!newestCurve_) return;
    newestCurve_->setVisible(on);
    graph_->replot();
}

void DataCollectionPanel::OVERLAY() {
    if (running_ || diskMode()) return;
    const int samples = std::clamp(data_->settings.samples, 0, collection::kMaxCaptureSamples);
    const collection::OverlayView v =
        collection::overlayView(data_->buffers.raw_data, samples, data_->settings.channels);
    results_[3].setPrecision(0);
    results_[4].setPrecision(0);
    results_[3].show(v.maximum);
    results_[4].show(v.minimum);

    graph_->deletePlots();
    graph_->setYTickStep(0.0);
    graph_->setIntegerTicks(samples <= 64);
    graph_->setAxisLabels("Sample index", "Code");
    graph_->setTitle(QString("Overlay \u2014 %1 and %2 \u00B7 %3 samples \u00B7 %4")
                         .arg(QString::fromStdString(data_->buttonlabel1),
                              QString::fromStdString(data_->buttonlabel2))
                         .arg(samples)
                         .arg(rateText()));
    graph_->setAxisRanges(v.axes.xMin, v.axes.xMax, v.axes.yMin, v.axes.yMax);
    const auto n = static_cast<std::size_t>(samples);
    graph_->plotCodes(std::span<const std::int32_t>(data_->buffers.channel2_data).first(n),
                      dosColor(collection::kChannel2Colour), LineStyle::Dotted, true,
                      QString::fromStdString(data_->buttonlabel2));
    graph_->plotCodes(std::span<const std::int32_t>(data_->buffers.channel1_data).first(n),
                      dosColor(collection::kChannel1Colour), LineStyle::Dotted, true,
                      QString::fromStdString(data_->buttonlabel1));
    graph_->showLegend(true);
    graph_->snapCursor();
    stampDateTime();
    setReadouts(kTestTime);
    graph_->replot();
}

}  // namespace evkit::app
