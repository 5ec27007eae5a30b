#include "collection/collection_settings_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "spectrum/coherent.h"

namespace evkit::app {

namespace {

// Window entries: value sent to the FFT (its window selection) and the name shown.
struct WindowEntry {
    int value;
    const char* name;
};
constexpr std::array<WindowEntry, 5> kWindowEntries = {{
    {0, "4-term Blackman-Harris"},
    {1, "5-term cosine sum"},
    {2, "Hanning"},
    {3, "Blackman"},
    {4, "7-term cosine sum"},
}};

QSpinBox* makeSpin(QWidget* parent, const char* name, int lo, int hi, int value,
                   const QString& suffix = {}) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(lo, hi);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setAccelerated(true);
    return box;
}

}  // namespace

CollectionSettingsWindow::CollectionSettingsWindow(collection::CollectionSettings& settings,
                                                   bool diskMode, QWidget* parent, int fileSamples)
    : QWidget(parent, Qt::Window), settings_(settings), diskMode_(diskMode) {
    setObjectName(kObjectName);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Collection Settings");

    auto* top = new QVBoxLayout(this);
    auto* captureBox = new QGroupBox("Capture", this);
    auto* capture = new QFormLayout(captureBox);
    samples_ = new QComboBox(captureBox);
    samples_->setObjectName("CONFIG_SAMPLES");
    if (diskMode_) {
        // The count read from the file: an indicator with that one entry.
        samples_->addItem(fileSamples > 0 ? QString::number(fileSamples) : "from the file",
                          fileSamples);
        samples_->setToolTip("The sample count of the capture file");
    } else {
        for (int count : collection::kSampleCounts)
            samples_->addItem(QString::number(count), count);
        samples_->setCurrentIndex(
            std::clamp(settings_.samples_index, 0, static_cast<int>(samples_->count()) - 1));
        samples_->setToolTip("Samples per channel in one capture");
    }
    capture->addRow("Samples per channel", samples_);
    coherent_ = new QLabel(captureBox);
    coherent_->setObjectName("CONFIG_COHERENT");
    coherent_->setToolTip(
        "The test frequency nearest to the line frequency with a whole, prime number of cycles "
        "in the block: its spectrum has no leakage");
    coherent_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    coherent_->setWordWrap(true);  // a long text wraps instead of widening the window
    capture->addRow("Coherent line test", coherent_);
    connect(samples_, &QComboBox::currentIndexChanged, this, [this] { showCoherent(); });
    dataDelay_ = makeSpin(captureBox, "CONFIG_DATA_DELAY", 0, 255, settings_.data_delay);
    dataDelay_->setToolTip("Data-delay code sent to the board with the capture command");
    capture->addRow("Data delay", dataDelay_);
    secondsDelay_ =
        makeSpin(captureBox, "CONFIG_SECONDS_DELAY", 0, 3600, settings_.seconds_delay, " s");
    secondsDelay_->setToolTip("Seconds to wait before a board capture");
    capture->addRow("Wait before capture", secondsDelay_);

    auto* analysisBox = new QGroupBox("Analysis", this);
    auto* analysis = new QFormLayout(analysisBox);
    window_ = new QComboBox(analysisBox);
    window_->setObjectName("CONFIG_WINDOW");
    for (const auto& e : kWindowEntries) window_->addItem(e.name, e.value);
    window_->setCurrentIndex(std::clamp(settings_.window_index, 0, window_->count() - 1));
    analysis->addRow("FFT window", window_);
    average_ = makeSpin(analysisBox, "CONFIG_AVERAGE", 1, 10000, std::max(settings_.average, 1));
    average_->setToolTip("Captures averaged by the FFT analysis");
    analysis->addRow("FFT averages", average_);
    binWidth_ = makeSpin(analysisBox, "CONFIG_BIN_WIDTH", 1, 1 << 24,
                         std::max(settings_.bin_width, 1), " codes");
    analysis->addRow("Histogram bin width", binWidth_);

    auto* pairBox = new QGroupBox("Quantity pair (channel 1 / channel 2)", this);
    auto* pairs = new QVBoxLayout(pairBox);
    for (int i = 0; i < 4; ++i) {
        const auto& p = collection::kQuantityPairs[static_cast<std::size_t>(i)];
        auto* box = new QCheckBox(QString("%1 / %2").arg(p.buttonlabel1, p.buttonlabel2), pairBox);
        box->setObjectName(QString("CONFIG_PAIR_%1").arg(i + 1));
        pairBoxes_[static_cast<std::size_t>(i)] = box;
        pairs->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this, i] { CONFIG_CHK(i); });
        pairs_[static_cast<std::size_t>(i)] = settings_.checkmark[static_cast<std::size_t>(i)];
    }
    showPairs();

    average_->setEnabled(!diskMode_);
    for (QCheckBox* box : pairBoxes_) box->setEnabled(!diskMode_);

    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("POPCONFIG_OK");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CollectionSettingsWindow::POPCONFIG_OK);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(captureBox);
    left->addWidget(analysisBox);
    columns->addLayout(left);
    columns->addWidget(pairBox, 0, Qt::AlignTop);
    top->addLayout(columns);
    // Cancel (as the window's close) discards the window and stores nothing.
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("POPCONFIG_CANCEL");
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
}

void CollectionSettingsWindow::showPairs() {
    for (std::size_t i = 0; i < pairBoxes_.size(); ++i) pairBoxes_[i]->setChecked(pairs_[i] != 0);
}

void CollectionSettingsWindow::CONFIG_CHK(int pair) {
    if (pair < 0 || pair > 3) return;
    if (pairBoxes_[static_cast<std::size_t>(pair)]->isChecked()) {
        pairs_.fill(0);
        pairs_[static_cast<std::size_t>(pair)] = 1;
    }
    showPairs();
}

void CollectionSettingsWindow::POPCONFIG_OK() {
    settings_.average = average_->value();
    settings_.window_index = window_->currentIndex();
    settings_.window = window_->currentData().toInt();
    // In disk mode the count is the file's: the board's entry stays for the return to it.
    if (!diskMode_) {
        settings_.samples_index = samples_->currentIndex();
        settings_.samples = samples_->currentData().toInt();
    }
    settings_.bin_width = binWidth_->value();
    settings_.data_delay = dataDelay_->value();
    settings_.seconds_delay = secondsDelay_->value();
    if (!diskMode_) {
        for (std::size_t i = 0; i < 4; ++i) settings_.checkmark[i] = pairs_[i];
        settings_.checkmark[4] = settings_.checkmark[5] = 0;
    }
    if (onConfirmed) onConfirmed();
    hide();
    deleteLater();
}

void CollectionSettingsWindow::closeEvent(QCloseEvent* event) {
    event->accept();  // WA_DeleteOnClose discards the window; nothing is stored
}

void CollectionSettingsWindow::setCoherentReference(double fs, double lineHz) {
    coherentFs_ = fs;
    coherentLine_ = lineHz;
    showCoherent();
}

void CollectionSettingsWindow::showCoherent() {
    const int n = samples_->currentData().toInt();
    const auto c = spectrum::coherentFrequency(coherentFs_, n, coherentLine_);
    if (!c) {
        coherent_->setText("\u2014");
        return;
    }
    coherent_->setText(QString("%1 Hz \u2014 %2 cycles in %3 samples (line %4 Hz, %5 Hz rate)")
                           .arg(c->frequency, 0, 'f', 4)
                           .arg(c->cycles)
                           .arg(n)
                           .arg(coherentLine_, 0, 'g', 6)
                           .arg(coherentFs_, 0, 'g', 7));
}

}  // namespace evkit::app
