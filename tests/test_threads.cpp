// SPDX-License-Identifier: MIT
// Several threads load, query and rotate different files at once. Nothing in
// the core may be shared between calls but the last-error text: a race on
// any other state (the decoder's fixed code tables were one) shows up here
// under ThreadSanitizer, and as wrong answers without it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "leafturn.h"
#include "load/loader.h"
#include "pdf_builder.h"
#include "facts/turn_plan.h"
#include "core.h"
#include "facts/rotation.h"

using namespace lt;
using testpdf::builder;

namespace {

// Every page turned by 90 and the full rewrite written to out, as the
// rotating exports do.
bool rotate_all(document &in, const std::string &out, failure &err) {
  turn_plan plan(in);
  if (plan.apply(nullptr, turn{false, 90}, page_filter::any, err) < 0) return false;
  rewrite_output result;
  return result.plan(in, plan.targets(), err) && write_output(out.c_str(), result, err);
}

// Compresses with one zlib strategy: Z_FIXED gives fixed-code blocks only,
// the default strategy dynamic ones for text of this size.
std::string deflate_with(const std::string &s, int strategy) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15, 8, strategy);
  std::string out(deflateBound(&z, static_cast<uLong>(s.size())), '\0');
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(s.data()));
  z.avail_in = static_cast<uInt>(s.size());
  z.next_out = reinterpret_cast<Bytef *>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The block type of the first DEFLATE block after the two-byte zlib header.
int first_block_type(const std::string &z) { return (static_cast<unsigned char>(z[2]) >> 1) & 3; }

// A document whose page tree and pages sit in one compressed object stream.
std::string objstm_doc(int pages, int rotate, int strategy, int *block_type) {
  std::string header, body;
  auto add = [&](int num, const std::string &text) {
    header += std::to_string(num) + " " + std::to_string(body.size()) + " ";
    body += text + "\n";
  };
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(i + 3) + " 0 R ";
  add(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + ">>");
  for (int i = 0; i < pages; ++i)
    add(i + 3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " +
                   std::to_string((rotate + 90 * i) % 360) + ">>");
  const std::string data = deflate_with(header + body, strategy);
  *block_type = first_block_type(data);
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.stream(90, "/Type /ObjStm /N " + std::to_string(pages + 1) + " /First " +
                   std::to_string(header.size()) + " /Filter /FlateDecode",
           data);
  return b.build();
}

struct expected {
  std::string path;
  std::vector<i32> rotations;
  std::string rotated;  // every page turned by 90, as one thread builds it
};

bool load_and_build(const std::string &path, std::vector<i32> *rot, std::string *bytes,
                    std::string *why) {
  document doc;
  failure err;
  if (!doc_load(path.c_str(), doc, err)) {
    *why = err.text();
    return false;
  }
  rot->clear();
  for (const page_ref &p : doc.d.pages) rot->push_back(effective_rotation(doc.d, doc.lex, p));
  turn_plan plan(doc);
  rewrite_output out;
  if (plan.apply(nullptr, turn{false, 90}, page_filter::any, err) < 0 ||
      !out.plan(doc, plan.targets(), err)) {
    *why = err.text();
    return false;
  }
  *bytes = output_bytes(out);
  doc_free(doc);
  return true;
}

}  // namespace

TEST(Threads, DifferentFilesAtOnceThroughTheCore) {
  std::vector<expected> files;
  for (int k = 0; k < 8; ++k) {
    const int strategy = k % 2 ? Z_FIXED : Z_DEFAULT_STRATEGY;
    int type = -1;
    const std::string bytes = objstm_doc(30 + 7 * k, 90 * (k % 4), strategy, &type);
    ASSERT_EQ(type, k % 2 ? 1 : 2) << "the stream must start with a "
                                   << (k % 2 ? "fixed" : "dynamic") << "-code block";
    expected e;
    e.path = testpdf::write_temp("threads-" + std::to_string(k) + ".pdf", bytes);
    files.push_back(e);
  }
  // A plain file and one that fails to load, among them.
  expected plain;
  plain.path = testpdf::write_temp("threads-plain.pdf", testpdf::simple_doc(5, " /Rotate 270").build());
  files.push_back(plain);
  const std::string broken = testpdf::write_temp("threads-broken.pdf", "not a PDF at all");

  std::vector<std::string> outs;
  for (int t = 0; t < 4; ++t) outs.push_back(testpdf::temp_path("threads-out.pdf"));

  // No decoding happens before the threads start: the first use of every
  // shared table is concurrent. Each thread keeps what it saw, and all must
  // agree with one another and with a run on one thread afterwards.
  std::vector<std::vector<expected>> seen(4, files);
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::vector<i32> rot;
      std::string bytes, why;
      for (int round = 0; round < 6; ++round) {
        for (size_t i = 0; i < files.size(); ++i) {
          const size_t k = (i + static_cast<size_t>(t) * 3) % files.size();
          expected &mine = seen[static_cast<size_t>(t)][k];
          if (!load_and_build(files[k].path, &rot, &bytes, &why)) {
            ++mismatches;
          } else if (round == 0) {
            mine.rotations = rot;
            mine.rotated = bytes;
          } else if (rot != mine.rotations || bytes != mine.rotated) {
            ++mismatches;
          }
        }
        document doc;
        failure err;
        if (doc_load(broken.c_str(), doc, err) ||
            std::string(err.text()) != "no PDF objects found \xE2\x80\x94 not a PDF: " + broken)
          ++mismatches;
        // Writing files, in place and to new paths, from every thread.
        const std::string &out = outs[static_cast<size_t>(t)];
        document in;
        if (!doc_load(files[static_cast<size_t>(t)].path.c_str(), in, err) ||
            !rotate_all(in, out, err) ||
            testpdf::read_file(out) != seen[static_cast<size_t>(t)][static_cast<size_t>(t)].rotated)
          ++mismatches;
      }
    });
  }
  for (std::thread &th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  for (size_t k = 0; k < files.size(); ++k) {
    expected &e = files[k];
    std::string why;
    ASSERT_TRUE(load_and_build(e.path, &e.rotations, &e.rotated, &why)) << why;
    ASSERT_FALSE(e.rotations.empty());
    for (int t = 0; t < 4; ++t) {
      EXPECT_EQ(seen[static_cast<size_t>(t)][k].rotations, e.rotations) << e.path;
      EXPECT_EQ(seen[static_cast<size_t>(t)][k].rotated, e.rotated) << e.path;
    }
  }
  EXPECT_EQ(files[0].rotations[1], 90);  // 0 + 90 for the second page
}

TEST(Threads, ExportsFromManyThreadsGiveTheirOwnResults) {
  // The exports share only the last-error text (its race is the host's to
  // avoid); results and written files stay each call's own.
  std::vector<std::string> paths;
  for (int k = 0; k < 4; ++k) {
    int type = -1;
    paths.push_back(testpdf::write_temp("threads-x" + std::to_string(k) + ".pdf",
                                        objstm_doc(12, 90 * k, k % 2 ? Z_FIXED : Z_DEFAULT_STRATEGY,
                                                   &type)));
  }
  std::vector<std::string> outs;
  for (int t = 0; t < 4; ++t) outs.push_back(testpdf::temp_path("threads-x-out.pdf"));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string &in = paths[static_cast<size_t>(t)];
      const std::string &out = outs[static_cast<size_t>(t)];
      for (int round = 0; round < 10; ++round) {
        if (leafturn_get_rotation(in.c_str(), 1) != 90 * t) ++mismatches;
        if (leafturn_get_rotation(in.c_str(), 13) != -1) ++mismatches;
        if (leafturn_all(in.c_str(), out.c_str(), 180) != 1) ++mismatches;
        if (leafturn_get_rotation(out.c_str(), 2) != (90 * t + 90 + 180) % 360) ++mismatches;
      }
    });
  }
  for (std::thread &th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
}
