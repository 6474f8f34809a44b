// Damaged inputs, end to end through both builders.  Every row names the
// damage done to a good small scan and how the run must end: what goes to
// each stream, the exit status and what is left in the directory.  Whatever
// the damage, a run never dies from a signal, never hangs and never leaves a
// "sino.tmp" unless it says it finished.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"
#include "scan_fixture.h"
#include "tiff_writer.h"

namespace {

namespace tw = tiff_writer;

using Damage = std::function<void(const e2e::WorkDir&)>;

// What a sinogram file left behind must hold.
enum class Sino { kAbsent, kEmpty, kAny };

struct Row {
  const char* name;
  Damage damage;
  std::vector<std::string> args;
  std::string out;
  // "%C": the good scan's count line.  A trailing "..." matches any rest
  // (the statistics and time lines of a run that finishes).
  std::string err;
  int status;
  Sino sino;
  bool summary = false;  // "sino.tmp" left behind
};

fixture::Scan SmallScan() { return fixture::SmoothScan(12, 3, 41, 10); }

std::string CountLine(int nsample, int ni0, int total) {
  return " nshot = " + std::to_string(nsample / 2) + ", NI0 = " + std::to_string(ni0) +
         ", total = " + std::to_string(total) + " \n";
}
const std::string kCount = CountLine(36, 5, 43);

// Standard error without the notes a sanitizer build adds when it declines
// an allocation (the program's own message follows them).
std::string WithoutSanitizerNotes(const std::string& err) {
  std::string kept;
  for (std::size_t at = 0; at < err.size();) {
    std::size_t end = err.find('\n', at);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(at, end - at);
    const std::size_t note = line.find("==WARNING: AddressSanitizer failed to allocate");
    if (!(line.rfind("==", 0) == 0 && note != std::string::npos)) kept += line;
    at = end;
  }
  return kept;
}

void ExpectRow(const Row& row, const e2e::Result& r) {
  EXPECT_FALSE(r.signaled) << "ended by a signal";
  EXPECT_EQ(r.status, row.status);
  EXPECT_EQ(r.out, row.out);
  std::string err = row.err;
  for (std::size_t at; (at = err.find("%C")) != std::string::npos;) err.replace(at, 2, kCount);
  const std::string got = WithoutSanitizerNotes(fixture::MaskTime(r.err));
  const std::string dots = "...";
  if (err.size() >= dots.size() && err.compare(err.size() - dots.size(), dots.size(), dots) == 0) {
    err.resize(err.size() - dots.size());
    EXPECT_EQ(got.substr(0, err.size()), err);
  } else {
    EXPECT_EQ(got, err);
  }
  const bool has_sino = r.files.count("s0001.sin") == 1;
  EXPECT_EQ(has_sino, row.sino != Sino::kAbsent);
  if (has_sino && row.sino == Sino::kEmpty) {
    EXPECT_EQ(r.files.at("s0001.sin"), "");
  }
  EXPECT_EQ(r.files.count("sino.tmp"), row.summary ? 1u : 0u);
}

std::string Name(const testing::TestParamInfo<Row>& i) { return i.param.name; }
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const std::vector<std::string> kArgs = {"1", "4"};

// ---------------------------------------------------------------------------
// TIFF images (halfscan_tagged).  The damage goes to the dark image unless the
// row says otherwise; the dark image is read before the sinogram file exists.

std::string FrameTiffName(const fixture::Scan& scan, int frame) {
  return frame == 0 ? "dark.tif" : fixture::ImageName(scan, frame, ".tif");
}

tw::TiffImage FrameImage(const fixture::Scan& scan, int frame) {
  tw::TiffImage image;
  image.width = static_cast<std::uint32_t>(scan.width);
  image.height = static_cast<std::uint32_t>(scan.height);
  for (int r = 0; r < scan.height; ++r)
    for (int c = 0; c < scan.width; ++c) image.pixels.push_back(scan.count(frame, r, c));
  return image;
}

void WriteTiffScan(const e2e::WorkDir& dir, const fixture::Scan& scan) {
  dir.Write("output.log", fixture::LogText(scan.Log()));
  for (int f = 0; f <= scan.last_frame; ++f)
    dir.Write(FrameTiffName(scan, f), tw::MakeTiff(FrameImage(scan, f)));
}

// The dark image's file description, edited by `edit`, written in its place.
Damage EditDark(std::function<void(tw::TiffFile&)> edit) {
  return [edit](const e2e::WorkDir& d) {
    tw::TiffFile file = tw::ImageFile(FrameImage(SmallScan(), 0));
    edit(file);
    d.Write("dark.tif", tw::MakeTiff(file));
  };
}

// The bytes of the dark image, edited by `edit`, written in its place.
Damage EditDarkBytes(std::function<void(std::string&)> edit) {
  return [edit](const e2e::WorkDir& d) {
    std::string bytes = tw::MakeTiff(FrameImage(SmallScan(), 0));
    edit(bytes);
    d.Write("dark.tif", bytes);
  };
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}
std::uint32_t GetU32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)])) << (8 * i);
  return v;
}

// The file cut to `keep(size, ifd offset)` bytes.
Damage CutDark(std::function<std::size_t(std::size_t, std::size_t)> keep) {
  return EditDarkBytes([keep](std::string& b) { b.resize(keep(b.size(), GetU32(b, 4))); });
}

// A single-strip dark image whose strip is stored after the IFD, so that
// cutting the file's end cuts the strip; `cut` bytes of the strip are lost.
Damage DarkStripCut(std::size_t cut) {
  return [cut](const e2e::WorkDir& d) {
    tw::TiffFile file = tw::ImageFile(FrameImage(SmallScan(), 0));
    const std::string strip = file.strips.at(0);
    file.Set(tw::kStripOffsets, tw::kLong, {}).value_field = 0;
    file.Find(tw::kStripOffsets)->count = 1;
    std::string bytes = tw::MakeTiff(file);
    file.Find(tw::kStripOffsets)->value_field = static_cast<std::uint32_t>(bytes.size());
    bytes = tw::MakeTiff(file) + strip;
    bytes.resize(bytes.size() - cut);
    d.Write("dark.tif", bytes);
  };
}

// A 12-pixel-wide, 180-row LZW dark image whose one strip never clears the
// code table: literal codes at the width the table size dictates, until the
// table is full and one more code arrives.  Row 170 lies beyond that point.
Damage DarkLzwTableOverflow() {
  return [](const e2e::WorkDir& d) {
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    int next = 258, width = 9;
    codes.push_back({1, 9});  // the first code after a clear adds no entry
    while (next <= 4096) {
      codes.push_back({1, width});
      if (next == 4096) break;
      ++next;
      if (next == (1 << width) - 1 && width < 12) ++width;
    }
    tw::TiffImage image;
    image.width = 12;
    image.height = 180;
    image.pixels.assign(12 * 180, 1);
    tw::TiffFile file = tw::ImageFile(image);
    file.strips = {tw::PackLzwCodes(codes)};
    file.Set(tw::kCompression, tw::kShort, {5});
    d.Write("dark.tif", tw::MakeTiff(file));
  };
}

Damage SetDark(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
  return EditDark([=](tw::TiffFile& f) { f.Set(tag, type, {value}); });
}

std::string DarkFault(const char* message) {
  return std::string("%Cdark.tif : ") + message + "\n";
}

class TaggedDamage : public testing::TestWithParam<Row> {};

TEST_P(TaggedDamage, EndsWithItsMessage) {
  const Row& row = GetParam();
  e2e::WorkDir dir;
  WriteTiffScan(dir, SmallScan());
  if (row.damage) row.damage(dir);
  ExpectRow(row, e2e::Run("halfscan_tagged", row.args, dir));
}

const std::size_t kTiffHeader = 8;

INSTANTIATE_TEST_SUITE_P(
    Rows, TaggedDamage,
    testing::Values(
        // The 8-byte header cut at each of its field boundaries.
        Row{"HeaderEmpty", CutDark([](std::size_t, std::size_t) { return 0; }), kArgs, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"HeaderCutAfterTheFirstMark", CutDark([](std::size_t, std::size_t) { return 1; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"HeaderCutInTheVersion", CutDark([](std::size_t, std::size_t) { return 3; }), kArgs,
            "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"HeaderCutInTheIfdOffset", CutDark([](std::size_t, std::size_t) { return 7; }), kArgs,
            "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"HeaderOnly", CutDark([](std::size_t, std::size_t) { return kTiffHeader; }), kArgs,
            "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        // The IFD cut at its boundaries: in the entry count, after it, inside
        // and between entries.
        Row{"IfdCutInItsCount", CutDark([](std::size_t, std::size_t ifd) { return ifd + 1; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdCutAfterItsCount", CutDark([](std::size_t, std::size_t ifd) { return ifd + 2; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdCutInTheFirstEntry",
            CutDark([](std::size_t, std::size_t ifd) { return ifd + 2 + 7; }), kArgs, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdCutAfterFourEntries",
            CutDark([](std::size_t, std::size_t ifd) { return ifd + 2 + 4 * 12; }), kArgs, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdCutInTheLastEntry", CutDark([](std::size_t size, std::size_t) { return size - 8; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdOffsetPastTheEnd",
            EditDarkBytes([](std::string& b) { PutU32(b, 4, 0xFFFFFFF0u); }), kArgs, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"IfdOffsetIntoTheHeader", EditDarkBytes([](std::string& b) { PutU32(b, 4, 0); }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        // 65535 entries announced, a dozen present: the search for a tag that
        // is missing runs into the end of the file instead of on and on.
        Row{"EndlessIfdEntryCount",
            EditDarkBytes([](std::string& b) {
              const std::size_t ifd = GetU32(b, 4);
              b[ifd] = '\xff';
              b[ifd + 1] = '\xff';
              b.resize(b.size() - 4 - 12);  // the link and the last entry (Predictor)
            }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        // Sizes.
        Row{"ZeroWidth", SetDark(tw::kImageWidth, tw::kLong, 0), kArgs, "",
            DarkFault("primary image attribute not found."), 1, Sino::kAbsent},
        Row{"ZeroHeight", SetDark(tw::kImageLength, tw::kShort, 0), kArgs, "",
            DarkFault("primary image attribute not found."), 1, Sino::kAbsent},
        Row{"NegativeWidth", SetDark(tw::kImageWidth, tw::kLong, 0xFFFFFFF4u), kArgs, "",
            DarkFault("too large image size."), 1, Sino::kAbsent},
        Row{"NegativeHeight", SetDark(tw::kImageLength, tw::kLong, 0x80000000u), kArgs, "",
            DarkFault("too large image size."), 1, Sino::kAbsent},
        Row{"HugeWidth", SetDark(tw::kImageWidth, tw::kLong, 0x7FFFFFFFu), kArgs, "",
            DarkFault("image wider than 8001 pixels."), 1, Sino::kAbsent},
        Row{"WidthAsWideAsAShortAllows", SetDark(tw::kImageWidth, tw::kShort, 65535), kArgs, "",
            DarkFault("image wider than 8001 pixels."), 1, Sino::kAbsent},
        Row{"HugeHeightForOneStrip", SetDark(tw::kImageLength, tw::kLong, 0x7FFFFFFFu), kArgs,
            "", DarkFault("bad number of strip offset."), 1, Sino::kAbsent},
        Row{"HugeHeightAndRowsPerStrip",
            EditDark([](tw::TiffFile& f) {
              f.Set(tw::kImageLength, tw::kLong, {0x7FFFFFFFu});
              f.Set(tw::kRowsPerStrip, tw::kLong, {0xFFFFFFFFu});
            }),
            {"100000000", "4"}, "", DarkFault("too few codes."), 1, Sino::kAbsent},
        Row{"ZeroRowsPerStrip", SetDark(tw::kRowsPerStrip, tw::kLong, 0), kArgs, "",
            DarkFault("bad rows per strip."), 1, Sino::kAbsent},
        // Strip tables that disagree with the image or with each other.
        Row{"StripOffsetsMissing", EditDark([](tw::TiffFile& f) { f.Remove(tw::kStripOffsets); }),
            kArgs, "", DarkFault("strip offset not found."), 1, Sino::kAbsent},
        Row{"StripOffsetsForTwoStrips",
            EditDark([](tw::TiffFile& f) { f.Find(tw::kStripOffsets)->count = 2; }), kArgs, "",
            DarkFault("bad number of strip offset."), 1, Sino::kAbsent},
        Row{"StripByteCountsForThreeStrips",
            EditDark([](tw::TiffFile& f) { f.Find(tw::kStripByteCounts)->count = 3; }), kArgs, "",
            DarkFault("bad number of strip bytes count."), 1, Sino::kAbsent},
        Row{"StripByteCountsOfAnUnusableType",
            EditDark([](tw::TiffFile& f) { f.Find(tw::kStripByteCounts)->type = tw::kRational; }),
            kArgs, "", DarkFault("strip bytes count not found."), 1, Sino::kAbsent},
        Row{"StripOffsetPastTheEnd",
            EditDark([](tw::TiffFile& f) { f.Find(tw::kStripOffsets)->value_field = 0x7FFFFFF0u; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"StripOffsetAtTheTopOfTheRange",
            EditDark([](tw::TiffFile& f) { f.Find(tw::kStripOffsets)->value_field = 0xFFFFFFFFu; }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"StripOffsetsTablePastTheEnd",
            EditDark([](tw::TiffFile& f) {
              f.Set(tw::kRowsPerStrip, tw::kLong, {1});
              f.Set(tw::kStripOffsets, tw::kLong, {}).count = 3;
              f.Find(tw::kStripOffsets)->value_field = 0xFFFFFFF0u;
            }),
            kArgs, "", DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"StripByteCountZero",
            EditDark([](tw::TiffFile& f) { f.Set(tw::kStripByteCounts, tw::kLong, {0}); }), kArgs,
            "", DarkFault("too few codes."), 1, Sino::kAbsent},
        Row{"StripByteCountShortOfTheRow",
            EditDark([](tw::TiffFile& f) { f.Set(tw::kStripByteCounts, tw::kLong, {30}); }),
            kArgs, "", DarkFault("too few codes."), 1, Sino::kAbsent},
        // The strip itself cut: at its first byte, inside the layer's row, at
        // its last byte.
        Row{"StripCutEntirely", DarkStripCut(72), kArgs, "", DarkFault("unexpected end of file."),
            1, Sino::kAbsent},
        Row{"StripCutInTheRow", DarkStripCut(72 - 24 - 5), kArgs, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"StripCutAfterTheRow", DarkStripCut(1), kArgs, "", "%C...", 0, Sino::kAny, true},
        Row{"StripCutInTheLastRow", DarkStripCut(1), {"2", "4"}, "",
            DarkFault("unexpected end of file."), 1, Sino::kAbsent},
        Row{"LzwTableOverflow", DarkLzwTableOverflow(), {"170", "4"}, "",
            DarkFault("LZW code table overflow."), 1, Sino::kAbsent},
        // A sample image damaged mid-run: the sinogram file exists, empty.
        Row{"SampleHeaderCut",
            [](const e2e::WorkDir& d) {
              d.Write("q005.tif", e2e::ReadFile(d.PathOf("q005.tif")).substr(0, 5));
            },
            kArgs, "", "%Cq005.tif : unexpected end of file.\n", 1, Sino::kEmpty},
        Row{"SampleIfdEndless",
            [](const e2e::WorkDir& d) {
              std::string b = e2e::ReadFile(d.PathOf("q005.tif"));
              const std::size_t ifd = GetU32(b, 4);
              b[ifd] = '\xff';
              b[ifd + 1] = '\x7f';
              b.resize(b.size() - 16);
              d.Write("q005.tif", b);
            },
            kArgs, "", "%Cq005.tif : unexpected end of file.\n", 1, Sino::kEmpty}),
    Name);

// ---------------------------------------------------------------------------
// HiPic images (halfscan_hipic).

Damage WriteImage(const char* name, std::string bytes) {
  return [name, bytes](const e2e::WorkDir& d) { d.Write(name, bytes); };
}

std::string Rows(int width, int rows) {
  return fixture::HiPicImage(width, rows, [](int r, int c) { return static_cast<std::uint16_t>(900 + r + c); });
}

std::string DarkFailure(const std::string& messages, int code) {
  return "%C" + messages + "something wrong in dark file (" + std::to_string(code) + ")\n";
}

// Damage to a HiPic scan: its images here, its log further down.
class HiPicDamage : public testing::TestWithParam<Row> {};

TEST_P(HiPicDamage, EndsWithItsMessage) {
  const Row& row = GetParam();
  e2e::WorkDir dir;
  fixture::WriteHiPicScan(dir.path(), SmallScan());
  if (row.damage) row.damage(dir);
  ExpectRow(row, e2e::Run("halfscan_hipic", row.args, dir));
}

INSTANTIATE_TEST_SUITE_P(
    Images, HiPicDamage,
    testing::Values(
        Row{"EmptyFile", WriteImage("dark.img", ""), kArgs, "",
            DarkFailure("EOF in dark.img (header)\n", -1), 1, Sino::kAbsent},
        Row{"HeaderCutAtItsLastByte", WriteImage("dark.img", Rows(12, 3).substr(0, 63)), kArgs,
            "", DarkFailure("EOF in dark.img (header)\n", -1), 1, Sino::kAbsent},
        Row{"HeaderOnly", WriteImage("dark.img", Rows(12, 0)), kArgs, "",
            DarkFailure(" Error reading dark.img at 1 (0)\nFile name = dark.img\n", 2), 1,
            Sino::kAbsent},
        Row{"CommentLongerThanTheFile",
            WriteImage("dark.img", fixture::HiPicRaw(32767, 12, "short", {1, 2, 3})), kArgs, "",
            DarkFailure("EOF found (comment)\nFile name = dark.img\n", -13), 1, Sino::kAbsent},
        Row{"CommentSwallowsTheRows",
            WriteImage("dark.img", fixture::HiPicRaw(60, 12, "", std::vector<std::uint16_t>(36, 7))),
            kArgs, "", DarkFailure(" Error reading dark.img at 1 (0)\nFile name = dark.img\n", 2),
            1, Sino::kAbsent},
        Row{"NegativeWidth", WriteImage("dark.img", fixture::HiPicRaw(0, -1, "", {})), kArgs, "",
            DarkFailure(" Bad image width -1 (the row buffer holds 8001 values)\n"
                        "File name = dark.img\n", -14),
            1, Sino::kAbsent},
        Row{"WidthAtItsLargest", WriteImage("dark.img", fixture::HiPicRaw(0, 32767, "", {})),
            kArgs, "",
            DarkFailure(" Bad image width 32767 (the row buffer holds 8001 values)\n"
                        "File name = dark.img\n", -14),
            1, Sino::kAbsent},
        Row{"ZeroWidth", WriteImage("dark.img", fixture::HiPicRaw(0, 0, "", {})), kArgs, "",
            "%Cbad offset 4: the detector row has 0 pixels (dark.img)\n", 1, Sino::kAbsent},
        Row{"LayerAtTheTopOfTheRange", nullptr, {"2147483647", "4"}, "",
            DarkFailure(" Bad row index 2147483647\nFile name = dark.img\n", -15), 1,
            Sino::kAbsent},
        Row{"LayerFarBeyondTheFile", nullptr, {"1073741824", "4"}, "",
            DarkFailure(" Error reading dark.img at 1073741824 (0)\nFile name = dark.img\n",
                        1073741825),
            1, Sino::kAbsent},
        // Mid-run: the sinogram file exists, empty.
        Row{"SampleCommentLongerThanTheFile",
            WriteImage("q005.img", fixture::HiPicRaw(32767, 12, "", {})), kArgs,
            "something wrong -- return value is -13(II01)",
            "%CEOF found (comment)\nFile name = q005.img\n", 255, Sino::kEmpty},
        Row{"SampleNegativeWidth", WriteImage("q005.img", fixture::HiPicRaw(0, -32768, "", {})),
            kArgs, "something wrong -- return value is -14(II01)",
            "%C Bad image width -32768 (the row buffer holds 8001 values)\nFile name = q005.img\n",
            255, Sino::kEmpty}),
    Name);

// ---------------------------------------------------------------------------
// Scan logs, through halfscan_hipic on the good images of the small scan.

std::string GoodLog() { return fixture::LogText(SmallScan().Log()); }

std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  const std::string text = GoodLog();
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end + 1 - at));
    at = end + 1;
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l;
  return s;
}

Damage Log(std::string text) {
  return [text](const e2e::WorkDir& d) { d.Write("output.log", text); };
}

// The good log with line `n` (from 1) replaced by `text`.
Damage LogWithLine(int n, std::string text) {
  std::vector<std::string> lines = LogLines();
  lines.at(static_cast<std::size_t>(n - 1)) = text;
  return Log(Join(lines));
}

std::string ZigzagLog() {
  std::string s;
  for (int n = 1; n <= 9000; ++n) s += (n % 2 ? "-32768" : "32767") + std::string(" 1 360 0\n");
  return s + "9000 2 360 1\n";
}

const char* kNotOffsetCt = "It seems it's not a offset CT data.\n";
const char* kCannotRead = "canot read 'output.log' ! (1)\n";

INSTANTIATE_TEST_SUITE_P(
    Logs, HiPicDamage,
    testing::Values(
        // Binary garbage: a NUL at the start of a line ends the log there.
        Row{"BinaryGarbageFirst", Log(std::string("\0\x01\xff\xfe garbage\n", 13) + GoodLog()),
            kArgs, "", std::string(kNotOffsetCt) + "0.000000\n" + kCannotRead, 1, Sino::kAbsent},
        // A line that does not convert keeps the previous line's frame and
        // flag: here a second copy of reference frame 41.
        Row{"BinaryGarbageAtTheEnd", Log(GoodLog() + "\x7f\x80\x90\xff binary \x01\x02\n"), kArgs,
            "", CountLine(36, 6, 43) + "...", 0, Sino::kAny, true},
        Row{"BinaryGarbageInTheMiddle", LogWithLine(20, "\xff\xfe\xfd\xfc\x80\n"), kArgs, "",
            CountLine(36, 5, 43) + "...", 0, Sino::kAny, true},
        // Taken in 99-character pieces: the spaces become three more sample
        // lines, so every later line lands three slots late and the last
        // slot holds an earlier angle.
        Row{"OverlongLine", LogWithLine(5, "5 5 36 1" + std::string(300, ' ') + "\n"), kArgs, "",
            std::string(kNotOffsetCt) + "333.000000\n" + kCannotRead, 1, Sino::kAbsent},
        // 150 nines in two pieces; the second, 51 nines, keeps 65535 in its
        // low 16 bits, which reads as -1: a last frame before the table.
        Row{"OverlongFrameNumber", Log(GoodLog() + std::string(150, '9') + " 1 360 1\n"), kArgs,
            "", std::string(kNotOffsetCt) + "0.000000\n" + kCannotRead, 1, Sino::kAbsent},
        Row{"MissingFieldsOnTheLastLine", Log(GoodLog() + "42\n"), kArgs, "",
            std::string(kNotOffsetCt) + "0.000000\n" + kCannotRead, 1, Sino::kAbsent},
        // Reference frame 11 without its flag counts as a sample frame.
        Row{"MissingFlagOfAReference", LogWithLine(11, "11 11 96\n"), kArgs, "",
            CountLine(37, 4, 43) + "...", 0, Sino::kAny, true},
        Row{"FramesOutOfOrder",
            [](const e2e::WorkDir& d) {
              std::vector<std::string> lines = LogLines();
              std::swap(lines[4], lines[5]);
              d.Write("output.log", Join(lines));
            },
            kArgs, "", kCount + "...", 0, Sino::kAny, true},
        Row{"FrameRepeated",
            [](const e2e::WorkDir& d) {
              std::vector<std::string> lines = LogLines();
              lines.insert(lines.begin() + 5, lines[5]);
              d.Write("output.log", Join(lines));
            },
            kArgs, "", CountLine(37, 5, 43) + "...", 0, Sino::kAny, true},
        // References out of order: pairs whose second frame comes first hold
        // no frames, others hold frames twice; the table is sized for them.
        Row{"ReferencesOutOfOrder",
            [](const e2e::WorkDir& d) {
              std::vector<std::string> lines = LogLines();
              std::swap(lines[20], lines[30]);
              d.Write("output.log", Join(lines));
            },
            kArgs, "", kCount + "...", 0, Sino::kAny, true},
        // Frames 41 down to 1: no frame lies between two references, so the
        // sinogram is all zeros and the statistics undefined.
        Row{"ReferencesInReverseOrder",
            [](const e2e::WorkDir& d) {
              std::vector<std::string> lines = LogLines();
              d.Write("output.log", Join({lines.rbegin(), lines.rend()}));
            },
            kArgs, "", CountLine(36, 5, 3) + " TA mean\t0.000000\tTASD\t0.000000\n...", 0,
            Sino::kAny, true},
        // References at the ends of the 16-bit range: a 65534-row table, then
        // the first image the walk names does not exist.
        Row{"ReferencesAtTheEndsOfTheFrameRange",
            Log("-32768 0 0 0\n32767 1 360 0\n2 2 360 1\n"), kArgs,
            "can not open q-32768.img for input\nsomething wrong -- return value is -10(II01)",
            CountLine(1, 2, 4), 255, Sino::kEmpty},
        // 4500 such gaps on an 8001-pixel detector ask for about 19 TB: refused
        // with a message, not attempted.
        Row{"ReferencesZigzagAcrossTheFrameRange",
            [](const e2e::WorkDir& d) {
              d.Write("output.log", ZigzagLog());
              d.Write("dark.img", Rows(8001, 3));
            },
            kArgs, "something wrong in StoreProjection (-12)\n",
            CountLine(1, 9000, 9002) +
                " Cannot allocate memory for 294903000 rows of 8001 values (s0001.sin)\n",
            1, Sino::kEmpty}),
    Name);

// ---------------------------------------------------------------------------
// Outputs that fail.  A sinogram far larger than the stream's buffer meets
// the full device inside the row writes, not only at the final flush.

class OutputFault : public testing::TestWithParam<Row> {};

TEST_P(OutputFault, LeavesNoFinishedRun) {
  const Row& row = GetParam();
  for (const char* program : {"halfscan_hipic", "halfscan_tagged"}) {
    SCOPED_TRACE(program);
    e2e::WorkDir dir;
    const fixture::Scan scan = fixture::SmoothScan(80, 2, 201, 20);
    if (std::string(program) == "halfscan_hipic") {
      fixture::WriteHiPicScan(dir.path(), scan);
    } else {
      WriteTiffScan(dir, scan);
    }
    if (row.damage) row.damage(dir);
    const e2e::Result r = e2e::Run(program, row.args, dir);
    EXPECT_FALSE(r.signaled);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(fixture::MaskTime(r.err).substr(0, row.err.size()), row.err);
    EXPECT_EQ(r.files.count("sino.tmp"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OutputFault,
    testing::Values(
        Row{"SinogramWriteFailsPartWay",
            [](const e2e::WorkDir& d) { d.Symlink("/dev/full", "s0001.sin"); }, {"1", "39.5"},
            "something wrong in StoreProjection (2)\n",
            CountLine(190, 11, 203) + " Error writing data to s0001.sin at 1\n", 1, Sino::kAbsent},
        Row{"SummaryIsADirectory", [](const e2e::WorkDir& d) { d.MakeDir("sino.tmp"); },
            {"1", "39.5"}, "can not open sino.tmp for input\n", CountLine(190, 11, 203), 1,
            Sino::kAny}),
    Name);

}  // namespace
