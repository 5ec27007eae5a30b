// The board's EEPROM as its firmware serves it: frame 0xFC answers the first 48 bytes,
// frame 0xF7 stores one byte. Like a real EEPROM, a byte write takes a few milliseconds and a
// write frame arriving during that time is lost, so hosts must pace their writes.
#include <memory>

#include "sim/virtual_board.h"

namespace evkit::sim {

namespace {

constexpr double kWriteCycle = 0.005;  // seconds a byte write keeps the EEPROM busy
constexpr std::size_t kBlock = 48;

class EepromModule : public FirmwareModule {
  public:
    bool onFrame(VirtualBoard& board, const Frame& f) override {
        auto& eeprom = board.device().eeprom;
        if (f[0] == 0xFC) {
            board.answer(std::vector<std::uint8_t>(eeprom.begin(), eeprom.begin() + kBlock));
            return true;
        }
        if (f[0] == 0xF7) {
            const double now = board.now();
            // Address 255 is outside the writable range; a frame inside a write cycle is lost.
            if (f[1] != 0xFF && now >= busyUntil_) {
                eeprom[f[1]] = f[2];
                busyUntil_ = now + kWriteCycle;
            }
            return true;
        }
        return false;
    }

  private:
    double busyUntil_ = -1.0;
};

}  // namespace

std::unique_ptr<FirmwareModule> makeEepromModule() {
    return std::make_unique<EepromModule>();
}

}  // namespace evkit::sim
