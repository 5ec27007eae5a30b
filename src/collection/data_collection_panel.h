#pragma once
// The data collection window: captures a block of two quantities from the board (or reads
// it from a capture file), shows it as a time record, a histogram or an averaged spectrum
// with its figures of merit, and zooms, overlays, saves, prints and exports the plot.
//
// The window owns the session's DataCollection (settings, buffers, reception worker) and the
// FFT test. A capture runs inside the board's busy guard: while it waits, events are
// processed (progress, the spectrum after every averaged block), every control that would
// touch the buffers is dimmed, and other windows' board commands are refused.
#include <QPointF>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "collection/analysis.h"
#include "collection/capture.h"
#include "collection/collection_settings_window.h"
#include "spectrum/freq_test.h"
#include "support/save_folder.h"
#include "ui/standing_window.h"

class QCheckBox;
class QComboBox;
class QCPGraph;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class GraphWidget;
class MoreFiguresWidget;
enum class SaveChoice;

// A labelled numeric display with a precision (digits after the decimal point).
struct NumericDisplay {
    QLabel* label = nullptr;
    QLineEdit* value = nullptr;
    int precision = 0;
    // Result boxes: one fixed width, a long value shown with fewer digits; the cursor
    // readouts keep their width too, so nothing re-lays out the window.
    bool fitValue = false;
    static constexpr int kFitWidth = 200;
    void setLabel(const QString& text);
    void setPrecision(int digits) { precision = digits; }
    void show(double v);
    void setVisible(bool on);
    // Background of the value; an invalid colour returns to the normal look.
    void setColour(const QColor& background);
};

// The window's work is spread over four files: data_collection_panel.cpp (building, opening,
// settings, channel and analysis switches, zoom and restore), data_collection_capture_panel.cpp
// (Collect and Stop), data_collection_view_panel.cpp (what the graph and the displays show) and
// data_collection_output_panel.cpp (saving, printing, exporting).
class DataCollectionPanel : public StandingWindow {
    Q_OBJECT
  public:
    static constexpr const char* kPanelName = "pnl_data";
    static constexpr const char* kMenuItem = "MENU_COLLECTION";

    explicit DataCollectionPanel(AppContext& ctx, QWidget* parent = nullptr);
    ~DataCollectionPanel() override;

    collection::DataCollection& data() { return *data_; }
    const spectrum::FftTest& fftTest() const { return fft_; }
    // The last histogram that was binned (what a histogram file is written from).
    const std::optional<collection::HistResult>& lastHistogram() const { return lastHist_; }
    GraphWidget* graph() const { return graph_; }
    CollectionSettingsWindow* settingsWindow() const { return settingsWindow_; }
    bool running() const { return running_; }
    bool zoomPicking() const { return zoomStage_ != 0; }

    // Display name of an FFT window index ("no" for an index without a window).
    static const char* windowName(int window);

    // Chooses the printer before printing; the default shows the print dialog. Returns false
    // when the user cancelled.
    std::function<bool(QPrinter&, const QString& title)> choosePrinter;

  public slots:
    // Menu callback: opens the window (check mark, title, cleared block, time view).
    void COLLECTION();
    // The window's close request: unchecks the menu item and hides the window.
    void DATAPANEL();
    void CONFIG();
    // One capture with the selected analysis. Returns 0 or the status of the failing step.
    int COLLECT();
    // Ends an FFT averaging run after the block being captured; the average so far stays.
    void STOP();
    // Shows channel 1 or 2 of the last capture in the selected analysis.
    void NEWCHAN(int channel);
    // Commit of the analysis ring.
    void GRAPHTYPE();
    // Cursor readouts from graph cursor 1.
    void PLOT();
    void ZOOM();
    void RESTORE();
    void OVERLAY();
    void DATA_IO();
    // The save dialog (its argument is not used).
    void out_put(int unused);
    // Writes both channels of the last capture as a text table (board mode only).
    void cbffiledat();
    // Writes the channel shown of the last capture in V, A, W or var as CSV (board mode only).
    void exportSamplesInUnits();
    // Saves the plot as PNG, PDF or SVG.
    void exportPlot();
    // Removes every plot (disk mode was entered).
    void clearDataGraph();
    // The source changed (disk mode entered, or the board connected): what belongs to the
    // other source goes (block, spectrum, histogram, titles), and the board's own settings
    // are back in force for board captures.
    void sourceChanged();
    // Runs the selected analysis on the block in memory.
    void run_test();
    // Shows or hides the newest block's bare spectrum under the average drawn (no capture).
    void showNewestBlock(bool on);

  protected:
    void onOpened() override;
    void onClosing() override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void buildControls();
    bool diskMode() const;
    // Analyses drawn into the window.
    void time_test();
    void hist_test();
    void freqTestInMemory();
    void drawSpectrum(const spectrum::SpectrumResult& r);
    void showFigures(const spectrum::FftStats& stats);
    void showSpectrumCaptions();
    // Readout labels and precision of an analysis, then PLOT.
    void setReadouts(int test);
    void stampDateTime();
    void resetResultColours();
    // Empties the result displays: no figure of an earlier analysis stays beside new captions.
    void clearResults();
    // The graph without plots under a caption that says why (a refused or failed analysis).
    void showNoAnalysis(const QString& title, const QString& xLabel, const QString& yLabel);
    void updateChannelButtons();
    void setRunning(bool on);
    void showCaptureProgress(int received, int expected);
    void onGraphCommitted(double x, double y);
    void cancelZoom();
    void perform(SaveChoice choice);
    // A save dialog opened in the folder of this run's last choice (at first the working
    // directory) with `fileName` suggested; the folder chosen is kept for the next one.
    std::optional<std::string> chooseSaveFile(const std::string& title, const std::string& pattern,
                                              const std::string& fileName);
    bool printWidget(QWidget* what, const QString& title, bool graphOnly);
    spectrum::FftTestSettings fftSettings() const;
    // The sample rate and line frequency the settings' coherent test frequency is for.
    void showCoherentReference(CollectionSettingsWindow& w);
    // The averaged FFT on fresh captures from the board, with Stop between blocks.
    int collectFftAverage(const std::function<void()>& afterCapture);
    QString channelName() const;
    QString rateText() const;
    // The settings in force, as the status line shows them: in disk mode the file's block.
    QString settingsSummary() const;
    QString inputFileName() const;

    std::unique_ptr<collection::DataCollection> data_;
    spectrum::FftTest fft_;
    std::optional<collection::HistResult> lastHist_;
    int lastHistSamples_ = 0;
    // A block has been captured or read since the window was opened or the source changed.
    bool haveBlock_ = false;
    // The settings have been confirmed outside disk mode since the window was opened.
    bool boardConfirmed_ = false;

    GraphWidget* graph_ = nullptr;
    QComboBox* test_ = nullptr;
    QPushButton* collect_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* config_ = nullptr;
    std::array<QPushButton*, 2> channels_{};
    QPushButton* overlay_ = nullptr;
    QPushButton* zoom_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* io_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* boardOnly_ = nullptr;
    QPushButton* unitsExport_ = nullptr;
    QCheckBox* showNewest_ = nullptr;
    // The newest block's spectrum on the graph (hidden unless asked for); gone with the plots.
    QPointer<QCPGraph> newestCurve_;
    std::array<NumericDisplay, 5> results_{};
    MoreFiguresWidget* more_ = nullptr;  // the converter figures of the spectrum shown
    NumericDisplay cursorX_, cursorY_;
    QLineEdit* date_ = nullptr;
    QLineEdit* time_ = nullptr;
    QSpinBox* averageCount_ = nullptr;
    QLabel* averageLabel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<CollectionSettingsWindow> settingsWindow_;
    SaveFolder saveFolder_;

    bool running_ = false;
    bool stopRequested_ = false;
    int fftBlock_ = 0;  // block being captured by the FFT averaging, 0 outside it
    int fftBlocks_ = 0;
    int zoomStage_ = 0;  // 1: waiting for the first corner, 2: for the second
    QPointF zoomFirst_;
};

}  // namespace evkit::app
