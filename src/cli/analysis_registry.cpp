#include "cli/analysis_registry.h"

namespace evkit::cli {

namespace {
std::vector<AnalysisSpec>& table() {
    static std::vector<AnalysisSpec> t;
    return t;
}
}  // namespace

bool registerAnalysis(AnalysisSpec entry) {
    table().push_back(std::move(entry));
    return true;
}

const std::vector<AnalysisSpec>& analyses() {
    return table();
}

}  // namespace evkit::cli
