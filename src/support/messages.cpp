#include "support/messages.h"

#include <cstdio>

namespace evkit {

void StderrMessages::show(std::string_view title, std::string_view text) {
    std::string line;
    if (!title.empty()) {
        line.append(title);
        line.append(": ");
    }
    line.append(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace evkit
