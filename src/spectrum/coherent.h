#pragma once
// Coherent sampling: a test frequency with a whole number of cycles M in the block of N
// samples, M and N co-prime, so the tone's energy stays in its bin without leakage and every
// sample hits another phase of the tone.
#include <optional>
#include <string>

namespace evkit::spectrum {

struct CoherentFrequency {
    long long cycles = 0;    // M, 1 <= M < N/2, gcd(M, N) = 1
    double frequency = 0.0;  // M fs / N in Hz
    bool prime = false;      // M is a prime number
    // The nearest prime M (co-prime with any N it does not divide) and its frequency; the
    // same as above when M is prime, 0 when no prime lies in 1..N/2 - 1.
    long long primeCycles = 0;
    double primeFrequency = 0.0;
};

// The coherent frequency nearest to `near`: the co-prime M nearest to near N / fs (on a tie
// a prime one, then the lower), with the nearest prime beside it. Empty, with the reason in
// *error, when fs, n or near cannot give one (fs > 0, 4 <= n <= 2^30, 0 < near < fs/2).
std::optional<CoherentFrequency> coherentFrequency(double fs, long long n, double near,
                                                   std::string* error = nullptr);

}  // namespace evkit::spectrum
