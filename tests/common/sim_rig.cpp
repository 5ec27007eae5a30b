#include "sim_rig.h"

#include <cstdio>

namespace evkit::test {

std::vector<std::string> SimRig::takeFrames() {
    std::vector<std::string> out;
    for (const auto& f : board.framesReceived()) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%02x %02x %02x %02x %02x %02x", f[0], f[1], f[2], f[3],
                      f[4], f[5]);
        out.emplace_back(buf);
    }
    board.clearFramesReceived();
    return out;
}

}  // namespace evkit::test
