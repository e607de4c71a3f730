// SPDX-License-Identifier: MIT
// Writing the finished output. The bytes go to a temporary file beside the
// target, which is renamed into place only after the whole output was
// written and closed: an existing regular file (the input itself included)
// is replaced atomically and stays as it was on any failure, and a new file
// appears whole or not at all. Devices, pipes and other special files are
// written directly.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "os_file.h"
#include "writer.h"

namespace lt {

namespace {

constexpr size_t k_stage_size = size_t(1) << 16;
// Small outputs get a smaller block: a sixty-fourth of their size, at least this.
constexpr size_t k_min_stage_size = size_t(1) << 14;
constexpr size_t k_min_system_copy = size_t(1) << 16;

// An open output file. Small pieces are gathered into one staging block;
// large ones go out directly, or are copied inside the system from the
// input file when it still holds them.
class sink {
 public:
  // The staging block is allocated before the file is opened, so that
  // running out of memory never leaves a file behind.
  sink(std::FILE *f, std::vector<u8> &stage)
      : f_(f), stage_(stage.data()), limit_(std::max<size_t>(stage.size(), 1)) {}
  ~sink() {
    if (f_) std::fclose(f_);
  }
  bool put(const u8 *p, size_t n) {
    if (n >= limit_ || !stage_) return flush() && raw(p, n);
    if (used_ + n > limit_ && !flush()) return false;
    std::memcpy(stage_ + used_, p, n);
    used_ += n;
    return true;
  }
  // Copies n bytes at offset off of in_fd; false when the system would not
  // (then nothing of the piece counts as written: *done says how much did).
  bool copy(int in_fd, long long off, size_t n, size_t *done) {
    *done = 0;
#if defined(__linux__)
    if (!flush() || std::fflush(f_) != 0) return false;
    loff_t from = static_cast<loff_t>(off);
    const int out_fd = fileno(f_);
    while (*done < n) {
      const ssize_t k = ::copy_file_range(in_fd, &from, out_fd, nullptr, n - *done, 0);
      if (k <= 0) return false;
      *done += static_cast<size_t>(k);
    }
    return true;
#else
    (void)in_fd;
    (void)off;
    (void)n;
    return false;
#endif
  }
  bool flush() {
    if (used_ == 0) return true;
    const bool ok = raw(stage_, used_);
    used_ = 0;
    return ok;
  }
  // Closes the file; false when that fails.
  bool close() {
    std::FILE *f = f_;
    f_ = nullptr;
    return std::fclose(f) == 0;
  }
  std::FILE *file() const { return f_; }

 private:
  bool raw(const u8 *p, size_t n) { return std::fwrite(p, 1, n, f_) == n; }
  std::FILE *f_;
  u8 *stage_;     // the block, allocated before the file was opened
  size_t limit_;  // its size
  size_t used_ = 0;
};

// The input file, opened again, when it still is the file the document was
// read from; -1 otherwise.
int reopen_input(const file_identity &id) {
#if defined(__linux__)
  if (!id.known) return -1;
  const int fd = ::open(id.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || static_cast<unsigned long long>(st.st_dev) != id.dev ||
      static_cast<unsigned long long>(st.st_ino) != id.ino || st.st_size != id.size ||
      static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec != id.mtime_ns) {
    ::close(fd);
    return -1;
  }
  return fd;
#else
  (void)id;
  return -1;
#endif
}

// Writes every piece and closes the file. Sets the message with the
// caller's path on failure.
int write_and_close(std::FILE *f, std::vector<u8> &stage, const output &out,
                    const file_identity &input, const char *shown, failure &err) {
  sink s(f, stage);
  int in_fd = reopen_input(input);
#if defined(__linux__)
  if (in_fd >= 0) {
    // Never copy from the file being written (a direct write into the input).
    struct stat a, b;
    if (::fstat(fileno(f), &a) != 0 || ::fstat(in_fd, &b) != 0 ||
        (a.st_dev == b.st_dev && a.st_ino == b.st_ino)) {
      ::close(in_fd);
      in_fd = -1;
    }
  }
#endif
  // Pieces the input file still holds are copied from it by the system
  // when they are large; the rest goes through the staging block.
  struct to_file : piece_sink {
    sink &s;
    int in_fd;
    to_file(sink &s_, int fd) : s(s_), in_fd(fd) {}
    bool put(const u8 *p, size_t n, i32 off) override {
      size_t done = 0;
      if (in_fd >= 0 && off >= 0 && n >= k_min_system_copy && s.copy(in_fd, off, n, &done))
        return true;
      return s.put(p + done, n - done);
    }
  } pieces(s, in_fd);
  bool ok = out.emit(pieces) && s.flush() && std::fflush(s.file()) == 0;
#if defined(__linux__)
  if (in_fd >= 0) ::close(in_fd);
#endif
  if (!ok) err.set("short write to %s", shown);
  if (!s.close()) {
    err.set("close error on %s", shown);
    ok = false;
  }
  return ok ? 1 : 0;
}

int write_direct(const char *path, std::vector<u8> &stage, const output &out,
                 const file_identity &input, failure &err) {
  std::FILE *f = os_fopen(path, "wb");
  if (!f) {
    err.set("cannot write %s", path);
    return 0;
  }
  return write_and_close(f, stage, out, input, path, err);
}

// A new file: written under a temporary name beside it and renamed into
// place once complete, so that a write failing part-way (a full disk, a
// file size limit) leaves no file behind. When no temporary file can be
// made there (a name at the length limit), the file is written directly.
int write_new(const char *path, std::vector<u8> &stage, const output &out,
              const file_identity &input, failure &err) {
  std::string tmp;
  std::FILE *f = nullptr;
  for (int attempt = 0; attempt < 100 && !f; ++attempt) {
    // The frame's address tells threads apart; O_EXCL tells processes.
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".lt%llx-%d.tmp",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&tmp)), attempt);
    tmp = std::string(path) + suffix;
    f = os_create_new(tmp.c_str(), 0666);
    if (!f && errno != EEXIST) break;
  }
  if (!f) return write_direct(path, stage, out, input, err);
  if (!write_and_close(f, stage, out, input, path, err)) {
    os_remove(tmp.c_str());
    return 0;
  }
  if (!os_replace(tmp.c_str(), path)) {
    os_remove(tmp.c_str());
    err.set("cannot write %s", path);
    return 0;
  }
  return 1;
}

#if defined(_WIN32)

bool existing_regular_file(const char *path, std::string *target, unsigned *mode) {
  if (!os_regular_file(path, mode)) return false;
  *target = path;
  return true;
}

// A new file beside the target; its name keeps the target's encoding (the
// suffix is ASCII).
std::FILE *open_temp(const std::string &target, unsigned mode, std::string *tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".lt%d-%d.tmp", _getpid(), attempt);
    *tmp = target + suffix;
    std::FILE *f = os_create_new(tmp->c_str(), mode);
    if (f) return f;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

bool replace_with(const std::string &tmp, const std::string &target) {
  return os_replace(tmp.c_str(), target.c_str());
}

#else

// An existing regular file at path (after following symbolic links): its
// real location and permission bits.
bool existing_regular_file(const char *path, std::string *target, unsigned *mode) {
  if (!os_regular_file(path, mode)) return false;
  char *real = ::realpath(path, nullptr);
  if (!real) return false;
  *target = real;
  std::free(real);
  return true;
}

std::FILE *open_temp(const std::string &target, unsigned mode, std::string *tmp) {
  *tmp = target + ".ltXXXXXX";  // every allocation before the file exists
  const int fd = ::mkstemp(&(*tmp)[0]);
  if (fd < 0) return nullptr;
  ::fchmod(fd, static_cast<mode_t>(mode));
  std::FILE *f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    ::unlink(tmp->c_str());
  }
  return f;
}

bool replace_with(const std::string &tmp, const std::string &target) {
  return std::rename(tmp.c_str(), target.c_str()) == 0;
}

#endif

}  // namespace

int write_output(const char *path, const output &out, const file_identity &input,
                 failure &err) {
  std::vector<u8> stage;
  // Allocated before any file exists.
  stage.resize(std::min(out.size(), std::min(k_stage_size, std::max(k_min_stage_size, out.size() / 64))));
  std::string target;
  unsigned mode = 0;
  if (!existing_regular_file(path, &target, &mode)) {
    // Devices, pipes and links that lead nowhere are written as they are.
    if (os_entry_exists(path)) return write_direct(path, stage, out, input, err);
    return write_new(path, stage, out, input, err);
  }

  // A file the caller may not write is not replaced. Opening it to append
  // changes nothing.
  std::FILE *probe = os_fopen(path, "ab");
  if (!probe) {
    err.set("cannot write %s", path);
    return 0;
  }
  std::fclose(probe);

  std::string tmp;
  std::FILE *f = open_temp(target, mode, &tmp);
  if (!f) return write_direct(path, stage, out, input, err);
  if (!write_and_close(f, stage, out, input, path, err)) {
    os_remove(tmp.c_str());
    return 0;
  }
  if (!replace_with(tmp, target)) {
    os_remove(tmp.c_str());
    err.set("cannot write %s", path);
    return 0;
  }
  return 1;
}

}  // namespace lt
