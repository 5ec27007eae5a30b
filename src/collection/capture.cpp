#include "collection/capture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "board/connection.h"
#include "support/format.h"

namespace evkit::collection {

void decodePacket(const std::uint8_t* packet, std::int32_t* out) {
    for (int i = 0; i < kValuesPerPacket; ++i, packet += 3) {
        std::uint32_t v = packet[0] | (packet[1] << 8) | (packet[2] << 16);
        if (packet[2] & 0x80) v |= 0xFF000000u;
        out[i] = static_cast<std::int32_t>(v);
    }
}

void splitChannels(std::span<const std::int32_t> raw, int samples, std::span<std::int32_t> channel1,
                   std::span<std::int32_t> channel2) {
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(samples, 0)), raw.size() / 2,
                                    channel1.size(), channel2.size()});
    for (std::size_t i = 0; i < n; ++i) {
        channel1[i] = raw[2 * i];
        channel2[i] = raw[2 * i + 1];
    }
}

CaptureBuffers::CaptureBuffers()
    : raw_data(kBufferSize, 0),
      channel1_data(kBufferSize, 0),
      channel2_data(kBufferSize, 0),
      sample_data(kBufferSize, 0),
      sample_real(kBufferSize, 0.0) {}

void CaptureBuffers::convertSampleData() {
    std::transform(sample_data.begin(), sample_data.end(), sample_real.begin(),
                   [](std::int32_t v) { return static_cast<double>(v); });
}

DataCollection::DataCollection(Session& s) : session(s), staging_(kBufferSize, 0) {
    session.link.collectionWorker = [this](BoardLink& link, std::uint8_t, std::uint8_t,
                                           std::uint8_t) { return Rcv_Pac(link); };
}

DataCollection::~DataCollection() {
    session.link.collectionWorker = nullptr;
}

namespace {
int blockLength(int samples) {
    return std::clamp(samples, 0, kBufferSize);
}
}  // namespace

std::span<const double> DataCollection::block() const {
    return std::span<const double>(buffers.sample_real)
        .first(static_cast<std::size_t>(blockLength(settings.samples)));
}

std::span<const std::int32_t> DataCollection::blockCodes() const {
    return std::span<const std::int32_t>(buffers.sample_data)
        .first(static_cast<std::size_t>(blockLength(settings.samples)));
}

void DataCollection::useBoardSampleCount() {
    if (const auto n = sampleCountForIndex(settings.samples_index)) settings.samples = *n;
}

int DataCollection::captureBlock() {
    if (session.port_number == kPortUsb) useBoardSampleCount();
    return collect_data(settings.samples, session.port_number);
}

int DataCollection::collect_data(int samples, int port) {
    if (port == kPortUsb) return captureFromBoard(samples);
    if (port == kPortDisk) return readFile();
    return 0;
}

int DataCollection::captureFromBoard(int samples) {
    // The pair: the last selected flag wins; with none, the previous codes stay.
    for (int i = 0; i < 4; ++i) {
        if (settings.checkmark[static_cast<std::size_t>(i)] == 0) continue;
        const QuantityPair& p = kQuantityPairs[static_cast<std::size_t>(i)];
        channel1 = p.channel1;
        channel2 = p.channel2;
        buttonlabel1 = p.buttonlabel1;
        buttonlabel2 = p.buttonlabel2;
    }
    // The board delivers the count of the index; more cannot be waited for, and the stream
    // must fit the buffer.
    const auto delivered = sampleCountForIndex(settings.samples_index);
    if (!delivered || samples < 1 || samples > kMaxCaptureSamples || samples > *delivered) {
        session.link.messages().show(
            evkit::msg::kErrorTitle,
            strprintf("Cannot capture %d samples with the sample-count entry %d: choose one of "
                      "%s in the collection settings.",
                      samples, settings.samples_index, sampleCountList().c_str()));
        return kStatusBadSampleCount;
    }

    // A stop asked for before this block (between averaged blocks) ends the run here.
    if (session.link.pump().cancelRequested()) return kStatusCancelled;

    job_.channel1 = channel1;
    job_.channel2 = channel2;
    job_.noisemgmt_off = static_cast<std::uint8_t>(settings.noisemgmt_off & 0xFF);
    job_.samples_index = static_cast<std::uint8_t>(settings.samples_index & 0xFF);
    job_.data_delay = static_cast<std::uint8_t>(settings.data_delay & 0xFF);
    job_.expected = samples * kChannels;
    workerResult_ = 0;
    received_ = 0;
    expected_ = job_.expected;

    const int status =
        session.link.Fun_USB(248, channel1, channel2, 0, session.number_of_bits, nullptr);
    if (status != 0) return status;
    if (const int w = workerResult_.load(); w != 0) return w;

    // Only a complete stream reaches the buffers: whole packets, as the worker received them.
    const int received = std::min(
        (job_.expected + kValuesPerPacket - 1) / kValuesPerPacket * kValuesPerPacket, kBufferSize);
    std::copy_n(staging_.begin(), received, buffers.raw_data.begin());
    splitChannels(buffers.raw_data, samples, buffers.channel1_data, buffers.channel2_data);
    settings.curv_color = kChannel1Colour;
    shownChannel = 1;
    buffers.sample_data = buffers.channel1_data;
    buffers.convertSampleData();
    title = msg::kWindowTitle;
    capturedSamples = samples;
    // The block is the identified device's, with the board's full scale: a header word and
    // range read earlier from a file belong to that file only.
    session.part = session.chip != 0 ? chipName(session.chip) : kDefaultPart;
    session.range = static_cast<std::int32_t>(std::pow(2.0, session.number_of_bits - 1));
    return 0;
}

int DataCollection::Rcv_Pac(BoardLink& link) {
    const Job job = job_;
    F32x& transport = link.transport();
    Clock& clock = link.clock();
    const F32xHandle handle = link.cyHandle;
    const auto fail = [this](int status) {
        workerResult_ = status;
        return status;
    };
    const auto boardGone = [&](int status) {
        link.deferConnectionLost();
        link.Rcv_Pac_Ret = 1;
        return fail(status != 0 ? status : static_cast<int>(kF32xDeviceNotFound));
    };

    auto& w = link.wBuffer;
    w[0] = 248;
    w[1] = job.channel1;
    w[2] = job.channel2;
    w[3] = job.noisemgmt_off;
    w[4] = job.samples_index;
    w[5] = job.data_delay;
    std::uint32_t written = 0;
    if (const int s = transport.Write(handle, w.data(), 6, &written); s != 0) {
        link.deferMessage(evkit::msg::kErrorTitle, msg::kSendFailed);
        return fail(s);
    }

    int count = 0;
    while (count < job.expected) {
        const double t0 = clock.now();
        for (;;) {
            std::uint32_t devices = 0;
            int s = transport.GetNumDevices(&devices);
            if (s != 0 || devices == 0) return boardGone(s);
            std::uint32_t bytes = 0, state = 0;
            s = transport.CheckRXQueue(handle, &bytes, &state);
            if (s != 0) {
                link.deferMessage(evkit::msg::kErrorTitle,
                                  (state & kRxOverrun) ? msg::kQueueOverrun : msg::kQueueStatus);
                return fail(s);
            }
            if (link.collectionCancelled()) return fail(kStatusCancelled);
            if (clock.now() - t0 > kPacketTimeoutSeconds) {
                link.deferMessage(evkit::msg::kErrorTitle, msg::kTimedOut);
                return fail(kStatusNoPacket);
            }
            if (state & kRxReady) break;
            clock.pollPause();
        }
        std::uint32_t got = 0;
        int s = transport.Read(handle, link.rBuffer.data(), kPacketBytes, &got);
        if (s == 0 && got != static_cast<std::uint32_t>(kPacketBytes)) s = kF32xReadError;
        if (s != 0) {
            std::uint32_t devices = 0;
            if (transport.GetNumDevices(&devices) != 0 || devices == 0) return boardGone(s);
            link.deferMessage(evkit::msg::kErrorTitle, msg::kQueueStatus);
            return fail(s);
        }
        if (count + kValuesPerPacket > static_cast<int>(staging_.size())) break;  // cannot happen
        decodePacket(link.rBuffer.data(), staging_.data() + count);
        count += kValuesPerPacket;
        const int shown = std::min(count, job.expected);
        received_ = shown;
        if (onProgress) onProgress(shown, job.expected);
    }
    return 0;
}

int DataCollection::readFile() {
    const std::string path = session.input_file;
    const CaptureFileRead read = read_capture_file(path);
    if (!read.file) {
        const MessageText m = captureFileErrorMessage(read, path);
        session.link.messages().show(m.title, m.text);
        return kStatusFileError;
    }
    const CaptureFile& f = *read.file;
    session.part = f.part;
    session.fs = f.fs;
    session.range = f.range;
    settings.samples = f.samples;
    capturedSamples = f.samples;
    std::copy(f.codes.begin(), f.codes.end(), buffers.sample_data.begin());
    std::fill_n(buffers.channel2_data.begin(), f.samples, 0);
    title = path;
    shownChannel = 1;
    settings.curv_color = kChannel1Colour;
    buffers.convertSampleData();
    return 0;
}

int DataCollection::readSampleRate() {
    std::int32_t word = 0;
    if (const int s = session.link.readRegister(0, 0, &word, session.number_of_bits); s != 0)
        return s;
    const int k = word & 0xF;
    if (k == 0) {
        session.link.messages().show(evkit::msg::kErrorTitle, msg::kClockDividerZero);
        return kStatusNoClockDivider;
    }
    // The oscillator value is a decimal entry held as a 32-bit float: take it back to its
    // decimal value first, so 4.096 MHz with K = 1 gives exactly 4000 samples per second.
    const double mhz =
        std::strtod(strprintf("%.7g", static_cast<double>(session.xtal_speed)).c_str(), nullptr);
    session.fs = static_cast<float>(mhz * 1000000.0 / (k * 1024.0));
    return 0;
}

int DataCollection::waitSecondsDelay() {
    if (session.port_number == kPortDisk || settings.seconds_delay <= 0) return 0;
    BoardLink& link = session.link;
    link.processEvents();
    // In short steps, so that a stop request ends the wait at once.
    constexpr int kStepsPerSecond = 20;
    for (int i = 0; i < settings.seconds_delay; ++i) {
        for (int step = 0; step < kStepsPerSecond; ++step) {
            if (link.pump().cancelRequested()) return kStatusCancelled;
            link.clock().delay(1.0 / kStepsPerSecond);
        }
        link.processEvents();
    }
    return link.pump().cancelRequested() ? kStatusCancelled : 0;
}

int DataCollection::afterAnalysis() {
    if (session.port_number == kPortDisk) return 0;
    if (const int s = session.link.sendCommand(0xA0); s != 0) return s;
    return session.link.writeRegister(0, 15, 0x900000);
}

bool DataCollection::boardPresent() {
    BoardLink& link = session.link;
    if (link.Rcv_Pac_Ret != 0) return false;  // the capture worker lost the board
    std::uint32_t devices = 0;
    return link.transport().GetNumDevices(&devices) == 0 && devices > 0;
}

int DataCollection::collectSequence(const std::function<int()>& acquireAndAnalyse) {
    BoardClaim claim(session.link, "data collection");
    if (!claim.ok()) return kStatusBusy;
    const bool disk = session.port_number == kPortDisk;
    if (!disk) {
        if (const int s = readSampleRate(); s != 0) return s;
    }
    if (acquireAndAnalyse) {
        int s = waitSecondsDelay();
        if (s == 0) s = acquireAndAnalyse();
        if (s != 0) {
            // A capture that failed or was stopped on a board that is still there leaves the
            // device as the capture left it: the after-capture steps still put it back to rest.
            // Their own failure is reported after the capture's, whose status is returned (a
            // stop reports the failure of those steps, if any).
            if (!disk && s != kStatusBadSampleCount && s != kStatusBusy && boardPresent()) {
                const int after = afterAnalysis();
                if (s == kStatusCancelled && after != 0) return after;
            }
            return s;
        }
    }
    if (!disk) return afterAnalysis();
    return 0;
}

void DataCollection::showChannel(int channel) {
    if (channel == 2) {
        buffers.sample_data = buffers.channel2_data;
        settings.curv_color = kChannel2Colour;
        shownChannel = 2;
    } else {
        if (session.port_number != kPortDisk) buffers.sample_data = buffers.channel1_data;
        settings.curv_color = kChannel1Colour;
        shownChannel = 1;
    }
    buffers.convertSampleData();
}

void DataCollection::clearOnOpen() {
    const auto n = static_cast<std::size_t>(blockLength(settings.samples));
    if (session.port_number == kPortDisk) {
        std::fill_n(buffers.sample_real.begin(), n, 0.0);
        std::fill_n(buffers.sample_data.begin(), n, 0);
        buttonlabel1 = "Disk";
        buttonlabel2 = kNoDataLabel;
    } else {
        std::fill_n(buffers.channel1_data.begin(), n, 0);
        std::fill_n(buffers.channel2_data.begin(), n, 0);
        std::fill_n(buffers.sample_data.begin(), n, 0);
        buttonlabel1 = kNoDataLabel;
        buttonlabel2 = kNoDataLabel;
    }
    settings.test = kTestTime;
    settings.curv_color = kChannel1Colour;
    shownChannel = 1;
    capturedSamples = 0;  // the cleared block is no capture
    buffers.convertSampleData();
}

bool DataCollection::writeCaptureFile(const std::string& path, std::string* error) const {
    // The block as captured: a sample count confirmed since then has no samples yet.
    if (capturedSamples < 1) {
        if (error) *error = "no block has been captured";
        return false;
    }
    const auto n = static_cast<std::size_t>(blockLength(capturedSamples));
    return write_capture_file(path, session.part, session.fs, capturedSamples, session.range,
                              std::span<const std::int32_t>(buffers.sample_data).first(n), error);
}

bool DataCollection::writeSampleExport(const std::string& path, std::string* error) const {
    if (capturedSamples < 1) {
        if (error) *error = "no block has been captured";
        return false;
    }
    const auto n = static_cast<std::size_t>(blockLength(capturedSamples));
    return write_sample_export(
        path, capturedSamples, std::span<const std::int32_t>(buffers.channel1_data).first(n),
        std::span<const std::int32_t>(buffers.channel2_data).first(n), error);
}

}  // namespace evkit::collection
