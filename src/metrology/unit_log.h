#pragma once
// The optional unit log: the monitor's results in V, A, W, VA and var, one comma-separated
// line per update, in a file of its own beside the conversion log (which keeps its format).
#include <string>

#include "conversion/record.h"
#include "metrology/scaling.h"

namespace evkit::metrology {

// "n,time,V1rms_V,I1rms_A,P1_W,S1_VA,Q1_var,PF1,V2rms_V,I2rms_A,P2_W,S2_VA,Q2_var,PF2,f_Hz,T\n"
std::string unitLogHeader();
std::string unitLogLine(int update, const std::string& time, const conversion::Values& values,
                        double lineFrequency, const Scaling& scaling);

}  // namespace evkit::metrology
