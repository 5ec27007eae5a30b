// Calibrations and their registers, the temperature sensor settings and the pulse count:
// the calibrate, calibration, temperature and pulse commands of the CLI.
#include "calibration/calibration.h"
#include "pulse/pulse_measurement.h"
#include "scpi/client_session.h"
#include "support/format.h"
#include "temperature/temperature.h"

namespace evkit::scpi {

namespace {

int channelsOf(const Call& c, std::size_t i) {
    static const int channels[] = {calibration::kI1, calibration::kV1, calibration::kI2,
                                   calibration::kV2, calibration::kAll};
    return channels[c.choice(i, {"I1", "V1", "I2", "V2", "ALL"})];
}

std::string shownText(const std::vector<calibration::Shown>& shown) {
    std::string s;
    for (const auto& r : shown) {
        if (!s.empty()) s += ',';
        s += strprintf("%s,#H%06X,%.12g", r.reg->name, r.word, r.number);
    }
    return s;
}

void calibrate(Call& c, calibration::CalType type) {
    c.expect(1, type == calibration::CalType::Gain ? 2 : 1);
    const bool gainMode = c.count() == 2 && c.integer(1, 0, 1) == 1;
    const auto* button = calibration::findButton(type, channelsOf(c, 0));
    if (!button) throw Error{code::kDataOutOfRange, "no such calibration"};
    c.board(
        calibration::runCalibration(c.link(), *button, gainMode, [](const calibration::Shown&) {}));
}

const calibration::CalRegister& calRegister(const Call& c, std::size_t i) {
    const std::string t = c.text(i);
    if (const auto* r = calibration::registerNamed(t)) return *r;
    throw Error{code::kDataOutOfRange, "'" + t + "' is not a calibration register"};
}

class KeptTemperature : public temperature::View {
  public:
    void showGainWord(std::uint32_t w) override { gainWord = w; }
    void showGainValue(double v) override { gainValue = v; }
    void showOffsetWord(std::uint32_t w) override { offsetWord = w; }
    void showOffsetValue(double v) override { offsetValue = v; }
    void setScaleBoxes(bool, bool u) override { up = u; }
    std::string text() const {
        return strprintf("#H%06X,%.12g,#H%06X,%.12g,%s", gainWord, gainValue, offsetWord,
                         offsetValue, up ? "UP" : "DOWN");
    }
    std::uint32_t gainWord = 0, offsetWord = 0;
    double gainValue = 0, offsetValue = 0;
    bool up = false;
};

// A temperature value entry (gain or offset): written, read back.
using ValueEntry = int (temperature::TemperatureSettings::*)(double, temperature::View&);
void temperatureEntry(Call& c, ValueEntry entry) {
    c.expect(1, 1);
    temperature::TemperatureSettings settings(c.link());
    KeptTemperature view;
    c.board((settings.*entry)(c.number(0, -1e9, 1e9), view));
}

}  // namespace

std::vector<CommandRow> settingsRows() {
    using A = Access;
    using calibration::CalType;
    return {
        {"CALibration:DCOFfset", A::kBoardWrite, [](Call& c) { calibrate(c, CalType::DcOffset); },
         "I1|V1|I2|V2|ALL: DC offset calibration"},
        {"CALibration:ACOFfset", A::kBoardWrite, [](Call& c) { calibrate(c, CalType::AcOffset); },
         "I1|V1|I2|V2|ALL: AC offset calibration"},
        {"CALibration:GAIN", A::kBoardWrite, [](Call& c) { calibrate(c, CalType::Gain); },
         "I1|V1|I2|V2|ALL[,0|1]: gain calibration (1: the 0x9_ variant)"},
        {"CALibration:REGister?", A::kBoard,
         [](Call& c) {
             c.expect(0, 1);
             std::vector<calibration::Shown> shown;
             c.board(calibration::refresh(
                 c.link(), [&](const calibration::Shown& s) { shown.push_back(s); }));
             if (c.count() == 1) {
                 const auto& reg = calRegister(c, 0);
                 std::erase_if(shown, [&](const calibration::Shown& s) { return s.reg != &reg; });
             }
             c.respond(shownText(shown));
         },
         "[\"NAME\"]: name,word,value of every calibration register (or the one named)"},
        {"CALibration:REGister", A::kBoardWrite,
         [](Call& c) {
             c.expect(2, 2);
             const auto& reg = calRegister(c, 0);
             c.board(calibration::writeWord(c.link(), reg,
                                            static_cast<std::uint32_t>(c.integer(1, 0, 0xFFFFFF)),
                                            [](const calibration::Shown&) {}));
         },
         "\"NAME\",word: writes a calibration register"},
        {"TEMPerature?", A::kBoard,
         [](Call& c) {
             c.expect(0, 0);
             temperature::TemperatureSettings settings(c.link());
             KeptTemperature view;
             c.board(settings.refresh(view));
             c.respond(view.text());
         },
         "gain word,gain,offset word,offset,UP|DOWN"},
        {"TEMPerature:GAIN", A::kBoardWrite,
         [](Call& c) { temperatureEntry(c, &temperature::TemperatureSettings::gainValueEntry); },
         "value: temperature gain"},
        {"TEMPerature:OFFSet", A::kBoardWrite,
         [](Call& c) { temperatureEntry(c, &temperature::TemperatureSettings::offsetValueEntry); },
         "value: temperature offset"},
        {"PULSe:COUNt?", A::kBoard,
         [](Call& c) {
             c.expect(1, 2);
             const double seconds = c.number(0, 0.0, 335544.0);
             const int repeat = c.count() == 2 ? static_cast<int>(c.integer(1, 1, 1000)) : 1;
             pulse::Callbacks cb;
             std::vector<double> values;
             cb.counted = [&](const pulse::CountResult& r) {
                 values = {static_cast<double>(r.counts[0]),
                           static_cast<double>(r.counts[1]),
                           static_cast<double>(r.counts[2]),
                           r.rates[0],
                           r.rates[1],
                           r.rates[2]};
             };
             Pump& pump = c.instrument.board.pump;
             cb.stopRequested = [&pump] { return pump.cancelRequested(); };
             c.board(pulse::measure(c.link(), seconds, repeat, cb));
             c.respond(csv(values));
         },
         "seconds[,repeat]: counts c1,c2,c3 and rates r1,r2,r3 of the last count"},
    };
}

}  // namespace evkit::scpi
