// Uncompressed strips: the image bytes are the stored bytes.
#include "strip_source.h"

namespace {

void StartStrip(StripStream& file, std::uint32_t offset, std::uint32_t byte_count) {
  SeekFile(file, offset);
  file.strip_budget = byte_count;
}

int NextStripByte(StripStream& file) {
  if (file.strip_budget == 0) TiffFail(file, "too few codes.");
  --file.strip_budget;
  return ReadFileByte(file);
}

void EndStrip(StripStream& file) {
  if (file.strip_budget != 0) TiffFail(file, "too many codes.");
}

}  // namespace

const StripSource kRawStripSource = {StartStrip, NextStripByte, EndStrip};
