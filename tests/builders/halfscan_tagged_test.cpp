// halfscan_tagged end to end: the same scans as TIFF images, uncompressed and
// compressed by libtiff's tiffcp, against the model and against
// halfscan_hipic on the same counts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "builder_case.h"
#include "e2e.h"
#include "scan_fixture.h"
#include "tiff_writer.h"

namespace {

using builder_test::ExpectCompleteRun;
using builder_test::ExpectFailure;
using builder_test::Failure;
using builder_test::Remove;

const char* kProgram = "halfscan_tagged";

fixture::Scan SmallScan() { return fixture::SmoothScan(12, 3, 41, 10); }

// How the images of a scan are stored.
struct Storage {
  const char* name;
  bool little_endian;
  const char* tiffcp_options;  // null: written directly, uncompressed
  std::uint32_t rows_per_strip;
};

std::string Tiffcp() {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    std::string path = std::string(dir) + "/tiffcp";
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      return path;
    }
  }
  return "";
}

std::string FrameImage(const fixture::Scan& scan, int frame) {
  return frame == 0 ? "dark.tif" : fixture::ImageName(scan, frame, ".tif");
}

// Writes output.log and every image (frame 0 is the dark frame) as TIFF.
void WriteTiffScan(const e2e::WorkDir& dir, const fixture::Scan& scan, const Storage& storage) {
  dir.Write("output.log", fixture::LogText(scan.Log()));
  const std::string tiffcp = storage.tiffcp_options ? Tiffcp() : "";
  ASSERT_TRUE(!storage.tiffcp_options || !tiffcp.empty()) << "tiffcp (libtiff-tools) is missing";
  for (int f = 0; f <= scan.last_frame; ++f) {
    tiff_writer::TiffImage image;
    image.width = static_cast<std::uint32_t>(scan.width);
    image.height = static_cast<std::uint32_t>(scan.height);
    image.little_endian = storage.little_endian;
    image.rows_per_strip = storage.rows_per_strip;
    for (int r = 0; r < scan.height; ++r)
      for (int c = 0; c < scan.width; ++c) image.pixels.push_back(scan.count(f, r, c));
    const std::string name = FrameImage(scan, f);
    if (!storage.tiffcp_options) {
      tiff_writer::WriteFile(dir.PathOf(name), tiff_writer::MakeTiff(image));
      continue;
    }
    // tiffcp warns about a Predictor tag in an uncompressed file.
    tiff_writer::TiffFile plain = tiff_writer::ImageFile(image);
    plain.Remove(tiff_writer::kPredictor);
    tiff_writer::WriteTiff(dir.PathOf("plain.tmp"), plain);
    const std::string cmd = tiffcp + " " + storage.tiffcp_options + " " + dir.PathOf("plain.tmp") +
                            " " + dir.PathOf(name);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  std::remove(dir.PathOf("plain.tmp").c_str());
}

class TaggedStorage : public testing::TestWithParam<Storage> {};

// Every way of storing the images gives the model's sinogram, bit for bit,
// and the same file as halfscan_hipic on the same counts.
TEST_P(TaggedStorage, SinogramMatchesTheModelAndTheHiPicBuilder) {
  const fixture::Scan scan = SmallScan();
  e2e::WorkDir tagged_dir, hipic_dir;
  WriteTiffScan(tagged_dir, scan, GetParam());
  fixture::WriteHiPicScan(hipic_dir.path(), scan);
  for (float offset : {4.0f, 4.5f}) {
    const std::string arg = offset == 4.0f ? "4" : "4.5";
    const e2e::Result r = e2e::Run(kProgram, {"1", arg}, tagged_dir);
    ExpectCompleteRun(r, scan, 1, offset, fixture::Model(scan, 1, offset, true));
    const e2e::Result h = e2e::Run("halfscan_hipic", {"1", arg}, hipic_dir);
    EXPECT_EQ(r.files.at("s0001.sin"), h.files.at("s0001.sin"));
    EXPECT_EQ(r.files.at("sino.tmp"), h.files.at("sino.tmp"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TaggedStorage,
    testing::Values(Storage{"LittleEndian", true, nullptr, 0},
                    Storage{"BigEndian", false, nullptr, 0},
                    Storage{"StripPerRow", true, nullptr, 1},
                    Storage{"Lzw", true, "-c lzw", 0},
                    Storage{"LzwPredictorBigEndian", true, "-B -c lzw:2", 0},
                    Storage{"LzwRowStrips", true, "-c lzw -r 1", 0},
                    Storage{"PackBits", true, "-c packbits", 0},
                    Storage{"PackBitsTwoRowStrips", false, "-L -c packbits -r 2", 0}),
    [](const testing::TestParamInfo<Storage>& i) { return i.param.name; });

const Storage kPlain{"Plain", true, nullptr, 0};

TEST(TaggedBuilder, CountsAbove32767AreNegative) {
  // A sample count of 40000 is -25536 to this builder: at or below the dark,
  // so its frame is zeroed with a warning; halfscan_hipic takes it as it is.
  fixture::Scan scan = SmallScan();
  const auto base = scan.count;
  scan.count = [base](int f, int r, int c) -> std::uint16_t {
    return (f == 7 && c == 2) ? 40000 : base(f, r, c);
  };
  e2e::WorkDir dir;
  WriteTiffScan(dir, scan, kPlain);
  const e2e::Result r = e2e::Run(kProgram, {"1", "5"}, dir);
  const fixture::Expected e = fixture::Model(scan, 1, 5.0f, true);
  ASSERT_EQ(e.warnings.size(), 1u);
  ExpectCompleteRun(r, scan, 1, 5.0f, e, "Warning \t  q007.tif\tareare\n");
  EXPECT_TRUE(fixture::Model(scan, 1, 5.0f, false).warnings.empty());
}

TEST(TaggedBuilder, WarnsOncePerFrame) {
  fixture::Scan scan = SmallScan();
  const auto base = scan.count;
  scan.count = [base](int f, int r, int c) -> std::uint16_t {
    if ((f == 5 && (c == 3 || c == 8)) || (f == 33 && c == 0)) return base(0, r, c);
    return base(f, r, c);
  };
  e2e::WorkDir dir;
  WriteTiffScan(dir, scan, kPlain);
  const e2e::Result r = e2e::Run(kProgram, {"1", "5"}, dir);
  ExpectCompleteRun(r, scan, 1, 5.0f, fixture::Model(scan, 1, 5.0f, true),
                    "Warning \t  q005.tif\tareare\nWarning \t  q033.tif\tareare\n");
}

TEST(TaggedBuilder, TypicalRunWithFourDigitNames) {
  // 1002 frames, so images are named q0001.tif ...; the layer is the last row.
  fixture::Scan scan = fixture::SmoothScan(40, 3, 1002, 100);
  e2e::WorkDir dir;
  WriteTiffScan(dir, scan, kPlain);
  ASSERT_EQ(dir.Files().count("q1002.tif"), 1u);
  const e2e::Result r = e2e::Run(kProgram, {"2", "30.5"}, dir);
  ExpectCompleteRun(r, scan, 2, 30.5f, fixture::Model(scan, 2, 30.5f, true));
}

class TaggedFailure : public testing::TestWithParam<Failure> {};

TEST_P(TaggedFailure, EndsAsSpecified) {
  const Failure& f = GetParam();
  e2e::WorkDir dir;
  const fixture::Scan scan = SmallScan();
  WriteTiffScan(dir, scan, kPlain);
  if (f.damage) f.damage(dir);
  const e2e::Result r = e2e::Run(kProgram, f.args, dir);
  ExpectFailure(r, f, scan, fixture::Model(scan, 1, 4.0f, true));
}

// A valid image of another size in place of `name`.
std::function<void(const e2e::WorkDir&)> Replace(const char* name, std::uint32_t width,
                                                 std::uint32_t height) {
  return [=](const e2e::WorkDir& d) {
    tiff_writer::WriteSimpleTiff(d.PathOf(name), width, height,
                                 std::vector<std::uint16_t>(std::size_t{width} * height, 500));
  };
}

// The file cut to its first `size` bytes.
std::function<void(const e2e::WorkDir&)> Cut(const char* name, std::size_t size) {
  return [=](const e2e::WorkDir& d) { d.Write(name, e2e::ReadFile(d.PathOf(name)).substr(0, size)); };
}

const std::vector<std::string> kArgs = {"1", "4"};
const char* kUsage = "parameter was wrong!!!\nusage : halfscan_tagged layer offset\n";
const char* kEmpty = "";

INSTANTIATE_TEST_SUITE_P(
    Cases, TaggedFailure,
    testing::Values(
        Failure{"NoArguments", nullptr, {}, "", kUsage, 1, nullptr},
        Failure{"ThreeArguments", nullptr, {"1", "2", "3"}, "", kUsage, 1, nullptr},
        Failure{"NegativeOffset", nullptr, {"1", "-0.5"}, "",
                "bad offset -0.5: it must be at least 0 and below 8001\n", 1, nullptr},
        Failure{"NoLog", [](const e2e::WorkDir& d) { Remove(d, "output.log"); }, kArgs,
                "cannot open output.log \n", "canot read 'output.log' ! (-10)\n", 1, nullptr},
        Failure{"NoDark", [](const e2e::WorkDir& d) { Remove(d, "dark.tif"); }, kArgs, "",
                "%Cdark.tif : file not found.\n", 1, nullptr},
        Failure{"DarkNotTiff", [](const e2e::WorkDir& d) { d.Write("dark.tif", "IM\x2a"); }, kArgs,
                "", "%Cdark.tif : bad magic number.\n", 1, nullptr},
        Failure{"DarkCutInTheHeader", Cut("dark.tif", 6), kArgs, "",
                "%Cdark.tif : unexpected end of file.\n", 1, nullptr},
        Failure{"DarkWiderThanTheBuffers", Replace("dark.tif", 8002, 2), kArgs, "",
                "%Cdark.tif : image wider than 8001 pixels.\n", 1, nullptr},
        Failure{"NegativeLayer", nullptr, {"-1", "4"}, "", "%Cdark.tif : bad line position.\n", 1,
                nullptr},
        Failure{"LayerBelowTheImage", nullptr, {"3", "4"}, "",
                "%Cdark.tif : bad line position.\n", 1, nullptr},
        Failure{"OffsetBeyondTheRow", nullptr, {"1", "12.7"}, "",
                "%Cbad offset 12: the detector row has 12 pixels (dark.tif)\n", 1, nullptr},
        Failure{"SinogramCannotBeCreated", [](const e2e::WorkDir& d) { d.MakeDir("s0001.sin"); },
                kArgs, "can not open s0001.sin for input\nsomething wrong in StoreProjection (-10)\n",
                "%C", 1, nullptr},
        Failure{"FirstReferenceMissing", [](const e2e::WorkDir& d) { Remove(d, "q001.tif"); },
                kArgs, "", "%Cq001.tif : file not found.\n", 1, kEmpty},
        Failure{"SecondReferenceMissing", [](const e2e::WorkDir& d) { Remove(d, "q011.tif"); },
                kArgs, "", "%Cq011.tif : file not found.\n", 1, kEmpty},
        Failure{"SampleOfAnotherWidth", Replace("q005.tif", 13, 3), kArgs, "",
                "%Cq005.tif : image width differs from the dark image.\n", 1, kEmpty},
        Failure{"SampleTooShort", Replace("q005.tif", 12, 1), kArgs, "",
                "%Cq005.tif : bad line position.\n", 1, kEmpty},
        Failure{"SampleCutInItsStrip", Cut("q005.tif", 8 + 2 * 12 + 5), kArgs, "",
                "%Cq005.tif : unexpected end of file.\n", 1, kEmpty},
        Failure{"SinogramWriteFails",
                [](const e2e::WorkDir& d) { d.Symlink("/dev/full", "s0001.sin"); }, kArgs,
                "something wrong in StoreProjection (2)\n",
                "%C Error writing data to s0001.sin at 1\n", 1, nullptr},
        Failure{"SummaryCannotBeOpened", [](const e2e::WorkDir& d) { d.MakeDir("sino.tmp"); },
                kArgs, "can not open sino.tmp for input\n", "%C%S", 1, "*"}),
    [](const testing::TestParamInfo<Failure>& i) { return i.param.name; });

}  // namespace
