#include "support/console.h"

#include <cstdio>

namespace evkit {

void StderrConsole::print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace evkit
