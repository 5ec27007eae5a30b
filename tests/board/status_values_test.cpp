// The program's own status values: each names one outcome, so a caller that tells a closed
// board or a busy refusal from a failure never takes one for the other.
#include <gtest/gtest.h>

#include <map>

#include "board/board_link.h"
#include "collection/capture.h"
#include "diagnostics/register_debug.h"
#include "pulse/pulse_measurement.h"
#include "registers/register_file.h"
#include "setup/setup_model.h"
#include "temperature/temperature.h"

using namespace evkit;

TEST(StatusValues, EveryOwnFailureHasAValueOfItsOwn) {
    const std::map<const char*, int> own = {
        {"busy", kStatusBusy},
        {"closed", kStatusClosed},
        {"measurement timed out", kStatusTimedOut},
        {"no clock divider", collection::kStatusNoClockDivider},
        {"bad sample count", collection::kStatusBadSampleCount},
        {"temperature refused", temperature::kStatusRefused},
        {"pulse refused", pulse::kStatusRefused},
        {"dump file", diagnostics::kStatusDumpFileError},
        {"setup entry refused", setup::kStatusRefusedEntry},
        {"register file", kStatusFileError},
    };
    std::map<int, const char*> seen;
    for (const auto& [name, value] : own) {
        EXPECT_LE(value, -100) << name;
        const auto [it, fresh] = seen.emplace(value, name);
        EXPECT_TRUE(fresh) << name << " and " << it->second << " share " << value;
    }
    // The cancelled status is the board's own answer and differs from every failure.
    EXPECT_EQ(seen.count(kStatusCancelled), 0u);
}
