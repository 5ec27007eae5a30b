// The data collection window's capture: one press of Collect (a block, or the averaged blocks
// of the FFT) inside the board's busy guard, its progress, and Stop averaging.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include "collection/data_collection_panel.h"
#include "spectrum/fft_collection.h"
#include "ui/graph_widget.h"

namespace evkit::app {

using collection::kTestFft;
using collection::kTestHistogram;
using collection::kTestTime;

namespace {

// Restores the normal mouse cursor when a long operation ends, however it ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

void DataCollectionPanel::setRunning(bool on) {
    running_ = on;
    for (QWidget* w :
         std::initializer_list<QWidget*>{test_, config_, channels_[0], channels_[1], overlay_,
                                         zoom_, restore_, io_, export_, boardOnly_, unitsExport_})
        w->setEnabled(!on);
    stop_->setVisible(false);
    if (!on) {
        // What the source mode dims stays dimmed.
        if (diskMode()) {
            channels_[1]->setEnabled(false);
            overlay_->setEnabled(false);
            boardOnly_->setEnabled(false);
            unitsExport_->setEnabled(false);
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
    return spectrum::fftSettingsOf(*data_);
}

int DataCollectionPanel::collectFftAverage(const std::function<void()>& afterCapture) {
    fftBlocks_ = data_->settings.average;
    spectrum::FftObserver observer;
    observer.blockStarting = [this](int block) {
        if (block == 1) {
            stop_->setVisible(fftBlocks_ > 1);
            stop_->setEnabled(true);
        }
        fftBlock_ = block;
        averageCount_->setValue(block);
        showCaptureProgress(0, 1);
    };
    observer.spectrum = [this](const spectrum::SpectrumResult& r) { drawSpectrum(r); };
    spectrum::FftCollectionHooks hooks;
    hooks.stopRequested = [this] { return stopRequested_; };
    hooks.afterCapture = afterCapture;
    const int s = spectrum::collectAveragedFft(*data_, fft_, ctx_.messages, observer, hooks);
    fftBlock_ = fftBlocks_ = 0;
    if (s == 0) showSpectrumCaptions();
    return s;
}

int DataCollectionPanel::COLLECT() {
    if (running_) return 0;
    BoardLink& link = ctx_.session.link;
    if (link.busy()) return link.refuseBusy();

    cancelZoom();
    // A board capture takes the settings on display, whatever a file read left behind.
    if (!diskMode()) data_->useBoardSampleCount();
    collect_->setEnabled(false);
    setRunning(true);
    BusyCursor busy;
    progress_->setRange(0, 0);
    progress_->setFormat("Starting\u2026");
    status_->setText(settingsSummary());  // what this capture uses
    graph_->deletePlots();
    graph_->replot();
    link.pump().clearCancel();
    stopRequested_ = false;
    link.processEvents();

    const int test = data_->settings.test;
    const auto afterCapture = [&] {
        haveBlock_ = true;
        updateChannelButtons();
        setWindowTitle(QString::fromStdString(data_->title));
    };
    int status = 0;
    if (test == kTestFft && !diskMode()) {
        status = collectFftAverage(afterCapture);
    } else {
        status = data_->collectSequence([&]() -> int {
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
                // A file holds one block: read it, then analyse it once.
                if (const int s = data_->captureBlock(); s != 0) return s;
                afterCapture();
                freqTestInMemory();
            }
            return 0;
        });
    }
    fftBlock_ = fftBlocks_ = 0;
    if (status == kStatusCancelled && stopRequested_) {
        // Stopped: the collection has sent the device its commands after the analysis.
        status = 0;
        if (fft_.last()) {
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
    // A file read names the file in the title whether or not it could be read; the status
    // line says what the block shown holds.
    if (diskMode()) {
        setWindowTitle(QString::fromStdString(ctx_.session.input_file));
        if (status == 0) status_->setText(settingsSummary());
    }
    if (status != 0 && status != kStatusBusy && status != kStatusClosed) {
        status_->setText(QString("The capture failed (status %1). Confirm the settings to "
                                 "collect again.")
                             .arg(status));
        if (status != kStatusCancelled)
            showNoAnalysis(
                diskMode() ? QString("No analysis \u2014 %1 could not be read").arg(inputFileName())
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

}  // namespace evkit::app
