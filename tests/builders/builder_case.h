// Shared pieces of the builder end-to-end tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "e2e.h"
#include "scan_fixture.h"

namespace builder_test {

// The console lines of a complete run, and the "sino.tmp" it writes, for the
// expected result of a scan.
std::string StatisticsLines(const fixture::Expected& e);
std::string CompleteRunErr(const fixture::Scan& scan, const fixture::Expected& e);
std::string RunSummary(const fixture::Expected& e, int layer, float offset);
std::string CountLine(const fixture::Scan& scan);

// Checks a complete run against the model: streams, status, sinogram and
// summary, byte for byte.
void ExpectCompleteRun(const e2e::Result& r, const fixture::Scan& scan, int layer,
                       float offset, const fixture::Expected& e, const std::string& out = "");

// One damaged run of a builder: what is done to a good scan, the arguments,
// and what the run must print and leave behind.
struct Failure {
  const char* name;
  std::function<void(const e2e::WorkDir&)> damage;
  std::vector<std::string> args;
  std::string out;
  std::string err;  // "%C" stands for the count line, "%S" for statistics and time
  int status;
  const char* sino;  // sinogram file content, "*" for any, null when absent
};

// Checks the run against the row; `e` gives the statistics for "%S".  A
// failed run never leaves "sino.tmp" behind.
void ExpectFailure(const e2e::Result& r, const Failure& f, const fixture::Scan& scan,
                   const fixture::Expected& e, const std::string& sino_name = "s0001.sin");

void Remove(const e2e::WorkDir& dir, const char* name);

}  // namespace builder_test
