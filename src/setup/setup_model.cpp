// The setup model's behaviour: refresh from the device, reset, clear status and the commit of
// one control (write, read back, decode) over the control table of setup_controls.cpp.
#include "setup/setup_model.h"

#include "registers/word.h"
#include "support/format.h"

namespace evkit::setup {

SetupModel::Exchange SetupModel::writeReadBack(RegisterRef reg, std::uint32_t word) {
    BoardLink& link = session_.link;
    // The write's status does not stop the read-back (its failure has been reported); the
    // read-back alone decides what is shown.
    Exchange x;
    x.status = link.writeRegister(reg.page, reg.address, word & 0xFFFFFF);
    std::int32_t back = 0;
    const int read = link.readRegister(reg.page, reg.address, &back, session_.number_of_bits);
    if (read == 0) x.readBack = low24(back);
    committedReadBack_ = read == 0;
    if (x.status == 0) x.status = read;
    return x;
}

void SetupModel::decodeInto(RegisterGroup group, std::uint32_t w, SetupValues& v) const {
    switch (group) {
        case RegisterGroup::Config:
            v.config = w;
            v.configFields = DecodeConfig(w);
            break;
        case RegisterGroup::Mask:
            v.mask = w;
            break;
        case RegisterGroup::Status:
            v.status = w;
            break;
        case RegisterGroup::Control:
            v.control = w;
            v.controlFields = DecodeControl(w);
            break;
        case RegisterGroup::OpMode:
            v.opmode = w;
            v.opmodeFields = DecodeOperationalMode(w, v.opmodeFields);
            break;
        case RegisterGroup::CycleCount:
            v.cycleCount = w;
            break;
        default:
            break;
    }
}

int SetupModel::Refresh_Setup() {
    BoardLink& link = session_.link;
    BoardSequence sequence(link);  // a lost board is said once, and ends the refresh
    const int bitsArg = session_.number_of_bits;
    std::int32_t w = 0;
    if (int s = link.readRegister(kConfigRegister.page, kConfigRegister.address, &w, bitsArg))
        return s;
    refreshFailure_ = 0;
    unread_.clear();
    const auto read = [&](RegisterRef reg) {
        const int s = sequence.lost() ? link.sequenceLost()
                                      : link.readRegister(reg.page, reg.address, &w, bitsArg);
        if (s == 0) return true;
        if (refreshFailure_ == 0) refreshFailure_ = s;
        unread_.push_back(reg);
        return false;
    };
    SetupValues v = values_;
    decodeInto(RegisterGroup::Config, low24(w), v);
    const std::pair<RegisterRef, RegisterGroup> fields[] = {
        {kMaskRegister, RegisterGroup::Mask},
        {kStatusRegister, RegisterGroup::Status},
        {kCycleCountRegister, RegisterGroup::CycleCount},
        {kControlRegister, RegisterGroup::Control},
        {kOpModeRegister, RegisterGroup::OpMode},
    };
    for (const auto& [reg, group] : fields)
        if (read(reg)) decodeInto(group, low24(w), v);
    const auto& t = numericRegisters();
    for (size_t i = 0; i < t.size(); ++i)
        if (read(t[i].reg)) v.numeric[i] = low24(w);
    v.refreshed = true;
    values_ = v;
    return 0;
}

bool SetupModel::wasRead(const ControlSpec& c) const {
    std::optional<RegisterRef> reg;
    switch (c.group) {
        case RegisterGroup::Config:
            reg = kConfigRegister;
            break;
        case RegisterGroup::Mask:
            reg = kMaskRegister;
            break;
        case RegisterGroup::Status:
            reg = kStatusRegister;
            break;
        case RegisterGroup::Control:
            reg = kControlRegister;
            break;
        case RegisterGroup::OpMode:
            reg = kOpModeRegister;
            break;
        case RegisterGroup::CycleCount:
            reg = kCycleCountRegister;
            break;
        case RegisterGroup::Numeric:
            if (c.index >= 0 && static_cast<size_t>(c.index) < numericRegisters().size())
                reg = numericRegisters()[static_cast<size_t>(c.index)].reg;
            break;
        case RegisterGroup::Xtal:
        case RegisterGroup::None:
            break;
    }
    if (!reg) return true;
    for (const auto& u : unread_)
        if (u.page == reg->page && u.address == reg->address) return false;
    return true;
}

int SetupModel::reset() {
    // Restores power-on defaults. The refresh follows whatever became of the command, so
    // the window shows what the device holds; a reset that was not sent still fails.
    const int sent = session_.link.sendCommand(0xF4);
    session_.link.clock().delay(1.0);
    const int refreshed = Refresh_Setup();
    return sent != 0 ? sent : refreshed;
}

int SetupModel::clearStatus() {
    const Exchange x = writeReadBack(kStatusRegister, kStatusClearWord);
    if (x.readBack) decodeInto(RegisterGroup::Status, *x.readBack, values_);
    return x.status;
}

int SetupModel::commit(std::string_view name, double value) {
    const ControlSpec* c = findSetupControl(name);
    if (!c) {
        messages_.show("Error", "There is no setup control named " + std::string(name) + ".");
        return kStatusRefusedEntry;
    }
    return commit(*c, value);
}

int SetupModel::commit(const ControlSpec& c, double value) {
    committedReadBack_ = false;
    if (auto why = checkControlValue(c, value)) {
        messages_.show("Error", *why);
        return kStatusRefusedEntry;
    }
    const auto typedWord = static_cast<std::uint32_t>(value);
    switch (c.group) {
        case RegisterGroup::Xtal:
            session_.xtal_speed = static_cast<float>(value);  // nothing is sent
            return 0;
        case RegisterGroup::CycleCount: {
            const Exchange x = writeReadBack(kCycleCountRegister, typedWord);
            if (x.readBack) values_.cycleCount = *x.readBack;
            return x.status;
        }
        case RegisterGroup::Numeric: {
            const size_t i = static_cast<size_t>(c.index);
            const NumericRegister& r = numericRegisters()[i];
            const bool plain = c.kind == ControlKind::Word || r.integerValue;
            const auto entered = plain ? std::optional<std::uint32_t>(typedWord) : r.entry(value);
            const Exchange x = writeReadBack(r.reg, *entered);  // checked above
            if (x.readBack) values_.numeric[i] = *x.readBack;
            return x.status;
        }
        case RegisterGroup::Config:
        case RegisterGroup::Mask:
        case RegisterGroup::Control:
        case RegisterGroup::OpMode: {
            SetupValues draft = values_;
            std::uint32_t word = typedWord;
            RegisterRef reg{};
            if (c.kind != ControlKind::Word) c.set(draft, value);
            switch (c.group) {
                case RegisterGroup::Config:
                    reg = kConfigRegister;
                    if (c.kind != ControlKind::Word) word = PackConfig(draft.configFields);
                    break;
                case RegisterGroup::Mask:
                    reg = kMaskRegister;
                    if (c.kind != ControlKind::Word) word = PackMask(DecodeMask(draft.mask));
                    break;
                case RegisterGroup::Control:
                    reg = kControlRegister;
                    if (c.kind != ControlKind::Word) word = PackControl(draft.controlFields);
                    break;
                default:
                    reg = kOpModeRegister;
                    if (c.kind != ControlKind::Word) word = PackOperationalMode(draft.opmodeFields);
                    break;
            }
            const Exchange x = writeReadBack(reg, word);
            if (x.readBack) {
                decodeInto(c.group, *x.readBack, draft);
                values_ = draft;
            }
            return x.status;
        }
        default:
            return kStatusRefusedEntry;  // display-only controls never get here
    }
}

double SetupModel::value(const ControlSpec& c) const {
    switch (c.group) {
        case RegisterGroup::Xtal:  // the float as typed, not its binary expansion
            return std::strtod(strprintf("%.7g", static_cast<double>(session_.xtal_speed)).c_str(),
                               nullptr);
        case RegisterGroup::Numeric: {
            const size_t i = static_cast<size_t>(c.index);
            if (c.kind == ControlKind::Word) return static_cast<double>(values_.numeric[i]);
            return numericRegisters()[i].display(values_.numeric[i]);
        }
        default:
            return c.get ? c.get(values_) : 0.0;
    }
}

bool SetupModel::shown(const ControlSpec& c) const {
    const bool ringA = opModeRingAShown(values_.opmodeFields.bits9_10);
    if (c.name == "SETUP_OPMODE_BITS2_3_A") return ringA;
    if (c.name == "SETUP_OPMODE_BITS2_3_B") return !ringA;
    return true;
}

}  // namespace evkit::setup
