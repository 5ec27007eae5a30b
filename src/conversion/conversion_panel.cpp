#include "conversion/conversion_panel.h"

#include <qcustomplot.h>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "board/board_link.h"
#include "metrology/scaling_dialog.h"
#include "ui/decimals_ticker.h"
#include "ui/edit_commit.h"

namespace evkit::conversion {

namespace {

QLineEdit* makeDisplay(QWidget* parent, const QString& name, int width = 96) {
    auto* d = new QLineEdit(parent);
    d->setObjectName(name);
    d->setReadOnly(true);
    d->setFocusPolicy(Qt::NoFocus);
    d->setAlignment(Qt::AlignRight);
    d->setFixedWidth(width);
    return d;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

QString number(double v) {
    return QString::number(v, 'f', 6);
}

// Labels the window shows for the quantities (the controls keep the role names).
QString label(const QuantityInfo& q) {
    static const char* const labels[kQuantities] = {
        "V1 RMS",  "I1 RMS",  "P1 avg",  "S1",      "Q1 avg",  "PF1",        "V1 peak",
        "I1 peak", "V2 RMS",  "I2 RMS",  "P2 avg",  "S2",      "Q2 avg",     "PF2",
        "V2 peak", "I2 peak", "Extra 1", "Extra 2", "Extra 3", "Temperature"};
    return labels[q.quantity];
}

}  // namespace

ConversionPanel::ConversionPanel(app::AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_CONVERSION", "Conversion", parent),
      monitor_(ctx.session, ctx.console) {
    setObjectName("pnl_conv");
    headerSource = [this] { return deviceHeaderValues(); };

    auto* top = new QVBoxLayout(scrollingContent());

    // Run controls.
    auto* runBox = new QGroupBox("Monitor", this);
    auto* run = new QGridLayout(runBox);
    single_ = makeButton(runBox, "CONV_SINGLE", "Single");
    continuous_ = makeButton(runBox, "CONV_CONTINUOUS", "Continuous");
    stop_ = makeButton(runBox, "CONV_STOP", "Stop");
    stop_->setEnabled(false);  // usable only while a continuous run goes on
    averageCount_ = new QSpinBox(runBox);
    averageCount_->setObjectName("CONV_AVERAGE_COUNT");
    averageCount_->setRange(1, kMaxAverageCount);
    averageCount_->setValue(1);
    time_ = makeDisplay(runBox, "CONV_TIME", 80);
    running_ = new QLabel("RUNNING", runBox);
    running_->setObjectName("CONV_RUNNING");
    running_->setStyleSheet(
        "QLabel { color: white; background: #1a8f2e; padding: 2px 6px; "
        "font-weight: bold; }");
    running_->setVisible(false);
    run->addWidget(single_, 0, 0);
    run->addWidget(continuous_, 0, 1);
    run->addWidget(stop_, 0, 2);
    run->addWidget(new QLabel("Cycles per update", runBox), 1, 0);
    run->addWidget(averageCount_, 1, 1);
    run->addWidget(running_, 1, 2, Qt::AlignCenter);
    run->addWidget(new QLabel("Last update", runBox), 2, 0);
    run->addWidget(time_, 2, 1);

    auto* powerBox = new QGroupBox("Device commands", this);
    auto* power = new QGridLayout(powerBox);
    cmdB0_ = makeButton(powerBox, "CONV_POWER_CMD_B0", "Command 0xB0");
    cmd90_ = makeButton(powerBox, "CONV_POWER_CMD_90", "Command 0x90");
    cmdA0_ = makeButton(powerBox, "CONV_POWER_CMD_A0", "Command 0xA0");
    power->addWidget(cmdB0_, 0, 0);
    power->addWidget(cmd90_, 0, 1);
    power->addWidget(cmdA0_, 0, 2);
    lineFreqEntry_ = new QDoubleSpinBox(powerBox);
    lineFreqEntry_->setObjectName("CONV_LINE_FREQ_ENTRY");
    lineFreqEntry_->setRange(0.0, 1000.0);
    lineFreqEntry_->setDecimals(3);
    lineFreqEntry_->setValue(50.0);
    lineFreqEntry_->setSuffix(" Hz");
    lineFreqEntry_->setKeyboardTracking(false);
    lineFreq_ = makeDisplay(powerBox, "CONV_LINE_FREQ");
    tmeas_ = new QSpinBox(powerBox);
    tmeas_->setObjectName("CONV_TMEAS");
    tmeas_->setRange(0, 0xFFFFFF);
    tmeas_->setKeyboardTracking(false);
    tmeasLabel_ = new QLabel("Tmeas", powerBox);
    power->addWidget(new QLabel("Line frequency", powerBox), 1, 0);
    power->addWidget(lineFreqEntry_, 1, 1);
    power->addWidget(lineFreq_, 1, 2);
    power->addWidget(tmeasLabel_, 2, 0);
    power->addWidget(tmeas_, 2, 1);

    auto* controls = new QHBoxLayout;
    controls->addWidget(runBox);
    controls->addWidget(powerBox);
    controls->addStretch(1);
    top->addLayout(controls);

    // The 20 x 3 displays, one group per channel.
    const auto makeGroup = [this](const QString& title, int channel) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        grid->setVerticalSpacing(2);
        int r = 0;
        grid->addWidget(new QLabel("Value", box), r, 1, Qt::AlignCenter);
        grid->addWidget(new QLabel("Average", box), r, 2, Qt::AlignCenter);
        grid->addWidget(new QLabel("Std. deviation", box), r, 3, Qt::AlignCenter);
        if (channel != 0) grid->addWidget(new QLabel("Value in units", box), r, 4, Qt::AlignCenter);
        for (const auto& q : quantityTable()) {
            if (q.channel != channel) continue;
            ++r;
            Row& row = rows_[static_cast<size_t>(q.quantity)];
            const QString name = QString("CONV_") + q.name;
            row.label = new QLabel(label(q), box);
            row.current = makeDisplay(box, name);
            row.average = makeDisplay(box, name + "_AVG");
            row.deviation = makeDisplay(box, name + "_SD");
            row.average->setEnabled(false);
            row.deviation->setEnabled(false);
            // A row hidden in single mode keeps its place, so that nothing else moves.
            for (QWidget* w :
                 {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.current),
                  static_cast<QWidget*>(row.average), static_cast<QWidget*>(row.deviation)}) {
                QSizePolicy p = w->sizePolicy();
                p.setRetainSizeWhenHidden(true);
                w->setSizePolicy(p);
            }
            grid->addWidget(row.label, r, 0);
            grid->addWidget(row.current, r, 1);
            grid->addWidget(row.average, r, 2);
            grid->addWidget(row.deviation, r, 3);
            // Beside the device's value, the same in volts, amperes, watts, vars or VA.
            if (metrology::unitOf(q.quantity)) {
                row.units = makeDisplay(box, name + "_UNIT", 118);
                grid->addWidget(row.units, r, 4);
            }
        }
        grid->setRowStretch(r + 1, 1);
        return box;
    };
    auto* channels = new QHBoxLayout;
    channels->addWidget(makeGroup("Channel 1", 1));
    channels->addWidget(makeGroup("Channel 2", 2));
    top->addLayout(channels);

    // Further results beside the strip chart.
    auto* lower = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(makeGroup("Further results", 0));
    left->addStretch(1);
    auto* chartBox = new QGroupBox("Strip chart", this);
    auto* chartLayout = new QVBoxLayout(chartBox);
    chartQuantity_ = new QComboBox(chartBox);
    chartQuantity_->setObjectName("CONV_CHART_QUANTITY");
    for (const auto& q : quantityTable()) chartQuantity_->addItem(label(q));
    chart_ = new QCustomPlot(chartBox);
    chart_->setObjectName("CONV_CHART");
    chart_->setMinimumSize(360, 180);
    chart_->addGraph();
    chart_->graph(0)->setPen(QPen(QColor(0xC0, 0x00, 0xC0), 1.5));
    chart_->xAxis->setLabel("cycle");
    {
        // Cycles are counted: ticks on whole cycles only.
        auto cycles = QSharedPointer<QCPAxisTickerFixed>::create();
        cycles->setTickStep(1.0);
        cycles->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
        chart_->xAxis->setTicker(cycles);
    }
    // The device's value on the left; on the right the same in its unit, for the quantities
    // that have one. Each axis writes its labels with the decimals its tick step needs.
    chart_->yAxis->setTicker(QSharedPointer<app::DecimalsTicker>::create());
    chart_->yAxis2->setTicker(QSharedPointer<app::DecimalsTicker>::create());
    chart_->yAxis2->setTickLabels(true);
    connect(chart_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange&) { followUnitAxis(); });
    chartLayout->addWidget(chartQuantity_);
    chartLayout->addWidget(chart_, 1);
    lower->addLayout(left);
    lower->addWidget(chartBox, 1);
    top->addLayout(lower, 1);

    // Conversion log.
    auto* logBox = new QGroupBox("Conversion log", this);
    auto* logRow = new QHBoxLayout(logBox);
    logPath_ = new QLineEdit(logBox);
    logPath_->setObjectName("LOG_PATH");
    logOpen_ = makeButton(logBox, "LOG_OPEN", "Open log...");
    logAppend_ = makeButton(logBox, "LOG_APPEND", "Append line");
    logAppend_->setEnabled(false);
    logCount_ = makeDisplay(logBox, "LOG_COUNT", 60);
    logCount_->setText("0");
    logReset_ = makeButton(logBox, "LOG_RESET", "Reset");
    logRow->addWidget(new QLabel("File", logBox));
    logRow->addWidget(logPath_, 1);
    logRow->addWidget(logOpen_);
    logRow->addWidget(logAppend_);
    logRow->addWidget(new QLabel("Lines", logBox));
    logRow->addWidget(logCount_);
    logRow->addWidget(logReset_);
    top->addWidget(logBox);

    connect(single_, &QPushButton::clicked, this, &ConversionPanel::START);
    connect(continuous_, &QPushButton::clicked, this, &ConversionPanel::START);
    connect(stop_, &QPushButton::clicked, this, &ConversionPanel::STOP_CONV);
    for (auto* b : {cmdB0_, cmd90_, cmdA0_})
        connect(b, &QPushButton::clicked, this, &ConversionPanel::POWER_BUTTONS);
    app::commitOnEdit(lineFreqEntry_, [this] { cbf_set_line_freq(); });
    app::commitOnEdit(tmeas_, [this] { cbf_Tmeas(); });
    connect(logOpen_, &QPushButton::clicked, this, &ConversionPanel::Conv_OpenFile);
    connect(logAppend_, &QPushButton::clicked, this, &ConversionPanel::Conv_Collect);
    connect(logReset_, &QPushButton::clicked, this, &ConversionPanel::EDWREFRESH);
    connect(chartQuantity_, &QComboBox::currentIndexChanged, this, [this](int) { redrawChart(); });
    chartScaling_ = metrology::ScalingDialog::current(ctx_);
    redrawChart();
    fitToScreen();
}

void ConversionPanel::onOpened() {
    // A run in progress keeps its indicator when the window is shown again.
    if (!monitor_.running()) running_->setVisible(false);
    const bool tmeasShown = ctx_.session.chip != 14;
    tmeas_->setVisible(tmeasShown);
    tmeasLabel_->setVisible(tmeasShown);
    // A log opened later, while another window's operation holds the board, records the
    // values read now.
    BoardLink& link = ctx_.session.link;
    if (!link.busy() && !link.insideEventProcessing() && !link.closedForDiskMode &&
        link.cyHandle != 0)
        deviceHeaderValues();
}

int ConversionPanel::START() {
    return startRun(sender() != nullptr && sender()->objectName() == "CONV_SINGLE");
}

int ConversionPanel::startRun(bool single) {
    // A log opened during the run records the values in force when it started: they are
    // taken now, while the board can still be read.
    BoardLink& link = ctx_.session.link;
    if (headerSource && !link.busy() && !link.insideEventProcessing() && !monitor_.running() &&
        !link.closedForDiskMode)
        runHeader_ = headerSource();
    return monitor_.START(averageCount_->value(), single, *this);
}

void ConversionPanel::STOP_CONV() {
    monitor_.STOP_CONV();
}

int ConversionPanel::POWER_BUTTONS() {
    const QObject* from = sender();
    int command = 0;
    bool dim = false;
    if (from == cmdB0_) {
        command = 0xB0;
        dim = true;
    } else if (from == cmd90_) {
        command = 0x90;
        dim = true;
    } else if (from == cmdA0_) {
        command = 0xA0;
    } else {
        return 0;
    }
    const int s = ctx_.session.link.sendCommand(command);
    if (s != 0) return s;
    for (auto* b : {cmdB0_, cmd90_, single_, continuous_}) b->setEnabled(!dim);
    return 0;
}

int ConversionPanel::cbf_set_line_freq() {
    double shown = 0.0;
    const int s = setLineFrequency(ctx_.session, lineFreqEntry_->value(), &shown);
    if (s == 0) showLineFrequency(shown);
    return 0;
}

int ConversionPanel::cbf_Tmeas() {
    setTmeas(ctx_.session, tmeas_->value());
    return 0;
}

std::optional<LogHeaderValues> ConversionPanel::deviceHeaderValues() {
    BoardLink& link = ctx_.session.link;
    if (link.busy() || link.insideEventProcessing()) return lastHeader_;
    LogHeaderValues v;
    if (readLogHeaderValues(link, ctx_.session.chip, &v, ctx_.session.number_of_bits) != 0)
        return lastHeader_;
    lastHeader_ = v;
    return v;
}

void ConversionPanel::Conv_OpenFile() {
    log_.reset();
    const std::string current = logPath_->text().toStdString();
    // The file is chosen in a dialog that does not hold up a monitor run going on below.
    logOpen_->setEnabled(false);
    QPointer<ConversionPanel> self(this);
    ctx_.dialogs.saveFileLater("Select/input a filename to save data", "*.txt", current,
                               [self](std::optional<std::string> chosen) {
                                   if (self) self->logFileChosen(chosen);
                               });
}

void ConversionPanel::logFileChosen(const std::optional<std::string>& chosen) {
    logOpen_->setEnabled(true);
    if (!chosen) return;
    logPath_->setText(QString::fromStdString(*chosen));
    std::optional<LogHeaderValues> header = headerSource ? headerSource() : std::nullopt;
    if (!header && monitor_.running()) header = runHeader_;
    if (!header) {
        // Zeros in the header would read as the device's gains and offsets.
        const std::string text =
            "The gains and offsets in force could not be read from the "
            "device; the log " +
            *chosen + " was not created.";
        if (monitor_.running() || ctx_.session.link.busy()) {
            ctx_.console.print(text + "\n");
            showNotice(QString::fromStdString(text));
        } else {
            ctx_.messages.show(evkit::msg::kErrorTitle, text);
        }
        return;
    }
    header->chip = ctx_.session.chip;
    const bool ok = log_.open(*chosen, *header);
    logAppend_->setEnabled(true);
    logCount_->setText("0");
    if (!ok) ctx_.messages.show(evkit::msg::kErrorTitle, "Cannot create the file " + *chosen);
}

void ConversionPanel::Conv_Collect() {
    log_.setPath(logPath_->text().toStdString());
    if (!log_.append(loggedValues(monitor_.current(), lineFrequencyShown_)))
        ctx_.messages.show(evkit::msg::kErrorTitle, "Cannot write the file " + log_.path());
    logCount_->setText(QString::number(log_.edw_i));
}

void ConversionPanel::EDWREFRESH() {
    logPath_->setEnabled(true);
    logOpen_->setEnabled(true);
    logAppend_->setEnabled(false);
    log_.reset();
    logCount_->setText("0");
}

void ConversionPanel::prepare(int count, bool single) {
    const bool statistics = count > 1 && !single;
    for (auto& row : rows_) {
        row.average->setEnabled(statistics);
        row.deviation->setEnabled(statistics);
    }
    Row& t = rows_[T];
    for (QWidget* w : {static_cast<QWidget*>(t.label), static_cast<QWidget*>(t.current),
                       static_cast<QWidget*>(t.average), static_cast<QWidget*>(t.deviation)})
        w->setVisible(!single);
}

void ConversionPanel::setCommandButtonsEnabled(bool enabled) {
    for (auto* b : {cmdB0_, cmd90_, single_, continuous_, cmdA0_}) b->setEnabled(enabled);
}

void ConversionPanel::runStarted() {
    setCommandButtonsEnabled(false);
    stop_->setEnabled(true);
    running_->setVisible(true);
}

void ConversionPanel::runEnded() {
    setCommandButtonsEnabled(true);
    stop_->setEnabled(false);
    running_->setVisible(false);
}

void ConversionPanel::showCycle(const Values& values) {
    const metrology::Scaling scaling = metrology::ScalingDialog::current(ctx_);
    chartScaling_ = scaling;
    for (int q = 0; q < kQuantities; ++q) {
        const Row& row = rows_[static_cast<size_t>(q)];
        const double v = values[static_cast<size_t>(q)];
        row.current->setText(number(v));
        if (row.units)
            row.units->setText(
                QString("%1 %2")
                    .arg(metrology::inUnits(static_cast<Quantity>(q), v, scaling), 0, 'f', 3)
                    .arg(metrology::unitOf(static_cast<Quantity>(q))));
    }
    history_.push_back(values);
    ++cycles_;
    while (history_.size() > static_cast<size_t>(kChartLength)) history_.pop_front();
    redrawChart();
}

void ConversionPanel::redrawChart() {
    const int q = std::max(0, chartQuantity_->currentIndex());
    QVector<double> x, y;
    x.reserve(static_cast<int>(history_.size()));
    y.reserve(static_cast<int>(history_.size()));
    long long n = cycles_ - static_cast<long long>(history_.size()) + 1;
    for (const auto& v : history_) {
        x.push_back(static_cast<double>(n++));
        y.push_back(v[static_cast<size_t>(q)]);
    }
    chart_->graph(0)->setData(x, y, true);
    chart_->yAxis->setLabel(label(info(q)));
    const auto quantity = static_cast<Quantity>(q);
    const char* unit = metrology::unitOf(quantity);
    chart_->yAxis2->setVisible(unit != nullptr);
    if (unit) chart_->yAxis2->setLabel(QString("%1 (%2)").arg(label(info(q)), unit));
    followUnitAxis();
    if (!history_.empty()) {
        chart_->xAxis->setRange(x.front(), std::max(x.back(), x.front() + 10.0));
        bool found = false;
        const QCPRange r = chart_->graph(0)->getValueRange(found);
        const double pad = std::max(1e-6, (r.upper - r.lower) * 0.1);
        if (found) chart_->yAxis->setRange(r.lower - pad, r.upper + pad);
    }
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void ConversionPanel::followUnitAxis() {
    const auto quantity = static_cast<Quantity>(std::max(0, chartQuantity_->currentIndex()));
    if (!metrology::unitOf(quantity)) return;
    // The unit is the device's value times the scaling's full scale: the same line on both.
    const double perFullScale = metrology::inUnits(quantity, 1.0, chartScaling_);
    const QCPRange r = chart_->yAxis->range();
    chart_->yAxis2->setRange(r.lower * perFullScale, r.upper * perFullScale);
}

void ConversionPanel::showLineFrequency(double hz) {
    lineFrequencyShown_ = hz;
    setProperty("lineFrequencyHz", hz);  // read by the collection settings' coherent helper
    lineFreq_->setText(number(hz));
}

void ConversionPanel::showTmeas(std::uint32_t word) {
    tmeas_->setValue(static_cast<int>(word));
}

void ConversionPanel::showStatistics(const Values& means, const Values& deviations) {
    for (int q = 0; q < kQuantities; ++q) {
        rows_[static_cast<size_t>(q)].average->setText(number(means[static_cast<size_t>(q)]));
        rows_[static_cast<size_t>(q)].deviation->setText(
            number(deviations[static_cast<size_t>(q)]));
    }
}

void ConversionPanel::updateDone(int, const std::string& time) {
    time_->setText(QString::fromStdString(time));
}

}  // namespace evkit::conversion
