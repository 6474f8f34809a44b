// PackBits strips: one run-length stream over the whole strip, so runs may
// cross row boundaries and the decoder keeps its place between calls.
//
// Header byte h (unsigned):  0..127   literal run, the next h + 1 bytes
//                            128      no operation, another header follows
//                            129..255 replicate run, the next byte 257 - h times
#include "strip_source.h"

namespace {

struct PackBitsState {
  int run = 0;          // > 0: literal bytes left; < 0: repeats left, negated; 0: a header is next
  int repeat_byte = 0;  // the byte of the current replicate run
};

PackBitsState packbits;

// One stored byte of the strip; header and data bytes alike cost budget.
int TakeByte(StripStream& file) {
  if (file.strip_budget == 0) TiffFail(file, "MPB too few codes.");
  --file.strip_budget;
  return ReadFileByte(file);
}

void StartStrip(StripStream& file, std::uint32_t offset, std::uint32_t byte_count) {
  SeekFile(file, offset);
  packbits.run = 0;
  file.strip_budget = byte_count;
}

int NextStripByte(StripStream& file) {
  if (packbits.run > 0) {
    --packbits.run;
    return TakeByte(file);
  }
  if (packbits.run < 0) {
    ++packbits.run;
    return packbits.repeat_byte;
  }
  int header = TakeByte(file);
  while (header == 128) header = TakeByte(file);
  if (header < 128) {
    packbits.run = header;
    return TakeByte(file);
  }
  packbits.run = header - 256;
  packbits.repeat_byte = TakeByte(file);
  return packbits.repeat_byte;
}

void EndStrip(StripStream& file) {
  if (packbits.run != 0 || file.strip_budget != 0) TiffFail(file, "MPB too many codes.");
}

}  // namespace

const StripSource kPackBitsStripSource = {StartStrip, NextStripByte, EndStrip};
