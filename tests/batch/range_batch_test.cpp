// End-to-end tests of rangebatch_hipic and rangebatch_tagged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e.h"
#include "program_case.h"

namespace batch_test {
namespace {

const char kHipic[] = "rangebatch_hipic";
const char kTagged[] = "rangebatch_tagged";

class RangeBatch : public testing::TestWithParam<ProgramCase> {};

TEST_P(RangeBatch, PrintsExactly) { ExpectRun(GetParam()); }

// The three-layer example: offset 500.5 at layer 100 and 502.5 at layer 102.
const std::string kExampleScriptHipic = Lines({
    "halfscan_hipic 100 500.500000",
    "rowfilter 501.000000",
    "slicebuild 0.000000",
    "sliceexport 16 1.000000",
    "halfscan_hipic 101 501.500000",
    "rowfilter 502.000000",
    "slicebuild 0.000000",
    "sliceexport 16 1.000000",
    "halfscan_hipic 102 502.500000",
    "rowfilter 503.000000",
    "slicebuild 0.000000",
    "sliceexport 16 1.000000",
});

INSTANTIATE_TEST_SUITE_P(
    Scripts, RangeBatch,
    testing::Values(
        ProgramCase{"ExampleHipic", kHipic, {"100", "500.5", "102", "502.5"},
                    kExampleScriptHipic, "1.000000\t400.500000\n", 0},
        ProgramCase{"ExampleTagged", kTagged, {"100", "500.5", "102", "502.5"},
                    Lines({
                        "halfscan_tagged 100 500.500000",
                        "rowfilter 501.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged 101 501.500000",
                        "rowfilter 502.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged 102 502.500000",
                        "rowfilter 503.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "1.000000\t400.500000\n", 0},
        // A slope of 1/3: every offset is interpolated, the last one lands
        // on axis2 again.
        ProgramCase{"FractionalSlope", kHipic, {"0", "10", "3", "11"},
                    Lines({
                        "halfscan_hipic 0 10.000000",
                        "rowfilter 10.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 1 10.333333",
                        "rowfilter 10.833333",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 2 10.666667",
                        "rowfilter 11.166667",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 3 11.000000",
                        "rowfilter 11.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "0.333333\t10.000000\n", 0},
        // 1000.3 is not a float; the offsets show its single-precision value
        // and the slope is 0 divided by -2, a negative zero.
        ProgramCase{"SinglePrecisionOffset", kHipic, {"1", "1000.3", "3", "1000.3"},
                    Lines({
                        "halfscan_hipic 1 1000.299988",
                        "rowfilter 1000.799988",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 2 1000.299988",
                        "rowfilter 1000.799988",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 3 1000.299988",
                        "rowfilter 1000.799988",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "-0.000000\t1000.299988\n", 0},
        // Texts are read as atoi/atof read them: a leading number counts,
        // the rest of the text is ignored, no number at all reads as 0.
        ProgramCase{"NumberPrefixes", kTagged, {"x", "5.5abc", " +2z", "7.5e0q"},
                    Lines({
                        "halfscan_tagged 0 5.500000",
                        "rowfilter 6.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged 1 6.500000",
                        "rowfilter 7.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged 2 7.500000",
                        "rowfilter 8.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "1.000000\t5.500000\n", 0}),
    CaseName);

// Which arguments beyond the fourth are read depends on the exact count.
INSTANTIATE_TEST_SUITE_P(
    OptionalArguments, RangeBatch,
    testing::Values(
        ProgramCase{"FiveReadDelta", kHipic, {"100", "500.5", "101", "501.5", "2.5"},
                    Lines({
                        "halfscan_hipic 100 500.500000",
                        "rowfilter 501.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 2.500000",
                        "halfscan_hipic 101 501.500000",
                        "rowfilter 502.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 2.500000",
                    }),
                    "1.000000\t400.500000\n", 0},
        ProgramCase{"SixReadDeltaAndTheta0", kTagged,
                    {"100", "500.5", "101", "501.5", "2.5", "30"},
                    Lines({
                        "halfscan_tagged 100 500.500000",
                        "rowfilter 501.000000",
                        "slicebuild 30.000000",
                        "sliceexport 16 2.500000",
                        "halfscan_tagged 101 501.500000",
                        "rowfilter 502.000000",
                        "slicebuild 30.000000",
                        "sliceexport 16 2.500000",
                    }),
                    "1.000000\t400.500000\n", 0},
        ProgramCase{"SevenKeepDefaults", kHipic,
                    {"100", "500.5", "101", "501.5", "2.5", "30", "9"},
                    Lines({
                        "halfscan_hipic 100 500.500000",
                        "rowfilter 501.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 101 501.500000",
                        "rowfilter 502.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "1.000000\t400.500000\n", 0},
        ProgramCase{"EightKeepDefaults", kTagged,
                    {"100", "500.5", "101", "501.5", "2.5", "30", "9", "4"},
                    Lines({
                        "halfscan_tagged 100 500.500000",
                        "rowfilter 501.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged 101 501.500000",
                        "rowfilter 502.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "1.000000\t400.500000\n", 0}),
    CaseName);

const std::string kUsageHipic =
    "usage : rangebatch_hipic from axis1 to axis2 (delta) (theta0)> output_file\n";
const std::string kUsageTagged =
    "usage : rangebatch_tagged from axis1 to axis2 (delta) (theta0)> output_file\n";

// Fewer than four arguments: the usage text on standard error, exit -1.
INSTANTIATE_TEST_SUITE_P(
    Usage, RangeBatch,
    testing::Values(ProgramCase{"NoArguments", kHipic, {}, "", kUsageHipic, 255},
                    ProgramCase{"OneArgument", kTagged, {"100"}, "", kUsageTagged, 255},
                    ProgramCase{"TwoArguments", kHipic, {"100", "500.5"}, "", kUsageHipic, 255},
                    ProgramCase{"ThreeArguments", kTagged, {"100", "500.5", "102"}, "",
                                kUsageTagged, 255}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    LayerOrder, RangeBatch,
    testing::Values(
        // The slope line is printed before the range is checked; the message
        // has no line end.
        ProgramCase{"FromAboveToHipic", kHipic, {"10", "600", "9", "601"},
                    "parameter is wrong. from 10 to 9", "-1.000000\t610.000000\n", 1},
        ProgramCase{"FromAboveToTagged", kTagged, {"10", "600", "9", "601"},
                    "parameter is wrong. from 10 to 9", "-1.000000\t610.000000\n", 1},
        // One layer: no line to interpolate on, so the slope is 0, the
        // intercept and the offset are axis1, and axis2 plays no part.
        ProgramCase{"SingleLayer", kTagged, {"7", "600.25", "7", "999"},
                    Lines({
                        "halfscan_tagged 7 600.250000",
                        "rowfilter 600.750000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "0.000000\t600.250000\n", 0},
        ProgramCase{"SingleLayerSameOffsets", kHipic, {"-3", "600", "-3", "600", "0.5"},
                    Lines({
                        "halfscan_hipic -3 600.000000",
                        "rowfilter 600.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 0.500000",
                    }),
                    "0.000000\t600.000000\n", 0}),
    CaseName);

const std::string kHuge(400, '9');
const std::string kHugeNegative = "-" + kHuge;

// Numbers at and past the ends of the int32 and float ranges: integers
// saturate, reals round to single precision as the hardware would.
INSTANTIATE_TEST_SUITE_P(
    Extremes, RangeBatch,
    testing::Values(
        // `to` saturates at INT32_MAX and the range ends there; 0 / -1 gives
        // a negative-zero slope.
        ProgramCase{"RangeEndsAtInt32Max", kHipic, {"2147483646", "5", "99999999999", "5"},
                    Lines({
                        "halfscan_hipic 2147483646 5.000000",
                        "rowfilter 5.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_hipic 2147483647 5.000000",
                        "rowfilter 5.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "-0.000000\t5.000000\n", 0},
        // `from` saturates at INT32_MIN.  Both layers are -2^31 in single
        // precision, so both get offset 0 although axis2 is 1.
        ProgramCase{"RangeStartsAtInt32Min", kTagged, {"-99999999999", "0", "-2147483647", "1"},
                    Lines({
                        "halfscan_tagged -2147483648 0.000000",
                        "rowfilter 0.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                        "halfscan_tagged -2147483647 0.000000",
                        "rowfilter 0.500000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "1.000000\t2147483648.000000\n", 0},
        // The layer span 2^32 - 1 does not fit in an int32; as a float it is
        // 2^32.
        ProgramCase{"WidestSpanReversed", kHipic, {"2147483647", "4294967296", "-2147483648", "0"},
                    "parameter is wrong. from 2147483647 to -2147483648",
                    "1.000000\t2147483648.000000\n", 1},
        ProgramCase{"HugeTextsOneLayer", kTagged, {kHugeNegative, "2.5", kHugeNegative, kHuge},
                    Lines({
                        "halfscan_tagged -2147483648 2.500000",
                        "rowfilter 3.000000",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "0.000000\t2.500000\n", 0},
        // 3.4028235e38 is past FLT_MAX but rounds down to it; 1e39 and -1e400
        // overflow to infinities.
        ProgramCase{"BeyondFloatRange", kHipic, {"3", "3.4028235e38", "3", "0", "1e39", "-1e400"},
                    Lines({
                        "halfscan_hipic 3 340282346638528859811704183484516925440.000000",
                        "rowfilter 340282346638528859811704183484516925440.000000",
                        "slicebuild -inf",
                        "sliceexport 16 inf",
                    }),
                    "0.000000\t340282346638528859811704183484516925440.000000\n", 0},
        // Just past the midpoint between FLT_MAX and 2^128: infinity.
        ProgramCase{"RoundsToInfinity", kTagged, {"3", "3.4028236e38", "3", "0"},
                    Lines({
                        "halfscan_tagged 3 inf",
                        "rowfilter inf",
                        "slicebuild 0.000000",
                        "sliceexport 16 1.000000",
                    }),
                    "0.000000\tinf\n", 0}),
    CaseName);

// The two programs are one: on any arguments their outputs differ only in
// the builder named on the first line of each group.
TEST(RangeBatchPair, DifferOnlyInBuilderName) {
  const std::vector<std::vector<std::string>> argument_sets = {
      {"100", "500.5", "102", "502.5"},
      {"-2", "12.75", "3", "-4.25", "0.125", "-7"},
      {"10", "600", "9", "601"},
      {"5", "1", "5", "2"},
      {"1"},
  };
  for (const auto& args : argument_sets) {
    SCOPED_TRACE(testing::PrintToString(args));
    const e2e::Result hipic = e2e::Run(kHipic, args);
    const e2e::Result tagged = e2e::Run(kTagged, args);
    std::string renamed = hipic.out;
    const std::string from_name = "halfscan_hipic ", to_name = "halfscan_tagged ";
    for (auto at = renamed.find(from_name); at != std::string::npos;
         at = renamed.find(from_name, at + to_name.size()))
      renamed.replace(at, from_name.size(), to_name);
    EXPECT_EQ(tagged.out, renamed);
    std::string err = hipic.err;
    const std::string::size_type name_at = err.find(kHipic);
    if (name_at != std::string::npos) err.replace(name_at, sizeof kHipic - 1, kTagged);
    EXPECT_EQ(tagged.err, err);
    EXPECT_EQ(tagged.status, hipic.status);
  }
}

}  // namespace
}  // namespace batch_test
