// Normalisation of one layer and its fold into the offset-scan sinogram.
#pragma once

#include <cstdint>

#include "row_reader.h"
#include "run_state.h"

// Return codes of StoreProjection.
constexpr int kStoreOk = 0;
constexpr int kStoreCannotCreate = -10;  // the sinogram file cannot be created
constexpr int kStoreWriteFailed = 2;     // a sinogram row did not reach the file
constexpr int kStoreNoMemory = -12;      // the projection table cannot be allocated

// Builds "s%04d.sin" for `layer` from the images the table lists, reading
// them through `reader`, and adds the TA sums to `state`.  An image that
// cannot be read ends the run (RunExit) after its messages.
int StoreProjection(int layer, RunState& state, RowReader& reader);

// Number of frames lying strictly between consecutive reference frames: the
// rows the normalisation fills.
std::int64_t CountFramesBetweenReferences(const ScanTable& table);
