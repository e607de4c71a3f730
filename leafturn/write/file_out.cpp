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
#include <memory>
#include <string>
#include <vector>

#include "platform/os_file.h"
#include "write/output.h"

namespace lt {

namespace {

constexpr size_t k_stage_size = size_t(1) << 16;
// Pieces of the input at least this large are copied from the input file by
// the kernel where it can (an appended update's copy of the whole input,
// large streams), instead of being written from memory.
constexpr size_t k_file_copy_min = size_t(1) << 18;
// Small outputs get a smaller block: a sixty-fourth of their size, at least this.
constexpr size_t k_min_stage_size = size_t(1) << 14;

// An open output file. Small pieces are gathered into one staging block and
// written with one call per block; large ones go out directly.
class sink : public piece_sink {
 public:
  // The staging block is allocated before the file is opened, so that
  // running out of memory never leaves a file behind.
  sink(std::FILE *f, std::vector<u8> &stage, const doc *src)
      : f_(f), stage_(stage.data()), limit_(std::max<size_t>(stage.size(), 1)), src_(src) {}
  ~sink() {
    if (f_) std::fclose(f_);
  }
  bool put(const u8 *p, size_t n, i32 file_off) override {
    if (file_off >= 0 && n >= k_file_copy_min && from_file()) {
      if (!flush()) return false;
      const size_t done = from_->copy(file_off, n, f_);
      return done == n || raw(p + done, n - done);
    }
    if (n >= limit_ || !stage_) return flush() && raw(p, n);
    if (used_ + n > limit_ && !flush()) return false;
    std::memcpy(stage_ + used_, p, n);
    used_ += n;
    return true;
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
  // Leaves the file open (a stream the caller owns).
  void release() { f_ = nullptr; }

 private:
  bool raw(const u8 *p, size_t n) { return std::fwrite(p, 1, n, f_) == n; }
  // Whether the input file, opened again, can give its bytes: it was read
  // from a file that is still the same, and is not the file being written.
  bool from_file() {
    if (!tried_) {
      tried_ = true;
      if (src_ && src_->source_id.known) {
        from_.reset(new file_source(src_->source_path, src_->source_id));
        if (!from_->open() || os_identity(f_).same_file(src_->source_id)) from_.reset();
      }
    }
    return from_ != nullptr;
  }
  std::FILE *f_;
  u8 *stage_;     // the block, allocated before the file was opened
  size_t limit_;  // its size
  size_t used_ = 0;
  const doc *src_;
  std::unique_ptr<file_source> from_;  // the input file, when it can give its bytes
  bool tried_ = false;                  // whether from_ was looked for
};

// Writes every piece and closes the file. Sets the message with the
// caller's path on failure.
bool write_and_close(std::FILE *f, std::vector<u8> &stage, const output &out, const char *shown,
                    failure &err) {
  sink s(f, stage, out.source());
  bool ok = out.emit(s) && s.flush() && std::fflush(s.file()) == 0;
  if (!ok) err.set("short write to %s", shown);
  if (!s.close()) {
    err.set("close error on %s", shown);
    ok = false;
  }
  return ok;
}

}  // namespace

bool write_output_to(std::FILE *f, const output &out, const char *shown, failure &err) {
  std::vector<u8> stage(std::min(out.size(), k_stage_size));
  sink s(f, stage, out.source());
  const bool ok = out.emit(s) && s.flush() && std::fflush(f) == 0;
  s.release();
  if (!ok) err.set("short write to %s", shown);
  return ok;
}

namespace {

bool write_direct(const char *path, std::vector<u8> &stage, const output &out, failure &err) {
  std::FILE *f = os_fopen(path, "wb");
  if (!f) {
    err.set("cannot write %s", path);
    return false;
  }
  return write_and_close(f, stage, out, path, err);
}

// A new file beside target that the output is written under before it is
// renamed into place: "<target>.lt<process>-<frame>-<attempt>.tmp". The
// process id tells processes apart, the address of the caller's frame
// threads, and creating it only when no such file exists settles the rest.
// Its permission bits: exactly `mode` when `exact`, else `mode` as the umask
// leaves it. Null when none can be made.
std::FILE *open_temp(const std::string &target, unsigned mode, bool exact, std::string *tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[80];
    std::snprintf(suffix, sizeof suffix, ".lt%ld-%llx-%d.tmp", os_process_id(),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&suffix)),
                  attempt);
    *tmp = target + suffix;  // every allocation before the file exists
    std::FILE *f = os_create_new(tmp->c_str(), mode);
    if (f) {
      if (exact) os_set_mode(f, mode);
      return f;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

// Writes the output under a temporary name beside target and renames it
// over target once complete.
bool write_replacing(const char *path, const std::string &target, unsigned mode, bool exact,
                    std::vector<u8> &stage, const output &out, failure &err) {
  std::string tmp;
  std::FILE *f = open_temp(target, mode, exact, &tmp);
  // No temporary file can be made there (a name at the length limit, a
  // folder that takes no new names): the path is written directly.
  if (!f) return write_direct(path, stage, out, err);
  if (!write_and_close(f, stage, out, path, err)) {
    os_remove(tmp.c_str());
    return false;
  }
  if (!os_replace(tmp.c_str(), target.c_str())) {
    os_remove(tmp.c_str());
    err.set("cannot write %s", path);
    return false;
  }
  return true;
}

// An existing regular file at path (after following symbolic links): its
// real location and permission bits.
bool existing_regular_file(const char *path, std::string *target, unsigned *mode) {
  if (!os_regular_file(path, mode)) return false;
#if defined(_WIN32)
  *target = path;
#else
  char *real = ::realpath(path, nullptr);
  if (!real) return false;
  *target = real;
  std::free(real);
#endif
  return true;
}

}  // namespace

bool write_output(const char *path, const output &out, failure &err) {
  std::vector<u8> stage;
  // Allocated before any file exists.
  stage.resize(std::min(out.size(), std::min(k_stage_size, std::max(k_min_stage_size, out.size() / 64))));
  std::string target;
  unsigned mode = 0;
  if (!existing_regular_file(path, &target, &mode)) {
    // Devices, pipes and links that lead nowhere are written as they are.
    if (os_entry_exists(path)) return write_direct(path, stage, out, err);
    // A new file appears whole or not at all.
    return write_replacing(path, path, 0666, false, stage, out, err);
  }
  // A file the caller may not write is not replaced. Opening it to append
  // changes nothing.
  std::FILE *probe = os_fopen(path, "ab");
  if (!probe) {
    err.set("cannot write %s", path);
    return false;
  }
  std::fclose(probe);
  return write_replacing(path, target, mode, true, stage, out, err);
}

}  // namespace lt
