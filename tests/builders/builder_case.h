// Shared pieces of the builder end-to-end tests.
#pragma once

#include <string>

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

}  // namespace builder_test
