// The data window's "More figures" section after an averaged FFT on the virtual board, and
// the coherent test frequency beside the sample count in the collection settings.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <memory>

#include "collection/collection_settings_window.h"
#include "collection/data_collection_panel.h"
#include "panel_context.h"
#include "spectrum/more_figures_widget.h"

using namespace evkit;

namespace {

struct MoreFiguresTest : ::testing::Test, test::PanelContext {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        ctx.window = [this](const std::string& name) -> QWidget* {
            return name == "pnl_conv" ? &conversion : nullptr;
        };
        panel = std::make_unique<app::DataCollectionPanel>(ctx);
        panel->COLLECTION();
        rig.takeFrames();
    }
    template <class W>
    W* find(const char* name) {
        auto* w = panel->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Opens the settings with the button, lets `edit` change them and presses OK.
    void configure(const std::function<void(app::CollectionSettingsWindow&)>& edit) {
        find<QPushButton>("DATA_CONFIG")->click();
        auto* w = panel->settingsWindow();
        ASSERT_NE(w, nullptr);
        edit(*w);
        w->findChild<QPushButton*>("POPCONFIG_OK")->click();
    }
    void chooseSamples(app::CollectionSettingsWindow& w, int count) {
        auto* s = w.findChild<QComboBox*>("CONFIG_SAMPLES");
        s->setCurrentIndex(s->findData(count));
    }
    void chooseAnalysis(int test) {
        auto* ring = find<QComboBox>("DATA_TEST");
        ring->setCurrentIndex(test);
        emit ring->activated(test);
    }

    QWidget conversion;  // stands for the conversion window and its line frequency
    std::unique_ptr<app::DataCollectionPanel> panel;
};

TEST_F(MoreFiguresTest, AveragedSpectrumShowsTheConverterFiguresBesideTheFive) {
    auto* more = find<app::MoreFiguresWidget>("DATA_MORE_FIGURES");
    configure([&](app::CollectionSettingsWindow& w) {
        chooseSamples(w, 8192);
        w.findChild<QSpinBox*>("CONFIG_AVERAGE")->setValue(2);
    });
    chooseAnalysis(collection::kTestFft);
    EXPECT_FALSE(more->isVisibleTo(panel.get()));
    rig.takeFrames();
    find<QPushButton>("DATA_COLLECT")->click();

    // Two captures, then the closing commands once.
    const auto frames = rig.takeFrames();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.rfind("f8", 0) == 0; }),
              2);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "a0 00 00 00 00 00"), 1);

    ASSERT_TRUE(panel->fftTest().last());
    const auto& r = *panel->fftTest().last();
    EXPECT_EQ(r.block, 2);
    const auto& c = r.more;
    EXPECT_TRUE(more->isVisibleTo(panel.get()));
    EXPECT_EQ(more->title(), "More figures");
    const auto shown = [&](const char* name) {
        return panel->findChild<QLabel*>(QString("DATA_MORE_%1").arg(name))->text();
    };
    EXPECT_EQ(shown("SINAD_dBFS"), QString::number(c.sinadDbfs, 'f', 3));
    EXPECT_EQ(shown("SNR_dBFS"), QString::number(c.snrDbfs, 'f', 3));
    EXPECT_EQ(shown("ENOB"), QString::number(c.enob, 'f', 3));
    EXPECT_EQ(shown("THD_dBc"), QString::number(c.thdDbc, 'f', 3));
    EXPECT_EQ(shown("SFDR_dBc"), QString::number(c.sfdrDbc, 'f', 3));
    EXPECT_EQ(shown("SFDR_dBFS"), QString::number(c.sfdrDbfs, 'f', 3));
    EXPECT_EQ(shown("SFDR_spur_Hz"), QString::number(c.spurHz, 'f', 3));
    EXPECT_EQ(shown("NSD_dBFS_Hz"), QString::number(c.nsdDbfsHz, 'f', 2));
    // They agree with the five on the screen: SINAD_dBFS = SINAD + FS-PdB.
    const double sinad = find<QLineEdit>("DATA_RESULT_2")->text().toDouble();
    const double fsPdB = find<QLineEdit>("DATA_RESULT_5")->text().toDouble();
    EXPECT_NEAR(shown("SINAD_dBFS").toDouble(), sinad + fsPdB, 0.002);
    // The virtual board's line signal carries its 3rd harmonic: the largest spur, at 150 Hz.
    EXPECT_NEAR(c.spurHz, 150.0, 4000.0 / 8192);
    EXPECT_LT(c.thdDbc, -20.0);

    // Another analysis hides the section.
    chooseAnalysis(collection::kTestTime);
    EXPECT_FALSE(more->isVisibleTo(panel.get()));
}

TEST_F(MoreFiguresTest, SettingsShowTheCoherentFrequencyForTheLineFrequencyInForce) {
    QString before, after, line60;
    configure([&](app::CollectionSettingsWindow& w) {
        auto* coherent = w.findChild<QLabel*>("CONFIG_COHERENT");
        ASSERT_NE(coherent, nullptr);
        chooseSamples(w, 16384);
        // 50 Hz until the conversion window has set or read one; 4000 Hz is the rate of
        // divider 1 on the 4.096 MHz oscillator.
        before = coherent->text();
        chooseSamples(w, 4096);
        after = coherent->text();
    });
    EXPECT_EQ(before, "50.0488 Hz \u2014 205 cycles in 16384 samples (line 50 Hz, 4000 Hz rate)");
    EXPECT_EQ(after, "49.8047 Hz \u2014 51 cycles in 4096 samples (line 50 Hz, 4000 Hz rate)");

    conversion.setProperty("lineFrequencyHz", 60.0);
    configure([&](app::CollectionSettingsWindow& w) {
        chooseSamples(w, 16384);
        line60 = w.findChild<QLabel*>("CONFIG_COHERENT")->text();
    });
    EXPECT_EQ(line60, "59.8145 Hz \u2014 245 cycles in 16384 samples (line 60 Hz, 4000 Hz rate)");
}

}  // namespace
