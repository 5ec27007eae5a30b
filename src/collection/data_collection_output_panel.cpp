// The data collection window's outputs: Save / Print… (capture, spectrum and histogram files,
// the graph or the window on a printer), Export plot…, Export samples… and Export samples in
// units….
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <algorithm>

#include "collection/data_collection_panel.h"
#include "collection/save_dialog.h"
#include "metrology/sample_units.h"
#include "metrology/scaling_dialog.h"
#include "ui/graph_widget.h"

namespace evkit::app {

namespace {
constexpr const char* kNoCaptureToSave = "There are no samples to save: collect a block first.";

void reportWriteFailure(Messages& messages, const std::string& path) {
    messages.show(evkit::msg::kErrorTitle, "Unable to write the file \"" + path + "\".");
}
}  // namespace

void DataCollectionPanel::DATA_IO() {
    out_put(1);
}

void DataCollectionPanel::out_put(int) {
    if (running_) return;
    SaveDialog dialog(this);
    dialog.perform = [this](SaveChoice c) { perform(c); };
    dialog.exec();
}

void DataCollectionPanel::perform(SaveChoice choice) {
    Session& s = ctx_.session;
    switch (choice) {
        case SaveChoice::PrintGraph:
            printWidget(graph_, "Print Graph", true);
            break;
        case SaveChoice::PrintPanel:
            printWidget(this, "Print Data Collection Window", false);
            break;
        case SaveChoice::Data: {
            if (data_->capturedSamples < 1) {
                ctx_.messages.show(evkit::msg::kErrorTitle, kNoCaptureToSave);
                return;
            }
            const auto path = chooseSaveFile("", "*.dat", "capture.dat");
            if (!path || path->empty()) return;
            if (!data_->writeCaptureFile(*path)) reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::Fft: {
            const auto& last = fft_.last();
            if (!last) {
                ctx_.messages.show(evkit::msg::kErrorTitle,
                                   "There is no spectrum to save: run the FFT analysis first.");
                return;
            }
            const auto path = chooseSaveFile("Save FFT", "*.fft", "spectrum.fft");
            if (!path || path->empty()) return;
            if (!collection::write_fft_file(*path, s.part, static_cast<float>(last->fs),
                                            last->samples, last->range, last->spectrum.freq,
                                            last->spectrum.db))
                reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::Histogram: {
            if (!lastHist_) {
                ctx_.messages.show(evkit::msg::kErrorTitle,
                                   "There is no histogram to save: run the histogram analysis "
                                   "first.");
                return;
            }
            const auto path = chooseSaveFile("Save Histogram", "*.hit", "histogram.hit");
            if (!path || path->empty()) return;
            if (!collection::write_hit_file(*path, s.part, lastHistSamples_, *lastHist_))
                reportWriteFailure(ctx_.messages, *path);
            break;
        }
        case SaveChoice::None:
            break;
    }
}

std::optional<std::string> DataCollectionPanel::chooseSaveFile(const std::string& title,
                                                               const std::string& pattern,
                                                               const std::string& fileName) {
    auto path = ctx_.dialogs.saveFile(title, pattern, saveFolder_.suggest(fileName));
    if (path && !path->empty()) saveFolder_.remember(*path);
    return path;
}

bool DataCollectionPanel::printWidget(QWidget* what, const QString& title, bool graphOnly) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!choosePrinter || !choosePrinter(printer, title)) return false;
    if (graphOnly) {
        graph_->printTo(printer);
        return true;
    }
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = std::min(page.width() / std::max(1, what->width()),
                                  page.height() / std::max(1, what->height()));
    painter.scale(scale, scale);
    what->render(&painter);
    painter.end();
    return true;
}

void DataCollectionPanel::exportPlot() {
    if (running_) return;
    const auto chosen = chooseSaveFile("Export plot", "*.png *.pdf *.svg", "plot.png");
    if (!chosen || chosen->empty()) return;
    QString path = QString::fromStdString(*chosen);
    if (QFileInfo(path).suffix().isEmpty()) path += ".png";
    if (!graph_->exportTo(path))
        ctx_.messages.show(evkit::msg::kErrorTitle,
                           "Unable to export the plot to \"" + path.toStdString() +
                               "\": choose a writable file ending in .png, .pdf or .svg.");
}

void DataCollectionPanel::cbffiledat() {
    if (running_) return;
    if (data_->capturedSamples < 1) {
        ctx_.messages.show(evkit::msg::kErrorTitle, kNoCaptureToSave);
        return;
    }
    boardOnly_->setEnabled(false);
    const auto path = chooseSaveFile("FILING DATA", "*.*", "");
    if (path && !path->empty() && !data_->writeSampleExport(*path))
        reportWriteFailure(ctx_.messages, *path);
    boardOnly_->setEnabled(!diskMode());
}

void DataCollectionPanel::exportSamplesInUnits() {
    if (running_) return;
    if (data_->capturedSamples < 1) {
        ctx_.messages.show(evkit::msg::kErrorTitle, kNoCaptureToSave);
        return;
    }
    const auto path = chooseSaveFile("Export samples in units", "*.csv", "samples.csv");
    if (!path || path->empty()) return;
    std::string why;
    if (!metrology::writeSamplesInUnits(*path, *data_, data_->shownChannel,
                                        metrology::ScalingDialog::current(ctx_), &why)) {
        std::string text = "Unable to write the file \"";
        text += *path;
        text += "\": ";
        text += why;
        text += ".";
        ctx_.messages.show(evkit::msg::kErrorTitle, text);
    }
}

}  // namespace evkit::app
