// The whole command tree: every subject's rows.
#include "scpi/instrument.h"

namespace evkit::scpi {

std::vector<CommandRow> allRows() {
    std::vector<CommandRow> rows;
    for (auto part : {commonRows(), registerRows(), acquisitionRows(), measurementRows(),
                      settingsRows(), metrologyRows()})
        for (auto& r : part) rows.push_back(std::move(r));
    return rows;
}

Instrument::Instrument(BoardContext b, InstrumentOptions o, Identity i)
    : Instrument(b, std::move(o), std::move(i), allRows()) {}

}  // namespace evkit::scpi
