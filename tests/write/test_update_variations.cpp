// SPDX-License-Identifier: MIT
// Valid variations of one small file, each a habit of real writers: line
// ends of every kind, stream data and dictionaries running straight into
// their keywords, comments everywhere, cross-reference tables in pieces and
// with free entries, cross-reference streams with every predictor, zero
// widths and gaps, object streams with labelled members, hybrid files and
// earlier updates that reuse a freed number. qpdf finds each clean; each
// must take an appended update (and one more on that), with pdfinfo,
// mutool and the library's own query agreeing on the turns.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "pdf_builder.h"
#include "update_checks.h"

using testcli::pdfinfo_rotations;
using testcli::q;
using testcli::tool;
using testpdf::read_file;
using testpdf::temp_path;
using testpdf::write_temp;
using testupdate::check_update;
using testupdate::qpdf_check;

namespace {


enum class form { table, stream, hybrid };

// The habits a file is written with.
struct habits {
  std::string name;
  std::string eol = "\n";         // every line end the writer makes
  std::string entry_end = " \n";  // a table entry's last two bytes
  bool tight_endstream = false;   // data straight into "endstream" (/Length exact)
  bool tight_endobj = false;      // ">>endobj"
  bool comments = false;          // between objects and inside dictionaries
  bool space_before_xref = false; // blank lines between the last object and "xref"
  bool free_in_middle = false;    // a free entry among the objects in use
  bool subsections = false;       // the table in several subsections, one number left out
  form xref = form::table;
  bool objstm = false;            // the page tree in an object stream
  bool member_labels = false;     // each member after a comment naming it
  int predictor = 1;              // of the cross-reference stream
  int bpc = 8;                    // its bits per component (8 or 16)
  std::vector<int> w{1, 4, 2};    // its /W
  bool index_gaps = false;        // its /Index in pieces
  bool earlier_update = false;    // an update already appended, reusing a freed number
  int predictor_row = 0;          // the predictor's own row in bytes (0: the entries', -1: all)
  bool filter_null = false;       // the cross-reference stream says /Filter null
  bool keyword_comments = false;  // comments in dictionaries that name keywords
  std::string junk;               // bytes before the header (offsets count from it)
};

// Where an object is: in the file at an offset, or in an object stream.
struct place {
  bool in_stream = false;
  long long a = 0;  // offset, or the object stream's number
  int b = 0;        // generation, or the index in the stream
};

class writer {
 public:
  explicit writer(const habits &h) : h_(h) {
    out_ = "%PDF-1.5" + h.eol + "%\xE2\xE3\xCF\xD3" + h.eol;
  }

  void comment(const std::string &text) {
    if (h_.comments) out_ += "% " + text + h_.eol;
  }
  // The file as written, with its junk before the header: every offset in
  // it counts from the header.
  std::string bytes_with_junk() const { return h_.junk + out_; }
  // "N G obj", the dictionary or other value, "endobj".
  void object(int num, int gen, const std::string &value) {
    comment("object " + std::to_string(num));
    places_[num] = {false, static_cast<long long>(out_.size()), gen};
    out_ += std::to_string(num) + " " + std::to_string(gen) + " obj" + h_.eol + value +
            (h_.tight_endobj ? "" : h_.eol) + "endobj" + h_.eol;
  }
  void stream(int num, const std::string &entries, const std::string &data) {
    comment("stream " + std::to_string(num));
    places_[num] = {false, static_cast<long long>(out_.size()), 0};
    out_ += std::to_string(num) + " 0 obj" + h_.eol + "<<" + entries + " /Length " +
            std::to_string(data.size()) + ">>" + h_.eol + "stream" +
            (h_.eol == "\r" ? "\r\n" : h_.eol) + data + (h_.tight_endstream ? "" : h_.eol) +
            "endstream" + h_.eol + "endobj" + h_.eol;
  }
  // An object stream holding the members (number, dictionary) in order.
  void object_stream(int num, const std::vector<std::pair<int, std::string>> &members) {
    std::string head, body;
    for (size_t k = 0; k < members.size(); ++k) {
      head += std::to_string(members[k].first) + " " + std::to_string(body.size()) + " ";
      if (h_.member_labels)
        body += "%% Object stream: object " + std::to_string(members[k].first) + ", index " +
                std::to_string(k) + h_.eol;
      body += members[k].second + h_.eol;
      places_[members[k].first] = {true, num, static_cast<int>(k)};
    }
    head += h_.eol;
    stream(num, "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                    std::to_string(head.size()) + " /Filter /FlateDecode",
           testpdf::deflated(head + body));
  }
  void free_number(int num, int next_gen) { places_[num] = {false, -1, next_gen}; }

  // A classic table of the numbers given and its trailer.
  size_t table(const std::vector<int> &nums, const std::string &trailer) {
    if (h_.space_before_xref) out_ += h_.eol + " \t " + h_.eol + h_.eol;
    const size_t at = out_.size();
    out_ += "xref" + h_.eol;
    // Runs of consecutive numbers are subsections; with `subsections` each
    // run ends at every third number too.
    for (size_t k = 0; k < nums.size();) {
      size_t e = k + 1;
      while (e < nums.size() && nums[e] == nums[e - 1] + 1 && (!h_.subsections || (e - k) < 3)) ++e;
      out_ += std::to_string(nums[k]) + " " + std::to_string(e - k) + h_.eol;
      for (; k < e; ++k) out_ += entry(nums[k]);
    }
    out_ += "trailer" + h_.eol + "<<" + trailer +
            (h_.keyword_comments ? h_.eol + "% no stream here" + h_.eol : "") + ">>" + h_.eol;
    finish(at);
    return at;
  }
  // A cross-reference stream (object num) of the numbers given.
  size_t xref_stream(int num, const std::vector<int> &nums, const std::string &entries) {
    const size_t at = out_.size();
    places_[num] = {false, static_cast<long long>(at), 0};
    std::string rows;
    const int row = h_.w[0] + h_.w[1] + h_.w[2];
    for (int n : nums) {
      const place &p = places_.at(n);
      const long long t = p.in_stream ? 2 : p.a < 0 ? 0 : 1;
      const long long f2 = p.a < 0 ? 0 : p.a, f3 = p.b;
      std::string r;
      put(&r, h_.w[0], t);
      put(&r, h_.w[1], f2);
      put(&r, h_.w[2], f3);
      rows += r;
    }
    std::string index;
    for (size_t k = 0; k < nums.size();) {
      size_t e = k + 1;
      while (e < nums.size() && nums[e] == nums[e - 1] + 1 && (!h_.index_gaps || (e - k) < 2)) ++e;
      index += (index.empty() ? "" : " ") + std::to_string(nums[k]) + " " + std::to_string(e - k);
      k = e;
    }
    std::string parms;
    // The predictor's rows may be wider or narrower than the entries (the
    // data stays a whole number of them).
    const int prow = h_.predictor_row < 0  ? static_cast<int>(rows.size())
                     : h_.predictor_row > 0 ? h_.predictor_row
                                            : row;
    if (h_.predictor > 1)
      parms = " /DecodeParms << /Predictor " + std::to_string(h_.predictor) + " /Columns " +
              std::to_string(prow * 8 / h_.bpc) + " /BitsPerComponent " + std::to_string(h_.bpc) +
              " >>";
    out_ += std::to_string(num) + " 0 obj" + h_.eol;
    const std::string data = h_.filter_null ? rows : testpdf::deflated(predicted(rows, prow));
    const std::string said = h_.keyword_comments ? h_.eol + "% no stream here, no obj" + h_.eol : "";
    out_ += "<< /Type /XRef /W [" + std::to_string(h_.w[0]) + " " + std::to_string(h_.w[1]) +
            " " + std::to_string(h_.w[2]) + "] /Index [" + index + "]" + entries + said +
            (h_.filter_null ? " /Filter null" : " /Filter /FlateDecode") + parms + " /Length " +
            std::to_string(data.size()) + ">>" +
            h_.eol + "stream" + (h_.eol == "\r" ? "\r\n" : h_.eol) + data +
            (h_.tight_endstream ? "" : h_.eol) + "endstream" +
            h_.eol + "endobj" + h_.eol;
    return at;
  }
  void finish(size_t xref_at) {
    out_ += "startxref" + h_.eol + std::to_string(xref_at) + h_.eol + "%%EOF" + h_.eol;
  }
  size_t size() const { return out_.size(); }
  const std::string &bytes() const { return out_; }

 private:
  static void put(std::string *r, int width, long long v) {
    for (int k = width - 1; k >= 0; --k) r->push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
  }
  std::string entry(int num) const {
    char line[32];
    const auto it = places_.find(num);
    if (num == 0 || it == places_.end() || it->second.a < 0 || it->second.in_stream) {
      // Free: the list of free numbers is not kept; readers do not need it.
      const int gen = num == 0 ? 65535 : it != places_.end() ? it->second.b : 1;
      std::snprintf(line, sizeof line, "%010d %05d f", 0, gen);
    } else {
      std::snprintf(line, sizeof line, "%010lld %05d n", it->second.a, it->second.b);
    }
    return line + h_.entry_end;
  }
  // The rows with the stream's predictor applied.
  std::string predicted(const std::string &rows, int row) const {
    if (h_.predictor == 1) return rows;
    const size_t n = rows.size() / static_cast<size_t>(row);
    std::string out;
    auto at = [&](size_t r, long long k) -> int {
      return (k < 0) ? 0 : static_cast<unsigned char>(rows[r * static_cast<size_t>(row) + static_cast<size_t>(k)]);
    };
    for (size_t r = 0; r < n; ++r) {
      const int pixel = h_.bpc / 8;
      if (h_.predictor == 2 && pixel == 2) {  // 16-bit components, one pixel back
        for (int k = 0; k < row; k += 2) {
          const int v = at(r, k) << 8 | at(r, k + 1);
          const int l = k >= 2 ? (at(r, k - 2) << 8 | at(r, k - 1)) : 0;
          const int d = (v - l) & 0xFFFF;
          out.push_back(static_cast<char>(d >> 8));
          out.push_back(static_cast<char>(d));
        }
        continue;
      }
      if (h_.predictor == 2) {
        for (int k = 0; k < row; ++k) out.push_back(static_cast<char>(at(r, k) - at(r, k - 1)));
        continue;
      }
      // 10-14 name one filter for every row; 15 lets each row choose
      // (here: they take turns).
      const int filter = h_.predictor == 15 ? static_cast<int>(r % 5) : h_.predictor - 10;
      out.push_back(static_cast<char>(filter));
      for (int k = 0; k < row; ++k) {
        const int left = at(r, k - pixel), above = r ? at(r - 1, k) : 0,
                  corner = r ? at(r - 1, k - pixel) : 0;
        int pred = 0;
        if (filter == 1) pred = left;
        if (filter == 2) pred = above;
        if (filter == 3) pred = (left + above) / 2;
        if (filter == 4) {
          const int pa = std::abs(above - corner), pb = std::abs(left - corner),
                    pc = std::abs(left + above - 2 * corner);
          pred = (pa <= pb && pa <= pc) ? left : pb <= pc ? above : corner;
        }
        out.push_back(static_cast<char>(at(r, k) - pred));
      }
    }
    return out;
  }

  const habits &h_;
  std::string out_;
  std::map<int, place> places_;
};

// The file: a catalog (1), the page tree (2) over pages 3, 4, 6 and 7 (4
// at 90 degrees) sharing one content stream (8), the information (9); 5 is
// free or a plain object. With an object stream (10), the tree is in it;
// a cross-reference stream is object 11. An earlier update turns page 6 to
// 180, frees 9 and reuses its number, generation 1, for new information.
std::string make_file(const habits &h) {
  writer w(h);
  const std::string c = h.keyword_comments ? " % no stream, no obj\n"
                        : h.comments       ? " % a comment\n"
                                           : " ";
  const std::string page = "<< /Type /Page" + c + "/Parent 2 0 R /Contents 8 0 R";
  const std::vector<std::pair<int, std::string>> tree = {
      {2, "<< /Type /Pages /Kids [3 0 R 4 0 R 6 0 R 7 0 R]" + c + "/Count 4 /MediaBox [0 0 612 792] >>"},
      {3, page + " >>"},
      {4, page + " /Rotate 90 >>"},
      {6, page + " >>"},
      {7, page + ">>"}};
  w.object(1, 0, "<< /Type /Catalog" + c + "/Pages 2 0 R >>");
  const bool members = h.objstm && h.xref != form::table;
  if (members) w.object_stream(10, tree);
  else
    for (const auto &m : tree) w.object(m.first, 0, m.second);
  if (h.free_in_middle) w.free_number(5, 1);
  else w.object(5, 0, "(an unused string)");
  w.stream(8, "", "0 0 m 100 100 l S");
  w.object(9, 0, "<< /Title (Variations) /Producer (test) >>");
  std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  if (members) all.push_back(10);
  std::vector<int> listed = all;
  if (h.subsections) listed.erase(std::find(listed.begin(), listed.end(), 5));
  w.free_number(0, 65535);
  const std::string trailer_base = " /Root 1 0 R /Info 9 0 R /ID [<00112233445566778899AABBCCDDEEFF> <00112233445566778899AABBCCDDEEFF>]";
  size_t prev = 0;
  if (h.xref == form::table) {
    prev = w.table(listed, " /Size 10" + trailer_base);
  } else if (h.xref == form::stream) {
    all.push_back(11);
    listed.push_back(11);
    prev = w.xref_stream(11, listed, " /Size 12" + trailer_base);
    w.finish(prev);
  } else {
    // Hybrid: the table names the direct objects and leaves out the
    // members; the stream its /XRefStm names gives them.
    std::vector<int> in_stream, direct;
    for (int n : listed) (members && n >= 2 && n <= 7 && n != 5 ? in_stream : direct).push_back(n);
    const size_t stm = w.xref_stream(11, in_stream, " /Size 12");
    direct.push_back(11);
    prev = w.table(direct, " /Size 12" + trailer_base + " /XRefStm " + std::to_string(stm));
  }
  if (!h.earlier_update) return w.bytes_with_junk();
  // The earlier update, in the same form as the section before it.
  w.object(6, 0, page + " /Rotate 180 >>");
  w.free_number(9, 1);
  w.object(9, 1, "<< /Title (Variations, updated) >>");
  const std::string trailer = " /Root 1 0 R /Info 9 1 R /Prev " + std::to_string(prev) +
                              " /ID [<00112233445566778899AABBCCDDEEFF> <FFEEDDCCBBAA99887766554433221100>]";
  if (h.xref == form::stream) {
    const size_t at = w.xref_stream(12, {6, 9, 12}, " /Size 13" + trailer);
    w.finish(at);
  } else {
    w.table({0, 6, 9}, (h.xref == form::hybrid ? " /Size 12" : " /Size 10") + trailer);
  }
  return w.bytes_with_junk();
}

std::vector<habits> variations() {
  std::vector<habits> v;
  auto add = [&](const std::string &name, habits h) {
    h.name = name;
    v.push_back(h);
  };
  const std::map<std::string, std::string> eols = {{"lf", "\n"}, {"cr", "\r"}, {"crlf", "\r\n"}};
  for (const form f : {form::table, form::stream, form::hybrid}) {
    const std::string fname = f == form::table ? "table" : f == form::stream ? "stream" : "hybrid";
    for (const auto &e : eols) {
      habits h;
      h.xref = f;
      h.eol = e.second;
      h.objstm = f != form::table;
      add(fname + "-" + e.first, h);
      h.tight_endstream = true;
      add(fname + "-" + e.first + "-tight-endstream", h);
      h.tight_endstream = false;
      h.tight_endobj = true;
      add(fname + "-" + e.first + "-tight-endobj", h);
      h.tight_endobj = false;
      h.comments = true;
      add(fname + "-" + e.first + "-comments", h);
      h.comments = false;
      h.free_in_middle = true;
      add(fname + "-" + e.first + "-free-in-middle", h);
      h.free_in_middle = false;
      h.earlier_update = true;
      add(fname + "-" + e.first + "-earlier-update", h);
    }
  }
  for (const char *end : {" \r", "\r\n"}) {
    habits h;
    h.entry_end = end;
    add(std::string("table-entries-end-") + (end[0] == ' ' ? "sp-cr" : "cr-lf"), h);
  }
  {
    habits h;
    h.space_before_xref = true;
    add("table-space-before-xref", h);
    h.space_before_xref = false;
    h.subsections = true;
    add("table-subsections", h);
    h.free_in_middle = true;
    add("table-subsections-free-in-middle", h);
  }
  for (const bool objstm : {false, true}) {
    const std::string base = objstm ? "stream-objstm" : "stream-plain";
    for (int p : {1, 2, 10, 11, 12, 13, 14, 15}) {
      habits h;
      h.xref = form::stream;
      h.objstm = objstm;
      h.predictor = p;
      add(base + "-predictor-" + std::to_string(p), h);
    }
    for (const std::vector<int> &w : {std::vector<int>{1, 2, 0}, std::vector<int>{1, 3, 1},
                                      std::vector<int>{2, 4, 2}, std::vector<int>{1, 8, 2}}) {
      // A zero-width index would put every member first in its stream.
      if (objstm && w[2] == 0) continue;
      habits h;
      h.xref = form::stream;
      h.objstm = objstm;
      h.w = w;
      add(base + "-w-" + std::to_string(w[0]) + std::to_string(w[1]) + std::to_string(w[2]), h);
    }
    // Two bytes to a component (poppler does not read TIFF's that way:
    // that one is checked below against mutool alone).
    for (int p : {11, 14, 15}) {
      habits h;
      h.xref = form::stream;
      h.objstm = objstm;
      h.predictor = p;
      h.w = {2, 4, 2};
      h.bpc = 16;
      add(base + "-predictor-" + std::to_string(p) + "-16-bit", h);
    }
    habits h;
    h.xref = form::stream;
    h.objstm = objstm;
    h.index_gaps = true;
    add(base + "-index-in-pieces", h);
    h.free_in_middle = true;
    add(base + "-index-in-pieces-free-in-middle", h);
  }
  for (const form f : {form::stream, form::hybrid}) {
    habits h;
    h.xref = f;
    h.objstm = true;
    h.member_labels = true;
    add(std::string(f == form::stream ? "stream" : "hybrid") + "-labelled-members", h);
    h.eol = "\r\n";
    h.comments = true;
    add(std::string(f == form::stream ? "stream" : "hybrid") + "-labelled-members-crlf-comments", h);
  }
  // A predictor's rows of another width than the entries: the whole
  // table as one row (TIFF's, as some writers make it, and PNG's), or rows
  // of one byte.
  for (const auto &pr : std::vector<std::pair<int, int>>{{2, -1}, {15, -1}, {11, 1}, {12, 1}}) {
    for (const bool objstm : {false, true}) {
      habits h;
      h.xref = form::stream;
      h.objstm = objstm;
      h.predictor = pr.first;
      h.predictor_row = pr.second;
      add(std::string(objstm ? "stream-objstm" : "stream-plain") + "-predictor-" +
              std::to_string(pr.first) + (pr.second < 0 ? "-one-row" : "-rows-of-1"),
          h);
    }
  }
  for (const form f : {form::stream, form::hybrid}) {
    const std::string fname = f == form::stream ? "stream" : "hybrid";
    habits h;
    h.xref = f;
    h.objstm = true;
    h.filter_null = true;
    add(fname + "-filter-null", h);
    h.earlier_update = true;
    add(fname + "-filter-null-earlier-update", h);
  }
  for (const form f : {form::table, form::stream, form::hybrid}) {
    const std::string fname = f == form::table ? "table" : f == form::stream ? "stream" : "hybrid";
    habits h;
    h.xref = f;
    h.objstm = f != form::table;
    h.keyword_comments = true;
    add(fname + "-keywords-in-comments", h);
    h.keyword_comments = false;
    h.junk = "leading junk" + h.eol + h.eol;
    add(fname + "-junk-before-header", h);
    h.junk = "     \n";  // white space: the "startxref" value finds its section either way
    add(fname + "-space-before-header", h);
    h.junk = "junk\n";
    h.earlier_update = true;
    add(fname + "-junk-before-header-earlier-update", h);
  }
  // Every habit at once.
  for (const form f : {form::table, form::stream, form::hybrid}) {
    for (const auto &e : eols) {
      habits h;
      h.xref = f;
      h.eol = e.second;
      h.tight_endstream = h.tight_endobj = h.comments = h.free_in_middle = true;
      h.space_before_xref = f != form::stream;
      h.objstm = h.member_labels = f != form::table;
      h.predictor = 12;
      h.index_gaps = true;
      h.earlier_update = true;
      add(std::string("all-") + (f == form::table ? "table" : f == form::stream ? "stream" : "hybrid") +
              "-" + e.first,
          h);
    }
  }
  return v;
}

}  // namespace

TEST(UpdateVariations, EveryValidHabitOfWritersTakesAnUpdate) {
  const std::vector<habits> all = variations();
  ASSERT_GT(all.size(), 80u);
  // One variation's checks; a failed one goes on to the next variation.
  auto check = [](const habits &h) {
    const std::string in = write_temp("var-" + h.name + ".pdf", make_file(h));
    ASSERT_EQ(qpdf_check(in), 0) << "the variation itself must be clean: " << in;
    const std::vector<int> before = pdfinfo_rotations(in);
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(before[1], 90);
    EXPECT_EQ(before[2], h.earlier_update ? 180 : 0);
    const std::string once = temp_path("var-" + h.name + "-1.pdf");
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(once) + " --by 90 --pages 1-3 --incremental", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    check_update(in, once, h.xref == form::stream, h.junk.empty());
    std::vector<int> want = before;
    for (int k = 0; k < 3; ++k) want[static_cast<size_t>(k)] = (want[static_cast<size_t>(k)] + 90) % 360;
    EXPECT_EQ(pdfinfo_rotations(once), want);
    // The update's own section is read as well as the file's.
    const std::string twice = temp_path("var-" + h.name + "-2.pdf");
    tool("rotate " + q(once) + " " + q(twice) + " --to 0 --pages 2,4 --incremental", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    check_update(once, twice, h.xref == form::stream, h.junk.empty());
    want[1] = want[3] = 0;
    EXPECT_EQ(pdfinfo_rotations(twice), want);
    // A full rewrite of the same file reads back the same, in the library
    // too (members become plain objects that its own scan reads).
    const std::string full = temp_path("var-" + h.name + "-full.pdf");
    tool("rotate " + q(in) + " " + q(full) + " --by 90 --pages 1-3 --full", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(qpdf_check(full), 0);
    want = before;
    for (int k = 0; k < 3; ++k) want[static_cast<size_t>(k)] = (want[static_cast<size_t>(k)] + 90) % 360;
    EXPECT_EQ(pdfinfo_rotations(full), want);
    for (size_t k = 0; k < want.size(); ++k)
      EXPECT_EQ(leafturn_get_rotation(full.c_str(), static_cast<int>(k) + 1), want[k]) << k + 1;
    // The document information of the newest revision is kept.
    const std::string info = tool("info --json " + q(twice), &rc);
    EXPECT_NE(info.find(h.earlier_update ? "Variations, updated" : "\"Variations\""), std::string::npos)
        << info;
  };
  for (const habits &h : all) {
    SCOPED_TRACE(h.name);
    check(h);
  }
}

// The three habits that were refused before, each on its own.
namespace {

std::string update_of(const std::string &name, const std::string &bytes, int *rc,
                      std::string *err, const std::string &out_name = "") {
  const std::string in = write_temp(name + ".pdf", bytes);
  const std::string out = temp_path((out_name.empty() ? name : out_name) + "-out.pdf");
  tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 1 --incremental", rc, err);
  return out;
}

}  // namespace

TEST(UpdateVariations, StreamDataRunningIntoEndstreamIsEnded) {
  habits h;
  h.tight_endstream = true;
  const std::string bytes = make_file(h);
  ASSERT_NE(bytes.find("l Sendstream"), std::string::npos);
  int rc = -1;
  std::string err;
  const std::string out = update_of("tight-endstream", bytes, &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 90, 0, 0}));
  // A cross-reference stream's data may run into its "endstream" too.
  for (const form f : {form::stream, form::hybrid}) {
    habits x;
    x.xref = f;
    x.objstm = x.tight_endstream = true;
    const std::string xb = make_file(x);
    ASSERT_EQ(xb.find("\nendstream"), std::string::npos);
    const std::string xo = update_of(f == form::stream ? "tight-xref-stream" : "tight-hybrid", xb, &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(pdfinfo_rotations(xo), (std::vector<int>{90, 90, 0, 0}));
  }
  // Without its "endstream" the stream still has no end.
  std::string cut = bytes;
  cut.replace(cut.find("Sendstream"), 10, "S         ");  // offsets stay
  update_of("no-endstream", cut, &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("its last stream has no end"), std::string::npos) << err;
}

TEST(UpdateVariations, LabelledMembersAreWrittenFromTheirDictionary) {
  habits h;
  h.xref = form::stream;
  h.objstm = h.member_labels = true;
  int rc = -1;
  std::string err;
  const std::string in = write_temp("labelled.pdf", make_file(h));
  const std::string out = update_of("labelled", make_file(h), &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  const std::string added = read_file(out).substr(read_file(in).size());
  EXPECT_EQ(added.compare(0, 10, "3 0 obj\n<<"), 0) << added;
  EXPECT_EQ(added.find("%% Object stream"), std::string::npos);
  EXPECT_EQ(leafturn_get_rotation(out.c_str(), 1), 90);
  // The full rewrite writes every member, turned or not, the same way.
  const std::string full = temp_path("labelled-full.pdf");
  tool("rotate " + q(in) + " " + q(full) + " --by 90 --pages 1 --full", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(read_file(full).find("%% Object stream"), std::string::npos);
  EXPECT_EQ(leafturn_get_rotation(full.c_str(), 1), 90);
  EXPECT_EQ(leafturn_get_rotation(full.c_str(), 2), 90);
}

TEST(UpdateVariations, EveryPredictorTheFormatDefinesIsRead) {
  for (int p : {2, 10, 15}) {
    habits h;
    h.xref = form::stream;
    h.predictor = p;
    int rc = -1;
    std::string err;
    update_of("predictor-" + std::to_string(p), make_file(h), &rc, &err);
    EXPECT_EQ(rc, 0) << p << ": " << err;
  }
  {
    habits h;
    h.xref = form::stream;
    h.objstm = true;
    h.predictor = 2;
    h.w = {2, 4, 2};
    h.bpc = 16;
    int rc = -1;
    std::string err;
    const std::string out = update_of("predictor-2-16-bit", make_file(h), &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(testupdate::mutool_rotations(out), (std::vector<int>{90, 90, 0, 0}));
    EXPECT_EQ(qpdf_check(out), 0);
  }
  // Predictor values the format does not define stay refused.
  for (int p : {3, 16}) {
    habits h;
    h.xref = form::stream;
    h.predictor = 1;
    std::string bytes = make_file(h);
    const size_t at = bytes.rfind(" /Filter /FlateDecode /Length");
    bytes.insert(at + 21, " /DecodeParms << /Predictor " + std::to_string(p) + " /Columns 7 >>");
    int rc = -1;
    std::string err;
    update_of("predictor-" + std::to_string(p), bytes, &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.find("uses a predictor that is not read"), std::string::npos) << err;
  }
}

// Comments are not keywords: "stream" and "obj" in comments
// neither refuse an update nor lead it astray; a real object or stream
// without its end is still refused with a comment after it.
TEST(UpdateVariations, KeywordsInCommentsAreNotKeywords) {
  habits h;
  const std::string bytes = make_file(h);
  int rc = -1;
  std::string err;
  for (const char *tail : {"% stream\n", "% 12 0 obj\n", "% (a string) stream (obj\n"}) {
    const std::string out = update_of("comment-tail", bytes + tail, &rc, &err);
    ASSERT_EQ(rc, 0) << tail << err;
    EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 90, 0, 0})) << tail;
    EXPECT_EQ(qpdf_check(out), 0) << tail;
  }
  // A '%' inside a string starts no comment.
  update_of("string-percent", bytes + "9 0 obj\n(100%) stream\n", &rc, &err);
  EXPECT_EQ(rc, 1);
  update_of("open-object", bytes + "12 0 obj\n<</A 1>>\n% endobj\n", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("its last object has no end"), std::string::npos) << err;
}

// Offsets counted from a header that bytes stand before: the update counts
// its own the same way. A file that counts from its first byte keeps doing
// so, and one whose offsets fit neither way is refused as before.
TEST(UpdateVariations, BytesBeforeTheHeaderKeepTheFilesOwnCounting) {
  for (const form f : {form::table, form::stream}) {
    habits h;
    h.xref = f;
    h.junk = "leading junk\n\n";
    const std::string bytes = make_file(h);
    int rc = -1;
    std::string err;
    const std::string out = update_of("junk", bytes, &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    const std::string added = read_file(out).substr(bytes.size());
    const long long xref_at = std::atoll(added.substr(added.rfind("startxref\n") + 10).c_str());
    const long long header = static_cast<long long>(h.junk.size());
    // The new section stands where its "startxref" says, counted from the header.
    EXPECT_EQ(read_file(out).compare(static_cast<size_t>(xref_at + header), 4,
                                     f == form::table ? "xref" : "12 0"),
              0)
        << added;
    if (f == form::table) {
      const size_t entry = added.find("\n3 1\n") + 5;
      ASSERT_NE(entry, std::string::npos + 5) << added;
      const long long at = std::atoll(added.substr(entry, 10).c_str());
      EXPECT_EQ(read_file(out).compare(static_cast<size_t>(at + header), 8, "3 0 obj\n"), 0);
    }
    EXPECT_EQ(qpdf_check(out), 0);
    EXPECT_EQ(pdfinfo_rotations(out), (std::vector<int>{90, 90, 0, 0}));
  }
  // Its "startxref" counted from the file's start, its entries from the
  // header: no one way fits, and it is refused.
  habits h;
  std::string from_start = "leading junk\n\n" + make_file(h);
  int rc = -1;
  std::string err;
  const size_t x = from_start.rfind("\nxref\n") + 1;
  from_start.replace(from_start.rfind("startxref\n") + 10, std::string::npos,
                     std::to_string(x) + "\n%%EOF\n");
  update_of("junk-startxref-from-the-start", from_start, &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(err.find("does not match its objects"), std::string::npos) << err;
}

// ---- outputs kept -------------------------------------------------------------------

// Every input the suites know (the shared corpus beside the repository when
// it is there, the bundled corpus, the fuzz seeds and every generated
// variation), through every turn and write mode, info and the rotation
// query: the output's bytes, the messages and the exit status of each are
// recorded as a hash in tests/golden/outputs.txt, and a change to any of
// them fails here. A change meant to alter outputs rewrites the record:
//   LEAFTURN_WRITE_GOLDEN=1 build/tests/leafturn_cli_tests --gtest_filter=Outputs.*
// and the diff of tests/golden/outputs.txt shows which outputs it changed.
namespace {

std::uint64_t fnv1a(const std::string &s, std::uint64_t h = 1469598103934665603ull) {
  for (const char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

void write_file(const std::string &path, const std::string &bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

void replace_all(std::string *s, const std::string &from, const std::string &to) {
  for (size_t at = s->find(from); at != std::string::npos; at = s->find(from, at + to.size()))
    s->replace(at, from.size(), to);
}

std::vector<std::pair<std::string, std::string>> inputs_in(const std::string &dir,
                                                          const std::string &label) {
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream names(testpdf::run("ls " + q(dir) + " 2>/dev/null"));
  for (std::string n; std::getline(names, n);)
    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pdf") == 0)
      out.emplace_back(label + "/" + n, read_file(dir + "/" + n));
  return out;
}

}  // namespace

TEST(Outputs, EveryInputWritesWhatItWroteBefore) {
  const std::string golden_path = std::string(LEAFTURN_SOURCE_DIR) + "/tests/golden/outputs.txt";
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const auto &dir : {std::make_pair(std::string(LEAFTURN_SOURCE_DIR) + "/../shared/corpus", "shared"),
                          std::make_pair(std::string(LEAFTURN_SOURCE_DIR) + "/tests/corpus", "corpus"),
                          std::make_pair(std::string(LEAFTURN_SOURCE_DIR) + "/fuzz/seeds", "seeds")})
    for (auto &i : inputs_in(dir.first, dir.second)) inputs.push_back(std::move(i));
  for (const habits &h : variations()) inputs.emplace_back("var/" + h.name, make_file(h));
  ASSERT_GT(inputs.size(), 150u);

  const std::vector<std::string> turns = {"--by 90", "--to 0 --pages 1", "--upright"};
  const std::vector<std::string> modes = {"--full", "--incremental", ""};
  std::map<std::string, std::string> seen;  // "label case" -> hash
  const std::string in = temp_path("golden-in.pdf"), out = temp_path("golden-out.pdf");
  for (const auto &input : inputs) {
    write_file(in, input.second);
    auto record = [&](const std::string &what, const std::string &args, bool writes) {
      std::remove(out.c_str());
      int rc = -1;
      std::string err;
      std::string said = tool(args, &rc, &err) + "\x1f" + err + "\x1f" + std::to_string(rc);
      replace_all(&said, in, "IN");
      replace_all(&said, out, "OUT");
      std::uint64_t h = fnv1a(said);
      if (writes && testpdf::file_exists(out)) h = fnv1a(read_file(out), h);
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
      seen[input.first + " " + what] = hex;
    };
    record("info", "info --json " + q(in), false);
    record("rotation", "rotation " + q(in) + " 1", false);
    for (const std::string &t : turns)
      for (const std::string &m : modes)
        record("rotate " + t + (m.empty() ? "" : " " + m), "rotate " + q(in) + " " + q(out) + " " + t + " " + m, true);
  }
  std::string text;
  for (const auto &s : seen) text += s.first + " " + s.second + "\n";
  if (std::getenv("LEAFTURN_WRITE_GOLDEN")) {
    write_file(golden_path, text);
    return;
  }
  std::map<std::string, std::string> want;
  std::istringstream lines(read_file(golden_path));
  for (std::string line; std::getline(lines, line);) {
    const size_t sp = line.rfind(' ');
    if (sp != std::string::npos) want[line.substr(0, sp)] = line.substr(sp + 1);
  }
  ASSERT_FALSE(want.empty()) << "no record in " << golden_path;
  size_t differ = 0;
  for (const auto &s : seen) {
    const auto it = want.find(s.first);
    if (it == want.end()) {
      ADD_FAILURE() << s.first << ": not in the record (a new input or case: rewrite the record)";
      ++differ;
    } else if (it->second != s.second && ++differ <= 40) {
      ADD_FAILURE() << s.first << ": its output or messages changed";
    }
  }
  EXPECT_EQ(differ, 0u) << "outputs that differ from the record";
}
