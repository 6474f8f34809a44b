// End-to-end tests of sweepbatch_tagged and sweepbatch_hipic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e.h"
#include "program_case.h"

namespace batch_test {
namespace {

const char kTagged[] = "sweepbatch_tagged";
const char kHipic[] = "sweepbatch_hipic";

class SweepBatch : public testing::TestWithParam<ProgramCase> {};

TEST_P(SweepBatch, PrintsExactly) { ExpectRun(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Scripts, SweepBatch,
    testing::Values(
        ProgramCase{"ExampleTagged", kTagged, {"512", "600", "610", "5"},
                    Lines({
                        "halfscan_tagged 512 600",
                        "sheetexport",
                        "ren sino0512.tif 0512_00600.tif",
                        "halfscan_tagged 512 605",
                        "sheetexport",
                        "ren sino0512.tif 0512_00605.tif",
                        "halfscan_tagged 512 610",
                        "sheetexport",
                        "ren sino0512.tif 0512_00610.tif",
                    }),
                    "", 0},
        ProgramCase{"ExampleHipic", kHipic, {"512", "600", "610", "5"},
                    Lines({
                        "halfscan_hipic 512 600",
                        "sheetexport",
                        "ren sino0512.tif 0512_00600.tif",
                        "halfscan_hipic 512 605",
                        "sheetexport",
                        "ren sino0512.tif 0512_00605.tif",
                        "halfscan_hipic 512 610",
                        "sheetexport",
                        "ren sino0512.tif 0512_00610.tif",
                    }),
                    "", 0},
        // `to` only sets the count; the sign of `step` sets the direction.
        ProgramCase{"StepAwayFromTo", kTagged, {"512", "610", "600", "5"},
                    Lines({
                        "halfscan_tagged 512 610",
                        "sheetexport",
                        "ren sino0512.tif 0512_00610.tif",
                        "halfscan_tagged 512 615",
                        "sheetexport",
                        "ren sino0512.tif 0512_00615.tif",
                        "halfscan_tagged 512 620",
                        "sheetexport",
                        "ren sino0512.tif 0512_00620.tif",
                    }),
                    "", 0},
        ProgramCase{"StepTowardsTo", kHipic, {"512", "610", "600", "-5"},
                    Lines({
                        "halfscan_hipic 512 610",
                        "sheetexport",
                        "ren sino0512.tif 0512_00610.tif",
                        "halfscan_hipic 512 605",
                        "sheetexport",
                        "ren sino0512.tif 0512_00605.tif",
                        "halfscan_hipic 512 600",
                        "sheetexport",
                        "ren sino0512.tif 0512_00600.tif",
                    }),
                    "", 0},
        // 10 / 3 truncates to 3: four offsets, none of them 610.
        ProgramCase{"CountTruncated", kTagged, {"512", "600", "610", "3"},
                    Lines({
                        "halfscan_tagged 512 600",
                        "sheetexport",
                        "ren sino0512.tif 0512_00600.tif",
                        "halfscan_tagged 512 603",
                        "sheetexport",
                        "ren sino0512.tif 0512_00603.tif",
                        "halfscan_tagged 512 606",
                        "sheetexport",
                        "ren sino0512.tif 0512_00606.tif",
                        "halfscan_tagged 512 609",
                        "sheetexport",
                        "ren sino0512.tif 0512_00609.tif",
                    }),
                    "", 0},
        ProgramCase{"FromEqualsTo", kHipic, {"512", "600", "600", "-7"},
                    Lines({
                        "halfscan_hipic 512 600",
                        "sheetexport",
                        "ren sino0512.tif 0512_00600.tif",
                    }),
                    "", 0},
        // Negative numbers take the minus sign inside the zero-padded width.
        ProgramCase{"NegativeOffsets", kTagged, {"512", "-20", "-10", "5"},
                    Lines({
                        "halfscan_tagged 512 -20",
                        "sheetexport",
                        "ren sino0512.tif 0512_-0020.tif",
                        "halfscan_tagged 512 -15",
                        "sheetexport",
                        "ren sino0512.tif 0512_-0015.tif",
                        "halfscan_tagged 512 -10",
                        "sheetexport",
                        "ren sino0512.tif 0512_-0010.tif",
                    }),
                    "", 0},
        ProgramCase{"NegativeLayer", kHipic, {"-5", "7", "7", "1"},
                    Lines({
                        "halfscan_hipic -5 7",
                        "sheetexport",
                        "ren sino-005.tif -005_00007.tif",
                    }),
                    "", 0},
        // atoi reading: "abc" is layer 0, "5x" is 5; the fifth and sixth
        // arguments are not read.
        ProgramCase{"TextsAndExtraArguments", kTagged, {"abc", "600", "610", "5x", "zz", "-1"},
                    Lines({
                        "halfscan_tagged 0 600",
                        "sheetexport",
                        "ren sino0000.tif 0000_00600.tif",
                        "halfscan_tagged 0 605",
                        "sheetexport",
                        "ren sino0000.tif 0000_00605.tif",
                        "halfscan_tagged 0 610",
                        "sheetexport",
                        "ren sino0000.tif 0000_00610.tif",
                    }),
                    "", 0}),
    CaseName);

// Step 0 leaves no count (n/0 or 0/0): an empty script, which is no failure.
INSTANTIATE_TEST_SUITE_P(
    EmptyScripts, SweepBatch,
    testing::Values(ProgramCase{"StepZeroTagged", kTagged, {"512", "600", "610", "0"}, "", "", 0},
                    ProgramCase{"StepZeroHipic", kHipic, {"512", "600", "610", "0"}, "", "", 0},
                    ProgramCase{"StepZeroFromEqualsTo", kTagged, {"512", "600", "600", "0"}, "",
                                "", 0}),
    CaseName);

const std::string kUsageTagged = "usage : sweepbatch_tagged layer from to step > batch_file\n";
const std::string kUsageHipic = "usage : sweepbatch_hipic layer from to step > batch_file\n";

// Fewer than four arguments: the usage text, on standard output, exit -1.
INSTANTIATE_TEST_SUITE_P(
    Usage, SweepBatch,
    testing::Values(ProgramCase{"NoArguments", kTagged, {}, kUsageTagged, "", 255},
                    ProgramCase{"OneArgument", kHipic, {"512"}, kUsageHipic, "", 255},
                    ProgramCase{"TwoArguments", kTagged, {"512", "600"}, kUsageTagged, "", 255},
                    ProgramCase{"ThreeArguments", kHipic, {"512", "600", "610"}, kUsageHipic, "",
                                255}),
    CaseName);

// sweepbatch_tagged forms the count from single-precision values, and above
// 2^24 not every integer is a float; sweepbatch_hipic's count is exact.
INSTANTIATE_TEST_SUITE_P(
    CountPrecision, SweepBatch,
    testing::Values(
        // 16777217 is 16777216 as a float: (16777216 - 1) / 16777216 is just
        // below 1, so one offset; exactly 1 in double precision, so two.
        ProgramCase{"FloatCountsFewerTagged", kTagged, {"1", "16777217", "1", "16777216"},
                    Lines({
                        "halfscan_tagged 1 16777217",
                        "sheetexport",
                        "ren sino0001.tif 0001_16777217.tif",
                    }),
                    "", 0},
        ProgramCase{"FloatCountsFewerHipic", kHipic, {"1", "16777217", "1", "16777216"},
                    Lines({
                        "halfscan_hipic 1 16777217",
                        "sheetexport",
                        "ren sino0001.tif 0001_16777217.tif",
                        "halfscan_hipic 1 33554433",
                        "sheetexport",
                        "ren sino0001.tif 0001_33554433.tif",
                    }),
                    "", 0},
        // 33554431 rounds up to 2^25: the float quotient is exactly 2 while
        // the exact one, 33554431 / 2^24, truncates to 1.
        ProgramCase{"FloatCountsMoreTagged", kTagged, {"1", "33554431", "0", "16777216"},
                    Lines({
                        "halfscan_tagged 1 33554431",
                        "sheetexport",
                        "ren sino0001.tif 0001_33554431.tif",
                        "halfscan_tagged 1 50331647",
                        "sheetexport",
                        "ren sino0001.tif 0001_50331647.tif",
                        "halfscan_tagged 1 67108863",
                        "sheetexport",
                        "ren sino0001.tif 0001_67108863.tif",
                    }),
                    "", 0},
        ProgramCase{"FloatCountsMoreHipic", kHipic, {"1", "33554431", "0", "16777216"},
                    Lines({
                        "halfscan_hipic 1 33554431",
                        "sheetexport",
                        "ren sino0001.tif 0001_33554431.tif",
                        "halfscan_hipic 1 50331647",
                        "sheetexport",
                        "ren sino0001.tif 0001_50331647.tif",
                    }),
                    "", 0}),
    CaseName);

const std::string kHuge(400, '9');
const std::string kHugeNegative = "-" + kHuge;

// Values at the ends of the int32 range: arguments saturate, offsets wrap
// around in 32 bits, and counts that do not fit in an int32 give an empty
// script.
INSTANTIATE_TEST_SUITE_P(
    Extremes, SweepBatch,
    testing::Values(
        // Exact count 2: the series runs past INT32_MAX and wraps.  In single
        // precision both ends are 2^31, so the count is 0.
        ProgramCase{"OffsetsWrapHipic", kHipic, {"1", "2147483647", "2147483645", "1"},
                    Lines({
                        "halfscan_hipic 1 2147483647",
                        "sheetexport",
                        "ren sino0001.tif 0001_2147483647.tif",
                        "halfscan_hipic 1 -2147483648",
                        "sheetexport",
                        "ren sino0001.tif 0001_-2147483648.tif",
                        "halfscan_hipic 1 -2147483647",
                        "sheetexport",
                        "ren sino0001.tif 0001_-2147483647.tif",
                    }),
                    "", 0},
        ProgramCase{"EndsCollapseTagged", kTagged, {"1", "2147483647", "2147483645", "1"},
                    Lines({
                        "halfscan_tagged 1 2147483647",
                        "sheetexport",
                        "ren sino0001.tif 0001_2147483647.tif",
                    }),
                    "", 0},
        // As floats the ends are 2147483008 and 2147481984: 1.024 truncates
        // to the exact count 1, and the second offset wraps.
        ProgramCase{"OffsetsWrapTagged", kTagged, {"1", "2147483000", "2147482000", "1000"},
                    Lines({
                        "halfscan_tagged 1 2147483000",
                        "sheetexport",
                        "ren sino0001.tif 0001_2147483000.tif",
                        "halfscan_tagged 1 -2147483296",
                        "sheetexport",
                        "ren sino0001.tif 0001_-2147483296.tif",
                    }),
                    "", 0},
        // The step saturates at INT32_MIN; 2^31 / -2^31 is -1 in both
        // precisions and INT32_MAX + INT32_MIN is -1.
        ProgramCase{"StepInt32MinTagged", kTagged, {"1", "2147483647", "-1", kHugeNegative},
                    Lines({
                        "halfscan_tagged 1 2147483647",
                        "sheetexport",
                        "ren sino0001.tif 0001_2147483647.tif",
                        "halfscan_tagged 1 -1",
                        "sheetexport",
                        "ren sino0001.tif 0001_-0001.tif",
                    }),
                    "", 0},
        ProgramCase{"StepInt32MinHipic", kHipic, {"1", "2147483647", "-1", "-99999999999"},
                    Lines({
                        "halfscan_hipic 1 2147483647",
                        "sheetexport",
                        "ren sino0001.tif 0001_2147483647.tif",
                        "halfscan_hipic 1 -1",
                        "sheetexport",
                        "ren sino0001.tif 0001_-0001.tif",
                    }),
                    "", 0},
        ProgramCase{"LayerSaturates", kHipic, {kHuge, "0", "0", "1"},
                    Lines({
                        "halfscan_hipic 2147483647 0",
                        "sheetexport",
                        "ren sino2147483647.tif 2147483647_00000.tif",
                    }),
                    "", 0},
        // A count of 2^31 is one past the int32 range.
        ProgramCase{"CountJustTooLargeHipic", kHipic, {"1", "2147483647", "-1", "1"}, "", "", 0},
        ProgramCase{"CountJustTooLargeTagged", kTagged, {"1", "2147483647", "-1", "-1"}, "", "", 0},
        ProgramCase{"WidestSpanHipic", kHipic, {"1", kHugeNegative, kHuge, "1"}, "", "", 0},
        ProgramCase{"WidestSpanTagged", kTagged, {"1", kHuge, kHugeNegative, "-1"}, "", "", 0}),
    CaseName);

// Where the count is exact in single precision the two programs print the
// same script apart from the builder name.
TEST(SweepBatchPair, DifferOnlyInBuilderName) {
  const std::vector<std::vector<std::string>> argument_sets = {
      {"512", "600", "610", "5"}, {"12", "-40", "35", "-15"}, {"0", "3", "3", "9"},
      {"512", "600", "610", "0"}, {"1", "2", "3"},
  };
  for (const auto& args : argument_sets) {
    SCOPED_TRACE(testing::PrintToString(args));
    const e2e::Result tagged = e2e::Run(kTagged, args);
    const e2e::Result hipic = e2e::Run(kHipic, args);
    std::string renamed = tagged.out;
    const std::string from_name = "halfscan_tagged ", to_name = "halfscan_hipic ";
    for (auto at = renamed.find(from_name); at != std::string::npos;
         at = renamed.find(from_name, at + to_name.size()))
      renamed.replace(at, from_name.size(), to_name);
    const std::string::size_type usage_at = renamed.find(kTagged);
    if (usage_at != std::string::npos) renamed.replace(usage_at, sizeof kTagged - 1, kHipic);
    EXPECT_EQ(hipic.out, renamed);
    EXPECT_EQ(hipic.err, "");
    EXPECT_EQ(hipic.status, tagged.status);
  }
}

}  // namespace
}  // namespace batch_test
