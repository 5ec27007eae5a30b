#pragma once
// The board EEPROM window: reads the first bytes into a one-column table and writes the
// table's bytes back, one frame per byte.
#include <vector>

#include "ui/standing_window.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace evkit::app {

class EepromPanel : public StandingWindow {
    Q_OBJECT
  public:
    explicit EepromPanel(AppContext& ctx, QWidget* parent = nullptr);

    // Row r (from 1) holds the byte at address r - 1.
    int rowValue(int row) const;
    void setRowValue(int row, int value);
    int rowCount() const;

  public slots:
    // Read button: 0, or -1 when the answer never became ready (other non-zero values:
    // refused or failed read, the table unchanged).
    int cbfrd_br();
    // Write button: writes rows 1..n to addresses 0..n-1.
    int BOOTBURN();

  private:
    std::vector<int> tableValues() const;

    QSpinBox* count_;
    QTableWidget* table_;
    QPushButton* readButton_;
    QPushButton* writeButton_;
    QLabel* busy_;
};

}  // namespace evkit::app
