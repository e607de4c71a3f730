// SPDX-License-Identifier: MIT
// Files named by paths as hosts pass them. On Windows a path that is valid
// UTF-8 and not pure ASCII is converted to UTF-16 and used with the
// wide-character functions, so names outside the ANSI code page work; any
// other path goes to the narrow functions, which read it in the ANSI code
// page as before. Elsewhere a path is bytes, handed on unchanged.
#ifndef LEAFTURN_OS_FILE_H
#define LEAFTURN_OS_FILE_H

#include <cstddef>
#include <cstdio>
#include <string>

namespace lt {

// What identifies a file read earlier: its device, inode, size and
// modification time (none on Windows).
struct file_identity {
  bool known = false;
  unsigned long long dev = 0, ino = 0, size = 0;
  long long mtime_sec = 0, mtime_nsec = 0;
  bool operator==(const file_identity &o) const {
    return known && o.known && dev == o.dev && ino == o.ino && size == o.size &&
           mtime_sec == o.mtime_sec && mtime_nsec == o.mtime_nsec;
  }
  bool same_file(const file_identity &o) const {
    return known && o.known && dev == o.dev && ino == o.ino;
  }
};
file_identity os_identity(std::FILE *f);
// The file at path opened again for copying ranges of it inside the kernel,
// only while path still names the file `id` identified (Linux; elsewhere
// never open).
class file_source {
 public:
  file_source(const std::string &path, const file_identity &id);
  ~file_source();
  file_source(const file_source &) = delete;
  file_source &operator=(const file_source &) = delete;
  bool open() const { return fd_ >= 0; }
  // Copies n bytes from offset off to dst, after what was written to dst so
  // far. The count copied: less than n (0 included) when the rest must be
  // written by the caller.
  std::size_t copy(long long off, std::size_t n, std::FILE *dst);

 private:
  int fd_ = -1;
};

std::FILE *os_fopen(const char *path, const char *mode);
// True for an existing folder.
bool os_is_directory(const char *path);
// True for an existing regular file, with its permission bits.
bool os_regular_file(const char *path, unsigned *mode);
// True when anything stands at path (a link that leads nowhere included).
bool os_entry_exists(const char *path);
// Creates a new file for writing in binary mode, failing when it exists;
// the stream, or null (errno says why). Its permission bits are mode as the
// process's umask leaves them (Windows: read and write).
std::FILE *os_create_new(const char *path, unsigned mode);
// Renames from over to, replacing it.
bool os_replace(const char *from, const char *to);
int os_remove(const char *path);
// Sets a file's permission bits exactly (Windows: nothing to do).
void os_set_mode(std::FILE *f, unsigned mode);
long os_process_id();

}  // namespace lt

#endif
