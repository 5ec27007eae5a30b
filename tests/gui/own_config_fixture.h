#pragma once
// Windows that read the saved scaling over a virtual board, in a configuration folder of the
// test's own: they find only what the test saved there.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "panel_context.h"

namespace evkit::test {

struct OwnConfigFixture : ::testing::Test, PanelContext {
    // An empty folder `stem` under the test temporary directory becomes the configuration
    // folder.
    void useOwnConfigFolder(const std::string& stem) {
        dir = ::testing::TempDir() + stem;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    // Opens the virtual board as a PM7014 and forgets the frames of opening.
    void openBoard() {
        ASSERT_EQ(rig.open(), 0);
        rig.session.chip = 14;
        rig.takeFrames();
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
    template <class W = QWidget>
    W* in(QWidget& window, const char* name) {
        auto* found = window.findChild<W*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void click(QWidget& window, const char* name) {
        QTest::mouseClick(in<QPushButton>(window, name), Qt::LeftButton);
    }
    std::string dir;
};

}  // namespace evkit::test
