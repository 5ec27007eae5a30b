#include "collection/collection_settings.h"

namespace evkit::collection {

std::optional<int> sampleCountForIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kSampleCounts.size())) return std::nullopt;
    return kSampleCounts[static_cast<std::size_t>(index)];
}

std::optional<int> indexForSampleCount(int count) {
    for (std::size_t i = 0; i < kSampleCounts.size(); ++i)
        if (kSampleCounts[i] == count) return static_cast<int>(i);
    return std::nullopt;
}

std::string sampleCountList() {
    std::string out;
    for (int c : kSampleCounts) {
        if (!out.empty()) out += ", ";
        out += std::to_string(c);
    }
    return out;
}

void CollectionSettings::selectPair(int pair, int boxValue) {
    if (pair < 0 || pair > 3 || boxValue == 0) return;
    for (int i = 0; i < 6; ++i) checkmark[static_cast<std::size_t>(i)] = 0;
    checkmark[static_cast<std::size_t>(pair)] = 1;
}

std::optional<int> CollectionSettings::selectedPair() const {
    std::optional<int> chosen;
    for (int i = 0; i < 4; ++i)
        if (checkmark[static_cast<std::size_t>(i)] != 0) chosen = i;
    return chosen;
}

bool CollectionSettings::setSampleIndex(int index) {
    const auto count = sampleCountForIndex(index);
    if (!count) return false;
    samples_index = index;
    samples = *count;
    return true;
}

}  // namespace evkit::collection
