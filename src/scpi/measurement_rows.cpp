// The conversion monitor as measurements (one update per query), the line frequency and Tmeas.
#include "conversion/monitor.h"
#include "metrology/scaling.h"
#include "registers/word.h"
#include "scpi/client_session.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

using namespace evkit::conversion;

// Keeps the values of the first update and ends the run there.
class OneUpdate : public MonitorView {
  public:
    explicit OneUpdate(ConversionMonitor& monitor) : monitor_(monitor) {}
    void updateDone(int, const std::string&) override {
        values = monitor_.current();
        done = true;
        monitor_.STOP_CONV();
    }
    Values values{};
    bool done = false;

  private:
    ConversionMonitor& monitor_;
};

Values measure(Call& c, int count) {
    ConversionMonitor monitor(c.session(), c.instrument.board.console);
    OneUpdate view(monitor);
    c.board(monitor.START(count, false, view));
    if (!view.done) c.board(c.instrument.board.pump.cancelRequested() ? kStatusCancelled : -1);
    return view.values;
}

int countParam(const Call& c) {
    c.expect(0, 1);
    return c.count() ? static_cast<int>(c.integer(0, 1, kMaxAverageCount)) : 1;
}

}  // namespace

std::vector<CommandRow> measurementRows() {
    using A = Access;
    std::vector<CommandRow> rows{
        {"MEASure:ALL?", A::kBoard,
         [](Call& c) {
             const Values v = measure(c, countParam(c));
             c.respond(csv(std::vector<double>(v.begin(), v.end())));
         },
         "[cycles]: the 20 results of one monitor update, CSV in monitor order"},
        {"MEASure:UNITs?", A::kBoard,
         [](Call& c) {
             const Values v = measure(c, countParam(c));
             std::vector<double> u;
             for (const auto& q : quantityTable())
                 u.push_back(metrology::inUnits(q.quantity, v[static_cast<std::size_t>(q.quantity)],
                                                c.instrument.scaling));
             c.respond(csv(u));
         },
         "[cycles]: MEASure:ALL? with voltages, currents and powers in V, A, W, var and VA "
         "(SCALing)"},
        {"LINE:FREQuency", A::kBoardWrite,
         [](Call& c) {
             c.expect(1, 1);
             const double hz = c.number(0, 0.0, 1.0e6);
             if (hz <= 0) throw Error{code::kDataOutOfRange, "the line frequency must be above 0"};
             double shown = 0;
             std::uint32_t word = 0;
             c.board(setLineFrequency(c.session(), hz, &shown, &word));
         },
         "Hz: line frequency (epsilon register 1:17)"},
        {"TMEAS", A::kBoardWrite,
         [](Call& c) {
             c.expect(1, 1);
             c.board(setTmeas(c.session(), c.integer(0, 0, 0xFFFFFF)));
         },
         "n: writes the Tmeas register 5:26"},
    };
    // One row per quantity: MEASure:V1RMS? ... in the order of MEASure:ALL?.
    for (const auto& q : quantityTable()) {
        const auto index = static_cast<std::size_t>(q.quantity);
        rows.push_back({std::string("MEASure:") + q.name + "?", A::kBoard,
                        [index](Call& c) {
                            const Values v = measure(c, countParam(c));
                            c.respond(strprintf("%.6f", v[index]));
                        },
                        std::string("[cycles]: ") + q.name + " of one update"});
    }
    return rows;
}

}  // namespace evkit::scpi
