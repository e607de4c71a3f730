// SPDX-License-Identifier: MIT
// Real files from many producers. Each file that loads must report, for
// every page, the rotation that an independent reader (pdfinfo) shows; each
// file that does not load must fail for a reason we can name.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "load/loader.h"
#include "core.h"
#include "leafturn.h"
#include "pdf_builder.h"

namespace {

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  const std::string dir = testpdf::corpus_dir();
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pdf") == 0) files.push_back(dir + "/" + n);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string quoted(const std::string &p) { return "'" + p + "'"; }

// Page number -> rotation, as pdfinfo prints them.
std::map<int, int> pdfinfo_rotations(const std::string &path, int pages) {
  std::map<int, int> rot;
  const std::string out = testpdf::run("pdfinfo -f 1 -l " + std::to_string(pages) + " " +
                                       quoted(path) + " 2>/dev/null");
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    int page, r;
    if (std::sscanf(line.c_str(), "Page %d rot: %d", &page, &r) == 2) rot[page] = r;
  }
  return rot;
}

int pdfinfo_pages(const std::string &path) {
  const std::string out = testpdf::run("pdfinfo " + quoted(path) + " 2>/dev/null");
  const size_t at = out.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
}

}  // namespace

TEST(Corpus, RotationsAgreeWithAnIndependentReader) {
  if (!testpdf::have_tool("pdfinfo")) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
  const std::vector<std::string> files = corpus_files();
  ASSERT_FALSE(files.empty()) << "no corpus files in " << testpdf::corpus_dir();
  int loaded = 0;
  for (const std::string &path : files) {
    SCOPED_TRACE(path);
    lt::document d;
    lt::failure err;
    if (!lt::doc_load(path.c_str(), d, err)) {
      const std::string why = err.text();
      const std::string info = testpdf::run("pdfinfo " + quoted(path) + " 2>&1");
      if (info.find("Incorrect password") != std::string::npos ||
          info.find("Encrypted:       yes") != std::string::npos) {
        EXPECT_EQ(why, "encrypted PDFs are not supported: " + path);
      } else if (path.find("unreadablemetadata") != std::string::npos) {
        // The catalog's /Pages names an object the file does not hold.
        EXPECT_EQ(why, "could not resolve the page tree (obj 172 is not a /Pages or /Page "
                       "object, or tree is broken)");
      } else {
        ADD_FAILURE() << "fails to load: " << why;
      }
      continue;
    }
    ++loaded;
    const int pages = static_cast<int>(d.d.pages.size());
    lt::doc_free(d);
    EXPECT_EQ(pages, pdfinfo_pages(path));
    const std::map<int, int> expected = pdfinfo_rotations(path, pages);
    ASSERT_EQ(static_cast<int>(expected.size()), pages);
    for (int p = 1; p <= pages; ++p)
      EXPECT_EQ(leafturn_get_rotation(path.c_str(), p), expected.at(p)) << "page " << p;
  }
  EXPECT_GT(loaded, 0);
}

namespace {

// The words pdftotext extracts, sorted: line order changes with rotation.
std::vector<std::string> sorted_words(const std::string &path) {
  const std::string text = testpdf::run("pdftotext -q " + quoted(path) + " - 2>/dev/null");
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  std::sort(words.begin(), words.end());
  return words;
}

// The same pages turned by an independent tool. Text extraction depends on
// the page's orientation (where words break, overlapping glyphs), so the
// words of our output are compared with those of the reference turned alike.
std::string reference_rotation(const std::string &in, const std::vector<int> &pages,
                               int degrees) {
  std::string list;
  for (int p : pages) list += (list.empty() ? "" : ",") + std::to_string(p);
  const std::string out = testpdf::temp_path("reference.pdf");
  testpdf::run("qpdf --rotate=+" + std::to_string(degrees) + ":" + list + " " + quoted(in) +
               " " + quoted(out) + " >/dev/null 2>&1");
  return out;
}

// The document information as pdfinfo prints it: every line but those that
// describe pages, the file or its structure.
std::string document_info(const std::string &path) {
  std::istringstream in(testpdf::run("pdfinfo " + quoted(path) + " 2>/dev/null"));
  std::string keep, line;
  for (const char *key : {"Title:", "Subject:", "Keywords:", "Author:", "Creator:", "Producer:",
                          "CreationDate:", "ModDate:", "Custom Metadata:", "Metadata Stream:"})
    while (std::getline(in, line))
      if (line.compare(0, std::strlen(key), key) == 0) {
        keep += line + "\n";
        break;
      }
  return keep;
}

// The trailer's file identifier as qpdf shows it, or "".
std::string file_identifier(const std::string &path) {
  const std::string t = testpdf::run("qpdf --show-object=trailer " + quoted(path) + " 2>/dev/null");
  const size_t a = t.find("/ID [");
  return a == std::string::npos ? "" : t.substr(a, t.find(']', a) + 1 - a);
}

// Checks one rotated output against its input: a clean structure check, the
// same page count, the expected rotation on every page, the same words, the
// same document information and file identifier.
void check_output(const std::string &in, const std::string &out, int pages,
                  const std::vector<int> &turned, int degrees) {
  EXPECT_EQ(document_info(out), document_info(in));
  EXPECT_EQ(file_identifier(out), file_identifier(in));
  int rc = -1;
  const std::string check = testpdf::run("qpdf --check " + quoted(out) + " 2>&1", &rc);
  EXPECT_NE(rc, 2) << "qpdf --check found errors:\n" << check;
  EXPECT_EQ(pdfinfo_pages(out), pages);
  const std::map<int, int> before = pdfinfo_rotations(in, pages);
  const std::map<int, int> after = pdfinfo_rotations(out, pages);
  ASSERT_EQ(static_cast<int>(after.size()), pages);
  for (int p = 1; p <= pages; ++p) {
    const bool chosen = std::find(turned.begin(), turned.end(), p) != turned.end();
    EXPECT_EQ(after.at(p), chosen ? (before.at(p) + degrees) % 360 : before.at(p))
        << "page " << p;
  }
  const std::vector<std::string> words = sorted_words(out);
  EXPECT_TRUE(words == sorted_words(reference_rotation(in, turned, degrees)))
      << "the words differ from those of the same pages turned by qpdf";
}

}  // namespace

TEST(Corpus, RotatedOutputsPassIndependentChecks) {
  if (!testpdf::have_tool("pdfinfo") || !testpdf::have_tool("qpdf") ||
      !testpdf::have_tool("pdftotext"))
    GTEST_SKIP() << "qpdf and poppler-utils are needed";
  int rotated = 0;
  for (const std::string &path : corpus_files()) {
    SCOPED_TRACE(path);
    lt::document d;
    lt::failure err;
    if (!lt::doc_load(path.c_str(), d, err)) continue;
    const int pages = static_cast<int>(d.d.pages.size());
    lt::doc_free(d);
    std::vector<int> all;
    for (int p = 1; p <= pages; ++p) all.push_back(p);

    const std::string out_all = testpdf::temp_path("all.pdf");
    ASSERT_EQ(leafturn_all(path.c_str(), out_all.c_str(), 90), 1) << leafturn_last_error();
    check_output(path, out_all, pages, all, 90);

    std::vector<int> list{pages};
    if (pages > 2) list.push_back(2);
    const std::string out_list = testpdf::temp_path("list.pdf");
    ASSERT_EQ(leafturn_pages(path.c_str(), out_list.c_str(), list.data(),
                             static_cast<int>(list.size()), 180),
              1)
        << leafturn_last_error();
    check_output(path, out_list, pages, list, 180);

    const std::string out_one = testpdf::temp_path("one.pdf");
    ASSERT_EQ(leafturn_page(path.c_str(), out_one.c_str(), 1, 270), 1) << leafturn_last_error();
    check_output(path, out_one, pages, {1}, 270);
    ++rotated;
  }
  EXPECT_GT(rotated, 0);
}
