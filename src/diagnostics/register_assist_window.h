#pragma once
// Register decoding window of the debug window: type a register (page:address) and a word,
// or read the word from the device, and see its fields decoded.
#include <QWidget>

#include "ui/app_context.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace evkit::app {

class RegisterAssistWindow : public QWidget {
    Q_OBJECT
  public:
    explicit RegisterAssistWindow(AppContext& ctx, QWidget* parent = nullptr);

  public slots:
    // Decodes the word for the register typed; shows a hint when the register is not P:A.
    void decode();
    // Reads the typed register from the device (with page selection) and decodes it.
    int readFromDevice();

  private:
    AppContext& ctx_;
    QComboBox* register_;
    QSpinBox* word_;
    QPushButton* readButton_;
    QLabel* name_;
    QTableWidget* fields_;
};

}  // namespace evkit::app
