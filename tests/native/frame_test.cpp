// Placeholder until the frame tests land.
#include <gtest/gtest.h>
#include "dsp/engine_random.h"
TEST(EngineRandom, FollowsTheLcg) {
    seedEngineRandom(1);
    EXPECT_EQ(engineRand(), 41);
}
