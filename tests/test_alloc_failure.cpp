// SPDX-License-Identifier: MIT
// Allocation failure injected at every point of a full rotate call on a
// document with object streams: each run must end in success with exactly
// the normal output, or in failure with "out of memory" and no file; the
// sanitizer build checks that nothing leaks. (The file image itself is the
// one allocation reported as a read error.)
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "leafturn.h"
#include "pdf_builder.h"

namespace {
long g_countdown = -1;  // -1: no failure armed
bool g_fired = false;

void *allocate(std::size_t n, bool nothrow) {
  if (g_countdown >= 0 && g_countdown-- == 0) {
    g_fired = true;
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  void *p = std::malloc(n ? n : 1);
  if (!p && !nothrow) throw std::bad_alloc();
  return p;
}
}  // namespace

void *operator new(std::size_t n) { return allocate(n, false); }
void *operator new[](std::size_t n) { return allocate(n, false); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, true); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, true); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace {

std::string packed_document() {
  std::string plain, header;
  const char *objs[] = {"<</Type /Catalog /Pages 2 0 R>>",
                        "<</Type /Pages /Kids [3 0 R 4 0 R] /Count 2>>",
                        "<</Type /Page /Parent 2 0 R /Rotate 90>>",
                        "<</Type /Page /Parent 2 0 R>>"};
  for (int i = 0; i < 4; ++i) {
    header += std::to_string(i + 1) + " " + std::to_string(plain.size()) + " ";
    plain += objs[i];
  }
  const std::string data = header + plain;
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string z(n, '\0');
  compress2(reinterpret_cast<Bytef *>(&z[0]), &n, reinterpret_cast<const Bytef *>(data.data()),
            static_cast<uLong>(data.size()), 9);
  z.resize(n);
  testpdf::builder b;
  b.stream(9, "/Type /ObjStm /N 4 /First " + std::to_string(header.size()) +
                  " /Filter /FlateDecode",
           z);
  b.stream(10, "", "BT ET");
  return b.build();
}

}  // namespace

TEST(AllocationFailure, EveryPointOfARotateCall) {
  const std::string in = testpdf::write_temp("alloc.pdf", packed_document());
  const std::string out = testpdf::temp_path("alloc-out.pdf");
  ASSERT_EQ(leafturn_all(in.c_str(), out.c_str(), 90), 1) << leafturn_last_error();
  const std::string reference = testpdf::read_file(out);
  int failures = 0, read_errors = 0;
  for (long n = 0;; ++n) {
    std::remove(out.c_str());
    g_fired = false;
    g_countdown = n;
    const int ok = leafturn_all(in.c_str(), out.c_str(), 90);
    g_countdown = -1;
    const std::string err = leafturn_last_error();
    if (!g_fired) {
      ASSERT_EQ(ok, 1);
      break;
    }
    if (ok) {
      EXPECT_EQ(testpdf::read_file(out), reference) << "allocation " << n;
    } else {
      ++failures;
      if (err == "read error on " + in) ++read_errors;
      EXPECT_TRUE(err == "out of memory" || err == "read error on " + in)
          << "allocation " << n << ": " << err;
      EXPECT_FALSE(testpdf::file_exists(out)) << "allocation " << n;
    }
    ASSERT_LT(n, 100000);
  }
  EXPECT_GT(failures, 10);
  EXPECT_EQ(read_errors, 1) << "no memory for the file image is a read error";
  std::printf("%d allocation points failed cleanly\n", failures);
}
