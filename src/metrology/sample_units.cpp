#include "metrology/sample_units.h"

#include <algorithm>

#include "support/file_writer.h"
#include "support/format.h"

namespace evkit::metrology {

std::optional<SampleUnit> sampleUnitOf(std::uint8_t readByte, const Scaling& s) {
    for (std::size_t pair = 0; pair < collection::kQuantityPairs.size(); ++pair) {
        const collection::QuantityPair& p = collection::kQuantityPairs[pair];
        if (readByte != p.channel1 && readByte != p.channel2) continue;
        // Pairs 1 and 2 are current and voltage of their channel pair, 3 and 4 the active
        // and reactive power of channel pair 1 and 2.
        const bool first = readByte == p.channel1;
        const ChannelScaling& c = s.channel[pair % 2];
        SampleUnit u;
        u.channel = first ? p.buttonlabel1 : p.buttonlabel2;
        if (pair < 2) {
            u.unit = first ? "A" : "V";
            u.fullScale = first ? c.amperes : c.volts;
        } else {
            u.unit = first ? "W" : "var";
            u.fullScale = c.volts * c.amperes;
        }
        return u;
    }
    return std::nullopt;
}

std::string samplesInUnitsCsv(const SampleUnit& unit, std::int32_t range, double fs,
                              std::span<const std::int32_t> codes) {
    std::string out = "# ";
    out += unit.channel;
    out += strprintf(" in %s: %g %s at full-scale code %d, %g samples/s\n", unit.unit,
                     unit.fullScale, unit.unit, range, fs);
    out += "index,code,value_";
    out += unit.unit;
    out += "\n";
    out.reserve(out.size() + codes.size() * 28);
    for (std::size_t i = 0; i < codes.size(); ++i)
        out += strprintf("%zu,%d,%.6f\n", i + 1, codes[i],
                         sampleInUnits(codes[i], range, unit.fullScale));
    return out;
}

bool writeSamplesInUnits(const std::string& path, const collection::DataCollection& data,
                         int channel, const Scaling& s, std::string* error) {
    const auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (data.capturedSamples < 1) return fail("no block has been captured");
    if (data.session.port_number == kPortDisk)
        return fail("a capture file does not say which quantity its samples are");
    if (data.session.range < 1) return fail("the full-scale code is not known");
    const auto unit = sampleUnitOf(channel == 2 ? data.channel2 : data.channel1, s);
    if (!unit) return fail("the captured quantity has no unit");
    const auto& codes = channel == 2 ? data.buffers.channel2_data : data.buffers.channel1_data;
    const auto n = std::min(static_cast<std::size_t>(data.capturedSamples), codes.size());
    return writeFileAtomically(path,
                               samplesInUnitsCsv(*unit, data.session.range, data.session.fs,
                                                 std::span<const std::int32_t>(codes).first(n)),
                               error);
}

}  // namespace evkit::metrology
