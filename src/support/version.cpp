#include "support/version.h"

#ifndef EVKIT_VERSION
#error "EVKIT_VERSION (the project version) must be defined by the build"
#endif

namespace evkit {

const char* programVersion() {
    return EVKIT_VERSION;
}

std::string versionLine(const std::string& program, const std::string& revision) {
    std::string line = program + " " + programVersion();
    if (!revision.empty()) line += " (git " + revision + ")";
    return line;
}

}  // namespace evkit
