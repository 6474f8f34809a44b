// Row reader for HiPic ".img" images.
#pragma once

#include <cstdint>

// The caller's scratch record: the 64 header bytes as stored, and the
// comment while a call is in progress (null outside a call).
struct HiPic_Header {
  unsigned char bytes[64];
  char* comment;
};

// Result codes besides 0 and row_index + 1 (a row that cannot be reached or
// read).
enum HiPicStatus {
  kHiPicCannotOpen = -10,
  kHiPicShortHeader = -1,
  kHiPicNotHiPic = -11,
  kHiPicNoCommentMemory = -12,
  kHiPicShortComment = -13,
  kHiPicBadWidth = -14,     // width negative or above the caller's capacity
  kHiPicBadRowIndex = -15,  // row index negative or too large to report
};

// Reads row `row_index` (from 0) of `file_name` into `row`, which holds
// `row_capacity` counts, and sets *row_len to the image width.  Returns 0 or
// a failure code after printing its messages; a failure leaves *row_len as
// it was.
int ReadHiPicRow(const char* file_name, std::uint16_t* row, HiPic_Header& header,
                 std::int32_t row_index, int row_capacity, std::int16_t* row_len);
