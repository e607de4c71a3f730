// SPDX-License-Identifier: MIT
// The file-system calls of the library behind one set of names (os_file.h).
#include "platform/os_file.h"

#include <cerrno>
#include <sys/stat.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#include <string>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace lt {

#if defined(_WIN32)

namespace {

// The UTF-16 form of a path that is valid UTF-8 and not pure ASCII; empty
// otherwise (the narrow functions take it).
std::wstring wide(const char *path) {
  bool ascii = true;
  for (const char *p = path; *p; ++p)
    if (static_cast<unsigned char>(*p) >= 0x80) ascii = false;
  if (ascii) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring w(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, &w[0], n) != n)
    return std::wstring();
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

std::wstring wide_mode(const char *mode) {
  std::wstring w;
  for (const char *p = mode; *p; ++p) w += static_cast<wchar_t>(*p);
  return w;
}

bool stat_of(const char *path, struct _stat64 *st) {
  const std::wstring w = wide(path);
  return (w.empty() ? _stat64(path, st) : _wstat64(w.c_str(), st)) == 0;
}

}  // namespace

std::FILE *os_fopen(const char *path, const char *mode) {
  const std::wstring w = wide(path);
  return w.empty() ? std::fopen(path, mode) : _wfopen(w.c_str(), wide_mode(mode).c_str());
}

bool os_is_directory(const char *path) {
  struct _stat64 st;
  return stat_of(path, &st) && (st.st_mode & _S_IFMT) == _S_IFDIR;
}

bool os_regular_file(const char *path, unsigned *mode) {
  struct _stat64 st;
  if (!stat_of(path, &st) || (st.st_mode & _S_IFMT) != _S_IFREG) return false;
  *mode = st.st_mode;
  return true;
}

bool os_entry_exists(const char *path) {
  const std::wstring w = wide(path);
  return (w.empty() ? GetFileAttributesA(path) : GetFileAttributesW(w.c_str())) != INVALID_FILE_ATTRIBUTES;
}

std::FILE *os_create_new(const char *path, unsigned) {
  const std::wstring w = wide(path);
  const int flags = _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY;
  const int fd = w.empty() ? _open(path, flags, _S_IREAD | _S_IWRITE)
                           : _wopen(w.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE *f = _fdopen(fd, "wb");
  if (!f) {
    _close(fd);
    os_remove(path);
  }
  return f;
}

bool os_replace(const char *from, const char *to) {
  const std::wstring wf = wide(from), wt = wide(to);
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (wf.empty() && wt.empty()) return MoveFileExA(from, to, flags) != 0;
  // One of them needs the wide call: give it both in UTF-16 (an ANSI path
  // converted from the ANSI code page).
  auto as_wide = [](const char *p, const std::wstring &w) {
    if (!w.empty()) return w;
    const int n = MultiByteToWideChar(CP_ACP, 0, p, -1, nullptr, 0);
    std::wstring a(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, p, -1, &a[0], n);
    a.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return a;
  };
  return MoveFileExW(as_wide(from, wf).c_str(), as_wide(to, wt).c_str(), flags) != 0;
}

int os_remove(const char *path) {
  const std::wstring w = wide(path);
  return w.empty() ? std::remove(path) : _wremove(w.c_str());
}

void os_set_mode(std::FILE *, unsigned) {}

file_identity os_identity(std::FILE *) { return file_identity(); }

file_source::file_source(const std::string &, const file_identity &) {}
file_source::~file_source() {}
std::size_t file_source::copy(long long, std::size_t, std::FILE *) { return 0; }

long os_process_id() { return static_cast<long>(_getpid()); }

#else

std::FILE *os_fopen(const char *path, const char *mode) { return std::fopen(path, mode); }

bool os_is_directory(const char *path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool os_regular_file(const char *path, unsigned *mode) {
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *mode = static_cast<unsigned>(st.st_mode & 07777);
  return true;
}

bool os_entry_exists(const char *path) {
  struct stat st;
  return ::lstat(path, &st) == 0;
}

std::FILE *os_create_new(const char *path, unsigned mode) {
  const int fd = ::open(path, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) return nullptr;
  std::FILE *f = ::fdopen(fd, "wb");
  if (!f) {
    const int e = errno;
    ::close(fd);
    ::unlink(path);
    errno = e;
  }
  return f;
}

bool os_replace(const char *from, const char *to) { return std::rename(from, to) == 0; }

int os_remove(const char *path) { return std::remove(path); }

void os_set_mode(std::FILE *f, unsigned mode) { ::fchmod(fileno(f), static_cast<mode_t>(mode)); }

long os_process_id() { return static_cast<long>(::getpid()); }

namespace {

file_identity identity_of(const struct stat &st) {
  file_identity id;
  id.known = S_ISREG(st.st_mode);
  id.dev = static_cast<unsigned long long>(st.st_dev);
  id.ino = static_cast<unsigned long long>(st.st_ino);
  id.size = static_cast<unsigned long long>(st.st_size);
#if defined(__APPLE__)
  id.mtime_sec = st.st_mtimespec.tv_sec;
  id.mtime_nsec = st.st_mtimespec.tv_nsec;
#else
  id.mtime_sec = st.st_mtim.tv_sec;
  id.mtime_nsec = st.st_mtim.tv_nsec;
#endif
  return id;
}

}  // namespace

file_identity os_identity(std::FILE *f) {
  struct stat st;
  if (::fstat(fileno(f), &st) != 0) return file_identity();
  return identity_of(st);
}

file_source::file_source(const std::string &path, const file_identity &id) {
#if defined(__linux__)
  if (!id.known || path.empty()) return;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !(identity_of(st) == id))) {
    ::close(fd_);
    fd_ = -1;
  }
#else
  (void)path;
  (void)id;
#endif
}

file_source::~file_source() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t file_source::copy(long long off, std::size_t n, std::FILE *dst) {
  std::size_t done = 0;
#if defined(__linux__)
  if (fd_ < 0 || std::fflush(dst) != 0) return 0;
  off64_t from = off;
  while (done < n) {
    const ssize_t k = ::copy_file_range(fd_, &from, fileno(dst), nullptr, n - done, 0);
    if (k <= 0) break;  // not between these files, or a failure: the caller writes the rest
    done += static_cast<std::size_t>(k);
  }
#else
  (void)off;
  (void)n;
  (void)dst;
#endif
  return done;
}

#endif

}  // namespace lt
