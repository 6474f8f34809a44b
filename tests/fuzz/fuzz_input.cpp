#include "fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace fuzz_input {
namespace {

struct Scratch {
  std::string path;
  Scratch() {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(dir) + "/oct-fuzz-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("cannot create the scratch file");
    close(fd);
    path = pattern;
  }
  ~Scratch() { std::remove(path.c_str()); }
};

}  // namespace

const char* WriteScratch(const std::uint8_t* data, std::size_t size) {
  static Scratch scratch;
  std::FILE* f = std::fopen(scratch.path.c_str(), "wb");
  if (f == nullptr) std::abort();  // the harness itself is broken, not the reader
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
  return scratch.path.c_str();
}

std::uint32_t TailNumber(const std::uint8_t* data, std::size_t size, std::size_t bytes) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < bytes && i < size; ++i)
    v |= static_cast<std::uint32_t>(data[size - 1 - i]) << (8 * i);
  return v;
}

}  // namespace fuzz_input
