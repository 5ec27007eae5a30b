#include "sim/device_model.h"

#include <cstring>

namespace evkit::sim {

DeviceModel::DeviceModel(const Variant& variant) : variant_(variant) {
    powerOn();
    // EEPROM: board name, serial number and revision, the rest erased (0xFF).
    eeprom.fill(0xFF);
    const char* text = "EVKIT714 SN 0714-0001 REV B";
    std::memcpy(eeprom.data(), text, std::strlen(text) + 1);
}

std::uint32_t DeviceModel::reg(int page, int address) const {
    auto it = pages_.find(page);
    if (it == pages_.end() || address < 0 || address > 31) return 0;
    return it->second[static_cast<size_t>(address)];
}

void DeviceModel::setReg(int p, int address, std::uint32_t word) {
    if (address < 0 || address > 31) return;
    if (!(p == 65 && address == 0)) word &= 0xFFFFFF;
    pages_[p][static_cast<size_t>(address)] = word;
}

void DeviceModel::busWrite(int address, std::uint32_t word) {
    word &= 0xFFFFFF;
    if (address == 31) {
        page = static_cast<int>(word & 0xFF);
        return;
    }
    if (page == 0 && address == 15) {
        const std::uint32_t fixed = variant_.status & 0x300;
        setReg(0, 15, ((reg(0, 15) & ~word) & 0xFFFFFF) | fixed);
        return;
    }
    if (page == 65 && address == 0) return;  // identification is read-only
    setReg(page, address, word);
}

void DeviceModel::powerOn() {
    pages_.clear();
    page = 0;
    correction = {};                       // offsets 0, gains 1.0, as the registers below
    setReg(0, 0, 0x000001);                // configuration: clock divider K = 1
    setReg(0, 15, variant_.status | 0x1);  // status: ready bit set, identification bits
    setReg(0, 26, 0x000000);               // mask
    setReg(0, 28, 0x000000);               // control
    for (int a : {1, 3, 8, 10}) setReg(1, a, 0x400000);  // AC gains 1.0
    setReg(1, 14, 400);                                  // pulse rate (x 0.25 = 100.0)
    setReg(1, 15, 0x000000);
    setReg(1, 16, 0x000000);  // operational mode
    setReg(1, 17, 0x019999);  // epsilon: 50 Hz at 4000 words/s
    setReg(1, 18, 0x000000);
    setReg(1, 19, 4000);                     // cycle count
    setReg(1, 22, kPowerOnTemperatureGain);  // temperature gain 16.0, the down scale
    setReg(1, 23, 0x000000);                 // temperature offset
    setReg(1, 24, 0x000000);
    setReg(1, 25, 16);        // settle time (x 0.25 = 4.0)
    setReg(1, 26, 0x000000);  // load minimum
    setReg(1, 27, 0x000000);
    for (int a : {0, 4, 8, 12}) setReg(2, a, 10);        // sag counts
    for (int a : {1, 5, 9, 13}) setReg(2, a, 0x400000);  // sag levels 0.5
    setReg(5, 11, variant_.revision);
    setReg(5, 26, 0);  // Tmeas
    setReg(65, 0, variant_.ident);
}

double DeviceModel::frontEndNoise(Input which, std::uint64_t n) const {
    const double rms = errors.inputs[static_cast<size_t>(which)].noiseRms;
    // Streams of their own, so that the source's noise and the part's are independent.
    return rms == 0.0
               ? 0.0
               : rms * signal.gaussian(
                           0x5EED0000ull + errors.seed * 8 + static_cast<std::uint64_t>(which), n);
}

double DeviceModel::raw(Input which, double t, std::uint64_t n) const {
    const auto& e = errors.inputs[static_cast<size_t>(which)];
    const double delay = errors.delaySeconds(which);
    const double x = signal.value(which, t - delay, n);
    if (e.gain == 0.0 && e.gainTempcoPpm == 0.0 && e.offset == 0.0 && e.noiseRms == 0.0) return x;
    return errors.gainFactor(which) * x + e.offset + frontEndNoise(which, n);
}

double DeviceModel::wordRate() const {
    const int k = clockDivider();
    return k == 0 ? 0.0 : xtalMHz * 1e6 / (k * 1024.0);
}

}  // namespace evkit::sim
