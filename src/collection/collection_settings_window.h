#pragma once
// The collection settings window: sample count, FFT averaging and window, histogram bin
// width, data and seconds delays, and the captured quantity pair. Created by the data
// window's settings button and destroyed when it is confirmed or closed; the settings take
// effect only on OK.
#include <QWidget>
#include <array>
#include <functional>

#include "collection/collection_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class CollectionSettingsWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kObjectName = "pnl_config";

    // Filled from `settings`. In disk mode the sample count is the file's (`fileSamples`, 0
    // before the file has been read), shown read-only, the averaging count and pair boxes are
    // dimmed, and OK keeps the board's sample count for the return to the board.
    CollectionSettingsWindow(collection::CollectionSettings& settings, bool diskMode,
                             QWidget* parent = nullptr, int fileSamples = 0);

    // Called after OK has stored the settings (the data window undims its collect button).
    std::function<void()> onConfirmed;

    // The sample rate and line frequency for the coherent test frequency shown beside the
    // sample count (it follows the count chosen).
    void setCoherentReference(double fs, double lineHz);

  public slots:
    // Commit of pair box `pair` (0..3): checking one clears the others; unchecking the
    // selected box checks it again.
    void CONFIG_CHK(int pair);
    // Stores every setting, then discards the window.
    void POPCONFIG_OK();

  protected:
    // cbf_popconfig: the close request discards the window without storing anything.
    void closeEvent(QCloseEvent* event) override;

  private:
    void showPairs();
    void showCoherent();

    collection::CollectionSettings& settings_;
    bool diskMode_;
    std::array<int, 4> pairs_{};
    QComboBox* samples_ = nullptr;
    QSpinBox* average_ = nullptr;
    QComboBox* window_ = nullptr;
    QSpinBox* binWidth_ = nullptr;
    QSpinBox* dataDelay_ = nullptr;
    QSpinBox* secondsDelay_ = nullptr;
    std::array<QCheckBox*, 4> pairBoxes_{};
    QPushButton* ok_ = nullptr;
    QLabel* coherent_ = nullptr;
    double coherentFs_ = 0.0;
    double coherentLine_ = 0.0;
};

}  // namespace evkit::app
