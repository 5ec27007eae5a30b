#include "metrology/accuracy_window.h"

#include <qcustomplot.h>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "metrology/accuracy_output.h"
#include "metrology/scaling_dialog.h"
#include "metrology/source_settings.h"
#include "support/file_writer.h"
#include "support/format.h"
#include "ui/graph_widget.h"

namespace evkit::metrology {

namespace {

QColor curveColour(double pf, bool capacitive) {
    if (pf >= 1.0) return QColor("#1f5fbf");
    return capacitive ? QColor("#2a9d3a") : QColor("#c0392b");
}

QString cell(double v) {
    return std::isfinite(v) ? QString::asprintf("%+.4f", v) : QString("-");
}

}  // namespace

AccuracyWindow::AccuracyWindow(app::AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, "MENU_ACCURACY", "Accuracy Test", parent) {
    setObjectName("pnl_accuracy");
    auto* top = new QVBoxLayout(scrollingContent());

    auto* planBox = new QGroupBox("Plan", this);
    auto* grid = new QGridLayout(planBox);
    const AccuracyPlan defaults = defaultPlan();
    const auto spin = [planBox](const char* name, double value, double max, const QString& suffix,
                                int decimals) {
        auto* b = new QDoubleSpinBox(planBox);
        b->setObjectName(name);
        b->setRange(decimals ? 0.001 : 0.0, max);
        b->setDecimals(decimals);
        b->setValue(value);
        b->setSuffix(suffix);
        return b;
    };
    class_ = new QComboBox(planBox);
    class_->setObjectName("ACC_CLASS");
    class_->addItems({"1", "0.5", "0.5S", "0.2S"});
    class_->setCurrentText("0.5S");
    method_ = new QComboBox(planBox);
    method_->setObjectName("ACC_METHOD");
    method_->addItems({"both", "power", "pulse"});
    channel_ = new QComboBox(planBox);
    channel_->setObjectName("ACC_CHANNEL");
    channel_->addItems({"1", "2"});
    ib_ = spin("ACC_IB", defaults.ib, 1e5, " A", 3);
    imax_ = spin("ACC_IMAX", defaults.imax, 1e5, " A", 3);
    volts_ = spin("ACC_VOLTAGE", defaults.nominalVolts, 1e6, " V", 2);
    settle_ = spin("ACC_SETTLE", defaults.settleSeconds, 3600, " s", 2);
    window_ = new QSpinBox(planBox);
    window_->setObjectName("ACC_WINDOW");
    window_->setRange(1, 1000);
    window_->setValue(defaults.windowCycles);
    window_->setSuffix(" cycles");
    minPulses_ = new QSpinBox(planBox);
    minPulses_->setObjectName("ACC_MIN_PULSES");
    minPulses_->setRange(1, 10000000);
    minPulses_->setValue(defaults.minPulses);
    const std::pair<const char*, QWidget*> fields[] = {
        {"Class", class_},     {"Method", method_}, {"Channel pair", channel_},
        {"Ib", ib_},           {"Imax", imax_},     {"Voltage", volts_},
        {"Settling", settle_}, {"Window", window_}, {"Min. pulses", minPulses_}};
    int i = 0;
    for (const auto& [label, widget] : fields) {
        auto* caption = new QLabel(label, planBox);
        // A gap before the second and third pairs: each caption reads with its own field.
        if (i % 3 != 0) caption->setContentsMargins(16, 0, 0, 0);
        grid->addWidget(caption, i / 3, 2 * (i % 3));
        grid->addWidget(widget, i / 3, 2 * (i % 3) + 1);
        ++i;
    }
    load_ = new QPushButton("Load plan...", planBox);
    load_->setObjectName("ACC_LOAD_PLAN");
    grid->addWidget(load_, 3, 0, 1, 2);
    top->addWidget(planBox);

    auto* runRow = new QHBoxLayout;
    start_ = new QPushButton("Start", this);
    start_->setObjectName("ACC_START");
    stop_ = new QPushButton("Stop", this);
    stop_->setObjectName("ACC_STOP");
    stop_->setEnabled(false);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ACC_PROGRESS");
    progress_->setFormat("%v of %m points");
    // Before a run: the points of the plan a Start would measure.
    progress_->setRange(0, static_cast<int>(defaultPlan().points.size()));
    progress_->setValue(0);
    runRow->addWidget(start_);
    runRow->addWidget(stop_);
    runRow->addWidget(progress_, 1);
    top->addLayout(runRow);
    status_ = new QLabel(this);
    status_->setObjectName("ACC_STATUS");
    status_->setWordWrap(true);
    top->addWidget(status_);

    auto* results = new QHBoxLayout;
    table_ = new QTableWidget(0, 7, this);
    table_->setObjectName("ACC_TABLE");
    table_->setHorizontalHeaderLabels({"Point", "Reference (W)", "Power err. (%)", "Pulse err. (%)",
                                       "Pulses", "Limit (%)", "Result"});
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Small enough minima that the window fits a laptop screen at 150 % scale without
    // horizontal scrolling; the plot takes what room there is.
    table_->setMinimumWidth(400);
    results->addWidget(table_, 1);  // half the width each: every column shows on a laptop
    plot_ = new app::GraphWidget(this);
    plot_->setObjectName("ACC_PLOT");
    plot_->setMinimumSize(380, 300);
    results->addWidget(plot_, 1);
    top->addLayout(results, 1);

    auto* outRow = new QHBoxLayout;
    exportPlot_ = new QPushButton("Export plot...", this);
    exportPlot_->setObjectName("ACC_EXPORT_PLOT");
    saveCsv_ = new QPushButton("Save table...", this);
    saveCsv_->setObjectName("ACC_SAVE_CSV");
    saveReport_ = new QPushButton("Save report...", this);
    saveReport_->setObjectName("ACC_SAVE_REPORT");
    for (auto* b : {exportPlot_, saveCsv_, saveReport_}) {
        b->setEnabled(false);
        outRow->addWidget(b);
    }
    outRow->addStretch(1);
    top->addLayout(outRow);

    connect(start_, &QPushButton::clicked, this, &AccuracyWindow::ACC_START);
    connect(stop_, &QPushButton::clicked, this, &AccuracyWindow::ACC_STOP);
    connect(load_, &QPushButton::clicked, this, &AccuracyWindow::ACC_LOAD_PLAN);
    connect(exportPlot_, &QPushButton::clicked, this, &AccuracyWindow::ACC_EXPORT_PLOT);
    connect(saveCsv_, &QPushButton::clicked, this, &AccuracyWindow::ACC_SAVE_CSV);
    connect(saveReport_, &QPushButton::clicked, this, &AccuracyWindow::ACC_SAVE_REPORT);

    askToSetSource = [this](const PointResult& p) {
        const QString text =
            QString("Set the source to %1 V, %2 A, PF %3 (point %4: %5), then press OK.")
                .arg(p.volts)
                .arg(p.amperes)
                .arg(p.point.pf >= 1
                         ? QString("1")
                         : QString("%1%2").arg(p.point.pf).arg(p.point.capacitive ? "C" : "L"))
                .arg(p.index)
                .arg(QString::fromStdString(p.point.label()));
        return QMessageBox::question(this, "Accuracy Test", text,
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
    askForReference = [this](const PointResult& p) -> std::optional<double> {
        bool ok = false;
        const double w = QInputDialog::getDouble(
            this, "Accuracy Test", QString("Reference active power of point %1 in W:").arg(p.index),
            0.0, -1e9, 1e9, 6, &ok);
        if (!ok) return std::nullopt;
        return w;
    };
    redrawPlot();
    fitToScreen(QSize(1400, 860));
}

AccuracyPlan AccuracyWindow::plan() const {
    AccuracyPlan p = planLoaded_ ? loaded_ : defaultPlan();
    p.accuracyClass = *parseAccuracyClass(class_->currentText().toStdString());
    p.channel = channel_->currentIndex() + 1;
    p.nominalVolts = volts_->value();
    p.settleSeconds = settle_->value();
    p.windowCycles = window_->value();
    p.minPulses = minPulses_->value();
    const bool currentsChanged = p.ib != ib_->value() || p.imax != imax_->value();
    p.ib = ib_->value();
    p.imax = imax_->value();
    if (!planLoaded_ && currentsChanged) setDefaultPoints(p);
    return p;
}

int AccuracyWindow::ACC_START() {
    if (running_) return 0;
    BoardLink& link = ctx_.session.link;
    if (link.busy()) {
        showNotice("The board is busy. Wait until the running operation ends, then try again.");
        return kStatusBusy;
    }
    const AccuracyPlan p = plan();
    const Scaling scaling = ScalingDialog::current(ctx_);
    Bench bench;
    if (sim::VirtualBoard* board = virtualBoardOf(link.transport())) {
        bench = virtualBench(*board, scaling, p.channel);
    } else {
        bench.setSource = askToSetSource;
        bench.reference = askForReference;
    }
    running_ = true;
    start_->setEnabled(false);
    stop_->setEnabled(true);
    for (auto* b : {exportPlot_, saveCsv_, saveReport_, load_}) b->setEnabled(false);
    table_->setRowCount(0);
    progress_->setRange(0, static_cast<int>(p.points.size()));
    progress_->setValue(0);
    run_ = AccuracyRun{};
    run_.plan = p;
    redrawPlot();
    link.pump().clearCancel();
    RunCallbacks cb;
    cb.starting = [this](const PointResult& pt, int total) {
        status_->setText(QString("Point %1 of %2: %3, setting the source and measuring...")
                             .arg(pt.index)
                             .arg(total)
                             .arg(QString::fromStdString(pt.point.label())));
    };
    cb.measured = [this](const PointResult& pt, int) {
        run_.points.push_back(pt);
        showPoint(pt);
        progress_->setValue(pt.index);
        redrawPlot();
    };
    AccuracyRun result;
    const int s = runAccuracy(ctx_.session, ctx_.console, p,
                              *parseMethod(method_->currentText().toStdString()), scaling, bench,
                              cb, &result);
    link.pump().clearCancel();
    result.device = ctx_.session.chip ? strprintf("PM70%02d", ctx_.session.chip) : std::string();
    run_ = result;
    running_ = false;
    start_->setEnabled(true);
    stop_->setEnabled(false);
    load_->setEnabled(true);
    for (auto* b : {exportPlot_, saveCsv_, saveReport_}) b->setEnabled(!run_.points.empty());
    redrawPlot();
    int judged = 0, passed = 0;
    for (const auto& pt : run_.points)
        if (pt.judged()) {
            ++judged;
            passed += pt.pass() ? 1 : 0;
        }
    QString text = QString("%1 of %2 judged points within class %3.")
                       .arg(passed)
                       .arg(judged)
                       .arg(className(p.accuracyClass));
    if (run_.stopped)
        text = QString("Stopped after %1 of %2 points; the board is at rest. ")
                   .arg(run_.points.size())
                   .arg(p.points.size()) +
               text;
    else if (s != 0)
        text = QString("Ended by a board failure after %1 points. ").arg(run_.points.size()) + text;
    status_->setText(text);
    return s == kStatusCancelled ? 0 : s;
}

void AccuracyWindow::ACC_STOP() {
    if (running_) ctx_.session.link.pump().requestCancel();
}

void AccuracyWindow::showPoint(const PointResult& p) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QString result = !p.judged() ? "not judged" : (p.pass() ? "pass" : "FAIL");
    const QString cells[] = {
        QString("%1  %2").arg(p.index).arg(QString::fromStdString(p.point.label())),
        QString::number(p.referenceW, 'f', 4),
        cell(p.powerErrorPct),
        cell(p.pulseErrorPct),
        std::isfinite(p.pulseW) ? QString::number(p.pulses) : QString("-"),
        p.judged() ? QString::number(p.limitPct) : QString("-"),
        result};
    for (int c = 0; c < 7; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (c == 6 && p.judged() && !p.pass()) item->setForeground(QColor("#b00020"));
        table_->setItem(row, c, item);
    }
    table_->scrollToBottom();
}

void AccuracyWindow::redrawPlot() {
    QCustomPlot* q = plot_;
    plot_->deletePlots();
    q->clearGraphs();
    q->xAxis->setScaleType(QCPAxis::stLogarithmic);
    QSharedPointer<QCPAxisTickerLog> ticker(new QCPAxisTickerLog);
    q->xAxis->setTicker(ticker);
    plot_->setAxisLabels("Current (% of Ib, log scale)", "Error of active energy (%)");
    plot_->setTitle(QString("Energy error against current, class %1 limits")
                        .arg(className(run_.plan.accuracyClass)));
    double xmin = 1, xmax = 120, ymax = 0.5;
    for (const auto& p : run_.plan.points) {
        xmin = std::min(xmin, p.currentPercent);
        xmax = std::max(xmax, p.currentPercent);
    }
    const auto band = [&](bool unity, const QColor& colour, bool fill, const QString& name) {
        const auto steps = limitSteps(run_, unity);
        QVector<double> x, up, down;
        for (const auto& [sx, l] : steps) {
            x << sx;
            up << l;
            down << -l;
            ymax = std::max(ymax, l);
        }
        QCPGraph* hi = q->addGraph();
        QCPGraph* lo = q->addGraph();
        QPen pen(colour, 1.2, unity ? Qt::SolidLine : Qt::DashLine);
        hi->setPen(pen);
        lo->setPen(pen);
        hi->setData(x, up, true);
        lo->setData(x, down, true);
        hi->setName(name);
        lo->removeFromLegend();
        if (fill) {
            hi->setBrush(QColor(31, 95, 191, 35));
            hi->setChannelFillGraph(lo);
        }
    };
    band(true, QColor("#1f5fbf"), true, "limit, PF 1");
    band(false, QColor("#777777"), false, "limit, PF 0.5L/0.8C");
    for (const auto& c : accuracyCurves(run_)) {
        QCPGraph* g = q->addGraph();
        QVector<double> x(c.x.begin(), c.x.end()), y(c.y.begin(), c.y.end());
        for (double v : c.y) ymax = std::max(ymax, std::fabs(v));
        g->setData(x, y, true);
        const QColor colour = curveColour(c.pf, c.capacitive);
        g->setPen(QPen(colour, 2, c.pulse ? Qt::DashLine : Qt::SolidLine));
        g->setScatterStyle(QCPScatterStyle(
            c.pulse ? QCPScatterStyle::ssSquare : QCPScatterStyle::ssDisc, colour, colour, 7));
        g->setName(QString::fromStdString(c.name));
    }
    q->xAxis->setRange(xmin / 1.5, xmax * 1.5);
    q->yAxis->setRange(-ymax * 1.15, ymax * 1.15);
    plot_->showLegend(true);
    q->replot();
}

void AccuracyWindow::ACC_LOAD_PLAN() {
    const auto path = ctx_.dialogs.openFile("Load accuracy plan", "*.txt");
    if (!path) return;
    std::string why;
    auto p = readPlanFile(*path, &why);
    if (!p) {
        status_->setText(QString::fromStdString(why));
        return;
    }
    loaded_ = *p;
    planLoaded_ = true;
    class_->setCurrentText(className(p->accuracyClass));
    channel_->setCurrentIndex(p->channel - 1);
    ib_->setValue(p->ib);
    imax_->setValue(p->imax);
    volts_->setValue(p->nominalVolts);
    settle_->setValue(p->settleSeconds);
    window_->setValue(p->windowCycles);
    minPulses_->setValue(p->minPulses);
    progress_->setRange(0, static_cast<int>(p->points.size()));
    progress_->setValue(0);
    status_->setText(
        QString("Plan %1: %2 points.").arg(QString::fromStdString(*path)).arg(p->points.size()));
}

void AccuracyWindow::ACC_EXPORT_PLOT() {
    const auto path = ctx_.dialogs.saveFile("Export plot", "*.png", "accuracy.png");
    if (!path) return;
    if (!plot_->exportTo(QString::fromStdString(*path), 1100, 700))
        status_->setText(QString("The plot was not exported to %1 (a .png, .svg or .pdf name is "
                                 "needed, and a writable folder).")
                             .arg(QString::fromStdString(*path)));
    else
        status_->setText(QString("Plot exported to %1.").arg(QString::fromStdString(*path)));
}

void AccuracyWindow::saveText(const char* title, const char* pattern, const char* name,
                              const std::string& text) {
    const auto path = ctx_.dialogs.saveFile(title, pattern, name);
    if (!path) return;
    std::string why;
    if (!writeFileAtomically(*path, text, &why))
        status_->setText(QString::fromStdString(fileWriteErrorText(*path, why)));
    else
        status_->setText(QString("Saved %1.").arg(QString::fromStdString(*path)));
}

void AccuracyWindow::ACC_SAVE_CSV() {
    saveText("Save table", "*.csv", "accuracy.csv", accuracyCsv(run_));
}

void AccuracyWindow::ACC_SAVE_REPORT() {
    saveText("Save report", "*.txt", "accuracy-report.txt", accuracyReport(run_));
}

}  // namespace evkit::metrology
