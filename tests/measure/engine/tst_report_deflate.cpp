// Raw deflate streams of DeflateCompressor on the report parts the
// measurement engine writes, checked by zlib's inflate and sized against
// zlib at level 8.
#include "ReportParts.h"
#include "export/zip/DeflateCompressor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using TestData::Bytes;

namespace {

Bytes compress(const Bytes& in)
{
    DeflateCompressor c;
    Bytes out;
    EXPECT_TRUE(c.CompressBuffer(in.data(), in.size(), out)) << c.ErrorText();
    return out;
}

} // namespace

TEST(ReportDeflate, ReportPartsWithinAThirdOfAPercentOfZlibLevel8)
{
    // Parts of reports as the program's own writer makes them: the
    // worksheet of 60 measured shapes (the styled 100 x 100 grid and the
    // values, about 200 KB) and the shared strings of 3,000 (about 250 KB).
    for (const char* part : {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml"}) {
        const bool sheet = std::strcmp(part, "xl/sharedStrings.xml") != 0;
        const Bytes in = TestData::MakeReportPart(sheet ? 60 : 3000, 7, part);
        ASSERT_GT(in.size(), 150000u) << part;
        Bytes packed = compress(in);
        Bytes back;
        ASSERT_TRUE(TestData::InflateRaw(packed, back)) << part;
        EXPECT_TRUE(back == in) << part;
        const double zlib = static_cast<double>(TestData::DeflateZlib(in, 8).size());
        EXPECT_LE(static_cast<double>(packed.size()), zlib * 1.003)
            << part << ": " << packed.size() << " bytes against zlib's " << zlib;
    }
}

TEST(ReportDeflate, LongReportsWithinAThirdOfAPercentOfZlibLevel8)
{
    // Reports of realistic lengths as the program's own writer makes them:
    // worksheets of 90 to 3,000 measured shapes (names, values with four
    // decimals, the unit), their shared strings and styles; and a 340 KB
    // measurement log. Each must inflate back to itself and stay within a
    // third of a percent of zlib level 8. A shorter chain walk after a good
    // match, less lazy matching, or blocks that end at other points than
    // zlib's lose more than that on the long sheets.
    struct Case {
        const char* part; // nullptr: the measurement log
        int measured;
        size_t atLeast; // bytes: the input really is this long
    };
    const Case cases[] = {
        {"xl/worksheets/sheet1.xml", 90, 200000},   {"xl/worksheets/sheet1.xml", 300, 600000},
        {"xl/worksheets/sheet1.xml", 1000, 2000000}, {"xl/worksheets/sheet1.xml", 3000, 6000000},
        {"xl/sharedStrings.xml", 300, 20000},        {"xl/sharedStrings.xml", 3000, 200000},
        {"xl/styles.xml", 300, 1000},                {nullptr, 0, 340000},
    };
    for (const Case& c : cases) {
        const std::string what = c.part ? std::string(c.part) + " of " + std::to_string(c.measured) + " shapes"
                                        : std::string("measurement log");
        SCOPED_TRACE(what);
        const Bytes in = c.part ? TestData::MakeReportPart(c.measured, 11, c.part)
                                : TestData::MakeMeasurementLogXml(340000, 11);
        ASSERT_GE(in.size(), c.atLeast);
        Bytes packed = compress(in);
        Bytes back;
        ASSERT_TRUE(TestData::InflateRaw(packed, back)) << "zlib rejects the stream";
        EXPECT_TRUE(back == in);
        const double zlib = static_cast<double>(TestData::DeflateZlib(in, 8).size());
        EXPECT_LE(static_cast<double>(packed.size()), zlib * 1.003)
            << in.size() << " bytes packed to " << packed.size() << " against zlib's " << zlib;
    }
}
