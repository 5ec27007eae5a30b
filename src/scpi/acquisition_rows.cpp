// Captures and the averaged FFT: the capture and fft commands of the CLI, answered as data.
#include "collection/capture.h"
#include "scpi/client_session.h"
#include "spectrum/freq_test.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

using collection::DataCollection;

// pair (1..4) and samples (one of the board's sample counts) of parameters 0 and 1.
void chooseBlock(const Call& c, DataCollection& data) {
    const int pair = static_cast<int>(c.integer(0, 1, 4));
    const int samples = static_cast<int>(c.integer(1, 1, 1 << 20));
    const auto index = collection::indexForSampleCount(samples);
    if (!index)
        throw Error{code::kDataOutOfRange,
                    "samples must be one of " + collection::sampleCountList()};
    data.settings.selectPair(pair - 1);
    data.settings.setSampleIndex(*index);
}

}  // namespace

std::vector<CommandRow> acquisitionRows() {
    using A = Access;
    return {
        {"CAPTure[:DATA]?", A::kBoard,
         [](Call& c) {
             c.expect(2, 3);
             DataCollection data(c.session());
             chooseBlock(c, data);
             const int channel = c.count() == 3 ? static_cast<int>(c.integer(2, 1, 2)) : 1;
             data.settings.test = collection::kTestTime;
             c.board(data.collectSequence([&] {
                 if (const int s = data.captureBlock(); s != 0) return s;
                 if (channel == 2) data.showChannel(2);
                 return 0;
             }));
             c.client.lastRate = c.session().fs;
             const auto codes = data.blockCodes();
             c.respondIntegers(std::vector<std::int32_t>(codes.begin(), codes.end()));
         },
         "pair,samples[,channel]: a fresh capture's samples (channel 1 unless 2)"},
        {"CAPTure:RATE?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(strprintf("%f", c.client.lastRate));
         },
         "sample rate of this client's last capture or FFT in Hz (0 before one)"},
        {"FFT:WINDow", A::kLocal,
         [](Call& c) {
             c.expect(1, 1);
             c.client.fftWindow = static_cast<int>(c.integer(0, 0, 4));
         },
         "0 Blackman-Harris, 1 5-term, 2 Hanning, 3 Blackman, 4 7-term (default)"},
        {"FFT:WINDow?", A::kLocal,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(std::to_string(c.client.fftWindow));
         },
         ""},
        {"FFT:FIGures?", A::kBoard,
         [](Call& c) {
             c.expect(3, 3);
             DataCollection data(c.session());
             chooseBlock(c, data);
             const int average = static_cast<int>(c.integer(2, 1, 10000));
             data.settings.test = collection::kTestFft;
             data.settings.window = c.client.fftWindow;
             data.settings.average = average;
             spectrum::FftTest test;
             c.board(data.collectSequence([&] {
                 spectrum::FftTestSettings s;
                 s.samples = data.settings.samples;
                 s.window = c.client.fftWindow;
                 s.average = average;
                 s.fs = c.session().fs;
                 s.range = c.session().range;
                 return test.freq_test(
                     s, [&] { return data.captureBlock(); }, data.buffers.sample_real,
                     c.instrument.board.messages);
             }));
             if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
                 c.board(kStatusCancelled);
             c.client.lastRate = c.session().fs;
             const auto& r = *test.last();
             const auto& f = r.stats.figures;
             c.respond(csv({f.spn, f.sinad, f.sd, f.snr, f.fsPdB}) + "," +
                       std::to_string(r.fundamentalBin()) + "," +
                       strprintf("%f", r.fundamentalHz()) + "," + (r.stats.warning ? "1" : "0"));
         },
         "pair,samples,average: S/PN,SINAD,S/D,SNR,FS-PdB,fundamental bin,fundamental Hz,warning"},
    };
}

}  // namespace evkit::scpi
