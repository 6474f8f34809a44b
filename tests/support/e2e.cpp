#include "e2e.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef OCT_PROGRAM_DIR
#error "OCT_PROGRAM_DIR must name the folder of the built programs"
#endif

namespace e2e {
namespace {

std::string MakeTempDir(const char* stem) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/" + stem + "XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed: " + templ);
  return std::string(buf.data());
}

void RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    chmod(path.c_str(), 0700);
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        RemoveTree(path + "/" + n);
      }
      closedir(d);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void CollectFiles(const std::string& root, const std::string& rel,
                  std::map<std::string, std::string>& files) {
  DIR* d = opendir((rel.empty() ? root : root + "/" + rel).c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string r = rel.empty() ? n : rel + "/" + n;
    std::string full = root + "/" + r;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      CollectFiles(root, r, files);
    } else if (S_ISREG(st.st_mode)) {
      files[r] = ReadFile(full);
    }
  }
  closedir(d);
}

}  // namespace

WorkDir::WorkDir() : path_(MakeTempDir("oct-e2e-")) {}
WorkDir::~WorkDir() { RemoveTree(path_); }

void WorkDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream f(PathOf(name), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + PathOf(name));
}

void WorkDir::MakeDir(const std::string& name) const {
  if (mkdir(PathOf(name).c_str(), 0755) != 0)
    throw std::runtime_error("cannot make directory " + PathOf(name));
}

void WorkDir::Symlink(const std::string& target, const std::string& name) const {
  if (symlink(target.c_str(), PathOf(name).c_str()) != 0)
    throw std::runtime_error("cannot link " + PathOf(name));
}

std::map<std::string, std::string> WorkDir::Files() const {
  std::map<std::string, std::string> files;
  CollectFiles(path_, "", files);
  return files;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string ProgramPath(const std::string& name) {
  return std::string(OCT_PROGRAM_DIR) + "/" + name;
}

Result Run(const std::string& name, const std::vector<std::string>& args,
           const WorkDir& dir, int timeout_seconds) {
  // Output goes to files outside the work directory, so that they do not
  // count among the files the program left behind.
  const std::string capture = MakeTempDir("oct-cap-");
  const std::string out_path = capture + "/out", err_path = capture + "/err";
  const std::string exe = ProgramPath(name);

  std::vector<std::string> argv_s;
  argv_s.push_back(name);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.path().c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    alarm(static_cast<unsigned>(timeout_seconds));
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  Result r;
  if (WIFEXITED(wstatus)) {
    r.status = WEXITSTATUS(wstatus);
  } else {
    r.signaled = true;
    r.status = 128 + WTERMSIG(wstatus);
  }
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  RemoveTree(capture);
  r.files = dir.Files();
  return r;
}

Result Run(const std::string& name, const std::vector<std::string>& args) {
  WorkDir dir;
  return Run(name, args, dir);
}

}  // namespace e2e
