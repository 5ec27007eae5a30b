#pragma once
// The register debug window: raw register reads and writes on the selected page, any command
// byte, and the bulk read of one register into the dump file.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/standing_window.h"
#include "diagnostics/register_debug.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace evkit::app {

class RegisterAssistWindow;

class DebugPanel : public StandingWindow {
    Q_OBJECT
  public:
    explicit DebugPanel(AppContext& ctx, QWidget* parent = nullptr);

    // Where the bulk read writes its dump (default: register_dump.txt in the working
    // directory).
    void setDumpPath(std::string path) { dumpPath_ = std::move(path); }
    // Readings of the last bulk read.
    const std::vector<std::uint32_t>& bulkTable() const { return bulkTable_; }
    RegisterAssistWindow* assistWindow() const { return assist_; }

  public slots:
    int cbf_write_reg();
    int cbf_read_reg();
    int cbf_send_command();
    int cbf_bulk_read();
    int cbf_assist();
    // The stop button of the bulk read.
    void stopBulkRead() { stopRequested_ = true; }

  private:
    void setRunning(bool running);

    QSpinBox* address_;
    QSpinBox* writeWord_;
    QSpinBox* readWord_;
    QSpinBox* command_;
    QSpinBox* bulkCount_;
    QPushButton* writeButton_;
    QPushButton* readButton_;
    QPushButton* commandButton_;
    QPushButton* bulkButton_;
    QPushButton* stopButton_;
    QPushButton* assistButton_;
    QProgressBar* progress_;
    QLabel* status_;
    RegisterAssistWindow* assist_ = nullptr;
    std::vector<std::uint32_t> bulkTable_;
    std::string dumpPath_ = diagnostics::kDumpFileName;
    bool stopRequested_ = false;
};

}  // namespace evkit::app
