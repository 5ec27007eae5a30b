// The coherent test frequency: whole, co-prime cycle counts nearest the wanted frequency,
// the prime beside it, and refused inputs.
#include <gtest/gtest.h>

#include <numeric>

#include "spectrum/coherent.h"

namespace evkit::spectrum {
namespace {

TEST(Coherent, NearestCoprimeCycleCountAndTheNearestPrime) {
    // 50 Hz at 4000 Hz over 16384 samples is 204.8 cycles: 205 is odd, so co-prime with a
    // power of two; the nearest primes are 199 (5.8 away) and 211 (6.2 away).
    const auto c = coherentFrequency(4000.0, 16384, 50.0);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cycles, 205);
    EXPECT_DOUBLE_EQ(c->frequency, 205 * 4000.0 / 16384);
    EXPECT_FALSE(c->prime);
    EXPECT_EQ(c->primeCycles, 199);
    EXPECT_DOUBLE_EQ(c->primeFrequency, 199 * 4000.0 / 16384);

    // An even count shares a factor with 4096: 1031 (prime) is taken for 1030.2 cycles.
    const auto d = coherentFrequency(4096.0, 4096, 1030.2);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->cycles, 1031);
    EXPECT_TRUE(d->prime);
    EXPECT_EQ(d->primeCycles, 1031);
}

TEST(Coherent, EveryAnswerIsCoprimeAndBelowHalfTheBlock) {
    for (long long n : {12LL, 1000LL, 3000LL, 4096LL, 30000LL}) {
        for (double near : {0.3, 1.0, 49.0, 50.0, 60.0, 1234.5, 1999.0}) {
            const auto c = coherentFrequency(4000.0, n, near);
            ASSERT_TRUE(c) << n << " " << near;
            EXPECT_EQ(std::gcd(c->cycles, n), 1) << n << " " << near;
            EXPECT_GE(c->cycles, 1);
            EXPECT_LT(2 * c->cycles, n);
            // No co-prime count lies nearer to the wanted one.
            const double wanted = near * n / 4000.0;
            const double d = std::abs(c->cycles - wanted);
            for (long long m = 1; 2 * m < n; ++m)
                if (std::gcd(m, n) == 1) {
                    EXPECT_GE(std::abs(m - wanted), d) << n << " " << m;
                }
        }
    }
    // With N = 1000, 78 cycles shares a factor; of 77 and 79, equally near, the prime wins.
    const auto tie = coherentFrequency(1000.0, 1000, 78.0);
    ASSERT_TRUE(tie);
    EXPECT_EQ(tie->cycles, 79);
    EXPECT_TRUE(tie->prime);
    // Without a prime among equals the lower one: 49 and 51 for 50 cycles.
    EXPECT_EQ(coherentFrequency(1000.0, 1000, 50.0)->cycles, 49);
}

TEST(Coherent, RefusedInputsSayWhy) {
    std::string why;
    EXPECT_FALSE(coherentFrequency(0.0, 4096, 50.0, &why));
    EXPECT_EQ(why, "the sample rate must be above 0 Hz");
    EXPECT_FALSE(coherentFrequency(4000.0, 3, 50.0, &why));
    EXPECT_EQ(why, "the sample count must be 4..1073741824");
    EXPECT_FALSE(coherentFrequency(4000.0, 4096, 2000.0, &why));
    EXPECT_EQ(why, "the frequency must lie between 0 and 2000 Hz (half the sample rate)");
    EXPECT_FALSE(coherentFrequency(4000.0, 4096, -1.0, &why));
    // N = 4: only one cycle fits below N/2, and it is co-prime but no prime.
    const auto four = coherentFrequency(4000.0, 4, 900.0);
    ASSERT_TRUE(four);
    EXPECT_EQ(four->cycles, 1);
    EXPECT_EQ(four->primeCycles, 0);
}

}  // namespace
}  // namespace evkit::spectrum
