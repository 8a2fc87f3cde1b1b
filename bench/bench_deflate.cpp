// Our deflate against zlib at level 8 (raw, memLevel 8, default strategy) on
// the parts of a typical report workbook, a JPEG, plain text and random bytes,
// the worksheet and shared strings of a 1,000-shape report as the program's
// writer makes them, and a 340 KB measurement log, in memory, timed interleaved (best of 7, wall and thread CPU time). Prints
// per input the size ratio, ours to zlib's, and the speed ratio, zlib's time
// to ours (above 1: ours is faster).
#include "export/zip/DeflateCompressor.h"
#include "export/zip/TestData.h"
#include "measure/engine/ReportParts.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

using TestData::Bytes;

namespace {

struct Times {
    double wall = 1e30; // best of the runs, seconds
    double cpu = 1e30;  // thread CPU time of that run
};

double threadCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

template <typename F>
void timeOnce(F&& f, Times& best)
{
    const double c0 = threadCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = threadCpuSeconds() - c0;
    if (wall < best.wall)
        best = Times{wall, cpu};
}

} // namespace

int main()
{
    std::vector<TestData::NamedInput> inputs = TestData::ReportCorpus();
    inputs.push_back({"report sheet (1000)", TestData::MakeReportPart(1000, 11, "xl/worksheets/sheet1.xml")});
    inputs.push_back({"report strings (1000)", TestData::MakeReportPart(1000, 11, "xl/sharedStrings.xml")});
    inputs.push_back({"measurement log", TestData::MakeMeasurementLogXml(340000, 11)});

    DeflateCompressor ours;
    std::printf("%-22s %9s %9s %9s %10s %9s %12s %12s\n", "input", "bytes", "ours", "zlib-8", "size ratio",
                "ours MB/s", "speed (wall)", "speed (cpu)");
    Times allOurs{0, 0}, allZlib{0, 0};
    for (const TestData::NamedInput& in : inputs) {
        // Repeat small inputs so each timing covers at least ~8 MB.
        const int reps = std::max<int>(1, static_cast<int>((8u << 20) / (in.data.size() + 1)));
        Bytes oursOut, zlibOut;
        Times tOurs, tZlib;
        // Interleaved: each run times ours, then zlib, so both see the same machine load.
        for (int run = 0; run < 7; ++run) {
            timeOnce(
                [&] {
                    for (int r = 0; r < reps; ++r) {
                        oursOut.clear();
                        ours.CompressBuffer(in.data.data(), in.data.size(), oursOut);
                    }
                },
                tOurs);
            timeOnce([&] { for (int r = 0; r < reps; ++r) zlibOut = TestData::DeflateZlib(in.data, 8); }, tZlib);
        }
        Bytes back;
        const bool ok = TestData::InflateRaw(oursOut, back) && back == in.data;
        const double mb = static_cast<double>(in.data.size()) * reps / 1e6;
        std::printf("%-22s %9zu %9zu %9zu %10.4f %9.1f %12.2f %12.2f%s\n", in.name.c_str(), in.data.size(),
                    oursOut.size(), zlibOut.size(),
                    static_cast<double>(oursOut.size()) / static_cast<double>(zlibOut.size()), mb / tOurs.wall,
                    tZlib.wall / tOurs.wall, tZlib.cpu / tOurs.cpu, ok ? "" : "  ROUND TRIP FAILED");
        allOurs.wall += tOurs.wall / reps, allOurs.cpu += tOurs.cpu / reps;
        allZlib.wall += tZlib.wall / reps, allZlib.cpu += tZlib.cpu / reps;
    }
    std::printf("\nall inputs once: ours %.2f ms wall (%.2f ms cpu), zlib level 8 %.2f ms wall (%.2f ms cpu); "
                "speed ratio (zlib time / ours) %.2f wall, %.2f cpu\n",
                allOurs.wall * 1e3, allOurs.cpu * 1e3, allZlib.wall * 1e3, allZlib.cpu * 1e3,
                allZlib.wall / allOurs.wall, allZlib.cpu / allOurs.cpu);
    return 0;
}
