#include "pulse/pulse_panel.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/display_look.h"

namespace evkit::app {

namespace {

QLineEdit* makeDisplay(QWidget* parent, const QString& name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    makeResultDisplay(e);  // a result, not an entry: Tab passes it by
    e->setAlignment(Qt::AlignRight);
    e->setMinimumWidth(100);
    return e;
}

QString formatRate(double v) {
    return QString::number(v, 'f', 4);
}

}  // namespace

PulsePanel::PulsePanel(AppContext& ctx, QWidget* parent)
    : StandingWindow(ctx, kMenuItem, "Energy Pulse Measurement", parent) {
    setObjectName(kPanelName);
    Pump* pump = &ctx.session.link.pump();
    setCancelHooks([pump] { pump->requestCancel(); }, [pump] { pump->clearCancel(); });

    auto* outer = new QVBoxLayout(this);
    auto* settings = new QHBoxLayout;
    settings->addWidget(new QLabel("Gate time (s)", this));
    time_ = new QDoubleSpinBox(this);
    time_->setObjectName("PULSE_TIME");
    time_->setRange(0.0, pulse::kMaxGateWord / 50.0);
    time_->setDecimals(2);
    time_->setSingleStep(0.5);
    time_->setValue(3.0);
    settings->addWidget(time_);
    settings->addSpacing(12);
    settings->addWidget(new QLabel("Counts", this));
    repeat_ = new QSpinBox(this);
    repeat_->setObjectName("PULSE_REPEAT");
    repeat_->setRange(0, 1000000);
    repeat_->setValue(5);
    settings->addWidget(repeat_);
    settings->addStretch(1);
    start_ = new QPushButton("Start", this);
    start_->setObjectName("PULSE_START");
    stop_ = new QPushButton("Stop", this);
    stop_->setObjectName("PULSE_STOP");
    stop_->setVisible(false);
    settings->addWidget(start_);
    settings->addWidget(stop_);
    outer->addLayout(settings);
    connect(start_, &QPushButton::clicked, this, &PulsePanel::START_PULSE);
    connect(stop_, &QPushButton::clicked, this, &PulsePanel::STOP_PULSE);

    auto* results = new QGroupBox("Pulse inputs", this);
    auto* grid = new QGridLayout(results);
    const char* heads[] = {"Count", "Rate (1/s)", "Mean rate (1/s)", "Std. deviation (1/s)"};
    for (int c = 0; c < 4; ++c) {
        auto* h = new QLabel(QString("<b>%1</b>").arg(heads[c]), results);
        h->setAlignment(Qt::AlignCenter);
        grid->addWidget(h, 0, c + 1);
    }
    for (int k = 0; k < 3; ++k) {
        const auto n = QString::number(k + 1);
        grid->addWidget(new QLabel("Input " + n, results), k + 1, 0);
        counts_[k] = makeDisplay(results, "PULSE_COUNT_" + n);
        rates_[k] = makeDisplay(results, "PULSE_RATE_" + n);
        means_[k] = makeDisplay(results, "PULSE_MEAN_" + n);
        deviations_[k] = makeDisplay(results, "PULSE_STDDEV_" + n);
        grid->addWidget(counts_[k], k + 1, 1);
        grid->addWidget(rates_[k], k + 1, 2);
        grid->addWidget(means_[k], k + 1, 3);
        grid->addWidget(deviations_[k], k + 1, 4);
    }
    outer->addWidget(results);
    status_ = new QLabel(this);
    status_->setObjectName("PULSE_STATUS");
    status_->setWordWrap(true);
    outer->addWidget(status_);
    clearDisplays();
}

void PulsePanel::setCancelHooks(std::function<void()> request, std::function<void()> clear) {
    requestCancel_ = std::move(request);
    clearCancel_ = std::move(clear);
}

void PulsePanel::PULSEWIN() {
    // A measurement still running (the window was closed meanwhile) keeps its buttons.
    if (!running_) {
        stop_->setVisible(false);
        start_->setEnabled(true);
    }
    openFromMenu();
}

void PulsePanel::clearDisplays() {
    for (int k = 0; k < 3; ++k) {
        counts_[k]->setText("0");
        rates_[k]->setText(formatRate(0.0));
        means_[k]->setText(formatRate(0.0));
        deviations_[k]->setText(formatRate(0.0));
    }
}

void PulsePanel::showCount(const pulse::CountResult& r) {
    for (size_t k = 0; k < 3; ++k) {
        counts_[k]->setText(QString::number(r.counts[k]));
        rates_[k]->setText(formatRate(r.rates[k]));
        means_[k]->setText(formatRate(r.means[k]));
        deviations_[k]->setText(formatRate(r.deviations[k]));
    }
    status_->setText(QString("Count %1 of %2").arg(r.index).arg(repeat_->value()));
}

void PulsePanel::setRunning(bool running) {
    running_ = running;
    stop_->setVisible(running);
    start_->setEnabled(!running);
}

int PulsePanel::START_PULSE() {
    if (running_) return 0;
    // The window shows a count as begun only once the gate time has been accepted.
    running_ = true;
    start_->setEnabled(false);
    stopRequested_ = false;
    if (clearCancel_) clearCancel_();
    QString refusal;
    pulse::Callbacks cb;
    cb.started = [this](std::int32_t) {
        setRunning(true);
        clearDisplays();
        status_->setText("Counting...");
    };
    cb.refused = [&refusal](const std::string& why) { refusal = QString::fromStdString(why); };
    cb.counted = [this](const pulse::CountResult& r) { showCount(r); };
    cb.stopRequested = [this] { return stopRequested_; };
    const int status = pulse::measure(ctx_.session.link, time_->value(), repeat_->value(), cb);
    if (clearCancel_) clearCancel_();
    setRunning(false);
    if (status == pulse::kStatusRefused) {
        // Said as the other refusals are: in the window, without a box to dismiss.
        status_->setText(refusal);
        showNotice(refusal);
        ctx_.console.print(refusal.toStdString() + "\n");
    } else if (status == kStatusCancelled || (status == 0 && stopRequested_)) {
        status_->setText("Stopped.");
    } else if (status == kStatusBusy) {
        status_->setText({});
    } else if (status != 0) {
        status_->setText("Ended by an error.");
    } else {
        status_->setText("Done.");
    }
    return status;
}

void PulsePanel::STOP_PULSE() {
    if (!running_) return;
    stopRequested_ = true;
    if (requestCancel_) requestCancel_();
}

}  // namespace evkit::app
