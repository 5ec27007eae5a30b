#include "sim/virtual_board.h"

namespace evkit::sim {

// Each firmware feature of the virtual board adds its module here.
std::vector<std::unique_ptr<FirmwareModule>> standardModules() {
    std::vector<std::unique_ptr<FirmwareModule>> modules;
    return modules;
}

}  // namespace evkit::sim
