// HiPic ".img" image, as far as a row read needs it (little-endian):
//
//   offset  size           field
//   0       2              "IM"
//   2       2              comment_length, signed 16-bit
//   4       2              width, signed 16-bit, pixels per row
//   6       58             further header fields, not interpreted
//   64      comment_length comment text
//   64+c    2*width/row    rows of unsigned 16-bit counts, row 0 first
//
// There is no row count: a row exists when the file is long enough for it.
// Row r starts 2 * r * width bytes after the comment.
#include "hipic_reader.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <new>

namespace {

std::int16_t Int16At(const unsigned char* b) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Closes the file and releases the comment; on failure this happens before
// the messages go out.
void Release(File& file, std::unique_ptr<char[]>& comment, HiPic_Header& header) {
  file.reset();
  comment.reset();
  header.comment = nullptr;
}

}  // namespace

int ReadHiPicRow(const char* file_name, std::uint16_t* row, HiPic_Header& header,
                 std::int32_t row_index, int row_capacity, std::int16_t* row_len) {
  File file(std::fopen(file_name, "rb"));
  std::unique_ptr<char[]> comment;
  header.comment = nullptr;
  if (!file) {
    std::printf("can not open %s for input\n", file_name);
    return kHiPicCannotOpen;
  }
  if (std::fread(header.bytes, 1, sizeof header.bytes, file.get()) != sizeof header.bytes) {
    Release(file, comment, header);
    std::fprintf(stderr, "EOF in %s (header)\n", file_name);
    return kHiPicShortHeader;
  }
  if (header.bytes[0] != 'I' || header.bytes[1] != 'M') {
    Release(file, comment, header);
    std::fprintf(stderr, "This is not HiPIc image file.\n");
    std::fprintf(stderr, "File name = %s\n", file_name);
    return kHiPicNotHiPic;
  }
  const std::int16_t comment_length = Int16At(header.bytes + 2);
  const std::int16_t width = Int16At(header.bytes + 4);
  if (comment_length >= 0) {
    comment.reset(new (std::nothrow) char[static_cast<std::size_t>(comment_length) + 1]);
  }
  if (!comment) {
    Release(file, comment, header);
    std::fprintf(stderr, "Connot allocate memory (HiPic_Header.comment)\n");
    std::fprintf(stderr, "File name = %s\n", file_name);
    return kHiPicNoCommentMemory;
  }
  header.comment = comment.get();
  const std::size_t clen = static_cast<std::size_t>(comment_length);
  if (std::fread(comment.get(), 1, clen, file.get()) != clen) {
    Release(file, comment, header);
    std::fprintf(stderr, "EOF found (comment)\n");
    std::fprintf(stderr, "File name = %s\n", file_name);
    return kHiPicShortComment;
  }
  comment[clen] = '\0';

  // The caller's buffer bounds the row; a negative width is no row at all.
  if (width < 0 || width > row_capacity) {
    Release(file, comment, header);
    std::fprintf(stderr, " Bad image width %d (the row buffer holds %d values)\n", width,
                 row_capacity);
    std::fprintf(stderr, "File name = %s\n", file_name);
    return kHiPicBadWidth;
  }
  // Row failures report row_index + 1, which must stay a positive int.
  if (row_index < 0 || row_index == INT32_MAX) {
    Release(file, comment, header);
    std::fprintf(stderr, " Bad row index %d\n", row_index);
    std::fprintf(stderr, "File name = %s\n", file_name);
    return kHiPicBadRowIndex;
  }
  const int row_code = row_index + 1;

  const long long skip = 2LL * row_index * width;
  if (skip > LONG_MAX || std::fseek(file.get(), static_cast<long>(skip), SEEK_CUR) != 0) {
    Release(file, comment, header);
    std::fprintf(stderr, " Error seeking %s.\n", file_name);
    std::fprintf(stderr, "File name = %s\n", file_name);
    return row_code;
  }

  unsigned char raw[2 * 32767];
  const std::size_t wanted = static_cast<std::size_t>(width);
  const std::size_t got = std::fread(raw, 2, wanted, file.get());
  for (std::size_t k = 0; k < got; ++k) {
    row[k] = static_cast<std::uint16_t>(raw[2 * k] | (raw[2 * k + 1] << 8));
  }
  if (got != wanted) {
    Release(file, comment, header);
    std::fprintf(stderr, " Error reading %s at %d (%d)\n", file_name, row_index,
                 static_cast<int>(got));
    std::fprintf(stderr, "File name = %s\n", file_name);
    return row_code;
  }
  *row_len = width;
  Release(file, comment, header);
  return 0;
}
