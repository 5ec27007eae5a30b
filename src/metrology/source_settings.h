#pragma once
// The virtual board's inputs as a programmable AC source, set by text as on a bench source:
//   "V1=230V I1=5A PF=0.5L f=50"   "V2=0.4FS I2=2.5A PHI2=-30 I2H3=10%@45 I2DC=0.01A"
// Words (separated by blanks; keys are case-insensitive, V/A/FS units too):
//   f=HZ                      line frequency
//   V1= I1= V2= I2=           RMS of the fundamental: in V (voltages) or A (currents) through
//                             the scaling, or as a fraction of full scale with FS; a level
//                             programs the channel afresh as a pure sine (its harmonics, DC
//                             and noise follow from the same text only)
//   PF= PF1= PF2=             power factor 0..1 with L (current lagging) or C (leading);
//                             PF alone sets both channel pairs
//   PHI= PHI1= PHI2=          phase of the current against its voltage, degrees (lag < 0)
//   <IN>H<n>=R[%][@DEG]       harmonic n (2..31) of input IN (V1, I1, V2, I2): amplitude
//                             relative to the fundamental, phase in degrees
//   <IN>DC=X                  DC offset (V, A or FS)    <IN>NOISE=X   white noise RMS
//   TEMP=C                    the part's die temperature (for the gain's temperature drift)
//   clean                     every input a pure sine (no harmonics, DC or noise)
//   zero                      every input at zero (for the offset calibrations)
//   cal                       the gain calibration's reference: every input a pure sine at
//                             0.6 of full scale peak, in phase
// Words left out keep the source as it was.
#include <optional>
#include <string>

#include "metrology/scaling.h"
#include "sim/error_model.h"
#include "sim/signal_source.h"

namespace evkit::metrology {

// Applies `settings` to the source (and the die temperature to `errors`). False, with `error` set
// and nothing changed, for a word that is not understood or a value out of range.
bool applySourceSettings(const std::string& settings, const Scaling& scaling,
                         sim::SignalSource& source, sim::ErrorModel& errors, std::string* error);

// A pure-sine point: RMS voltage (V) and current (A) on one channel pair, phase of the current
// against the voltage in degrees (lag < 0), at `hz`; the other pair keeps its settings.
void setSinePoint(sim::SignalSource& source, const Scaling& scaling, int channel, double volts,
                  double amperes, double phiDeg, double hz);

// Phase (degrees, lag < 0) of a power factor with L or C.
double phaseOfPowerFactor(double pf, bool capacitive);

// The exact readings of a source, as an ideal converter defines them (reactive power from
// the voltage a quarter period earlier), in units.
struct ExactReadings {
    double vrms = 0, irms = 0, p = 0, q = 0, s = 0, pf = 0;
};
ExactReadings exactReadings(const sim::SignalSource& source, const Scaling& scaling, int channel);

// One line describing the source, e.g. "f=50 V1=230V I1=5A PHI1=-60 ...", for reports.
std::string describeSource(const sim::SignalSource& source, const Scaling& scaling);

}  // namespace evkit::metrology

namespace evkit::sim {
class VirtualBoard;
}
namespace evkit {
class F32x;
}

namespace evkit::metrology {
// The virtual board behind a transport (also behind the frame tracer); nullptr for a real
// board.
sim::VirtualBoard* virtualBoardOf(F32x& transport);
}  // namespace evkit::metrology
