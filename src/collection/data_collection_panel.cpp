#include "collection/data_collection_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "ui/graph_widget.h"
#include "collection/collection_settings_window.h"
#include "collection/plot_navigation.h"
#include "collection/save_dialog.h"

namespace evkit::app {

using collection::kTestFft;
using collection::kTestHistogram;
using collection::kTestTime;

namespace {

constexpr int kFigureNormal = 11;   // light cyan
constexpr int kFigureWarning = 14;  // yellow
// Default digits of the result displays whose precision no analysis sets.
constexpr int kResultPrecision = 3;

const char* const kWindowNames[] = {"4-term Blackman-Harris", "5-term cosine sum", "Hanning",
                                    "Blackman", "7-term cosine sum"};

QLineEdit* makeDisplay(QWidget* parent, const QString& name, int width = 110) {
    auto* d = new QLineEdit(parent);
    d->setObjectName(name);
    d->setReadOnly(true);
    d->setFocusPolicy(Qt::NoFocus);
    d->setAlignment(Qt::AlignRight);
    d->setMinimumWidth(width);
    return d;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text,
                        const QString& tip = {}) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    if (!tip.isEmpty()) b->setToolTip(tip);
    return b;
}

QIcon swatch(int dosIndex) {
    QPixmap pm(14, 14);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(dosColor(dosIndex).darker(150)));
    p.setBrush(dosColor(dosIndex));
    p.drawRoundedRect(1, 1, 12, 12, 3, 3);
    return QIcon(pm);
}

// Restores the normal mouse cursor when a long operation ends, however it ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

// --- NumericDisplay -----------------------------------------------------------------------

void NumericDisplay::setLabel(const QString& text) {
    label->setText(text);
}

void NumericDisplay::show(double v) {
    // A value that cannot be shown reads 0.
    if (!std::isfinite(v)) v = 0.0;
    const QString full = QString::number(v, 'f', precision);
    // The box widens to show the whole number; past kWidestResult pixels it shows the value
    // in scientific notation instead. The tooltip always has every digit.
    constexpr int kWidestResult = 200;
    const QFontMetrics metrics(value->font());
    const auto needed = [&](const QString& text) {
        return metrics.horizontalAdvance(text) + 2 * metrics.averageCharWidth() + 8;
    };
    QString text = full;
    if (fitValue) {
        if (needed(full) > kWidestResult) text = QString::number(v, 'g', 10);
        value->setMinimumWidth(
            std::max(value->minimumWidth(), std::min(needed(text), kWidestResult)));
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

// --- construction -------------------------------------------------------------------------

DataCollectionPanel::DataCollectionPanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, kMenuItem, collection::msg::kWindowTitle, parent),
      data_(std::make_unique<collection::DataCollection>(ctx.session)) {
    setObjectName(kPanelName);
    choosePrinter = [this](QPrinter& printer, const QString& title) {
        QPrintDialog dialog(&printer, this);
        dialog.setWindowTitle(title);
        return dialog.exec() == QDialog::Accepted;
    };
    // Progress comes from the reception worker's thread: hand it to this window's thread.
    data_->onProgress = [this](int received, int expected) {
        QMetaObject::invokeMethod(
            this, [this, received, expected] { showCaptureProgress(received, expected); },
            Qt::QueuedConnection);
    };
    buildControls();
    fitToScreen(QSize(1300, 700));
}

DataCollectionPanel::~DataCollectionPanel() {
    data_->onProgress = nullptr;
}

void DataCollectionPanel::buildControls() {
    auto* top = new QHBoxLayout(scrollingContent());

    // Left: the graph with the cursor readouts and the progress line under it.
    auto* left = new QVBoxLayout;
    graph_ = new GraphWidget(this);
    graph_->setObjectName("DATA_GRAPH");
    graph_->setCrossHair(CrossHair::Short);
    left->addWidget(graph_, 1);

    auto* readouts = new QHBoxLayout;
    const auto makeReadout = [this](NumericDisplay& d, const char* name) {
        d.label = new QLabel(this);
        d.label->setObjectName(QString(name) + "_LABEL");
        d.value = makeDisplay(this, name, 120);
        QFont f = d.label->font();
        f.setBold(true);
        d.label->setFont(f);
        // Wide enough for the longest caption ("FREQUENCY").
        d.label->setMinimumWidth(QFontMetrics(f).horizontalAdvance("FREQUENCY") + 6);
    };
    makeReadout(cursorX_, "DATA_CURSOR_X");
    makeReadout(cursorY_, "DATA_CURSOR_Y");
    readouts->addWidget(cursorX_.label);
    readouts->addWidget(cursorX_.value);
    readouts->addSpacing(12);
    readouts->addWidget(cursorY_.label);
    readouts->addWidget(cursorY_.value);
    readouts->addStretch(1);
    auto* hint = new QLabel(
        "Click: cursor \u00B7 drag: pan \u00B7 wheel: zoom (Shift: X only, Ctrl: Y only) \u00B7 "
        "\u2190 \u2192: step the cursor",
        this);
    hint->setStyleSheet("QLabel { color: #666; }");
    // The hint may be cut rather than widen the window past a small screen.
    hint->setMinimumWidth(0);
    hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    hint->setToolTip(hint->text());
    readouts->addWidget(hint, 1);
    left->addLayout(readouts);

    auto* progressRow = new QHBoxLayout;
    progress_ = new QProgressBar(this);
    progress_->setObjectName("DATA_PROGRESS");
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setFormat("Ready");
    progressRow->addWidget(progress_, 1);
    averageLabel_ = new QLabel("# of Averages", this);
    averageLabel_->setObjectName("DATA_AVERAGE_LABEL");
    averageCount_ = new QSpinBox(this);
    averageCount_->setObjectName("DATA_AVERAGE_COUNT");
    averageCount_->setReadOnly(true);
    averageCount_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    averageCount_->setRange(0, 1000000);
    averageCount_->setFocusPolicy(Qt::NoFocus);
    averageCount_->setMinimumWidth(70);
    averageCount_->setAlignment(Qt::AlignRight);
    progressRow->addWidget(averageLabel_);
    progressRow->addWidget(averageCount_);
    date_ = makeDisplay(this, "DATA_DATE", 100);
    time_ = makeDisplay(this, "DATA_TIME", 80);
    date_->setAlignment(Qt::AlignCenter);
    time_->setAlignment(Qt::AlignCenter);
    progressRow->addSpacing(12);
    progressRow->addWidget(date_);
    progressRow->addWidget(time_);
    left->addLayout(progressRow);
    top->addLayout(left, 1);

    // Right: the commands and the results.
    auto* right = new QVBoxLayout;
    auto* runBox = new QGroupBox("Capture", this);
    auto* run = new QGridLayout(runBox);
    test_ = new QComboBox(runBox);
    test_->setObjectName("DATA_TEST");
    test_->addItems({"Time domain", "FFT", "Histogram"});
    test_->setToolTip("Analysis of the captured block");
    collect_ = makeButton(runBox, "DATA_COLLECT", "Collect", "Capture a block and analyse it");
    QFont bold = collect_->font();
    bold.setBold(true);
    collect_->setFont(bold);
    collect_->setMinimumHeight(34);
    stop_ = makeButton(runBox, "DATA_STOP", "Stop averaging",
                       "End the FFT averaging after the block being captured");
    stop_->setVisible(false);
    config_ = makeButton(runBox, "DATA_CONFIG", "Settings\u2026",
                         "Sample count, FFT window and averaging, bin width, quantity pair");
    status_ = new QLabel(runBox);
    status_->setObjectName("DATA_STATUS");
    status_->setWordWrap(true);
    status_->setStyleSheet("QLabel { color: #555; }");
    run->addWidget(new QLabel("Analysis", runBox), 0, 0);
    run->addWidget(test_, 0, 1);
    run->addWidget(collect_, 1, 0, 1, 2);
    run->addWidget(stop_, 2, 0, 1, 2);
    run->addWidget(config_, 3, 0, 1, 2);
    run->addWidget(status_, 4, 0, 1, 2);
    right->addWidget(runBox);

    auto* viewBox = new QGroupBox("View", this);
    auto* view = new QGridLayout(viewBox);
    channels_[0] = makeButton(viewBox, "DATA_CHANNEL_1", collection::kNoDataLabel,
                              "Show channel 1 of the last capture");
    channels_[1] = makeButton(viewBox, "DATA_CHANNEL_2", collection::kNoDataLabel,
                              "Show channel 2 of the last capture");
    channels_[0]->setIcon(swatch(collection::kChannel1Colour));
    channels_[1]->setIcon(swatch(collection::kChannel2Colour));
    for (QPushButton* b : channels_) b->setCheckable(true);
    overlay_ = makeButton(viewBox, "DATA_OVERLAY", "Overlay",
                          "Both channels of the last capture in one time view");
    zoom_ = makeButton(viewBox, "DATA_ZOOM", "ZOOM", "Zoom: click two corners on the graph");
    restore_ = makeButton(viewBox, "DATA_RESTORE", "Restore", "Back to the full analysis view");
    view->addWidget(channels_[0], 0, 0);
    view->addWidget(channels_[1], 0, 1);
    view->addWidget(overlay_, 1, 0, 1, 2);
    view->addWidget(zoom_, 2, 0);
    view->addWidget(restore_, 2, 1);
    right->addWidget(viewBox);

    auto* resultBox = new QGroupBox("Results", this);
    auto* res = new QGridLayout(resultBox);
    for (int i = 0; i < 5; ++i) {
        NumericDisplay& d = results_[static_cast<std::size_t>(i)];
        const QString name = QString("DATA_RESULT_%1").arg(i + 1);
        d.label = new QLabel(resultBox);
        d.label->setObjectName(name + "_LABEL");
        d.value = makeDisplay(resultBox, name, 120);
        d.precision = kResultPrecision;
        d.fitValue = true;
        QFont f = d.value->font();
        f.setPointSizeF(f.pointSizeF() + 1.0);
        d.value->setFont(f);
        res->addWidget(d.label, i, 0);
        res->addWidget(d.value, i, 1);
    }
    right->addWidget(resultBox);

    auto* fileBox = new QGroupBox("Files", this);
    auto* files = new QVBoxLayout(fileBox);
    io_ = makeButton(fileBox, "DATA_IO", "Save / Print\u2026",
                     "Save the capture, spectrum or histogram, or print");
    export_ =
        makeButton(fileBox, "DATA_EXPORT", "Export plot\u2026", "Save the plot as PNG, PDF or SVG");
    boardOnly_ = makeButton(fileBox, "DATA_BOARD_ONLY", "Export samples\u2026",
                            "Write both channels of the last board capture as a text table");
    files->addWidget(io_);
    files->addWidget(export_);
    files->addWidget(boardOnly_);
    right->addWidget(fileBox);
    right->addStretch(1);
    top->addLayout(right, 0);

    connect(test_, qOverload<int>(&QComboBox::activated), this, [this] { GRAPHTYPE(); });
    connect(collect_, &QPushButton::clicked, this, [this] { COLLECT(); });
    connect(config_, &QPushButton::clicked, this, &DataCollectionPanel::CONFIG);
    connect(stop_, &QPushButton::clicked, this, &DataCollectionPanel::STOP);
    connect(channels_[0], &QPushButton::clicked, this, [this] { NEWCHAN(1); });
    connect(channels_[1], &QPushButton::clicked, this, [this] { NEWCHAN(2); });
    connect(overlay_, &QPushButton::clicked, this, &DataCollectionPanel::OVERLAY);
    connect(zoom_, &QPushButton::clicked, this, &DataCollectionPanel::ZOOM);
    connect(restore_, &QPushButton::clicked, this, &DataCollectionPanel::RESTORE);
    connect(io_, &QPushButton::clicked, this, &DataCollectionPanel::DATA_IO);
    connect(export_, &QPushButton::clicked, this, &DataCollectionPanel::exportPlot);
    connect(boardOnly_, &QPushButton::clicked, this, &DataCollectionPanel::cbffiledat);
    connect(graph_, &GraphWidget::cursorMoved, this, [this] { PLOT(); });
    connect(graph_, &GraphWidget::committed, this, &DataCollectionPanel::onGraphCommitted);
    connect(graph_, &GraphWidget::viewChangedByUser, this, [this] { restore_->setVisible(true); });

    restore_->setVisible(false);
    collect_->setEnabled(false);
    results_[0].setVisible(false);
    results_[1].setVisible(false);
    results_[2].setVisible(false);
    results_[3].setLabel("MAXIMUM");
    results_[4].setLabel("MINIMUM");
    setReadouts(kTestTime);
    updateChannelButtons();
}

bool DataCollectionPanel::diskMode() const {
    return ctx_.session.port_number == kPortDisk;
}

// --- opening, closing ---------------------------------------------------------------------

void DataCollectionPanel::COLLECTION() {
    openFromMenu();
}

void DataCollectionPanel::DATAPANEL() {
    close();  // StandingWindow hides and unchecks
}

void DataCollectionPanel::onOpened() {
    setWindowTitle(collection::msg::kWindowTitle);
    cancelZoom();
    restore_->setVisible(false);
    channels_[0]->setVisible(true);
    channels_[1]->setVisible(true);
    if (running_) return;  // reopened while a capture runs: it keeps its state
    if (diskMode()) {
        collect_->setEnabled(true);
        channels_[1]->setEnabled(false);
        channels_[0]->setEnabled(true);
        boardOnly_->setEnabled(false);
        overlay_->setEnabled(false);
    } else {
        // A capture needs confirmed settings first.
        collect_->setEnabled(false);
        boardOnly_->setEnabled(true);
        channels_[0]->setEnabled(true);
        channels_[1]->setEnabled(true);
    }
    data_->clearOnOpen();
    haveBlock_ = false;
    test_->setCurrentIndex(kTestTime);
    status_->setText(
        diskMode() ? QString("Disk mode: %1")
                         .arg(QFileInfo(QString::fromStdString(ctx_.session.input_file)).fileName())
                   : QString("Confirm the settings to enable Collect."));
    updateChannelButtons();
    run_test();
}

void DataCollectionPanel::onClosing() {
    cancelZoom();
}

void DataCollectionPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && zoomStage_ != 0) {
        cancelZoom();
        return;
    }
    StandingWindow::keyPressEvent(event);
}

void DataCollectionPanel::clearDataGraph() {
    graph_->deletePlots();
    graph_->replot();
}

// --- settings ----------------------------------------------------------------------------

void DataCollectionPanel::CONFIG() {
    if (settingsWindow_) {
        // One settings window at a time: a second would store over the first.
        settingsWindow_->show();
        settingsWindow_->raise();
        settingsWindow_->activateWindow();
        return;
    }
    auto* w = new CollectionSettingsWindow(data_->settings, diskMode(), this);
    w->onConfirmed = [this] {
        if (!running_) collect_->setEnabled(true);
        status_->setText(QString("%1 samples per channel \u00B7 %2 window \u00B7 %3 average(s)")
                             .arg(data_->settings.samples)
                             .arg(data_->settings.window >= 0 && data_->settings.window <= 4
                                      ? kWindowNames[data_->settings.window]
                                      : "no")
                             .arg(data_->settings.average));
    };
    settingsWindow_ = w;
    w->show();
    w->raise();
}

// --- capture -----------------------------------------------------------------------------

void DataCollectionPanel::setRunning(bool on) {
    running_ = on;
    for (QWidget* w :
         std::initializer_list<QWidget*>{test_, config_, channels_[0], channels_[1], overlay_,
                                         zoom_, restore_, io_, export_, boardOnly_})
        w->setEnabled(!on);
    stop_->setVisible(false);
    if (!on) {
        // What the source mode dims stays dimmed.
        if (diskMode()) {
            channels_[1]->setEnabled(false);
            overlay_->setEnabled(false);
            boardOnly_->setEnabled(false);
        }
        progress_->setRange(0, 1);
        progress_->setValue(0);
        progress_->setFormat("Ready");
    }
}

void DataCollectionPanel::showCaptureProgress(int received, int expected) {
    if (!running_ || expected <= 0) return;
    if (fftBlocks_ > 0) {
        constexpr int kSteps = 1000;
        progress_->setRange(0, fftBlocks_ * kSteps);
        progress_->setValue((fftBlock_ - 1) * kSteps +
                            static_cast<int>(static_cast<long long>(received) * kSteps / expected));
        progress_->setFormat(QString("Block %1 of %2 \u2014 %3 of %4 values")
                                 .arg(fftBlock_)
                                 .arg(fftBlocks_)
                                 .arg(received)
                                 .arg(expected));
    } else {
        progress_->setRange(0, expected);
        progress_->setValue(received);
        progress_->setFormat(
            QString("Capturing \u2014 %1 of %2 values").arg(received).arg(expected));
    }
}

spectrum::FftTestSettings DataCollectionPanel::fftSettings() const {
    spectrum::FftTestSettings s;
    s.samples = data_->settings.samples;
    s.window = data_->settings.window;
    s.average = data_->settings.average;
    s.fs = ctx_.session.fs;
    s.range = ctx_.session.range;
    return s;
}

int DataCollectionPanel::COLLECT() {
    if (running_) return 0;
    BoardLink& link = ctx_.session.link;
    if (link.busy()) return link.refuseBusy();

    cancelZoom();
    collect_->setEnabled(false);
    setRunning(true);
    BusyCursor busy;
    progress_->setRange(0, 0);
    progress_->setFormat("Starting\u2026");
    graph_->deletePlots();
    graph_->replot();
    link.pump().clearCancel();
    stopRequested_ = false;
    link.processEvents();

    const int test = data_->settings.test;
    int status = data_->collectSequence([&]() -> int {
        const auto afterCapture = [&] {
            haveBlock_ = true;
            updateChannelButtons();
            setWindowTitle(QString::fromStdString(data_->title));
        };
        if (test == kTestTime || test == kTestHistogram) {
            if (const int s = data_->captureBlock(); s != 0) return s;
            afterCapture();
            if (test == kTestTime)
                time_test();
            else
                hist_test();
            return 0;
        }
        if (test == kTestFft) {
            if (diskMode()) {
                // A file holds one block: read it, then analyse it once.
                if (const int s = data_->captureBlock(); s != 0) return s;
                afterCapture();
                freqTestInMemory();
                return 0;
            }
            const spectrum::FftTestSettings settings = fftSettings();  // fs is read by now
            fftBlocks_ = settings.average;
            stop_->setVisible(settings.average > 1);
            stop_->setEnabled(true);
            spectrum::FftObserver observer;
            observer.blockStarting = [this](int block) {
                fftBlock_ = block;
                averageCount_->setValue(block);
                showCaptureProgress(0, 1);
            };
            observer.spectrum = [this](const spectrum::SpectrumResult& r) { drawSpectrum(r); };
            const int s = fft_.freq_test(
                settings,
                [&] {
                    if (stopRequested_) return kStatusCancelled;
                    const int c = data_->captureBlock();
                    if (c == 0) afterCapture();
                    return c;
                },
                data_->buffers.sample_real, ctx_.messages, observer);
            fftBlock_ = fftBlocks_ = 0;
            if (s != 0) return s;
            showSpectrumCaptions();
            return 0;
        }
        return 0;
    });
    fftBlock_ = fftBlocks_ = 0;
    if (status == kStatusCancelled && stopRequested_) {
        // Stopped between blocks: the device still gets its commands after the analysis.
        BoardClaim claim(link, "data collection");
        status = claim.ok() ? data_->afterAnalysis() : kStatusBusy;
        if (status == 0 && fft_.last()) {
            showSpectrumCaptions();
            // The block that was being captured when Stop came is not in the average.
            averageCount_->setValue(fft_.last()->block);
            status_->setText(QString("Averaging stopped after %1 of %2 blocks.")
                                 .arg(fft_.last()->block)
                                 .arg(fft_.last()->blocks));
        }
    }
    if (stopRequested_) link.pump().clearCancel();  // the request was this capture's
    stopRequested_ = false;
    setRunning(false);
    // A failed step leaves Collect dimmed until the settings are confirmed again; a refusal
    // because another window owns the board does not.
    if (status == 0 || status == kStatusBusy) collect_->setEnabled(true);
    // A file read names the file in the title whether or not it could be read.
    if (diskMode()) setWindowTitle(QString::fromStdString(ctx_.session.input_file));
    if (status != 0 && status != kStatusBusy && status != kStatusClosed) {
        status_->setText(QString("The capture failed (status %1). Confirm the settings to "
                                 "collect again.")
                             .arg(status));
        if (status != kStatusCancelled)
            showNoAnalysis(
                diskMode()
                    ? QString("No analysis \u2014 %1 could not be read")
                          .arg(
                              QFileInfo(QString::fromStdString(ctx_.session.input_file)).fileName())
                    : QString("No analysis \u2014 the capture failed"),
                {}, {});
    }
    graph_->replot();
    return status;
}

void DataCollectionPanel::STOP() {
    if (!running_) return;
    stopRequested_ = true;
    stop_->setEnabled(false);
    ctx_.session.link.pump().requestCancel();
    progress_->setFormat(progress_->format() + " \u2014 stopping after this block");
}

// --- channels and analyses ---------------------------------------------------------------

void DataCollectionPanel::updateChannelButtons() {
    channels_[0]->setText(QString::fromStdString(data_->buttonlabel1));
    channels_[1]->setText(QString::fromStdString(data_->buttonlabel2));
    channels_[0]->setChecked(data_->shownChannel == 1);
    channels_[1]->setChecked(data_->shownChannel == 2);
}

void DataCollectionPanel::NEWCHAN(int channel) {
    if (running_) return;
    data_->showChannel(channel == 2 ? 2 : 1);
    updateChannelButtons();
    run_test();
}

void DataCollectionPanel::GRAPHTYPE() {
    if (running_) return;
    PLOT();
    data_->settings.test = test_->currentIndex();
    run_test();
}

void DataCollectionPanel::run_test() {
    if (test_->currentIndex() != data_->settings.test && data_->settings.test >= 0 &&
        data_->settings.test <= 2)
        test_->setCurrentIndex(data_->settings.test);
    switch (data_->settings.test) {
        case kTestTime:
            data_->buffers.convertSampleData();
            time_test();
            overlay_->setVisible(true);
            break;
        case kTestFft:
            freqTestInMemory();
            overlay_->setVisible(false);
            break;
        case kTestHistogram:
            data_->buffers.convertSampleData();
            hist_test();
            overlay_->setVisible(false);
            break;
        default:
            break;
    }
    restore_->setVisible(false);
}

QString DataCollectionPanel::channelName() const {
    const std::string& label = data_->shownChannel == 2 ? data_->buttonlabel2 : data_->buttonlabel1;
    if (diskMode()) return QFileInfo(QString::fromStdString(ctx_.session.input_file)).fileName();
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
}

void DataCollectionPanel::clearResults() {
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
            .arg(windowIndex >= 0 && windowIndex <= 4 ? kWindowNames[windowIndex] : "no")
            .arg(r.block)
            .arg(r.blocks)
            .arg(r.fundamentalHz(), 0, 'f', 2));
    if (r.axis) {
        graph_->setAxisRanges(r.axis->xMin, r.axis->xMax, r.axis->yMin, r.axis->yMax);
        graph_->setYTickStep(20.0);
    }
    // The newest block alone, under the average (the same curve without averaging).
    if (r.blocks > 1 && !r.newestPlotError())
        graph_->plotXY(r.newest.freq, r.newest.db, QColor(0, 0, 0, 110), LineStyle::Solid, false);
    showFigures(r.stats);

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

// --- navigation --------------------------------------------------------------------------

void DataCollectionPanel::ZOOM() {
    if (running_) return;
    if (zoomStage_ != 0) {  // pressed again while picking: give up the zoom
        cancelZoom();
        return;
    }
    graph_->setCursorMode(CursorMode::Free);
    graph_->setCrossHair(CrossHair::Long);
    zoom_->setText("1st Point");
    zoomStage_ = 1;
    graph_->setFocus();
}

void DataCollectionPanel::cancelZoom() {
    if (zoomStage_ == 0) return;
    zoomStage_ = 0;
    zoom_->setText("ZOOM");
    graph_->setCrossHair(CrossHair::Short);
    graph_->setCursorMode(CursorMode::Snap);
}

void DataCollectionPanel::onGraphCommitted(double x, double y) {
    PLOT();
    if (zoomStage_ == 1) {
        zoomFirst_ = QPointF(x, y);
        zoom_->setText("2nd Point");
        zoomStage_ = 2;
        return;
    }
    if (zoomStage_ != 2) return;
    zoomStage_ = 0;
    graph_->setCrossHair(CrossHair::Short);
    const auto r = collection::zoomRectangle(zoomFirst_.x(), zoomFirst_.y(), x, y);
    if (!r) {
        ctx_.messages.show("", collection::msg::kDeltasNonZero);
        zoom_->setText("ZOOM");
        return;
    }
    graph_->setAxisRanges(r->xMin, r->xMax, r->yMin, r->yMax);
    graph_->setCursorMode(CursorMode::Snap);
    zoom_->setText("ZOOM");
    restore_->setVisible(true);
    restore_->setFocus();
    graph_->replot();
}

void DataCollectionPanel::RESTORE() {
    if (running_) return;
    cancelZoom();
    if (data_->settings.test == kTestFft && fft_.last()) {
        // The spectrum shown is the last one analysed (every switch of channel or analysis
        // analyses again): draw it at full extent. Analysing the block in memory again would
        // replace an averaged spectrum and its figures by those of the last block alone.
        drawSpectrum(*fft_.last());
        setReadouts(kTestFft);
    } else {
        run_test();
    }
    restore_->setVisible(false);
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

// --- files, printing, export --------------------------------------------------------------

void DataCollectionPanel::DATA_IO() {
    out_put(1);
}

void DataCollectionPanel::out_put(int) {
    if (running_) return;
    SaveDialog dialog(this);
    dialog.perform = [this](SaveChoice c) { perform(c); };
    dialog.exec();
}

namespace {
void reportWriteFailure(Messages& messages, const std::string& path) {
    messages.show(evkit::msg::kErrorTitle, "Unable to write the file \"" + path + "\".");
}
}  // namespace

void DataCollectionPanel::perform(SaveChoice choice) {
    Session& s = ctx_.session;
    switch (choice) {
        case SaveChoice::PrintGraph:
            printWidget(graph_, "Print Graph", true);
            break;
        case SaveChoice::PrintPanel:
            printWidget(this, "Print Data Collection Window", false);
            break;
        case SaveChoice::Data: {
            const auto path = ctx_.dialogs.saveFile("", "*.dat", "capture.dat");
            if (!path || path->empty()) return;
            if (!data_->writeCaptureFile(*path)) reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::Fft: {
            const auto& last = fft_.last();
            if (!last) {
                ctx_.messages.show(evkit::msg::kErrorTitle,
                                   "There is no spectrum to save: run the FFT analysis first.");
                return;
            }
            const auto path = ctx_.dialogs.saveFile("Save FFT", "*.fft", "spectrum.fft");
            if (!path || path->empty()) return;
            if (!collection::write_fft_file(*path, s.part, static_cast<float>(last->fs),
                                            last->samples, last->range, last->spectrum.freq,
                                            last->spectrum.db))
                reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::Histogram: {
            if (!lastHist_) {
                ctx_.messages.show(evkit::msg::kErrorTitle,
                                   "There is no histogram to save: run the histogram analysis "
                                   "first.");
                return;
            }
            const auto path = ctx_.dialogs.saveFile("Save Histogram", "*.hit", "histogram.hit");
            if (!path || path->empty()) return;
            if (!collection::write_hit_file(*path, s.part, lastHistSamples_, *lastHist_))
                reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::None:
            break;
    }
}

bool DataCollectionPanel::printWidget(QWidget* what, const QString& title, bool graphOnly) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!choosePrinter || !choosePrinter(printer, title)) return false;
    if (graphOnly) {
        graph_->printTo(printer);
        return true;
    }
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / std::max(1, what->width()),
                                  page.height() / std::max(1, what->height()));
    painter.scale(scale, scale);
    what->render(&painter);
    painter.end();
    return true;
}

void DataCollectionPanel::exportPlot() {
    if (running_) return;
    const auto chosen = ctx_.dialogs.saveFile("Export plot", "*.png *.pdf *.svg", "plot.png");
    if (!chosen || chosen->empty()) return;
    QString path = QString::fromStdString(*chosen);
    if (QFileInfo(path).suffix().isEmpty()) path += ".png";
    if (!graph_->exportTo(path))
        ctx_.messages.show(evkit::msg::kErrorTitle,
                           "Unable to export the plot to \"" + path.toStdString() +
                               "\": choose a writable file ending in .png, .pdf or .svg.");
}

void DataCollectionPanel::cbffiledat() {
    if (running_) return;
    boardOnly_->setEnabled(false);
    const auto path = ctx_.dialogs.saveFile("FILING DATA", "*.*", ctx_.session.projectDir);
    if (path && !path->empty() && !data_->writeSampleExport(*path))
        reportWriteFailure(ctx_.messages, *path);
    boardOnly_->setEnabled(!diskMode());
}

}  // namespace evkit::app
