#include "sim/calibration_model.h"
#include "sim/pulse_model.h"
#include "sim/virtual_board.h"

namespace evkit::sim {

// Each firmware feature of the virtual board adds its module here.
std::vector<std::unique_ptr<FirmwareModule>> standardModules() {
    std::vector<std::unique_ptr<FirmwareModule>> modules;
    modules.push_back(makeCalibrationModule());
    modules.push_back(makePulseModule());
    return modules;
}

}  // namespace evkit::sim
