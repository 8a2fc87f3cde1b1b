#pragma once

#include <vector>

// One entry of a stitching vote table: a displacement between two images,
// quantised to tenths of a pixel, and how many matched features voted for it.
// Within one table each (x, y) key occurs once; tables keep insertion order.
struct StitchVote {
    int x = 0;      // displacement in x, tenths of a pixel
    int y = 0;      // displacement in y, tenths of a pixel
    int weight = 0; // summed feature weights
};

using StitchVotes = std::vector<StitchVote>;

// Sorts by weight, largest first. Quicksort with a median-of-three pivot;
// ties are in no defined order.
void sortVotesByWeight(StitchVotes& votes);

// The votes of `newer` whose key also occurs in `older`, in `newer`'s order,
// each with both weights added. *total receives the sum of the result's weights.
StitchVotes commonStitchVotes(const StitchVotes& newer, const StitchVotes& older, int* total);

// Sum of all weights of a table.
int stitchVoteTotal(const StitchVotes& votes);

// The weighted mean, in whole pixels, of the strongest 70 % of `total` in a
// table sorted by sortVotesByWeight. Returns false (and leaves the outputs)
// when that share is empty: an empty table, or a total too small to carry a
// mean, has no offset.
bool stitchVoteMean(const StitchVotes& sorted, int total, int* offsetX, int* offsetY);

// The same mean before rounding, in pixels.
bool stitchVoteMeanExact(const StitchVotes& sorted, int total, float* offsetX, float* offsetY);
