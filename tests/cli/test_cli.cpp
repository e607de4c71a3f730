// SPDX-License-Identifier: MIT
// The command-line tool as scripts use it: the page grammar, relative and
// absolute turns, orientation, batches in both modes, JSON reports, the
// progress line and exit codes. Written files are checked with pdfinfo.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <unistd.h>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "leafturn.h"
#include "facts/page_list.h"
#include "cli_run.h"
#include "pdf_builder.h"

using testpdf::builder;
using testpdf::read_file;
using testpdf::run;
using testpdf::simple_doc;
using testpdf::temp_path;
using testpdf::write_temp;
using testcli::kCli;
using testcli::pdfinfo_rotations;
using testcli::q;
using testcli::tool;

namespace {

// Each page's size as pdfinfo reads it ("612 x 792"), unturned.
std::vector<std::string> pdfinfo_sizes(const std::string &path) {
  std::vector<std::string> r;
  std::istringstream in(run("pdfinfo -f 1 -l 9999 " + q(path) + " 2>/dev/null"));
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" size:");
    if (line.compare(0, 5, "Page ") != 0 || at == std::string::npos) continue;
    std::istringstream v(line.substr(at + 6));
    double w, h;
    std::string x;
    v >> w >> x >> h;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g x %g", w, h);
    r.push_back(buf);
  }
  return r;
}

std::vector<int> rotations(const std::string &path, int pages) {
  std::vector<int> r;
  for (int p = 1; p <= pages; ++p) r.push_back(leafturn_get_rotation(path.c_str(), p));
  return r;
}

// The fields of JSON lines, flattened by an independent parser: one line
// per input line, "key=value" pairs separated by '|'.
std::vector<std::string> json_fields(const std::string &lines) {
  const std::string in = write_temp("lines.json", lines);
  const std::string out = run(
      "python3 -c 'import json,sys\n"
      "for line in open(sys.argv[1], encoding=\"utf-8\"):\n"
      "  o = json.loads(line)\n"
      "  print(\"|\".join(\"%s=%s\" % (k, json.dumps(o[k])) for k in sorted(o)))' " +
      q(in));
  std::vector<std::string> r;
  std::istringstream s(out);
  for (std::string line; std::getline(s, line);) r.push_back(line);
  return r;
}

bool skip_without_pdfinfo() { return !testpdf::have_tool("pdfinfo"); }

}  // namespace

// ---- the page grammar ------------------------------------------------------------------

TEST(PageList, SelectsThePagesOfEachItem) {
  struct row {
    const char *text;
    int pages;
    std::vector<int> want;
  };
  const row rows[] = {
      {"1", 5, {1}},
      {"z", 5, {5}},
      {"r1", 5, {5}},
      {"r2", 5, {4}},
      {"r5", 5, {1}},
      {"2-4", 5, {2, 3, 4}},
      {"4-2", 5, {2, 3, 4}},  // either direction
      {"r3-z", 5, {3, 4, 5}},
      {"z-r3", 5, {3, 4, 5}},
      {"1-z", 1, {1}},
      {"odd", 5, {1, 3, 5}},
      {"even", 5, {2, 4}},
      {"even", 1, {}},  // selects nothing: not an error
      {"1-z,x3-5", 7, {1, 2, 6, 7}},
      {"odd,x1", 7, {3, 5, 7}},
      {"x1,2", 3, {2}},  // an exclusion removes only what came before it
      {"1,1,2-1", 3, {1, 2}},
      {"odd,even,xz", 4, {1, 2, 3}},
      {"3,x3,3", 4, {3}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.text);
    lt::page_list list;
    std::string why;
    ASSERT_TRUE(lt::parse_page_list(r.text, &list, &why)) << why;
    std::vector<int> got;
    long bad = 0;
    ASSERT_TRUE(lt::select_pages(list, r.pages, &got, &bad));
    EXPECT_EQ(got, r.want);
  }
}

TEST(PageList, RefusesMalformedItemsAndReportsPagesOutside) {
  for (const char *bad : {"0", "r0", "", ",", "1,", "a", "x", "1-", "-2", "1--2", "r", "rz",
                          "2-r0", "1.5", "+1", "odd2", "xx1", "1 2", "99999999999"}) {
    lt::page_list list;
    std::string why;
    EXPECT_FALSE(lt::parse_page_list(bad, &list, &why)) << bad;
  }
  struct row {
    const char *text;
    long bad;
  };
  for (const row &r : std::vector<row>{{"6", 6}, {"2-6", 6}, {"r6", 0}, {"x9", 9}, {"1-z,r7-2", -1}}) {
    lt::page_list list;
    std::string why;
    ASSERT_TRUE(lt::parse_page_list(r.text, &list, &why)) << r.text;
    std::vector<int> got;
    long bad = 0;
    EXPECT_FALSE(lt::select_pages(list, 5, &got, &bad)) << r.text;
    EXPECT_EQ(bad, r.bad) << r.text;
  }
}

TEST(CommandLine, GrammarEndToEndWithItsErrors) {
  const std::string in = write_temp("grammar.pdf", simple_doc(7).build());
  const std::string out = temp_path("grammar-out.pdf");
  int rc = -1;
  tool("rotate " + q(in) + " " + q(out) + " --to 90 --pages 1-z,x3-5", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(rotations(out, 7), (std::vector<int>{90, 90, 0, 0, 0, 90, 90}));
  tool("rotate " + q(in) + " " + q(out) + " --by=180 --pages=odd,x1", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(rotations(out, 7), (std::vector<int>{0, 0, 180, 0, 180, 0, 180}));

  std::string err;
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages r0", &rc, &err);
  EXPECT_EQ(rc, 2);
  EXPECT_NE(err.find("usage:"), std::string::npos);
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 3,8", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: page 8 out of range (document has 7 pages)\n");
  // Nothing selected: success, nothing turned, the bytes copied as they are.
  const std::string two = write_temp("two.pdf", simple_doc(1).build());
  const std::string json = tool("rotate " + q(two) + " " + q(out) + " --by 90 --pages even --json", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(json.find("\"turned\": 0"), std::string::npos) << json;
  EXPECT_EQ(read_file(out), read_file(two));
}

// ---- turns -----------------------------------------------------------------------------

TEST(CommandLine, RelativeAndAbsoluteTurnsAsAnIndependentReaderSeesThem) {
  if (skip_without_pdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is needed";
  // Pages at 0, own 90, own -90 (270), inherited 180 through a second node.
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 5>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>");
  b.obj(4, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90>>");
  b.obj(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate -90>>");
  b.obj(6, "<</Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R] /Count 2 /Rotate 180>>");
  b.obj(7, "<</Type /Page /Parent 6 0 R /MediaBox [0 0 612 792]>>");
  b.obj(8, "<</Type /Page /Parent 6 0 R /MediaBox [0 0 612 792] /Rotate 0>>");
  const std::string in = write_temp("turns.pdf", b.build());
  ASSERT_EQ(pdfinfo_rotations(in), (std::vector<int>{0, 90, 270, 180, 0}));
  const std::string out = temp_path("turns-out.pdf");
  struct row {
    std::string turn;
    std::vector<int> want;
    int turned;
  };
  const row rows[] = {
      {"--by 90", {90, 180, 0, 270, 90}, 5},
      {"--degrees 270", {270, 0, 180, 90, 270}, 5},
      {"--by -90", {270, 0, 180, 90, 270}, 5},
      {"--by -180", {180, 270, 90, 0, 180}, 5},
      {"--to 0", {0, 0, 0, 0, 0}, 3},
      {"--to 90", {90, 90, 90, 90, 90}, 4},
      {"--to 270 --pages 2-4", {0, 270, 270, 270, 0}, 2},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.turn);
    int rc = -1;
    const std::string json = tool("rotate " + q(in) + " " + q(out) + " " + r.turn + " --json", &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(pdfinfo_rotations(out), r.want);
    EXPECT_NE(json.find("\"turned\": " + std::to_string(r.turned) + ","), std::string::npos) << json;
    EXPECT_EQ(run("qpdf --check " + q(out) + " >/dev/null 2>&1; echo $?"), "0\n");
  }
  int rc = -1;
  for (const char *bad : {"--by 45", "--by 0", "--by 360", "--to -90", "--to 360", "--by 90 --to 0",
                          "--to", "", "--by 90 --landscape --portrait"}) {
    tool("rotate " + q(in) + " " + q(out) + " " + bad, &rc);
    EXPECT_EQ(rc, 2) << bad;
  }
}

TEST(CommandLine, NoTurnLeavesTheFileAlone) {
  const std::string in = write_temp("at-target.pdf", simple_doc(3, " /Rotate 90").build());
  struct stat before {}, after {};
  ASSERT_EQ(::stat(in.c_str(), &before), 0);
  int rc = -1;
  const std::string json = tool("rotate --in-place --to 90 --json " + q(in), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(json.find("\"turned\": 0"), std::string::npos);
  ASSERT_EQ(::stat(in.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino) << "the file was rewritten";
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  // The same file as IN and OUT of a single run.
  tool("rotate " + q(in) + " " + q(in) + " --to 90", &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(::stat(in.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

// ---- orientation -----------------------------------------------------------------------

TEST(CommandLine, OrientationFromInheritedIndirectRealAndTurnedBoxes) {
  if (skip_without_pdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is needed";
  builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R>>");
  b.obj(2, "<</Type /Pages /Kids [12 0 R 4 0 R 5 0 R 6 0 R 7 0 R 8 0 R 11 0 R] /Count 7>>");
  b.obj(12, "<</Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792]>>");
  b.obj(3, "<</Type /Page /Parent 12 0 R>>");                            // inherited, portrait
  b.obj(4, "<</Type /Page /Parent 2 0 R /MediaBox 9 0 R>>");             // indirect array
  b.obj(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 10 0 R 300.5]>>");  // indirect number
  b.obj(6, "<</Type /Page /Parent 2 0 R /MediaBox [842 595.28 0 0]>>");  // corners swapped
  b.obj(7, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90>>");  // turned
  b.obj(8, "<</Type /Page /Parent 2 0 R /CropBox [100 100 400 400]>>");  // crop box: square
  b.obj(9, "[0 0 792.0 612]");
  b.obj(10, "500.25");
  b.obj(11, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 (x) 1]>>");  // unreadable, none inherited
  const std::string in = write_temp("boxes.pdf", b.build());
  int rc = -1;
  const std::vector<std::string> f = json_fields(tool("info --json " + q(in), &rc));
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(f.size(), 1u);
  const std::string pages = run(
      "python3 -c 'import json,sys\n"
      "for p in json.loads(open(sys.argv[1]).read())[\"page\"]:\n"
      "  print(p[\"number\"], p[\"rotation\"], p[\"width\"], p[\"height\"], p[\"orientation\"])' " +
      q(write_temp("info.json", tool("info --json " + q(in), &rc))));
  EXPECT_EQ(pages,
            "1 0 612 792 portrait\n"
            "2 0 792 612 landscape\n"
            "3 0 500.25 300.5 landscape\n"
            "4 0 842 595.28 landscape\n"
            "5 90 792 612 landscape\n"
            "6 0 300 300 square\n"
            "7 0 None None None\n");
  // pdfinfo gives the unturned size of the same boxes.
  const std::vector<std::string> sizes = pdfinfo_sizes(in);
  ASSERT_EQ(sizes.size(), 7u);
  EXPECT_EQ(sizes[0], "612 x 792");
  EXPECT_EQ(sizes[1], "792 x 612");
  EXPECT_EQ(sizes[2], "500.25 x 300.5");
  EXPECT_EQ(sizes[3], "842 x 595.28");
  EXPECT_EQ(sizes[4], "612 x 792");  // rotated 90: displayed 792 x 612
  EXPECT_EQ(sizes[5], "300 x 300");

  // Only the landscape pages turn, then only the portrait ones.
  const std::string out = temp_path("boxes-out.pdf");
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --landscape", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{0, 90, 90, 90, 180, 0, 0}));
  tool("rotate " + q(in) + " " + q(out) + " --to 270 --portrait --pages 2-z", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{0, 0, 0, 0, 90, 0, 0}));
  tool("rotate " + q(in) + " " + q(out) + " --to 270 --portrait", &rc);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{270, 0, 0, 0, 90, 0, 0}));
}

TEST(CommandLine, InfoShowsTheDocumentInformation) {
  builder b = simple_doc(1);
  b.obj(4, "<</Title (Two\nlines) /Author <FEFF00C4> /Subject () /Producer 5 0 R "
           "/CreationDate (D:20240131093000+01'00') /Custom (kept) /Count 3>>");
  b.obj(5, "(made by hand)");
  const std::string in = write_temp("docinfo.pdf", b.info(4).build());
  int rc = -1;
  // Text: the standard entries that have a value, in a fixed order.
  EXPECT_EQ(tool("info " + q(in), &rc),
            "pages: 1\ntitle: Two lines\nauthor: \xC3\x84\nproducer: made by hand\n"
            "created: D:20240131093000+01'00'\nsignatures: 0\nupdate: possible\n"
            "page 1: 0 none 612 x 792 portrait text: none (0 glyphs)\n");
  EXPECT_EQ(rc, 0);
  // JSON: every text entry by its key; null without a dictionary.
  const std::vector<std::string> f = json_fields(
      tool("info --json " + q(in), &rc) + tool("info --json " + q(write_temp("bare.pdf",
                                                                 simple_doc(1).build())), &rc));
  ASSERT_EQ(f.size(), 2u);
  EXPECT_NE(f[0].find("|info={\"Title\": \"Two\\nlines\", \"Author\": \"\\u00c4\", "
                      "\"Subject\": \"\", \"Producer\": \"made by hand\", \"CreationDate\": "
                      "\"D:20240131093000+01'00'\", \"Custom\": \"kept\"}|"),
            std::string::npos)
      << f[0];
  EXPECT_NE(f[1].find("|info=null|"), std::string::npos) << f[1];
}

TEST(CommandLine, InfoTextAndErrors) {
  const std::string in = write_temp("info.pdf", simple_doc(2, "", " /Rotate 90").build());
  int rc = -1;
  EXPECT_EQ(tool("info " + q(in), &rc),
            "pages: 2\nsignatures: 0\nupdate: possible\n"
            "page 1: 90 inherited 792 x 612 landscape text: none (0 glyphs)\n"
            "page 2: 90 inherited 792 x 612 landscape text: none (0 glyphs)\n");
  EXPECT_EQ(rc, 0);
  const std::string missing = temp_path("missing.pdf");
  std::string err;
  const std::string both = tool("info --json " + q(in) + " " + q(missing), &rc, &err);
  EXPECT_EQ(rc, 1);
  const std::vector<std::string> f = json_fields(both);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_NE(f[0].find("pages=2"), std::string::npos);
  EXPECT_EQ(f[1], "error=\"cannot open " + missing + "\"|file=\"" + missing + "\"");
  EXPECT_EQ(tool("rotation " + q(in) + " 2", &rc), "90\n");
  EXPECT_EQ(rc, 0);
  tool("rotation " + q(in) + " 3", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: page 3 out of range (document has 2 pages)\n");
  EXPECT_EQ(tool("--version", &rc), std::string("leafturn ") + LEAFTURN_VERSION + "\n");
  for (const char *help : {"--help", "rotate --help", "info --help"}) {
    EXPECT_FALSE(tool(help, &rc).empty());
    EXPECT_EQ(rc, 0);
  }
  EXPECT_NE(tool("rotate --help", &rc).find("1-z,x3-5"), std::string::npos);
  tool("frobnicate", &rc);
  EXPECT_EQ(rc, 2);
  tool("", &rc);
  EXPECT_EQ(rc, 2);
}

// rotation prints what leafturn_get_rotation answers for a file it reads,
// and its message when it fails; a password changes nothing for a file
// that is not encrypted.
TEST(CommandLine, RotationAnswersAsTheExportForUnencryptedFiles) {
  // Own rotations (-90 is 270, 450 is 90) over an inherited 270, and a page
  // tree that is its own kid.
  builder own;
  own.obj(1, "<</Type /Catalog /Pages 2 0 R>>")
      .obj(2, "<</Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /Rotate 270>>")
      .obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate -90>>")
      .obj(4, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 450>>")
      .obj(5, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>");
  builder loop;
  loop.obj(1, "<</Type /Catalog /Pages 2 0 R>>").obj(2, "<</Type /Pages /Kids [2 0 R] /Count 1>>");
  const std::string missing = temp_path("rotation-missing.pdf");
  const std::vector<std::string> files = {
      write_temp("rotation-plain.pdf", simple_doc(2).build()),
      write_temp("rotation-inherited.pdf", simple_doc(2, "", " /Rotate 90").build()),
      write_temp("rotation-own.pdf", own.build()),
      write_temp("rotation-loop.pdf", loop.build()),
      write_temp("rotation-not-a-pdf.pdf", "just some text\n"),
      missing};
  int checked = 0, failed = 0;
  for (const std::string &f : files)
    for (int page = 1; page <= 4; ++page)
      for (const std::string pw : {"", " --password anything"}) {
        SCOPED_TRACE(f + " " + std::to_string(page) + pw);
        const int want = leafturn_get_rotation(f.c_str(), page);
        const std::string why = leafturn_last_error();
        int rc = -1;
        std::string err;
        const std::string out = tool("rotation" + pw + " " + q(f) + " " + std::to_string(page), &rc, &err);
        if (want >= 0) {
          EXPECT_EQ(out, std::to_string(want) + "\n");
          EXPECT_EQ(err, "");
          EXPECT_EQ(rc, 0);
        } else {
          EXPECT_EQ(out, "");
          EXPECT_EQ(err, "leafturn: " + why + "\n");
          EXPECT_EQ(rc, 1);
          ++failed;
        }
        ++checked;
      }
  EXPECT_EQ(checked, 48);
  EXPECT_EQ(failed, 2 * (2 + 2 + 1 + 4 + 4 + 4));
  // What the export says, spelled out for two of them.
  int rc = -1;
  std::string err;
  EXPECT_EQ(tool("rotation " + q(files[2]) + " 1", &rc), "270\n");
  EXPECT_EQ(tool("rotation " + q(files[2]) + " 2", &rc), "90\n");
  EXPECT_EQ(tool("rotation " + q(files[2]) + " 3", &rc), "270\n");
  tool("rotation " + q(files[2]) + " 4", &rc, &err);
  EXPECT_EQ(err, "leafturn: page 4 out of range (document has 3 pages)\n");
  tool("rotation " + q(missing) + " 1", &rc, &err);
  EXPECT_EQ(err, "leafturn: cannot open " + missing + "\n");
  // Usage errors, exit 2.
  for (const std::string &args : {"rotation " + q(files[0]), "rotation " + q(files[0]) + " 1 2",
                                  "rotation --password x " + q(files[0])}) {
    tool(args, &rc, &err);
    EXPECT_EQ(rc, 2) << args;
    EXPECT_EQ(err.substr(0, err.find('\n')), "leafturn: rotation needs FILE and PAGE") << args;
  }
  for (const char *page : {"0", "-1", "x", "1.5", "1234567890"}) {
    tool("rotation " + q(files[0]) + " " + page, &rc, &err);
    EXPECT_EQ(rc, 2) << page;
    EXPECT_EQ(err.substr(0, err.find('\n')), "leafturn: PAGE must be a positive number") << page;
  }
  const std::string help = tool("rotation --help", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(help.find("leafturn rotation [--password PW | --password-file F] FILE PAGE"),
            std::string::npos)
      << help;
}

// ---- batches ---------------------------------------------------------------------------

namespace {

// The corpus with a broken and an encrypted file, under a folder tree with
// a file whose name ends in upper case.
std::string corpus_tree(std::vector<std::string> *rel) {
  const std::string dir = temp_path("tree");
  run("mkdir -p " + q(dir + "/sub/deeper") + " && cp " + q(testpdf::corpus_dir()) + "/*.pdf " +
      q(dir) + " && mv " + q(dir) + "/0[01]*.pdf " + q(dir + "/sub") + " && echo broken > " +
      q(dir + "/sub/deeper/BROKEN.PDF") + " && echo not-a-pdf-name > " + q(dir + "/notes.txt"));
  std::istringstream s(run("cd " + q(dir) + " && find . -iname '*.pdf' | sed 's|^./||' | sort"));
  for (std::string line; std::getline(s, line);) rel->push_back(line);
  return dir;
}

}  // namespace

TEST(CommandLine, BatchToAnOutputFolderMatchesSingleRuns) {
  std::vector<std::string> rel;
  const std::string dir = corpus_tree(&rel);
  ASSERT_GT(rel.size(), 20u);
  const std::string out = temp_path("out");
  int rc = -1;
  const std::string json = tool("rotate --out-dir " + q(out) + " --by 90 --pages 1 --jobs 3 --json " +
                                   q(dir),
                               &rc);
  EXPECT_EQ(rc, 1) << "the broken, the encrypted and the unresolvable file fail";
  const std::vector<std::string> lines = json_fields(json);
  ASSERT_EQ(lines.size(), rel.size());
  std::set<std::string> failed, reported;
  for (const std::string &l : lines) {
    const size_t at = l.find("file=\"");
    const std::string file = l.substr(at + 6, l.find('"', at + 6) - at - 6);
    reported.insert(file.substr(dir.size() + 1));
    EXPECT_NE(l.find("seconds="), std::string::npos);
    if (l.find("ok=false") != std::string::npos) {
      failed.insert(file.substr(dir.size() + 1));
      EXPECT_NE(l.find("error=\""), std::string::npos) << l;
    } else {
      EXPECT_EQ(l.find("error="), std::string::npos) << l;
      EXPECT_NE(l.find("turned=1"), std::string::npos) << l;
    }
  }
  EXPECT_EQ(reported, std::set<std::string>(rel.begin(), rel.end()));
  EXPECT_TRUE(failed.count("sub/deeper/BROKEN.PDF"));
  EXPECT_TRUE(failed.count("sub/005-libreoffice-writer-password_libreoffice-writer-password.pdf"));
  EXPECT_TRUE(failed.count("sub/017-unreadable-meta-data_unreadablemetadata.pdf"));
  EXPECT_EQ(failed.size(), 3u);
  for (const std::string &r : rel) {
    SCOPED_TRACE(r);
    const std::string single = temp_path("single.pdf");
    int src = -1;
    tool("rotate " + q(dir + "/" + r) + " " + q(single) + " --by 90 --pages 1", &src);
    if (failed.count(r)) {
      EXPECT_EQ(src, 1);
      EXPECT_FALSE(testpdf::file_exists(out + "/" + r));
      continue;
    }
    ASSERT_EQ(src, 0);
    EXPECT_EQ(read_file(out + "/" + r), read_file(single));
  }
  EXPECT_FALSE(testpdf::file_exists(out + "/notes.txt"));

  // Without --json: a line per failure and the summary.
  std::string err;
  const std::string text = tool("rotate --out-dir " + q(temp_path("out2")) + " --to 0 " + q(dir), &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(text.find(std::to_string(rel.size()) + " files, "), std::string::npos) << text;
  EXPECT_NE(text.find(" pages turned, 3 failed\n"), std::string::npos) << text;
  EXPECT_NE(err.find("leafturn: " + dir + "/sub/deeper/BROKEN.PDF: "), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
}

TEST(CommandLine, BatchInPlaceReplacesEachFileAndGoesOnPastFailures) {
  std::vector<std::string> rel;
  const std::string dir = corpus_tree(&rel);
  const std::string copy = temp_path("before");
  run("cp -r " + q(dir) + " " + q(copy));
  const std::string unwritable = dir + "/ro";
  run("mkdir -p " + q(unwritable) + " && cp " + q(dir) + "/sub/001*.pdf " + q(unwritable) +
      "/x.pdf && chmod 555 " + q(unwritable));
  int rc = -1;
  std::string err;
  const std::string json = tool("rotate --in-place --by 180 --jobs 2 --json " + q(dir), &rc, &err);
  EXPECT_EQ(rc, 1);
  const std::vector<std::string> lines = json_fields(json);
  EXPECT_EQ(lines.size(), rel.size() + 1);
  for (const std::string &r : rel) {
    SCOPED_TRACE(r);
    const std::string single = temp_path("single.pdf");
    int src = -1;
    tool("rotate " + q(copy + "/" + r) + " " + q(single) + " --by 180", &src);
    if (src != 0) {
      EXPECT_EQ(read_file(dir + "/" + r), read_file(copy + "/" + r)) << "a failed file stays whole";
      continue;
    }
    EXPECT_EQ(read_file(dir + "/" + r), read_file(single));
  }
  // A folder that cannot be written fails only its file, unless root may
  // write anyway.
  const bool root_writes = ::access((unwritable + "/.").c_str(), W_OK) == 0;
  run("chmod 755 " + q(unwritable));
  if (!root_writes) {
    EXPECT_NE(json.find("/ro/x.pdf\", \"ok\": false"), std::string::npos) << json;
  }
}

TEST(CommandLine, BatchRefusesClashesAndOutputsThatAreInputs) {
  const std::string a = temp_path("a"), b = temp_path("b");
  run("mkdir -p " + q(a) + " " + q(b));
  const std::string doc = simple_doc(2).build();
  write_temp("unused.pdf", doc);
  run("printf '%s' " + q(doc) + " > " + q(a + "/same.pdf") + " && cp " + q(a + "/same.pdf") + " " +
      q(b + "/same.pdf"));
  const std::string out = temp_path("clash-out");
  int rc = -1;
  const std::vector<std::string> lines =
      json_fields(tool("rotate --out-dir " + q(out) + " --by 90 --json --jobs 1 " + q(a + "/same.pdf") +
                          " " + q(b + "/same.pdf"),
                      &rc));
  EXPECT_EQ(rc, 1);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("ok=true"), std::string::npos);
  EXPECT_NE(lines[1].find("ok=false"), std::string::npos);
  EXPECT_NE(lines[1].find("already taken"), std::string::npos) << lines[1];
  EXPECT_EQ(leafturn_get_rotation((out + "/same.pdf").c_str(), 1), 90);
  // The output folder is the input's own folder.
  const std::string before = read_file(a + "/same.pdf");
  std::string err;
  tool("rotate --out-dir " + q(a) + " --by 90 " + q(a + "/same.pdf"), &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("would replace an input"), std::string::npos) << err;
  EXPECT_EQ(read_file(a + "/same.pdf"), before);
  tool("rotate --in-place --out-dir " + q(out) + " --by 90 " + q(a), &rc);
  EXPECT_EQ(rc, 2);
  tool("rotate --in-place --by 90", &rc);
  EXPECT_EQ(rc, 2);
}

TEST(CommandLine, ProgressOnATerminalOnly) {
  if (!testpdf::have_tool("script")) GTEST_SKIP() << "script (util-linux) is needed";
  const std::string dir = temp_path("progress");
  run("mkdir -p " + q(dir));
  for (int k = 0; k < 3; ++k) write_temp("p.pdf", simple_doc(2).build());
  const std::string one = simple_doc(2).build();
  for (int k = 0; k < 3; ++k)
    run("printf '%s' " + q(one) + " > " + q(dir + "/f" + std::to_string(k) + ".pdf"));
  const std::string out = temp_path("progress-out");
  const std::string cmd = kCli + " rotate --out-dir " + q(out) + " --by 90 " + q(dir);
  // Under a pseudo-terminal the line shows; in a pipe it does not.
  const std::string tty = run("script -qfec " + q(cmd) + " /dev/null");
  EXPECT_NE(tty.find("3/3 files, 0 failed"), std::string::npos) << tty;
  EXPECT_NE(tty.find("left"), std::string::npos) << tty;
  const std::string piped = run(cmd + " 2>&1");
  EXPECT_EQ(piped, "3 files, 6 pages turned, 0 failed\n");
  EXPECT_NE(run(cmd + " --progress 2>&1").find("3/3 files"), std::string::npos);
  EXPECT_EQ(run("script -qfec " + q(cmd + " --no-progress") + " /dev/null").find("files/s"),
            std::string::npos);
}

// ---- several turns in one run -----------------------------------------------------------

TEST(CommandLine, SeveralTurnsBuildOnEachOther) {
  if (skip_without_pdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is needed";
  const std::string in =
      write_temp("turns.pdf", simple_doc(5, "", "").build());  // five pages at 0
  const std::string out = temp_path("turns-out.pdf");
  int rc = -1;
  // The scanner fix: odd pages right, even pages left.
  std::string json = tool("rotate " + q(in) + " " + q(out) +
                              " --by 90 --pages odd --by -90 --pages even --json", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(json.find("\"turned\": 5"), std::string::npos) << json;
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 270, 90, 270, 90}));
  // A page chosen by two turns turns twice; listed twice in one, once.
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 1,1,2 --by 90 --pages 1", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{180, 90, 0, 0, 0}));
  // The last turn without a choice takes every page; --to after --by.
  tool("rotate " + q(in) + " " + q(out) + " --by 180 --pages z --to 90", &rc);
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 90, 90, 90, 90}));
  // Turns that cancel out turn nothing: the output is the input's bytes.
  json = tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 2 --by -90 --pages 2 --json",
              &rc);
  EXPECT_NE(json.find("\"turned\": 0"), std::string::npos) << json;
  EXPECT_EQ(read_file(out), read_file(in));
  // Batches take the same turns.
  const std::string dir = temp_path("turns-dir");
  tool("rotate --out-dir " + q(dir) + " --by 90 --pages odd --by -90 --pages even " + q(in), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(pdfinfo_rotations(dir + "/" + in.substr(in.rfind('/') + 1)),
            (std::vector<int>{90, 270, 90, 270, 90}));
}

TEST(CommandLine, ChoicesNeedATurnBeforeThem) {
  const std::string in = write_temp("order.pdf", simple_doc(2).build());
  const std::string out = temp_path("order-out.pdf");
  for (const char *args : {"--pages 1 --by 90", "--landscape --by 90", "--by 90 --to 0",
                           "--by 90 --pages 1 --pages 2"}) {
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " " + args, &rc, &err);
    EXPECT_EQ(rc, 2) << args;
    EXPECT_TRUE(err.find("--by 90 --pages odd --by -90 --pages even") != std::string::npos ||
                err.find("once per TURN") != std::string::npos)
        << args << ": " << err;
    EXPECT_FALSE(testpdf::file_exists(out)) << args;
  }
}

// ---- pipes --------------------------------------------------------------------------------

TEST(CommandLine, StandardInputAndOutput) {
  if (skip_without_pdfinfo()) GTEST_SKIP() << "pdfinfo (poppler-utils) is needed";
  const std::string in = write_temp("pipe.pdf", simple_doc(2).build());
  const std::string file_out = temp_path("pipe-file.pdf");
  const std::string piped = temp_path("pipe-out.pdf");
  int rc = -1;
  tool("rotate " + q(in) + " " + q(file_out) + " --by 90 --pages 2", &rc);
  ASSERT_EQ(rc, 0);
  // cat IN | leafturn rotate - - > OUT gives the same bytes as the files.
  run("cat " + q(in) + " | " + kCli + " rotate - - --by 90 --pages 2 > " + q(piped), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_file(piped), read_file(file_out));
  // info reads standard input too; nothing turns: the bytes come through.
  const std::string info = run(kCli + " info - < " + q(in), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(info.compare(0, 9, "pages: 2\n"), 0) << info;
  run(kCli + " rotate - - --to 0 < " + q(in) + " > " + q(piped), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(read_file(piped), read_file(in));
  // A broken input on standard input: the library's message, exit 1.
  const std::string err_file = temp_path("pipe-err.txt");
  run("printf 'not a pdf' | " + kCli + " rotate - - --by 90 > " + q(piped) + " 2>" + q(err_file),
      &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(read_file(err_file),
            "leafturn: no PDF objects found \xE2\x80\x94 not a PDF: (standard input)\n");
  // Never PDF bytes to a terminal; batches and --json do not take "-".
  if (testpdf::have_tool("script")) {
    const std::string screen =
        run("script -qfec \"" + kCli + " rotate " + in + " - --by 90\" /dev/null", &rc);
    EXPECT_EQ(rc, 2);
    EXPECT_NE(screen.find("standard output is a terminal"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("%PDF"), std::string::npos);
  }
  for (const std::string &args : std::vector<std::string>{"rotate --in-place --by 90 -",
                                                         "rotate " + q(in) + " - --by 90 --json"}) {
    std::string e;
    tool(args, &rc, &e);
    EXPECT_EQ(rc, 2) << args << ": " << e;
  }
}

// ---- the manual page -----------------------------------------------------------------------

namespace {

// Every --option a text names.
std::set<std::string> options_in(const std::string &text) {
  std::set<std::string> found;
  for (size_t i = text.find("--"); i != std::string::npos; i = text.find("--", i + 2)) {
    size_t e = i + 2;
    while (e < text.size() && (std::islower(static_cast<unsigned char>(text[e])) || text[e] == '-'))
      ++e;
    if (e > i + 2) found.insert(text.substr(i, e - i));
  }
  return found;
}

}  // namespace

TEST(CommandLine, ManualPageNamesWhatTheHelpNames) {
  std::string page = read_file(LEAFTURN_MAN_PAGE);
  for (size_t at; (at = page.find("\\-")) != std::string::npos;) page.replace(at, 2, "-");
  int rc = -1;
  std::string help;
  for (const char *h : {"--help", "rotate --help", "info --help", "rotation --help"})
    help += tool(h, &rc);
  const std::set<std::string> in_help = options_in(help), in_page = options_in(page);
  EXPECT_GT(in_help.size(), 10u);
  EXPECT_EQ(in_page, in_help);
  // Every command and the exit statuses.
  for (const char *word : {".B leafturn info", ".B leafturn rotation", ".B leafturn rotate",
                           ".SH EXIT STATUS", ".SH EXAMPLES", "odd", "even", "r1"})
    EXPECT_NE(page.find(word), std::string::npos) << word;
  if (testpdf::have_tool("man")) {
    const std::string shown = run("MANWIDTH=80 man -l " + q(LEAFTURN_MAN_PAGE) + " 2>&1", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NE(shown.find("leafturn - rotate pages of PDF files"), std::string::npos) << shown;
  }
}
