// leafturn: command-line host for the library.
//   leafturn info FILE
//   leafturn rotation FILE PAGE
//   leafturn rotate IN OUT --degrees 90|180|270 [--pages LIST]
// Failures print the library's message on stderr and exit 1; usage errors
// exit 2.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loader.h"
#include "writer.h"
#include "leafturn.h"

namespace {

const char k_usage[] =
    "usage: leafturn info FILE\n"
    "       leafturn rotation FILE PAGE\n"
    "       leafturn rotate IN OUT --degrees 90|180|270 [--pages LIST]\n"
    "\n"
    "  info      print the page count and each page's rotation, one line a page\n"
    "  rotation  print the effective rotation of one page (1-based)\n"
    "  rotate    write OUT with pages turned clockwise by the given degrees;\n"
    "            LIST is comma-separated page numbers and ranges, e.g. 1,3,5-7\n"
    "            (every page when --pages is left out); OUT may name IN\n"
    "\n"
    "Exit status: 0 success, 1 the library failed (message on stderr), 2 usage.\n";

int usage_error(const char *why) {
  std::fprintf(stderr, "leafturn: %s\n%s", why, k_usage);
  return 2;
}

int fail() {
  std::fprintf(stderr, "leafturn: %s\n", leafturn_last_error());
  return 1;
}

bool parse_number(const std::string &s, int *out) {
  if (s.empty() || s.size() > 10) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  const long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (v > INT_MAX) return false;
  *out = static_cast<int>(v);
  return true;
}

// "1,3,5-7" -> {1, 3, 5, 6, 7}.
bool parse_pages(const char *text, std::vector<int> *pages) {
  std::string list(text);
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string item = list.substr(start, comma - start);
    const size_t dash = item.find('-');
    int a, b;
    if (dash == std::string::npos) {
      if (!parse_number(item, &a)) return false;
      b = a;
    } else if (!parse_number(item.substr(0, dash), &a) ||
               !parse_number(item.substr(dash + 1), &b) || b < a ||
               b - a > 10000000) {
      return false;
    }
    for (long long p = a; p <= b; ++p) pages->push_back(static_cast<int>(p));
    start = comma + 1;
  }
  return !pages->empty();
}

int cmd_info(const char *path) {
  try {
    lt::document doc;
    lt::failure err;
    if (lt::doc_load(path, doc, err) != 0) {
      std::fprintf(stderr, "leafturn: %s\n", err.text());
      return 1;
    }
    const lt::doc &d = doc.d;
    std::printf("pages: %d\n", static_cast<int>(d.pages.size()));
    for (size_t k = 0; k < d.pages.size(); ++k)
      std::printf("page %d: %d\n", static_cast<int>(k + 1),
                  static_cast<int>(lt::effective_rotation(d, doc.lex, d.pages[k])));
    lt::doc_free(doc);
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "leafturn: out of memory\n");
    return 1;
  }
  return 0;
}

int cmd_rotation(const char *path, const char *page_text) {
  int page;
  if (!parse_number(page_text, &page)) return usage_error("PAGE must be a positive number");
  const int r = leafturn_get_rotation(path, page);
  if (r < 0) return fail();
  std::printf("%d\n", r);
  return 0;
}

int cmd_rotate(int argc, char **argv) {
  const char *in = nullptr, *out = nullptr, *degrees_text = nullptr, *pages_text = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--degrees") == 0 && i + 1 < argc) {
      degrees_text = argv[++i];
    } else if (std::strcmp(argv[i], "--pages") == 0 && i + 1 < argc) {
      pages_text = argv[++i];
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      return usage_error("unknown or incomplete option");
    } else if (!in) {
      in = argv[i];
    } else if (!out) {
      out = argv[i];
    } else {
      return usage_error("too many arguments");
    }
  }
  if (!in || !out) return usage_error("rotate needs IN and OUT");
  int degrees;
  if (!degrees_text || !parse_number(degrees_text, &degrees) ||
      (degrees != 90 && degrees != 180 && degrees != 270))
    return usage_error("--degrees must be 90, 180 or 270");
  int ok;
  if (pages_text) {
    std::vector<int> pages;
    if (!parse_pages(pages_text, &pages)) return usage_error("bad --pages list");
    if (pages.size() > static_cast<size_t>(INT_MAX)) return usage_error("bad --pages list");
    ok = leafturn_pages(in, out, pages.data(), static_cast<int>(pages.size()), degrees);
  } else {
    ok = leafturn_all(in, out, degrees);
  }
  return ok ? 0 : fail();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(k_usage, stdout);
    return 0;
  }
  if (argc < 2) return usage_error("no command");
  const std::string cmd = argv[1];
  if (cmd == "info" && argc == 3) return cmd_info(argv[2]);
  if (cmd == "rotation" && argc == 4) return cmd_rotation(argv[2], argv[3]);
  if (cmd == "rotate") return cmd_rotate(argc - 2, argv + 2);
  return usage_error("unknown command or wrong number of arguments");
}
