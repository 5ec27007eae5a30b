#include "scpi/instrument.h"

namespace evkit::scpi {

Instrument::Instrument(BoardContext b, InstrumentOptions o, Identity i,
                       std::vector<CommandRow> rows)
    : board(b), options(std::move(o)), identity(std::move(i)), table_(std::move(rows)) {}

bool Instrument::lock(std::uint64_t client) {
    std::uint64_t expected = 0;
    return lockOwner_.compare_exchange_strong(expected, client) || expected == client;
}

void Instrument::unlock(std::uint64_t client) {
    std::uint64_t expected = client;
    lockOwner_.compare_exchange_strong(expected, 0);
}

Instrument::Availability Instrument::availabilityFor(std::uint64_t client) const {
    const auto owner = lockOwner_.load();
    if (owner != 0 && owner != client) return Availability::kLocked;
    const auto active = activeClient.load();
    if (active != 0 && active != client) return Availability::kBusy;
    return Availability::kFree;
}

}  // namespace evkit::scpi
