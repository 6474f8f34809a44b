// LZW strips: codes of 9 to 12 bits packed most significant bit first; 256
// clears the table, 257 ends the strip, 258 and up are table entries.  The
// width grows one code early: to 10 bits when the next entry would be 511,
// to 11 at 1023 and to 12 at 2047.  A strip must start with a clear code and,
// when its last row is read, end with the end code and nothing after it.
#include "strip_source.h"

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstTableCode = 258;
constexpr int kTableSize = 4096;
constexpr int kMaxCodeWidth = 12;

struct LzwState {
  int code_width = 9;                 // bits per code, 9 to 12
  int code_mask = 511;                // 2^code_width - 1
  int next_code = kFirstTableCode;    // code of the next table entry, 258 to 4096
  std::uint32_t bit_buffer = 0;       // bits taken from the strip; bytes enter at the low end
  int bit_count = 0;                  // unconsumed bits at the low end of bit_buffer
  int prev_code = 0;                  // the code read before the current one
  int stack_depth = 0;                // decoded bytes still waiting in output_stack
  int output_stack[kTableSize + 1];   // current string reversed: its last byte at 0
  int prefix_table[kTableSize];       // entry's string without its last byte (a code)
  int suffix_table[kTableSize];       // entry's last byte
};

// The tables are reused from strip to strip; only entries written since the
// latest clear code are ever looked up (codes below next_code).
LzwState lzw;

// Takes bytes until at least `bits` unconsumed bits are held (at most 21, so
// the 32-bit buffer never loses one); never takes more than the budget.
void FillBits(StripStream& file, int bits) {
  while (lzw.bit_count < bits) {
    if (file.strip_budget == 0) TiffFail(file, "LZW too few codes.");
    --file.strip_budget;
    lzw.bit_buffer = (lzw.bit_buffer << 8) | static_cast<std::uint32_t>(ReadFileByte(file));
    lzw.bit_count += 8;
  }
}

// The `width` bits that follow the first `skip` unconsumed bits, without
// consuming them; the caller has filled at least skip + width bits.
int PeekBits(int skip, int width) {
  const std::uint32_t mask = (1u << width) - 1u;
  return static_cast<int>((lzw.bit_buffer >> (lzw.bit_count - skip - width)) & mask);
}

int ReadCode(StripStream& file, int width) {
  FillBits(file, width);
  const int code = PeekBits(0, width);
  lzw.bit_count -= width;
  return code;
}

void SetWidth(int width) {
  lzw.code_width = width;
  lzw.code_mask = (1 << width) - 1;
}

void StartStrip(StripStream& file, std::uint32_t offset, std::uint32_t byte_count) {
  SeekFile(file, offset);
  file.strip_budget = byte_count;
  SetWidth(9);
  lzw.bit_count = 0;
  lzw.bit_buffer = 0;
  FillBits(file, 9);
  // The clear code stays unconsumed: the first NextStripByte reads it again.
  if (PeekBits(0, 9) != kClearCode) TiffFail(file, "LZW missing first clear code.");
  lzw.next_code = kFirstTableCode;
  lzw.stack_depth = 0;
}

// Pushes the string of `code` (a byte or a known table code) onto the stack
// from index `depth`, last byte first; returns the new depth.
int PushString(int code, int depth) {
  while (code >= kFirstTableCode) {
    lzw.output_stack[depth++] = lzw.suffix_table[code];
    code = lzw.prefix_table[code];
  }
  lzw.output_stack[depth++] = code;
  return depth;
}

int NextStripByte(StripStream& file) {
  if (lzw.stack_depth > 0) return lzw.output_stack[--lzw.stack_depth];

  const int code = ReadCode(file, lzw.code_width);
  if (code == kEndCode) TiffFail(file, "LZW unexpected end of code.");
  if (code == kClearCode) {
    SetWidth(9);
    lzw.next_code = kFirstTableCode;
    const int first = ReadCode(file, 9);
    if (first == kEndCode) TiffFail(file, "LZW unexpected end of code.");
    if (first > 255) TiffFail(file, "LZW unknown code after clear code.");
    lzw.prev_code = first;
    return first;
  }

  int depth = 0;
  if (code < lzw.next_code) {
    depth = PushString(code, 0);
  } else if (code == lzw.next_code) {
    // Not in the table yet: the previous string followed by its own first byte.
    depth = PushString(lzw.prev_code, 1);
    lzw.output_stack[0] = lzw.output_stack[depth - 1];
  } else {
    TiffFail(file, "LZW too large code.");
  }

  if (lzw.next_code == kTableSize) TiffFail(file, "LZW code table overflow.");
  lzw.prefix_table[lzw.next_code] = lzw.prev_code;
  lzw.suffix_table[lzw.next_code] = lzw.output_stack[depth - 1];
  ++lzw.next_code;
  if (lzw.next_code == lzw.code_mask && lzw.code_width < kMaxCodeWidth) SetWidth(lzw.code_width + 1);

  lzw.prev_code = code;
  lzw.stack_depth = depth - 1;
  return lzw.output_stack[lzw.stack_depth];
}

// The end code read at `width` bits, or the 9-bit code after a clear code
// there; sets `bits` to the bits that takes.  Consumes nothing, so the caller
// can look again at another width from the same bit position.
int PeekEndCode(StripStream& file, int width, int& bits) {
  FillBits(file, width);
  bits = width;
  int code = PeekBits(0, width);
  if (code == kClearCode) {
    FillBits(file, width + 9);
    code = PeekBits(width, 9);
    bits += 9;
  }
  return code;
}

void EndStrip(StripStream& file) {
  // The end code is written at the width in force before the last entry was
  // added, so step back when that entry raised the width.  Some writers count
  // an entry for the strip's last code as well and write the end code one bit
  // wider; accept that width when the narrow one does not give the end code.
  const int width = lzw.code_width;
  int end_width = width;
  if (lzw.next_code == (1 << (width - 1)) - 1) end_width = width - 1;
  int bits = 0;
  int code = PeekEndCode(file, end_width, bits);
  if (code != kEndCode && end_width != width) code = PeekEndCode(file, width, bits);
  if (code != kEndCode) TiffFail(file, "LZW missing end of codes.");
  lzw.bit_count -= bits;
  if (lzw.stack_depth != 0 || file.strip_budget != 0) TiffFail(file, "LZW too many codes.");
}

}  // namespace

const StripSource kLzwStripSource = {StartStrip, NextStripByte, EndStrip};
