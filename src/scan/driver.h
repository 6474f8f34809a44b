// The run driver shared by both sinogram builders.
#pragma once

#include "row_reader.h"
#include "run_state.h"

// One builder run: "layer offset" on the command line, "output.log", the
// dark row, StoreProjection, the statistics and "sino.tmp".  Returns the exit
// status (0 after a complete run, 1 after a failure, -1 when an image read
// ends the run that way).
int RunBuilder(int argc, char** argv, RowReader& reader, RunState& state);
