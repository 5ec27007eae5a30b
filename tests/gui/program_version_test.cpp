#include <gtest/gtest.h>

#include "app/start_window.h"
#include "support/version.h"

// --version, the manual pages and the Debian package take the build's project version;
// the start window must show the same one.
TEST(ProgramVersion, TheStartWindowShowsTheBuildsVersion) {
    EXPECT_STREQ(evkit::app::StartWindow::kVersion, evkit::programVersion());
}
