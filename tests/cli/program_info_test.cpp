// What both programs answer without a board or a display: --version, --help, and the
// udev rule for the board's USB ID.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "cli_runner.h"
#include "support/version.h"

using evkit::test::runCli;

namespace {

struct Run {
    int status = -1;
    std::string out;
};

// Runs the desktop program the way a shell without a display would: no DISPLAY, no
// WAYLAND_DISPLAY, no QT_QPA_PLATFORM.
Run runDesktopWithoutDisplay(const std::string& args) {
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                            std::string(EVKIT_GUI_PATH) + " " + args + " 2>&1 </dev/null";
    Run r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return r;
}

// Sets or clears environment variables for one scope and restores them afterwards.
class ScopedEnv {
  public:
    void set(const char* name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

std::string ruleFor(const std::string& vendor, const std::string& product) {
    return "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"" + vendor +
           "\", ATTR{idProduct}==\"" + product + "\", MODE=\"0660\", TAG+=\"uaccess\"";
}

// The lines of `text` that are not comments.
std::vector<std::string> ruleLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

}  // namespace

TEST(ProgramInfo, BothProgramsPrintTheirVersion) {
    const std::string version =
        std::regex_replace(evkit::programVersion(), std::regex("\\."), "\\.");
    const auto cli = runCli("--version");
    EXPECT_EQ(cli.status, 0) << cli.err;
    EXPECT_TRUE(std::regex_match(
        cli.out, std::regex("evkit714-cli " + version + "( \\(git [0-9a-f]+(-dirty)?\\))?\n")))
        << cli.out;
    // --version wins over a command: nothing is run, no board is opened.
    const auto withCommand = runCli("--board usb --version identify");
    EXPECT_EQ(withCommand.status, 0) << withCommand.err;
    EXPECT_EQ(withCommand.out, cli.out);

    const auto gui = runDesktopWithoutDisplay("--version");
    EXPECT_EQ(gui.status, 0) << gui.out;
    EXPECT_TRUE(std::regex_match(
        gui.out, std::regex("evkit714 " + version + "( \\(git [0-9a-f]+(-dirty)?\\))?\n")))
        << gui.out;
    // Both programs come from the same build: the same revision.
    EXPECT_EQ(gui.out.substr(gui.out.find(' ')), cli.out.substr(cli.out.find(' ')));
}

TEST(ProgramInfo, TheDesktopProgramsHelpNeedsNoDisplay) {
    for (const char* option : {"--help", "-h"}) {
        const auto r = runDesktopWithoutDisplay(option);
        EXPECT_EQ(r.status, 0) << option << r.out;
        for (const char* expected : {"Usage: ", "--board", "--connect", "--trace", "--version"})
            EXPECT_NE(r.out.find(expected), std::string::npos) << option << ": " << expected;
    }
    // An option the program does not know is still a usage error (reported by Qt's parser
    // once the application exists, which needs the offscreen platform here).
    const auto bad = runDesktopWithoutDisplay("-platform offscreen --no-such-option");
    EXPECT_NE(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("no-such-option"), std::string::npos) << bad.out;
}

TEST(ProgramInfo, CliHelpListsTheUdevRuleAndVersion) {
    const auto r = runCli("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: evkit714-cli "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("udev-rule"), std::string::npos) << r.out;
}

TEST(UdevRule, PrintsTheRuleForTheGivenOrConfiguredId) {
    struct Case {
        const char* what;
        const char* args;
        std::optional<std::string> envId;
        std::string vendor, product;
    };
    const Case cases[] = {
        {"given", "usb udev-rule 1234:5678", std::nullopt, "1234", "5678"},
        // The kernel's attributes are four lower-case hex digits: the user's spelling of the
        // ID must not reach the rule, or the rule never matches.
        {"spelt differently", "usb udev-rule 0x12AB:0xCD", std::nullopt, "12ab", "00cd"},
        {"--usb-id", "--usb-id abcd:0001 usb udev-rule", std::nullopt, "abcd", "0001"},
        {"environment", "usb udev-rule", "1234:5678", "1234", "5678"},
        {"given beats --usb-id", "--usb-id abcd:0001 usb udev-rule 1234:5678", "aaaa:bbbb", "1234",
         "5678"},
    };
    for (const auto& c : cases) {
        ScopedEnv env;
        env.set("EVKIT714_USB_ID", c.envId);
        env.set("XDG_CONFIG_HOME", ::testing::TempDir() + "no-evkit714-config");
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, 0) << c.what << r.err;
        EXPECT_EQ(r.err, "") << c.what;
        // Comments and exactly one rule: the output is piped into the rules file as it is.
        EXPECT_EQ(ruleLines(r.out), std::vector<std::string>{ruleFor(c.vendor, c.product)})
            << c.what << "\n"
            << r.out;
        EXPECT_NE(r.out.find("/etc/udev/rules.d/60-evkit714.rules"), std::string::npos) << c.what;
    }
}

TEST(UdevRule, NoUsableIdPrintsNoRule) {
    struct Case {
        const char* what;
        const char* args;
        std::optional<std::string> envId;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"none configured", "usb udev-rule", std::nullopt, 1, "--usb-id"},
        {"configured ID invalid", "usb udev-rule", "board", 1, "EVKIT714_USB_ID holds 'board'"},
        {"given ID invalid", "usb udev-rule 12345:1", "1234:5678", 2, "VID:PID"},
        {"list takes no ID", "usb list 1234:5678", "1234:5678", 2, "takes no ID"},
        {"unknown action", "usb rule", "1234:5678", 2, "rule"},
    };
    for (const auto& c : cases) {
        ScopedEnv env;
        env.set("EVKIT714_USB_ID", c.envId);
        env.set("XDG_CONFIG_HOME", ::testing::TempDir() + "no-evkit714-config");
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.what << r.err;
        EXPECT_EQ(r.out, "") << c.what;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
    }
}

TEST(UdevRule, TheTemplateInTheDocumentationIsTheSameRule) {
    std::ifstream file(std::string(EVKIT_PACKAGING_DIR) + "/60-evkit714.rules");
    ASSERT_TRUE(file);
    std::string text(std::istreambuf_iterator<char>(file), {});
    text = std::regex_replace(text, std::regex("VVVV"), "1234");
    text = std::regex_replace(text, std::regex("PPPP"), "5678");
    const auto r = runCli("usb udev-rule 1234:5678");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ruleLines(text), ruleLines(r.out));
}
