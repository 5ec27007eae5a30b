#include "metrology/unit_log.h"

#include "support/format.h"

namespace evkit::metrology {

using namespace evkit::conversion;

std::string unitLogHeader() {
    return "n,time,V1rms_V,I1rms_A,P1_W,S1_VA,Q1_var,PF1,V2rms_V,I2rms_A,P2_W,S2_VA,Q2_var,PF2,"
           "f_Hz,T\n";
}

std::string unitLogLine(int update, const std::string& time, const Values& v, double lineFrequency,
                        const Scaling& s) {
    std::string line = strprintf("%d,%s", update, time.c_str());
    for (Quantity q : {V1RMS, I1RMS, P1AVG, S1, Q1AVG, PF1, V2RMS, I2RMS, P2AVG, S2, Q2AVG, PF2})
        line += strprintf(",%.6f", inUnits(q, v[static_cast<size_t>(q)], s));
    line += strprintf(",%.6f,%.6f\n", lineFrequency, v[T]);
    return line;
}

}  // namespace evkit::metrology
