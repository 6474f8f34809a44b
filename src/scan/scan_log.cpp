// The acquisition log has one text line per frame:
//   frame-number  coord  angle  flag
// separated by white space; flag 0 marks a reference (I0) frame.  Values are
// stored by line position (line n into slot n) and looked up by frame
// number, so a well-formed log numbers its frames 1, 2, 3 ... in file order.
//
// The reader keeps the habits of the log format's first reader, on which
// stored logs rely: lines are taken in pieces of at most 99 characters, a
// piece shorter than 3 characters ends the log, and a field that does not
// convert leaves its target (and every later field of the line) as it was.
#include "scan_log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* SkipSpace(const char* p) {
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// A decimal integer with optional sign, as a scanf "%d" field.  Yields the
// value modulo 2^32 (so its low 16 bits are exact for any length of text)
// and whether it is non-zero.  False when no digit follows.
bool ParseInteger(const char*& p, std::uint32_t& value, bool& nonzero) {
  const char* q = SkipSpace(p);
  bool negative = false;
  if (*q == '+' || *q == '-') negative = (*q++ == '-');
  if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
  std::uint32_t v = 0;
  nonzero = false;
  for (; std::isdigit(static_cast<unsigned char>(*q)); ++q) {
    v = v * 10u + static_cast<std::uint32_t>(*q - '0');
    if (*q != '0') nonzero = true;
  }
  value = negative ? 0u - v : v;
  p = q;
  return true;
}

bool ParseReal(const char*& p, float& value) {
  char* end = nullptr;
  float v = std::strtof(p, &end);
  if (end == p) return false;
  value = v;
  p = end;
  return true;
}

}  // namespace

int ReadScanLog(ScanTable& table, const char* path) {
  std::FILE* f = std::fopen(path, "r");
  if (!f) {
    std::printf("cannot open output.log \n");
    return kScanLogOpenFailed;
  }
  table.NI0 = 0;
  table.nsample = 0;
  table.overfull = false;
  std::int16_t frame = 0;
  // A first line whose flag does not convert has no earlier flag to keep;
  // it counts as a sample frame.
  bool flag_nonzero = true;

  char line[100];
  for (int n = 1;; ++n) {
    line[0] = '\0';
    if (!std::fgets(line, sizeof line, f)) line[0] = '\0';
    if (std::strlen(line) < 3) break;
    if (n >= kScanTableCapacity) {
      // More lines than the table holds: the frame-count check refuses it.
      table.overfull = true;
      break;
    }
    const char* p = line;
    std::uint32_t number = 0;
    bool nonzero = false;
    if (ParseInteger(p, number, nonzero)) {
      frame = static_cast<std::int16_t>(static_cast<std::uint16_t>(number & 0xFFFFu));
      if (ParseReal(p, table.coord[n]) && ParseReal(p, table.angle[n]) &&
          ParseInteger(p, number, nonzero)) {
        flag_nonzero = nonzero;
      }
    }
    if (!flag_nonzero) {
      table.i0_frames[table.NI0++] = frame;
    } else {
      ++table.nsample;
    }
  }
  std::fclose(f);

  table.total = static_cast<std::int16_t>(static_cast<std::uint16_t>(frame + 2));
  table.four_digit_names = table.total > 999 ? 1 : 0;
  return 0;
}

int CheckScanTable(ScanTable& table) {
  if (table.total > 9900 || table.overfull) {
    std::fprintf(stderr, "Too many projections!");
    return 1;
  }
  // A last frame number below 0 points before the table: no full turn.
  const int slot = table.total - 2;
  const float last_angle = slot >= 0 ? table.angle[slot] : 0.0f;
  if (last_angle < 350.0f) {
    std::fprintf(stderr, "It seems it's not a offset CT data.\n");
    std::fprintf(stderr, "%f\n", static_cast<double>(last_angle));
    return 1;
  }
  table.nshot = table.nsample / 2;
  std::fprintf(stderr, " nshot = %d, NI0 = %d, total = %d \n", table.nshot, table.NI0,
               table.total);
  return 0;
}
