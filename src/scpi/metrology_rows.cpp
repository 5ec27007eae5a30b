// The virtual board's programmable source, the engineering-unit scaling and the monitor's
// results in units. They run on the board's thread like every board command, so a scaling
// change never meets a measurement half way.
#include "conversion/monitor.h"
#include "metrology/scaling.h"
#include "metrology/source_settings.h"
#include "scpi/client_session.h"
#include "sim/virtual_board.h"
#include "support/format.h"

namespace evkit::scpi {

namespace {

sim::VirtualBoard& virtualBoard(Call& c) {
    sim::VirtualBoard* board = metrology::virtualBoardOf(c.link().transport());
    if (!board)
        throw Error{code::kExecutionError,
                    "the programmable source belongs to the virtual board (--board sim)"};
    return *board;
}

// The scaling in the order of SCALing?: V1, I1, V2, I2 at full scale, meter constant.
std::vector<double> scalingValues(const metrology::Scaling& s) {
    return {s.channel[0].volts, s.channel[0].amperes, s.channel[1].volts, s.channel[1].amperes,
            s.meterConstant};
}

}  // namespace

std::vector<CommandRow> metrologyRows() {
    using A = Access;
    return {
        {"SOURce", A::kBoardWrite,
         [](Call& c) {
             c.expect(1, 1);
             sim::VirtualBoard& board = virtualBoard(c);
             sim::SignalSource source = board.signal();
             sim::ErrorModel errors = board.errorModel();
             std::string why;
             if (!metrology::applySourceSettings(c.text(0), c.instrument.scaling, source, errors,
                                                 &why))
                 throw Error{code::kDataOutOfRange, why};
             board.setSignal(source);
             board.setErrorModel(errors);
         },
         "\"settings\": virtual board only: programs its inputs, e.g. \"V1=230V I1=5A PF=0.5L "
         "f=50\""},
        {"SOURce?", A::kBoard,
         [](Call& c) {
             c.expect(0, 0);
             std::string quoted(1, '"');
             quoted += metrology::describeSource(virtualBoard(c).signal(), c.instrument.scaling);
             quoted += '"';
             c.respond(std::move(quoted));
         },
         "virtual board only: the source in force, as SOURce takes it"},
        {"SCALing", A::kBoard,
         [](Call& c) {
             c.expect(2, 2);
             metrology::Scaling s = c.instrument.scaling;
             std::string why;
             if (!metrology::setScalingValue(s, c.text(0), c.number(1, 0.0, 1.0e9), &why))
                 throw Error{code::kDataOutOfRange, why};
             c.instrument.scaling = s;
         },
         "key,value: scale-v1, scale-i1, scale-v2, scale-i2 (V or A at full scale) or "
         "meter-constant (pulses per kWh, 0: from the pulse rate register)"},
        {"SCALing?", A::kBoard,
         [](Call& c) {
             c.expect(0, 0);
             c.respond(csv(scalingValues(c.instrument.scaling)));
         },
         "V1,I1,V2,I2 at full scale and the meter constant, CSV"},
    };
}

}  // namespace evkit::scpi
