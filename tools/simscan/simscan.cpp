// simscan [options] DIR: writes a simulated offset scan that the sinogram
// builders can read, with a phantom whose exact line integrals are known.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "scan_model.h"

namespace {

const char kUsage[] =
    "usage: simscan [options] DIR\n"
    "Writes a simulated offset scan into DIR (created when missing): output.log,\n"
    "the dark frame, reference frames and sample frames over a full turn.\n"
    "  --frames N     sample frames over the full turn, even (default 360)\n"
    "  --interval K   sample frames between two reference frames (default 20)\n"
    "  --width W      detector pixels per row, 2 to 8001 (default 256)\n"
    "  --height H     detector rows per image, 1 to 32767 (default 8)\n"
    "  --offset X     rotation axis, in pixels from the start of the row;\n"
    "                 at least 1 and below W (default W - W/8, at most W - 1)\n"
    "  --format F     tiff (little-endian), tiff-be (big-endian) or hipic (default tiff)\n"
    "  --seed S       0: exact counts; otherwise Poisson-like noise from this seed\n"
    "                 (default 0)\n";

enum class Format { kTiffLittle, kTiffBig, kHiPic };

struct Options {
  long long frames = 360;
  long long interval = 20;
  long long width = 256;
  long long height = 8;
  double offset = -1;  // -1: the default for the width
  Format format = Format::kTiffLittle;
  unsigned long long seed = 0;
  std::string dir;
};

int Refuse(const std::string& message) {
  std::fprintf(stderr, "simscan: %s\n", message.c_str());
  std::fprintf(stderr, "%s", kUsage);
  return 2;
}

bool ParseInteger(const char* text, long long& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

bool ParseSeed(const char* text, unsigned long long& value) {
  errno = 0;
  char* end = nullptr;
  if (*text == '-') return false;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

bool ParseReal(const char* text, double& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

// Creates every missing directory of `path`.
bool MakeDirs(const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// 0 when the options are good; else the exit status after the message.
int ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      std::exit(0);
    }
    if (arg.rfind("--", 0) != 0) {
      if (!o.dir.empty()) return Refuse("more than one folder given: " + arg);
      o.dir = arg;
      continue;
    }
    std::string name = arg, value;
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    } else {
      if (i + 1 >= argc) return Refuse("missing value of " + name);
      value = argv[++i];
    }
    const char* v = value.c_str();
    const std::string bad = "bad value of " + name + ": '" + value + "'";
    if (name == "--frames" || name == "--interval" || name == "--width" || name == "--height") {
      long long n = 0;
      if (!ParseInteger(v, n)) return Refuse(bad);
      (name == "--frames" ? o.frames : name == "--interval" ? o.interval
                                     : name == "--width"    ? o.width
                                                            : o.height) = n;
    } else if (name == "--offset") {
      if (!ParseReal(v, o.offset)) return Refuse(bad);
      if (o.offset < 0) return Refuse(bad + " (the axis must be at least 1 pixel from the edge)");
    } else if (name == "--format") {
      if (value == "tiff") o.format = Format::kTiffLittle;
      else if (value == "tiff-be") o.format = Format::kTiffBig;
      else if (value == "hipic") o.format = Format::kHiPic;
      else return Refuse(bad + " (tiff, tiff-be or hipic)");
    } else if (name == "--seed") {
      if (!ParseSeed(v, o.seed)) return Refuse(bad);
    } else {
      return Refuse("unknown option " + name);
    }
  }
  if (o.dir.empty()) return Refuse("no folder given");
  if (o.frames < 2 || o.frames % 2 != 0)
    return Refuse("--frames must be even and at least 2 (each view needs the view half a turn later)");
  if (o.interval < 1) return Refuse("--interval must be at least 1");
  if (o.width < 2 || o.width > simscan::kMaxWidth)
    return Refuse("--width must be from 2 to " + std::to_string(simscan::kMaxWidth));
  if (o.height < 1 || o.height > simscan::kMaxHeight)
    return Refuse("--height must be from 1 to " + std::to_string(simscan::kMaxHeight));
  if (o.offset < 0) o.offset = static_cast<double>(o.width - std::max(1LL, o.width / 8));
  if (o.offset < 1 || o.offset >= static_cast<double>(o.width))
    return Refuse("--offset must be at least 1 and below the width " + std::to_string(o.width));
  // Exact up to 2^61 views, beyond which nobody needs the number.
  const long long total =
      o.frames > (1LL << 61) ? o.frames : simscan::FrameCount(o.frames, o.interval);
  if (total > simscan::kMaxFrames)
    return Refuse("the scan would have " + std::to_string(total) +
                  " frames; the sinogram builders read at most " +
                  std::to_string(simscan::kMaxFrames));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  Options o;
  if (int status = ParseOptions(argc, argv, o); status != 0) return status;
  if (!MakeDirs(o.dir)) {
    std::fprintf(stderr, "simscan: cannot create the folder %s: %s\n", o.dir.c_str(),
                 std::strerror(errno));
    return 1;
  }

  const int width = static_cast<int>(o.width), height = static_cast<int>(o.height);
  const simscan::ScanModel model(width, height, o.offset, static_cast<int>(o.frames),
                                 static_cast<int>(o.interval));
  const std::vector<simscan::Frame>& frames = model.frames();
  const bool tiff = o.format != Format::kHiPic;
  const char* extension = tiff ? ".tif" : ".img";
  // The builders name frames with four digits once the last frame number
  // reaches 998.
  const bool four_digits = frames.back().number >= 998;

  const std::string log_name = o.dir + "/output.log";
  std::FILE* log = std::fopen(log_name.c_str(), "w");
  if (!log) {
    std::fprintf(stderr, "simscan: cannot write %s\n", log_name.c_str());
    return 1;
  }
  for (const simscan::Frame& f : frames) {
    std::fprintf(log, "%d\t%.2f\t%.3f\t%d\n", f.number, f.coord, f.angle, f.reference ? 0 : 1);
  }
  if (std::fclose(log) != 0) {
    std::fprintf(stderr, "simscan: cannot write %s\n", log_name.c_str());
    return 1;
  }

  std::vector<std::uint16_t> counts(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
  std::vector<unsigned char> bytes;
  auto write_image = [&](const simscan::Frame* frame, const std::string& name) {
    for (int z = 0; z < height; ++z) {
      model.Row(frame, z, o.seed,
                &counts[static_cast<std::size_t>(z) * static_cast<std::size_t>(width)]);
    }
    if (tiff) {
      simscan::EncodeTiff(width, height, counts.data(), o.format == Format::kTiffLittle, bytes);
    } else {
      char comment[96];
      if (!frame) std::snprintf(comment, sizeof comment, "simulated offset scan: dark frame");
      else if (frame->reference)
        std::snprintf(comment, sizeof comment, "simulated offset scan: frame %d, reference %d",
                      frame->number, frame->reference_index);
      else
        std::snprintf(comment, sizeof comment, "simulated offset scan: frame %d, view %d at %.3f",
                      frame->number, frame->view, frame->angle);
      simscan::EncodeHiPic(width, height, counts.data(), comment, bytes);
    }
    const std::string path = o.dir + "/" + name;
    if (!simscan::WriteBytes(path, bytes)) {
      std::fprintf(stderr, "simscan: cannot write %s\n", path.c_str());
      return false;
    }
    return true;
  };

  if (!write_image(nullptr, std::string("dark") + extension)) return 1;
  char name[32];
  std::string first, last;
  for (const simscan::Frame& f : frames) {
    std::snprintf(name, sizeof name, four_digits ? "q%04d%s" : "q%03d%s", f.number, extension);
    if (!write_image(&f, name)) return 1;
    if (first.empty()) first = name;
    last = name;
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const char* format_name = o.format == Format::kTiffLittle ? "TIFF little-endian"
                            : o.format == Format::kTiffBig  ? "TIFF big-endian"
                                                            : "HiPic";
  std::string noise = o.seed == 0 ? "no noise" : "noise seed " + std::to_string(o.seed);
  std::printf("simscan: %s: %zu frames %s to %s (%lld views, %zu references), %d x %d pixels, "
              "%s, axis %g, %s, %.2f s\n",
              o.dir.c_str(), frames.size(), first.c_str(), last.c_str(), o.frames,
              frames.size() - static_cast<std::size_t>(o.frames), width, height, format_name,
              o.offset, noise.c_str(), seconds);
  return 0;
}
