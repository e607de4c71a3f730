// SPDX-License-Identifier: MIT
// Replays fuzz inputs without libFuzzer: every file named on the command
// line, or every file in a named folder, goes through the harness once.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

static int run_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  const std::string bytes = s.str();
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  return 1;
}

int main(int argc, char **argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    struct stat st;
    if (::stat(argv[i], &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (DIR *d = opendir(argv[i])) {
        while (dirent *e = readdir(d))
          if (e->d_name[0] != '.') count += run_file(std::string(argv[i]) + "/" + e->d_name);
        closedir(d);
      }
    } else {
      count += run_file(argv[i]);
    }
  }
  std::printf("replayed %d inputs\n", count);
  return 0;
}
