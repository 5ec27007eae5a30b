#include "sim/capture_stream.h"
#include "sim/virtual_board.h"

namespace evkit::sim {

std::unique_ptr<FirmwareModule> makeEepromModule();

// Each firmware feature of the virtual board adds its module here.
std::vector<std::unique_ptr<FirmwareModule>> standardModules() {
    std::vector<std::unique_ptr<FirmwareModule>> modules;
    modules.push_back(makeEepromModule());
    modules.push_back(makeCaptureStreamModule());
    return modules;
}

}  // namespace evkit::sim
