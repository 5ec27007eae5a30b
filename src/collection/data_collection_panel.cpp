#include "collection/data_collection_panel.h"

#include <QApplication>
#include <QCheckBox>
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

#include "collection/collection_settings_window.h"
#include "collection/plot_navigation.h"
#include "collection/save_dialog.h"
#include "spectrum/more_figures_widget.h"
#include "ui/display_look.h"
#include "ui/graph_widget.h"

namespace evkit::app {

using collection::kTestFft;
using collection::kTestHistogram;
using collection::kTestTime;

namespace {

// Default digits of the result displays whose precision no analysis sets.
constexpr int kResultPrecision = 3;

QLineEdit* makeDisplay(QWidget* parent, const QString& name, int width = 110) {
    auto* d = new QLineEdit(parent);
    d->setObjectName(name);
    makeResultDisplay(d);
    d->setAlignment(Qt::AlignRight);
    d->setMinimumWidth(width);
    return d;
}

void keepPlace(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
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

}  // namespace

// --- NumericDisplay -----------------------------------------------------------------------

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
    left->addLayout(readouts);
    // A line of its own, wrapped on a narrow window: the whole hint stays readable.
    auto* hint = new QLabel(
        "Click: cursor \u00B7 drag: pan \u00B7 wheel: zoom (Shift: X only, Ctrl: Y only) \u00B7 "
        "\u2190 \u2192: step the cursor",
        this);
    hint->setObjectName("DATA_HINT");
    hint->setStyleSheet("QLabel { color: #666; }");
    hint->setWordWrap(true);
    hint->setMinimumWidth(0);
    hint->setToolTip(hint->text());
    left->addWidget(hint);

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
    makeResultDisplay(averageCount_);
    averageCount_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    averageCount_->setRange(0, 1000000);
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
    // Stop shares a row with Settings...: the column stays short enough for a laptop screen.
    run->addWidget(config_, 2, 0);
    run->addWidget(stop_, 2, 1);
    run->addWidget(status_, 3, 0, 1, 2);
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
    // Overlay (time view) and the newest block (spectrum) share a row.
    view->addWidget(overlay_, 1, 0);
    // Dimmed outside the FFT, never hidden: the controls keep their places between analyses.
    showNewest_ = new QCheckBox("Show newest block", viewBox);
    showNewest_->setObjectName("DATA_SHOW_NEWEST");
    showNewest_->setToolTip(
        "Also draw the newest block's bare spectrum (grey) under the annotated average");
    view->addWidget(zoom_, 2, 0);
    view->addWidget(restore_, 2, 1);
    view->addWidget(showNewest_, 1, 1);
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
        d.value->setFixedWidth(NumericDisplay::kFitWidth);  // from the start, before any value
        QFont f = d.value->font();
        f.setPointSizeF(f.pointSizeF() + 1.0);
        d.value->setFont(f);
        res->addWidget(d.label, i, 0);
        res->addWidget(d.value, i, 1);
    }
    right->addWidget(resultBox);
    more_ = new MoreFiguresWidget(this);
    right->addWidget(more_);

    auto* fileBox = new QGroupBox("Files", this);
    auto* files = new QGridLayout(fileBox);
    io_ = makeButton(fileBox, "DATA_IO", "Save / Print\u2026",
                     "Save the capture, spectrum or histogram, or print");
    export_ =
        makeButton(fileBox, "DATA_EXPORT", "Export plot\u2026", "Save the plot as PNG, PDF or SVG");
    boardOnly_ = makeButton(fileBox, "DATA_BOARD_ONLY", "Export samples\u2026",
                            "Write both channels of the last board capture as a text table");
    unitsExport_ = makeButton(fileBox, "DATA_EXPORT_UNITS", "Export samples in units\u2026",
                              "Write the channel shown of the last board capture in V, A, W or "
                              "var through the scaling, as CSV");
    files->addWidget(io_, 0, 0);
    files->addWidget(export_, 0, 1);
    files->addWidget(boardOnly_, 1, 0);
    files->addWidget(unitsExport_, 1, 1);
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
    connect(unitsExport_, &QPushButton::clicked, this, &DataCollectionPanel::exportSamplesInUnits);
    connect(showNewest_, &QCheckBox::toggled, this, &DataCollectionPanel::showNewestBlock);
    connect(graph_, &GraphWidget::cursorMoved, this, [this] { PLOT(); });
    connect(graph_, &GraphWidget::committed, this, &DataCollectionPanel::onGraphCommitted);
    connect(graph_, &GraphWidget::viewChangedByUser, this, [this] { restore_->setVisible(true); });

    // Controls that come and go keep their place, so nothing moves between analyses.
    // The converter figures keep their room outside the FFT too: the column keeps its width.
    for (QWidget* w : std::initializer_list<QWidget*>{overlay_, restore_, stop_, more_})
        keepPlace(w);
    for (NumericDisplay& d : results_) {
        keepPlace(d.label);
        keepPlace(d.value);
        // As wide as the widest caption, whatever the analysis shows.
        d.label->setMinimumWidth(QFontMetrics(d.label->font()).horizontalAdvance("VARIANCE") + 8);
    }
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
        unitsExport_->setEnabled(false);
        overlay_->setEnabled(false);
    } else {
        // A capture needs confirmed settings first.
        collect_->setEnabled(false);
        boardOnly_->setEnabled(true);
        unitsExport_->setEnabled(true);
        channels_[0]->setEnabled(true);
        channels_[1]->setEnabled(true);
    }
    boardConfirmed_ = false;
    if (!diskMode()) data_->useBoardSampleCount();
    data_->clearOnOpen();
    haveBlock_ = false;
    test_->setCurrentIndex(kTestTime);
    status_->setText(diskMode() ? settingsSummary()
                                : QString("Confirm the settings to enable Collect."));
    updateChannelButtons();
    run_test();
}

void DataCollectionPanel::sourceChanged() {
    if (running_) return;  // the start window refuses a change while a capture runs
    cancelZoom();
    const int test = data_->settings.test;
    if (!diskMode()) data_->useBoardSampleCount();
    data_->clearOnOpen();
    data_->settings.test = test;  // the analysis chosen stays
    data_->title = collection::msg::kWindowTitle;
    fft_ = spectrum::FftTest();
    lastHist_.reset();
    haveBlock_ = false;
    setWindowTitle(collection::msg::kWindowTitle);
    const bool disk = diskMode();
    collect_->setEnabled(disk || boardConfirmed_);
    channels_[0]->setEnabled(true);
    channels_[1]->setEnabled(!disk);
    overlay_->setEnabled(!disk);
    boardOnly_->setEnabled(!disk);
    unitsExport_->setEnabled(!disk);
    status_->setText(disk || boardConfirmed_ ? settingsSummary()
                                             : QString("Confirm the settings to enable Collect."));
    updateChannelButtons();
    run_test();        // the captions of the chosen analysis, "no data yet"
    clearDataGraph();  // and no curve of the other source's block
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

void DataCollectionPanel::showCoherentReference(CollectionSettingsWindow& w) {
    // The coherent test frequency: for the rate of the last capture (before one, the rate of
    // clock divider 1) and the line frequency the conversion window last set or read (50 Hz
    // until then).
    double fs = ctx_.session.fs;
    if (!(fs > 1.0)) fs = 1.0e6 * ctx_.session.xtal_speed / 1024.0;
    double line = 50.0;
    if (QWidget* conv = ctx_.window ? ctx_.window("pnl_conv") : nullptr) {
        const QVariant shown = conv->property("lineFrequencyHz");
        if (shown.isValid() && shown.toDouble() > 0.0) line = shown.toDouble();
    }
    w.setCoherentReference(fs, line);
}

void DataCollectionPanel::CONFIG() {
    // A window confirmed a moment ago is hidden and about to go: it is not shown again.
    if (settingsWindow_ && settingsWindow_->isVisible()) {
        // One settings window at a time: a second would store over the first.
        showCoherentReference(*settingsWindow_);
        settingsWindow_->show();
        settingsWindow_->raise();
        settingsWindow_->activateWindow();
        return;
    }
    auto* w = new CollectionSettingsWindow(data_->settings, diskMode(), this,
                                           diskMode() && haveBlock_ ? data_->capturedSamples : 0);
    w->onConfirmed = [this] {
        if (!running_) collect_->setEnabled(true);
        if (!diskMode()) boardConfirmed_ = true;
        status_->setText(settingsSummary());
    };
    showCoherentReference(*w);
    settingsWindow_ = w;
    w->show();
    w->raise();
}

QString DataCollectionPanel::inputFileName() const {
    return QFileInfo(QString::fromStdString(ctx_.session.input_file)).fileName();
}

QString DataCollectionPanel::settingsSummary() const {
    if (diskMode()) {
        // A file holds one block of its own sample count, analysed once.
        const QString samples = haveBlock_ ? QString("%1 samples").arg(data_->capturedSamples)
                                           : QString("the file's sample count");
        return QString("Disk mode: %1 \u00B7 %2 \u00B7 %3 window \u00B7 1 average (one block)")
            .arg(inputFileName(), samples, windowName(data_->settings.window));
    }
    return QString("%1 samples per channel \u00B7 %2 window \u00B7 %3 average(s)")
        .arg(collection::sampleCountForIndex(data_->settings.samples_index)
                 .value_or(data_->settings.samples))
        .arg(windowName(data_->settings.window))
        .arg(data_->settings.average);
}

// --- capture -----------------------------------------------------------------------------

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
    showNewest_->setEnabled(data_->settings.test == kTestFft);
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

// --- files, printing, export --------------------------------------------------------------

}  // namespace evkit::app
