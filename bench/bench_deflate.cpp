// Our deflate against zlib at level 8 (raw, memLevel 8, default strategy) on
// the parts of a typical report workbook, a JPEG, plain text and random bytes,
// in memory. Prints per input the size ratio and the speed ratio, ours to
// zlib's (speed ratio above 1: ours is faster).
#include "export/zip/DeflateCompressor.h"
#include "export/zip/TestData.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using TestData::Bytes;

namespace {

template <typename F>
double bestSeconds(F&& f, int runs)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best)
            best = s;
    }
    return best;
}

} // namespace

int main()
{
    struct Input {
        std::string name;
        Bytes data;
    };
    std::vector<Input> inputs = {
        {"sheet1.xml (100x100)", TestData::MakeSheetXml(100, 100, 3)},
        {"sharedStrings.xml", TestData::MakeSharedStringsXml(2500, 5)},
        {"styles.xml", TestData::MakeStylesXml()},
        {"theme1.xml", TestData::MakeThemeXml()},
        {"picture.jpg", TestData::MakeJpeg(1280, 960, 2)},
        {"plain text", TestData::MakeText(1 << 20, 9)},
        {"random bytes", TestData::MakeRandom(1 << 20, 11)},
    };

    DeflateCompressor ours;
    std::printf("%-22s %10s %10s %10s %11s %11s %8s\n", "input", "bytes", "ours", "zlib-8", "size ratio", "ours MB/s",
                "speed ratio");
    double totalOurs = 0, totalZlib = 0;
    for (const Input& in : inputs) {
        // Repeat small inputs so each timing covers at least ~8 MB.
        const int reps = std::max<int>(1, static_cast<int>((8u << 20) / (in.data.size() + 1)));
        const int runs = 5;
        Bytes oursOut, zlibOut;
        double tOurs = bestSeconds(
            [&] {
                for (int r = 0; r < reps; ++r) {
                    oursOut.clear();
                    ours.CompressBuffer(in.data.data(), in.data.size(), oursOut);
                }
            },
            runs);
        double tZlib = bestSeconds(
            [&] {
                for (int r = 0; r < reps; ++r) zlibOut = TestData::DeflateZlib(in.data, 8);
            },
            runs);
        Bytes back;
        const bool ok = TestData::InflateRaw(oursOut, back) && back == in.data;
        const double mb = static_cast<double>(in.data.size()) * reps / 1e6;
        std::printf("%-22s %10zu %10zu %10zu %11.4f %11.1f %8.2f%s\n", in.name.c_str(), in.data.size(),
                    oursOut.size(), zlibOut.size(),
                    static_cast<double>(oursOut.size()) / static_cast<double>(zlibOut.size()), mb / tOurs,
                    tZlib / tOurs, ok ? "" : "  ROUND TRIP FAILED");
        totalOurs += tOurs / reps;
        totalZlib += tZlib / reps;
    }
    std::printf("\nall inputs once: ours %.2f ms, zlib level 8 %.2f ms, speed ratio %.2f\n", totalOurs * 1e3,
                totalZlib * 1e3, totalZlib / totalOurs);
    return 0;
}
