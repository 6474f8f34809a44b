// One row of an end-to-end table: a program, its arguments and exactly what
// it must print on each stream and the exit status it must end with.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"

namespace batch_test {

struct ProgramCase {
  std::string name;  // test name suffix
  std::string program;
  std::vector<std::string> args;
  std::string out;
  std::string err;
  int status;
};

inline void PrintTo(const ProgramCase& c, std::ostream* os) {
  *os << c.program;
  for (const auto& a : c.args) *os << " '" << a << "'";
}

inline std::string CaseName(const testing::TestParamInfo<ProgramCase>& info) {
  return info.param.name;
}

// Text of whole lines, each ended by "\n".
inline std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

inline void ExpectRun(const ProgramCase& c) {
  const e2e::Result r = e2e::Run(c.program, c.args);
  EXPECT_FALSE(r.signaled) << "killed by a signal";
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.err, c.err);
  // The generators only print; the script is the user's redirection.
  EXPECT_TRUE(r.files.empty());
}

}  // namespace batch_test
