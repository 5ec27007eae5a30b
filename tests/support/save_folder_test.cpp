// The save dialogs' folder: the working directory until a file is chosen, then that file's
// folder; relative choices count from the working directory.
#include "support/save_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace evkit {
namespace {

namespace fs = std::filesystem;

TEST(SaveFolder, WorkingDirectoryFirstThenTheFolderOfTheLastChoice) {
    const std::string cwd = fs::current_path().string();
    SaveFolder f;
    EXPECT_EQ(f.folder(), cwd);
    EXPECT_EQ(f.suggest(""), cwd);
    EXPECT_EQ(f.suggest("capture.dat"), (fs::path(cwd) / "capture.dat").string());

    f.remember("");  // a cancelled choice
    EXPECT_EQ(f.folder(), cwd);
    f.remember("/tmp/evkit-elsewhere/sub/../table.txt");
    EXPECT_EQ(f.folder(), "/tmp/evkit-elsewhere");
    EXPECT_EQ(f.suggest("plot.png"), "/tmp/evkit-elsewhere/plot.png");
    f.remember("runs/a.dat");
    EXPECT_EQ(f.folder(), (fs::path(cwd) / "runs").string());
    f.remember("b.dat");
    EXPECT_EQ(f.folder(), cwd);
}

}  // namespace
}  // namespace evkit
