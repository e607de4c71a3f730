// The document record and file intake: the whole input file is read into
// one block with one read, then the loader stages run in a fixed order on
// that image. A failed load leaves nothing allocated.
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "internal.h"

namespace lt {

int sx_rng_cmp(const sx_rng &a, const sx_rng &b) {
  return a.start < b.start ? -1 : a.start > b.start ? 1 : 0;
}

u8 *arena::alloc(std::size_t size) {
  return adopt(std::unique_ptr<u8[]>(new u8[size ? size : 1]));
}

u8 *arena::adopt(std::unique_ptr<u8[]> block) {
  blocks_.push_back(std::move(block));
  return blocks_.back().get();
}

i32 doc::find_index(i32 num) const {
  if (!by_num.empty()) {
    if (num < 0 || static_cast<size_t>(num) >= by_num.size()) return -1;
    return by_num[static_cast<size_t>(num)];
  }
  for (size_t k = 0; k < objs.size(); ++k)
    if (objs[k].num == num) return static_cast<i32>(k);
  return -1;
}

const obj_rec *doc::find(i32 num) const {
  const i32 k = find_index(num);
  return k < 0 ? nullptr : &objs[static_cast<size_t>(k)];
}

void doc_free(doc &d) {
  d.image.reset();
  d.data = nullptr;
  d.len = 0;
  d.arena.clear();
  std::vector<obj_rec>().swap(d.objs);
  std::vector<page_ref>().swap(d.pages);
  std::vector<i32>().swap(d.by_num);
  drop_scan_cache(d);
  drop_top_cache(d);
  d.source = file_identity();
  d.trailer_root = d.trailer_info = d.encrypted = 0;
  d.root_num = d.info_num = d.max_num = 0;
}

namespace {

struct file_closer {
  void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

bool is_directory(const char *path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Seeks to the end and reports the position as a 64-bit size, -1 on error.
long long file_size(std::FILE *f) {
#if defined(_WIN32)
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  const long long size = _ftelli64(f);
  if (_fseeki64(f, 0, SEEK_SET) != 0) return -1;
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  const long long size = static_cast<long long>(ftello(f));
  if (fseeko(f, 0, SEEK_SET) != 0) return -1;
#endif
  return size;
}

// Records which file the bytes were read from, so that the writer can tell
// whether the file still holds them.
void remember_source(std::FILE *f, const char *path, file_identity &id) {
  id = file_identity();
#if defined(__linux__)
  struct stat st;
  if (::fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return;
  id.path = path;
  id.dev = static_cast<unsigned long long>(st.st_dev);
  id.ino = static_cast<unsigned long long>(st.st_ino);
  id.size = st.st_size;
  id.mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  id.known = true;
#else
  (void)f;
  (void)path;
#endif
}

int intake(const char *path, doc &d) {
  if (!path) {
    set_error("NULL path argument");
    return -1;
  }
  if (is_directory(path)) {
    set_error("cannot open %s", path);
    return -1;
  }
  file_ptr f(std::fopen(path, "rb"));
  if (!f) {
    set_error("cannot open %s", path);
    return -1;
  }
  const long long size = file_size(f.get());
  if (size > k_max_file_size) {
    set_error("input file too large: %s", path);
    return -1;
  }
  if (size <= 0) {
    set_error("empty input file: %s", path);
    return -1;
  }
  const i32 len = static_cast<i32>(size);
  std::unique_ptr<u8[]> image(new (std::nothrow) u8[static_cast<size_t>(len)]);
  if (!image ||
      std::fread(image.get(), 1, static_cast<size_t>(len), f.get()) !=
          static_cast<size_t>(len)) {
    set_error("read error on %s", path);
    return -1;
  }
  d.image = std::move(image);
  d.data = d.image.get();
  d.len = len;
  remember_source(f.get(), path, d.source);
  return 0;
}

}  // namespace

namespace {

// The loader stages on the image in d.data / d.len.
int run_stages(doc &d, const char *path) {
  load_trailers(d);
  scan_objects(d);
  expand_object_streams(d);
  select_live(d);
  if (load_page_tree(d, path) != 0) return -1;
  // The loader's memoised searches go; what the writer needs it finds again.
  drop_scan_cache(d);
  return 0;
}

template <typename F>
int load_with(doc &d, F &&fill, const char *path) {
  doc_free(d);
  d.trailer_root = d.trailer_info = d.root_num = -1;
  try {
    if (fill() != 0 || run_stages(d, path) != 0) {
      doc_free(d);
      return -1;
    }
  } catch (...) {
    doc_free(d);
    throw;
  }
  return 0;
}

}  // namespace

int doc_load(const char *path, doc &d) {
  return load_with(d, [&] { return intake(path, d); }, path);
}

int doc_load_bytes(const u8 *bytes, i32 len, doc &d) {
  return load_with(
      d,
      [&] {
        if (len <= 0) {
          set_error("empty input file: %s", "(memory)");
          return -1;
        }
        d.image.reset(new u8[static_cast<size_t>(len)]);
        std::memcpy(d.image.get(), bytes, static_cast<size_t>(len));
        d.data = d.image.get();
        d.len = len;
        return 0;
      },
      "(memory)");
}

}  // namespace lt
