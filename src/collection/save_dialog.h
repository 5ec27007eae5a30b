#pragma once
// The save dialog of the data window: one of five mutually exclusive choices (capture file,
// spectrum file, histogram file, print the window, print the graph), carried out on OK while
// a busy indicator shows. A new dialog each time; its choices are not remembered.
#include <QDialog>
#include <array>
#include <functional>

class QRadioButton;
class QLabel;
class QProgressBar;
class QPushButton;

namespace evkit::app {

enum class SaveChoice { None, Data, Fft, Histogram, PrintPanel, PrintGraph };

class SaveDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SaveDialog(QWidget* parent = nullptr);

    SaveChoice choice() const;
    // Carries out the choice; runs with OK and Cancel dimmed and the busy indicator shown.
    std::function<void(SaveChoice)> perform;

  public slots:
    // Commit of choice box `index` (0..4): the other four are cleared.
    void choose(int index);
    // SAVE_OK: carries out the choice, if any, and closes the dialog.
    void ok();

  private:
    std::array<QRadioButton*, 5> boxes_{};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QProgressBar* busy_ = nullptr;
};

}  // namespace evkit::app
