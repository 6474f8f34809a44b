// End-to-end helper: runs a built program in a fresh temporary directory and
// hands back what it printed, its exit status and the files it left behind.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace e2e {

// A fresh, empty temporary directory, removed with everything in it when the
// object goes away.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  const std::string& path() const { return path_; }
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }
  // Creates (or replaces) a file with exactly these bytes.
  void Write(const std::string& name, const std::string& bytes) const;
  void MakeDir(const std::string& name) const;
  void Symlink(const std::string& target, const std::string& name) const;
  // Regular files below the directory, by relative path, with their bytes.
  std::map<std::string, std::string> Files() const;

 private:
  std::string path_;
};

struct Result {
  std::string out;     // standard output
  std::string err;     // standard error
  int status = -1;     // exit status 0..255; 128 + signal number when killed
  bool signaled = false;
  std::map<std::string, std::string> files;  // files in the directory afterwards
};

// Full path of a built program (the build's bin folder).
std::string ProgramPath(const std::string& name);

// Runs the program `name` from the build with `args` in `dir`; argv[0] is the
// bare name, as when the program is found on the PATH.  Standard input is
// empty.  `timeout_seconds` bounds a hang (the run is then killed).
Result Run(const std::string& name, const std::vector<std::string>& args,
           const WorkDir& dir, int timeout_seconds = 120);

// Runs in a new, empty directory.
Result Run(const std::string& name, const std::vector<std::string>& args);

// Reads a whole file; throws std::runtime_error when it cannot.
std::string ReadFile(const std::string& path);

}  // namespace e2e
