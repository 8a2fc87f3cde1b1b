// Vote tables: ordering, agreement of two results and the 70 % weighted mean.
#include "imaging/StitchVote.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

TEST(StitchVotes, SortPutsHeaviestFirstAndKeepsEveryVote) {
    std::mt19937 rng(7);
    for (int n : {0, 1, 2, 3, 17, 500}) {
        StitchVotes v;
        for (int i = 0; i < n; ++i)
            v.push_back({i, -i, int(rng() % 6)}); // many ties
        StitchVotes sorted = v;
        sortVotesByWeight(sorted);
        ASSERT_EQ(sorted.size(), v.size());
        for (size_t i = 1; i < sorted.size(); ++i)
            EXPECT_GE(sorted[i - 1].weight, sorted[i].weight);
        auto key = [](const StitchVote& a, const StitchVote& b) { return a.x < b.x; };
        std::sort(sorted.begin(), sorted.end(), key);
        for (size_t i = 0; i < v.size(); ++i)
            EXPECT_EQ(sorted[i].weight, v[i].weight) << "vote " << i << " changed";
    }
}

TEST(StitchVotes, CommonTableAddsWeightsInNewerOrder) {
    const StitchVotes older{{10, 0, 3}, {20, 5, 4}, {30, 0, 1}};
    const StitchVotes newer{{30, 0, 2}, {99, 9, 7}, {10, 0, 5}};
    int total = -1;
    const StitchVotes common = commonStitchVotes(newer, older, &total);
    ASSERT_EQ(common.size(), 2u);
    EXPECT_EQ(common[0].x, 30);
    EXPECT_EQ(common[0].weight, 3);
    EXPECT_EQ(common[1].x, 10);
    EXPECT_EQ(common[1].weight, 8);
    EXPECT_EQ(total, 11);

    EXPECT_TRUE(commonStitchVotes(newer, {{1, 1, 50}}, &total).empty());
    EXPECT_EQ(total, 0);
}

TEST(StitchVotes, MeanCoversTheStrongestSeventyPercent) {
    int ox = 0, oy = 0;
    // T = 15, L = 10: a first vote of weight 12 alone decides.
    ASSERT_TRUE(stitchVoteMean({{123, -47, 12}, {900, 900, 3}}, 15, &ox, &oy));
    EXPECT_EQ(ox, 12); // 12.3
    EXPECT_EQ(oy, -5); // -4.7

    // T = 20, L = 14: 10 x 10.0 px and 4 of the next vote's 6 at 20.0 px:
    // (100 + 80) / 14 = 12.857 -> 13; y: (10 x 0 + 4 x -5) / 14 = -1.43 -> -1.
    ASSERT_TRUE(stitchVoteMean({{100, 0, 10}, {200, -50, 6}, {-5000, 0, 4}}, 20, &ox, &oy));
    EXPECT_EQ(ox, 13);
    EXPECT_EQ(oy, -1);

    // Halves round away from zero: T = 10, L = 7, all at -2.5 px.
    ASSERT_TRUE(stitchVoteMean({{-25, 25, 10}}, 10, &ox, &oy));
    EXPECT_EQ(ox, -3);
    EXPECT_EQ(oy, 3);
}

TEST(StitchVotes, MeanOfNothingIsRefused) {
    int ox = 77, oy = 88;
    EXPECT_FALSE(stitchVoteMean({}, 0, &ox, &oy));
    EXPECT_FALSE(stitchVoteMean({{10, 10, 1}}, 1, &ox, &oy)); // L = trunc(0.7) = 0
    EXPECT_EQ(ox, 77);
    EXPECT_EQ(oy, 88);
}
