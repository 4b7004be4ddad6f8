// The host's own presses wait as long as the joiner's take to reach it, so that neither player
// is quicker for hosting.
#include <gtest/gtest.h>

#include "network.h"

namespace {

struct RoundTrips {
    std::uint32_t smoothed, leastRecent, last;
    Milliseconds delay;
};
constexpr RoundTrips LINKS[] = {
    {100, 100, 100, 50},                         // a steady link of 100 ms round trip
    {101, 101, 101, 50},     {130, 90, 110, 45}, // the least of the three is the link's own
    {90, 130, 110, 45},      {130, 110, 90, 45},   {299, 299, 299, 149},
    {300, 300, 300, 150},    {301, 320, 400, 150}, // never more than 150 ms
    {2000, 1500, 1800, 150}, {0, 0, 0, 0},
};

TEST(EqualFooting, HalfTheLeastRoundTripAtMost150Milliseconds) {
    for (const RoundTrips& link : LINKS) {
        EXPECT_EQ(equalFootingDelay(link.smoothed, link.leastRecent, link.last), link.delay)
            << link.smoothed << " " << link.leastRecent << " " << link.last;
    }
}

} // namespace
