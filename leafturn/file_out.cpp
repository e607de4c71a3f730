// Writing the finished output. A new path is written directly. An existing
// regular file (the input itself included) is replaced atomically: the bytes
// go to a temporary file beside it, which is renamed over it only after the
// whole buffer was written and closed; on any failure the old file stays as
// it was and the temporary file is removed.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
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

#include "internal.h"

namespace lt {

namespace {

// Writes all bytes to an open stream and closes it. Sets the message with
// the caller's path on failure.
int write_and_close(std::FILE *f, const std::string &bytes, const char *shown) {
  int ok = 1;
  if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
    set_error("short write to %s", shown);
    ok = 0;
  }
  if (std::fclose(f) != 0) {
    set_error("close error on %s", shown);
    ok = 0;
  }
  return ok;
}

int write_direct(const char *path, const std::string &bytes) {
  std::FILE *f = std::fopen(path, "wb");
  if (!f) {
    set_error("cannot write %s", path);
    return 0;
  }
  return write_and_close(f, bytes, path);
}

#if defined(_WIN32)

bool existing_regular_file(const char *path, std::string *target, unsigned *mode) {
  struct _stat64 st;
  if (_stat64(path, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return false;
  *target = path;
  *mode = st.st_mode;
  return true;
}

std::FILE *open_temp(const std::string &target, unsigned, std::string *tmp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".lt%d-%d.tmp", _getpid(), attempt);
    *tmp = target + suffix;
    const int fd = _open(tmp->c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      std::FILE *f = _fdopen(fd, "wb");
      if (f) return f;
      _close(fd);
      std::remove(tmp->c_str());
      return nullptr;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

bool replace_with(const std::string &tmp, const std::string &target) {
  return MoveFileExA(tmp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

// An existing regular file at path (after following symbolic links): its
// real location and permission bits.
bool existing_regular_file(const char *path, std::string *target, unsigned *mode) {
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  char *real = ::realpath(path, nullptr);
  if (!real) return false;
  *target = real;
  std::free(real);
  *mode = static_cast<unsigned>(st.st_mode & 07777);
  return true;
}

std::FILE *open_temp(const std::string &target, unsigned mode, std::string *tmp) {
  std::string name = target + ".ltXXXXXX";
  const int fd = ::mkstemp(&name[0]);
  if (fd < 0) return nullptr;
  *tmp = name;
  ::fchmod(fd, static_cast<mode_t>(mode));
  std::FILE *f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    ::unlink(name.c_str());
  }
  return f;
}

bool replace_with(const std::string &tmp, const std::string &target) {
  return std::rename(tmp.c_str(), target.c_str()) == 0;
}

#endif

}  // namespace

int write_file(const char *path, const std::string &bytes) {
  std::string target;
  unsigned mode = 0;
  if (!existing_regular_file(path, &target, &mode)) return write_direct(path, bytes);

  // A file the caller may not write is not replaced. Opening it to append
  // changes nothing.
  std::FILE *probe = std::fopen(path, "ab");
  if (!probe) {
    set_error("cannot write %s", path);
    return 0;
  }
  std::fclose(probe);

  std::string tmp;
  std::FILE *f = open_temp(target, mode, &tmp);
  if (!f) return write_direct(path, bytes);
  if (!write_and_close(f, bytes, path)) {
    std::remove(tmp.c_str());
    return 0;
  }
  if (!replace_with(tmp, target)) {
    std::remove(tmp.c_str());
    set_error("cannot write %s", path);
    return 0;
  }
  return 1;
}

}  // namespace lt
