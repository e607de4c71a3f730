// SPDX-License-Identifier: MIT
// Files named by paths as hosts pass them. On Windows a path that is valid
// UTF-8 and not pure ASCII is converted to UTF-16 and used with the
// wide-character functions, so names outside the ANSI code page work; any
// other path goes to the narrow functions, which read it in the ANSI code
// page as before. Elsewhere a path is bytes, handed on unchanged.
#ifndef LEAFTURN_OS_FILE_H
#define LEAFTURN_OS_FILE_H

#include <cstdio>

namespace lt {

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
