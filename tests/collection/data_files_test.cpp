// Capture, spectrum and histogram files and the sample text export, byte for byte; the
// capture-file reader against damaged files.
#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <random>
#include <sstream>

#include "collection/capture.h"
#include "collection/data_files.h"
#include "sim_rig.h"

namespace evkit::collection {
namespace {

std::string path(const std::string& name) {
    return ::testing::TempDir() + "evkit_df_" + name;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const std::string& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::vector<double> ramp(double first, int n) {
    std::vector<double> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(CaptureFile, WrittenExactlyAndReadBack) {
    const std::vector<std::int32_t> codes = {0, -1, 8388607, -8388608, 12, 99};
    const std::string p = path("a.dat");
    ASSERT_TRUE(write_capture_file(p, "PM7014", 4000.0f, 4, 8388608, codes));
    EXPECT_EQ(slurp(p), "PM7014\n4000.000000\n4\n8388608\n0\n-1\n8388607\n-8388608\n");
    // Over-write, and refuse more samples than the block holds.
    ASSERT_TRUE(write_capture_file(p, "X", 1.5f, 1, 100, codes));
    EXPECT_EQ(slurp(p), "X\n1.500000\n1\n100\n0\n");
    EXPECT_FALSE(write_capture_file(p, "X", 1.5f, 7, 100, codes));
    EXPECT_FALSE(write_capture_file("/nonexistent-dir/x.dat", "X", 1.5f, 1, 100, codes));

    put(p, "PM7013  2000.5\r\n 3\t\t1000\n5 -6\n+7 trailing words are ignored");
    const auto r = read_capture_file(p);
    ASSERT_TRUE(r.file);
    EXPECT_EQ(r.file->part, "PM7013");
    EXPECT_EQ(r.file->fs, 2000.5f);
    EXPECT_EQ(r.file->range, 1000);
    EXPECT_EQ(r.file->codes, (std::vector<std::int32_t>{5, -6, 7}));
}

TEST(CaptureFile, ReaderRefusesEachKindOfBadItem) {
    const std::string p = path("bad.dat");
    const std::pair<const char*, CaptureFileError> cases[] = {
        {"", CaptureFileError::kIncompatible},
        {"PM7014", CaptureFileError::kIncompatible},
        {"PM7014 abc 16 8388608", CaptureFileError::kIncompatible},
        {"PM7014 nan 1 8388608 0", CaptureFileError::kIncompatible},
        {"PM7014 0 1 8388608 0", CaptureFileError::kIncompatible},
        {"PM7014 4000 16x 8388608", CaptureFileError::kIncompatible},
        {"PM7014 4000 -3 8388608", CaptureFileError::kBadSampleCount},
        {"PM7014 4000 0 8388608", CaptureFileError::kBadSampleCount},
        {"PM7014 4000 70001 8388608", CaptureFileError::kBadSampleCount},
        {"PM7014 4000 99999999999999999999 1", CaptureFileError::kIncompatible},
        {"PM7014 4000 2 0 1 2", CaptureFileError::kIncompatible},
        {"PM7014 4000 2 8388608 1", CaptureFileError::kIncompatible},
        {"PM7014 4000 2 8388608 1 2.5", CaptureFileError::kIncompatible},
        {"PM7014 4000 2 8388608 1 +-2", CaptureFileError::kIncompatible},
        {"PM7014 4000 2 8388608 1 4294967296", CaptureFileError::kIncompatible},
        {"TWENTY_CHARACTERS_XX 4000 1 8388608 1", CaptureFileError::kIncompatible},
    };
    for (const auto& [text, error] : cases) {
        put(p, text);
        const auto r = read_capture_file(p);
        EXPECT_FALSE(r.file) << text;
        EXPECT_EQ(r.error, error) << text;
    }
    EXPECT_EQ(read_capture_file(path("missing.dat")).error, CaptureFileError::kCannotOpen);
}

TEST(SpectrumFile, HeaderAndHalfPlusOneRows) {
    std::vector<double> freq(9), db(9);
    for (size_t k = 0; k < 9; ++k) {
        freq[k] = 250.0 * static_cast<double>(k);
        db[k] = -10.0 * static_cast<double>(k) - 0.25;
    }
    const std::string p = path("s.fft");
    ASSERT_TRUE(write_fft_file(p, "PM7014", 4000.0f, 17, 8388608, freq, db));
    const std::string text = slurp(p);
    EXPECT_EQ(text.rfind("PM7014\n4000.000000 sample freq.\n17 samples\n8388608 range\n"
                         "Frequency \tMagnitude\n0.000000\t-0.250000\n250.000000\t-10.250000\n",
                         0),
              0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5 + 9);  // k = 0 .. 8
    EXPECT_NE(text.find("\n2000.000000\t-80.250000\n"), std::string::npos);
    EXPECT_FALSE(write_fft_file(p, "PM7014", 4000.0f, 18, 8388608, freq, db));  // needs 10
}

TEST(HistogramFile, WorkedExamples) {
    const std::string p = path("h.hit");
    auto r = hist_test(ramp(100, 16), 4);
    ASSERT_TRUE(write_hit_file(p, "PM7014", 16, r));
    EXPECT_EQ(slurp(p),
              "PM7014\n16 samples\n3 points\n115 maximum\n100 minimum\nBin # \t\tCounts\n"
              "101.500000\t\t4\n105.500000\t\t4\n109.500000\t\t4\n113.500000\t\t4\n");

    r = hist_test(ramp(100, 16), 1);
    ASSERT_TRUE(write_hit_file(p, "PM7014", 16, r));
    std::string expected =
        "PM7014\n16 samples\n15 points\n115 maximum\n100 minimum\nBin # \t\tCounts\n";
    for (int code = 100; code <= 115; ++code) expected += std::to_string(code) + ".000000\t\t1\n";
    EXPECT_EQ(slurp(p), expected);

    r = hist_test(std::vector<double>{-500, 0, 250, 500}, 256);
    ASSERT_TRUE(write_hit_file(p, "PM7014", 4, r));
    EXPECT_EQ(slurp(p),
              "PM7014\n4 samples\n3 points\n500 maximum\n-500 minimum\nBin # \t\tCounts\n"
              "-375.375000\t\t1\n-125.125000\t\t1\n125.125000\t\t1\n375.375000\t\t1\n");

    r = hist_test(std::vector<double>(16, 7.0), 256);
    ASSERT_TRUE(write_hit_file(p, "PM7014", 16, r));
    EXPECT_EQ(slurp(p),
              "PM7014\n16 samples\n0 points\n7 maximum\n7 minimum\nBin # \t\tCounts\n"
              "7.000000\t\t16\n");

    // A refused histogram writes nothing.
    put(p, "old");
    EXPECT_FALSE(write_hit_file(p, "PM7014", 2, hist_test(std::vector<double>{0, 1e6}, 1)));
    EXPECT_EQ(slurp(p), "old");
}

TEST(SampleExport, FixedWidthColumns) {
    const std::vector<std::int32_t> c1 = {-1234, 0, 8388607};
    const std::vector<std::int32_t> c2 = {1234, -8388608, 5};
    const std::string p = path("e.txt");
    ASSERT_TRUE(write_sample_export(p, 3, c1, c2));
    EXPECT_EQ(slurp(p),
              "                 Current              Voltage\n"
              "000000001       -00001234           +00001234\n"
              "000000002       +00000000           -08388608\n"
              "000000003       +08388607           +00000005\n");
    EXPECT_FALSE(write_sample_export(p, 4, c1, c2));
}

// --- the reader inside collect_data, against damaged files -----------------------------

struct DiskRig {
    DiskRig() {
        rig.session.port_number = kPortDisk;
        rig.session.input_file = path("fuzz.dat");
        reset();
    }
    void reset() {
        // A previous block that must survive every failed read.
        for (int i = 0; i < kBufferSize; ++i) {
            data.buffers.sample_data[static_cast<size_t>(i)] = i * 3 - 7;
            data.buffers.channel2_data[static_cast<size_t>(i)] = 11;
        }
        data.buffers.convertSampleData();
        rig.session.part = "BEFORE";
        rig.session.fs = 123.0f;
        rig.session.range = 77;
        data.settings.samples = 64;
    }
    void expectUntouched() const {
        EXPECT_EQ(rig.session.part, "BEFORE");
        EXPECT_EQ(rig.session.fs, 123.0f);
        EXPECT_EQ(rig.session.range, 77);
        EXPECT_EQ(data.settings.samples, 64);
        for (int i = 0; i < kBufferSize; i += 997) {
            ASSERT_EQ(data.buffers.sample_data[static_cast<size_t>(i)], i * 3 - 7);
            ASSERT_EQ(data.buffers.sample_real[static_cast<size_t>(i)], i * 3 - 7);
            ASSERT_EQ(data.buffers.channel2_data[static_cast<size_t>(i)], 11);
        }
    }
    test::SimRig rig;
    DataCollection data{rig.session};
};

TEST(CaptureFileRead, UnreadableFileGivesOneMessageAndChangesNothing) {
    DiskRig d;
    put(d.rig.session.input_file, "PM7014\nnot-a-number\nalso-bad\n8388608\n1\n");
    EXPECT_EQ(d.data.collect_data(16, kPortDisk), kStatusFileError);
    ASSERT_EQ(d.rig.messages.shown.size(), 1u);
    EXPECT_EQ(d.rig.messages.shown[0],
              (std::pair<std::string, std::string>{
                  "",
                  "ERROR: Incompatible Data File: line 2: the sample rate must be a number "
                  "above 0, found \"not-a-number\"."}));
    d.expectUntouched();

    d.rig.messages.shown.clear();
    d.rig.session.input_file = path("no-such-file.dat");
    EXPECT_EQ(d.data.collect_data(16, kPortDisk), kStatusFileError);
    ASSERT_EQ(d.rig.messages.shown.size(), 1u);
    EXPECT_NE(d.rig.messages.shown[0].second.find("no-such-file.dat"), std::string::npos);
    d.expectUntouched();
}

// Every refusal says after the common text on which line which item is wrong.
TEST(CaptureFileRead, RefusalsNameTheLineAndTheItem) {
    const std::string head = "PM7014\n4000\n3\n8388608\n";
    const struct {
        std::string text;
        std::string reason;
    } cases[] = {
        {"PM7014-WITH-A-LONG-NAME 4000 3 8388608 1 2 3\n",
         "line 1: the device header word must be a word of at most 19 characters, found "
         "\"PM7014-WITH-A-LONG-NAME\""},
        {head + "1\n4294967296\n3\n",
         "line 6: sample 2 of 3 must be a 24-bit code from -8388608 to 8388607, found "
         "\"4294967296\""},
        {head + "1\n8388608\n3\n",
         "line 6: sample 2 of 3 must be a 24-bit code from -8388608 to 8388607, found "
         "\"8388608\""},
        {head + "1\n2\n",
         "line 6: sample 3 of 3 must be a 24-bit code from -8388608 to "
         "8388607, found the end of the file"},
        {"PM7014\n4000\n\n\nthree\n",
         "line 5: the sample count must be an integer, found "
         "\"three\""},
        {"PM7014\n4000\n3\n0\n1 2 3\n",
         "line 4: the full-scale code must be an integer from 1 to 2147483647, found \"0\""},
        {"PM7014\n" + std::string(80, '7') + "\n",
         "line 2: the sample rate must be a number above 0, found a word longer than 64 "
         "characters"},
        {"",
         "line 1: the device header word must be a word of at most 19 characters, found "
         "the end of the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        DiskRig d;
        put(d.rig.session.input_file, c.text);
        EXPECT_EQ(d.data.collect_data(16, kPortDisk), kStatusFileError);
        ASSERT_EQ(d.rig.messages.shown.size(), 1u);
        EXPECT_EQ(d.rig.messages.shown[0].first, "");
        EXPECT_EQ(d.rig.messages.shown[0].second,
                  "ERROR: Incompatible Data File: " + c.reason + ".");
        d.expectUntouched();
    }
}

TEST(CaptureFileRead, OversizedCountIsRefusedWithoutReadingPastTheBuffer) {
    DiskRig d;
    std::string text = "PM7014 4000 70001 8388608\n";
    for (int i = 0; i < 70001; ++i) text += "1\n";
    put(d.rig.session.input_file, text);
    EXPECT_EQ(d.data.collect_data(16, kPortDisk), kStatusFileError);
    ASSERT_EQ(d.rig.messages.shown.size(), 1u);
    EXPECT_NE(d.rig.messages.shown[0].second.find("70001"), std::string::npos);
    d.expectUntouched();
}

TEST(CaptureFileRead, TruncatedAndGarbledFilesNeverHalfLoad) {
    DiskRig d;
    std::string valid = "PM7014\n4000.000000\n40\n8388608\n";
    for (int i = 0; i < 40; ++i) valid += std::to_string(i * 1000 - 20000) + "\n";
    std::mt19937 rng(714);
    const std::string junk = std::string(" \n\t-+.e0123456789xX") + '\xff' + '\0' + "ab";
    int failures = 0;
    for (int round = 0; round < 600; ++round) {
        std::string text;
        if (round < 200) {
            text = valid.substr(0, static_cast<size_t>(rng() % valid.size()));  // truncated
        } else if (round < 500) {
            text = valid;  // a few bytes garbled
            for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k)
                text[rng() % text.size()] = junk[rng() % junk.size()];
        } else {
            text.resize(rng() % 300);  // noise
            for (auto& c : text) c = static_cast<char>(rng());
        }
        put(d.rig.session.input_file, text);
        d.rig.messages.shown.clear();
        const int status = d.data.collect_data(16, kPortDisk);
        if (status == 0) {
            // Still a readable file: everything taken from it.
            EXPECT_TRUE(d.rig.messages.shown.empty());
            EXPECT_GE(d.data.settings.samples, 1);
            EXPECT_LE(d.data.settings.samples, kBufferSize);
            // Put the previous state back for the next round.
            d.reset();
            continue;
        }
        ++failures;
        ASSERT_EQ(status, kStatusFileError) << round;
        ASSERT_EQ(d.rig.messages.shown.size(), 1u) << round;
        EXPECT_EQ(d.rig.messages.shown[0].second.rfind("ERROR: Incompatible Data File", 0), 0u);
        d.expectUntouched();
    }
    EXPECT_GT(failures, 300);
}

}  // namespace
}  // namespace evkit::collection
