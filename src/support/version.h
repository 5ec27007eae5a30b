#pragma once
// The program's version as both programs print it with --version.
#include <string>

namespace evkit {

// The release version, "3.0.2" (the build's project version).
const char* programVersion();

// The git revision the programs were built from ("1a2b3c4d5e", "1a2b3c4d5e-dirty" when the
// checkout had changes), or "" when built outside a checkout. Generated at build time and
// linked into the two programs only, so a new commit relinks nothing else.
const char* buildRevision();

// "evkit714 3.0.2" or, with a revision, "evkit714 3.0.2 (git 1a2b3c4d5e)": the program name
// and the version come first, so `--version | cut -d' ' -f2` gives the version.
std::string versionLine(const std::string& program, const std::string& revision);

}  // namespace evkit
