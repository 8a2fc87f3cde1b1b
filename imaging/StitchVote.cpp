#include "imaging/StitchVote.h"

#include <cmath>
#include <utility>

namespace {

// Median-of-three quicksort, descending by weight. Recursion goes into the
// smaller side so the stack stays logarithmic even on tables of equal weights.
void quickSortVotes(StitchVotes& v, int lo, int hi) {
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (v[mid].weight > v[lo].weight)
            std::swap(v[mid], v[lo]);
        if (v[hi].weight > v[lo].weight)
            std::swap(v[hi], v[lo]);
        if (v[hi].weight > v[mid].weight)
            std::swap(v[hi], v[mid]);
        // v[lo] >= v[mid] >= v[hi]: v[mid] is the median.
        const int pivot = v[mid].weight;
        int i = lo, j = hi;
        while (i <= j) {
            while (v[i].weight > pivot)
                ++i;
            while (v[j].weight < pivot)
                --j;
            if (i <= j) {
                std::swap(v[i], v[j]);
                ++i;
                --j;
            }
        }
        if (j - lo < hi - i) {
            quickSortVotes(v, lo, j);
            lo = i;
        } else {
            quickSortVotes(v, i, hi);
            hi = j;
        }
    }
}

} // namespace

void sortVotesByWeight(StitchVotes& votes) {
    if (votes.size() > 1)
        quickSortVotes(votes, 0, int(votes.size()) - 1);
}

StitchVotes commonStitchVotes(const StitchVotes& newer, const StitchVotes& older, int* total) {
    StitchVotes common;
    int sum = 0;
    for (StitchVote a : newer) {
        for (const StitchVote& b : older) {
            if (b.x == a.x && b.y == a.y) {
                a.weight += b.weight;
                sum += a.weight;
                common.push_back(a);
                break; // each key occurs once per table
            }
        }
    }
    if (total)
        *total = sum;
    return common;
}

int stitchVoteTotal(const StitchVotes& votes) {
    int sum = 0;
    for (const StitchVote& v : votes)
        sum += v.weight;
    return sum;
}

bool stitchVoteMean(const StitchVotes& sorted, int total, int* offsetX, int* offsetY) {
    float mx = 0.0f, my = 0.0f;
    if (!stitchVoteMeanExact(sorted, total, &mx, &my))
        return false;
    // std::round rounds halves away from zero.
    *offsetX = int(std::round(mx));
    *offsetY = int(std::round(my));
    return true;
}

bool stitchVoteMeanExact(const StitchVotes& sorted, int total, float* offsetX, float* offsetY) {
    const int limit = int(float(total) * 0.7f);
    if (sorted.empty() || limit <= 0)
        return false;
    int c = 0;
    float sx = 0.0f, sy = 0.0f;
    for (const StitchVote& v : sorted) {
        if (c + v.weight > limit) {
            sx += (float(v.x) * 0.1f) * float(limit - c);
            sy += (float(v.y) * 0.1f) * float(limit - c);
            c = limit;
            break;
        }
        sx += (float(v.x) * 0.1f) * float(v.weight);
        sy += (float(v.y) * 0.1f) * float(v.weight);
        c += v.weight;
    }
    *offsetX = sx / float(limit);
    *offsetY = sy / float(limit);
    return true;
}
