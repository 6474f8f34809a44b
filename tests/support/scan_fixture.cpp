#include "scan_fixture.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <cctype>
#include <stdexcept>

namespace fixture {
namespace {

void Put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string HiPicRaw(std::int16_t comment_length, std::int16_t width, const std::string& comment,
                     const std::vector<std::uint16_t>& pixels) {
  std::string s = "IM";
  Put16(s, static_cast<std::uint16_t>(comment_length));
  Put16(s, static_cast<std::uint16_t>(width));
  s.resize(64, '\0');
  s += comment;
  for (std::uint16_t v : pixels) Put16(s, v);
  return s;
}

std::string HiPicImage(int width, int rows, const std::function<std::uint16_t(int, int)>& count,
                       const std::string& comment) {
  std::vector<std::uint16_t> pixels;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < width; ++c) pixels.push_back(count(r, c));
  return HiPicRaw(static_cast<std::int16_t>(comment.size()), static_cast<std::int16_t>(width),
                  comment, pixels);
}

void WriteSparseHiPic(const std::string& path, int width, int row,
                      const std::function<std::uint16_t(int)>& count) {
  std::string head = HiPicRaw(0, static_cast<std::int16_t>(width), "", {});
  std::string data;
  for (int c = 0; c < width; ++c) Put16(data, count(c));
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(head.data(), static_cast<std::streamsize>(head.size()));
  f.seekp(static_cast<std::streamoff>(head.size()) + 2LL * row * width);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string LogText(const std::vector<LogLine>& lines) {
  std::string s;
  char buf[128];
  for (const LogLine& l : lines) {
    std::snprintf(buf, sizeof buf, "%d %f %f %d\n", l.frame, static_cast<double>(l.coord),
                  static_cast<double>(l.angle), l.flag);
    s += buf;
  }
  return s;
}

bool Scan::IsReference(int frame) const {
  for (int r : references)
    if (r == frame) return true;
  return false;
}

std::vector<LogLine> Scan::Log() const {
  std::vector<LogLine> lines;
  for (int f = 1; f <= last_frame; ++f) {
    const float angle =
        last_frame > 1 ? static_cast<float>(360.0 * (f - 1) / (last_frame - 1)) : 360.0f;
    lines.push_back({f, static_cast<float>(f), angle, IsReference(f) ? 0 : 1});
  }
  return lines;
}

Scan SmoothScan(int width, int height, int last_frame, int reference_every) {
  Scan s;
  s.width = width;
  s.height = height;
  s.last_frame = last_frame;
  for (int f = 1; f <= last_frame; f += reference_every) s.references.push_back(f);
  if (s.references.back() != last_frame) s.references.push_back(last_frame);
  const int frames = last_frame;
  s.count = [width, frames](int f, int r, int c) -> std::uint16_t {
    const int dark = 100 + (c * 7 + r * 3) % 11;
    if (f == 0) return static_cast<std::uint16_t>(dark);
    // The beam drifts slowly; references and samples share it.
    const double beam = 20000.0 + 3000.0 * std::sin(f * 0.01) + 40.0 * c + 15.0 * r;
    const double phase = 2.0 * 3.14159265358979 * f / frames;
    const double x = (c - width * 0.3 * (1.0 + 0.5 * std::cos(phase))) / (0.25 * width);
    const double mu = 1.2 * std::exp(-x * x) + 0.05 * (r % 7);
    const double sample = beam * std::exp(-mu);
    return static_cast<std::uint16_t>(dark + static_cast<int>(sample));
  };
  // References see the bare beam.
  const auto sample_count = s.count;
  s.count = [sample_count, s_refs = s.references](int f, int r, int c) -> std::uint16_t {
    for (int ref : s_refs) {
      if (ref == f) {
        const int dark = sample_count(0, r, c);
        const double beam = 20000.0 + 3000.0 * std::sin(f * 0.01) + 40.0 * c + 15.0 * r;
        return static_cast<std::uint16_t>(dark + static_cast<int>(beam));
      }
    }
    return sample_count(f, r, c);
  };
  return s;
}

std::string ImageName(const Scan& scan, int frame, const std::string& extension) {
  char buf[32];
  std::snprintf(buf, sizeof buf, scan.last_frame >= 998 ? "q%04d" : "q%03d", frame);
  return buf + extension;
}

void WriteHiPicScan(const std::string& dir, const Scan& scan) {
  WriteBytes(dir + "/output.log", LogText(scan.Log()));
  auto frame_image = [&scan](int f) {
    return HiPicImage(scan.width, scan.height, [&](int r, int c) { return scan.count(f, r, c); });
  };
  WriteBytes(dir + "/dark.img", frame_image(0));
  for (int f = 1; f <= scan.last_frame; ++f)
    WriteBytes(dir + "/" + ImageName(scan, f, ".img"), frame_image(f));
}

Expected Model(const Scan& scan, int layer, float offset, bool signed_counts) {
  auto value = [signed_counts](std::uint16_t v) {
    return signed_counts ? static_cast<int>(static_cast<std::int16_t>(v)) : static_cast<int>(v);
  };
  const int w = scan.width;
  int nsample = 0;
  for (int f = 1; f <= scan.last_frame; ++f) nsample += scan.IsReference(f) ? 0 : 1;

  std::vector<std::vector<double>> table;
  Expected e;
  double ta_sum = 0, ta_sq = 0;
  for (std::size_t m = 0; m + 1 < scan.references.size(); ++m) {
    const int a = scan.references[m], b = scan.references[m + 1];
    const double xa = static_cast<float>(a), xb = static_cast<float>(b);
    for (int f = a + 1; f < b; ++f) {
      std::vector<double> row(static_cast<std::size_t>(w));
      bool warned = false;
      Expected::Warning first{};
      for (int c = 0; c < w; ++c) {
        const int d = value(scan.count(0, layer, c));
        const double ra = value(scan.count(a, layer, c)) - d;
        const double rb = value(scan.count(b, layer, c)) - d;
        const double slope = (rb - ra) / (xb - xa);
        const double intercept = (ra * xb - rb * xa) / (xb - xa);
        const double i0 = static_cast<double>(static_cast<float>(f)) * slope + intercept;
        const int n = value(scan.count(f, layer, c)) - d;
        if (n <= 0 && !warned) {
          warned = true;
          first = {f, c, i0, value(scan.count(f, layer, c)), d};
        }
        row[static_cast<std::size_t>(c)] = std::log(i0 / n);
      }
      if (warned) {
        row.assign(row.size(), 0.0);
        e.warnings.push_back(first);
      }
      double ta = 0;
      for (double v : row) ta += v;
      ta_sum += ta;
      ta_sq += ta * ta;
      table.push_back(row);
    }
  }
  while (static_cast<int>(table.size()) < nsample) table.emplace_back(w, 0.0);

  e.sino_width = static_cast<int>(1.0f + offset + offset);
  e.nshot = nsample / 2;
  const int o = static_cast<int>(offset);
  for (int t = 0; t < e.nshot; ++t) {
    std::vector<double> row(static_cast<std::size_t>(e.sino_width), 0.0);
    for (int c = 0; c <= o; ++c) row[c] = table[t][c];
    for (int k = 1; k <= o; ++k) row[o + k] = table[t + e.nshot][o - k];
    e.sinogram.insert(e.sinogram.end(), row.begin(), row.end());
  }
  e.ta_mean = ta_sum / nsample;
  e.ta_sd = std::sqrt(ta_sq / nsample - e.ta_mean * e.ta_mean);
  return e;
}

std::vector<double> DecodeSinogram(const std::string& bytes) {
  std::vector<double> v(bytes.size() / 8);
  for (std::size_t i = 0; i < v.size(); ++i) {
    std::uint64_t bits = 0;
    for (int k = 7; k >= 0; --k)
      bits = (bits << 8) | static_cast<unsigned char>(bytes[8 * i + static_cast<std::size_t>(k)]);
    std::memcpy(&v[i], &bits, 8);
  }
  return v;
}

std::string MaskTime(const std::string& err) {
  const std::string head = " Store Sinogram \t", tail = " / sec\n";
  const std::size_t at = err.find(head);
  if (at == std::string::npos) return err;
  const std::size_t from = at + head.size();
  std::size_t to = from;
  while (to < err.size() && (std::isdigit(static_cast<unsigned char>(err[to])) || err[to] == '.'))
    ++to;
  if (to == from || err.compare(to, tail.size(), tail) != 0) return err;
  return err.substr(0, from) + "T" + err.substr(to);
}

}  // namespace fixture
