// SPDX-License-Identifier: MIT
// leafturn: the command-line tool. It parses the command line, then hands
// files to the core (job.cpp), one at a time or to worker threads
// (batch.cpp). Exit status: 0 success, 1 a file failed, 2 usage.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "batch.h"
#include "job.h"
#include "json.h"
#include "leafturn.h"
#include "core.h"

namespace {

const char k_usage[] =
    "usage: leafturn info [--json] [--password PW | --password-file F] FILE...\n"
    "       leafturn rotation [--password PW | --password-file F] FILE PAGE\n"
    "       leafturn rotate IN OUT TURN [CHOICE]... [TURN [CHOICE]...]...\n"
    "       leafturn rotate (--in-place | --out-dir DIR) TURN [CHOICE]...\n"
    "                       [TURN [CHOICE]...]... [--jobs N] [--json]\n"
    "                       [--progress | --no-progress] PATH...\n"
    "       (rotate also takes --incremental | --full, --force, and --password PW\n"
    "       or --password-file F)\n"
    "       leafturn --version | --help | COMMAND --help\n";

const char k_help_info[] =
    "leafturn info [--json] [--password PW | --password-file F] FILE...\n"
    "  FILE - reads standard input.\n"
    "  Prints each file's page count; the document information the file\n"
    "  carries (title, author, subject, keywords, creator, producer, created\n"
    "  and modified, dates as the file writes them: D:YYYYMMDDHHmmSS); and, for\n"
    "  every page, its rotation, where the rotation comes from (own, inherited\n"
    "  or none), its displayed size in points (the crop box, else the media\n"
    "  box, turned by the rotation) and its orientation (landscape, portrait\n"
    "  or square), and which way its text runs as displayed (text: up, right,\n"
    "  down, left, or none when it has fewer than 30 glyphs or no two thirds\n"
    "  of them agree), with the glyph count; under it, a line for each image\n"
    "  the page shows (size in pixels, bits, colours, last filter, the\n"
    "  resolution it shows at and the share of the page it covers).\n"
    "  Then the signatures it holds (and whether it is certified) and whether\n"
    "  an update can be appended to it (rotate --incremental), or why not.\n"
    "  An encrypted file also shows its encryption (method, revision, whether\n"
    "  it needs a password) and the permissions it grants.\n"
    "  --password PW       the password of an encrypted file (tried as its user\n"
    "                      and then as its owner password); files whose user\n"
    "                      password is empty need none\n"
    "  --password-file F   the password from the first line of file F, so that\n"
    "                      it need not stand on a command line\n"
    "  --json  one JSON object per file, one line each:\n"
    "          {\"file\", \"pages\", \"info\", \"signatures\", \"certified\",\n"
    "           \"update\" (true or the reason), \"encryption\" (null, or\n"
    "           {\"method\", \"revision\", \"key_bits\", \"password_needed\",\n"
    "           \"opened_with\" (\"user\", \"owner\" or null), \"permissions\"\n"
    "           ({\"print\": true, ...})}), \"text_budget_reached\", \"page\":\n"
    "           [{\"number\", \"rotation\", \"own\", \"inherited\", \"width\",\n"
    "           \"height\", \"orientation\", \"text_direction\", \"glyphs\",\n"
    "           \"images\": [{\"name\", \"object\", \"width\", \"height\", \"bits\",\n"
    "           \"colors\", \"colorspace\", \"mask\", \"decode\", \"filter\",\n"
    "           \"filters\", \"dpi\", \"dpi_x\", \"dpi_y\", \"coverage\",\n"
    "           \"corners\"}]}]},\n"
    "          null where absent; \"info\" holds every text entry of the\n"
    "          information dictionary by its key (\"Title\", \"Author\", ...);\n"
    "          {\"file\", \"error\"} for a file that cannot be read.\n";

const char k_help_rotation[] =
    "leafturn rotation [--password PW | --password-file F] FILE PAGE\n"
    "  Prints the effective rotation (0..359) of one page (1-based): its own\n"
    "  /Rotate, else the one it inherits. FILE - reads standard input.\n"
    "  Encrypted files are read as info reads them:\n"
    "  --password PW       the password of an encrypted file (tried as its user\n"
    "                      and then as its owner password); files whose user\n"
    "                      password is empty need none\n"
    "  --password-file F   the password from the first line of file F\n";

const char k_help_rotate[] =
    "leafturn rotate IN OUT TURN [CHOICE]... [TURN [CHOICE]...]...\n"
    "leafturn rotate (--in-place | --out-dir DIR) TURN [CHOICE]... [options] PATH...\n"
    "\n"
    "TURN, one of:\n"
    "  --by D      turn clockwise by D: 90, 180, 270, -90, -180 or -270\n"
    "              (-90 is 270); --degrees D is the same\n"
    "  --to D      each chosen page ends at D: 0, 90, 180 or 270, whatever it had\n"
    "  --upright   each chosen page ends at the rotation that shows its text\n"
    "              upright, read from its text layer (no OCR); a page without\n"
    "              enough text keeps its rotation (info shows each page's text)\n"
    "Several TURNs run in order, each on the pages that the CHOICEs after it\n"
    "choose; later turns build on earlier ones (a page chosen by two turns\n"
    "turns twice): --by 90 --pages odd --by -90 --pages even. Every TURN but\n"
    "the last needs a CHOICE after it.\n"
    "\n"
    "CHOICE, the pages a TURN turns (every page when none is given):\n"
    "  --pages LIST    comma-separated items:\n"
    "                    N      page N (1-based)     z    the last page\n"
    "                    rN     the N-th page from the end (r1 is z)\n"
    "                    A-B    pages A to B, in either direction (3-1, r3-z)\n"
    "                    odd, even\n"
    "                    xITEM  takes ITEM's pages out of what came before\n"
    "  --landscape     only pages displayed wider than high\n"
    "  --portrait      only pages displayed higher than wide\n"
    "  A page that ends at the rotation it had does not count as turned; a\n"
    "  file in which no page turns is left as it is (copied unchanged to an\n"
    "  output path).\n"
    "\n"
    "Writing:\n"
    "  --incremental   append the turns to the file as an update: every byte of\n"
    "                  it stays, so signatures, earlier revisions and compression\n"
    "                  do too (refused when its cross-reference data does not\n"
    "                  match its objects)\n"
    "  --full          write a fresh file (what happens by default, except that a\n"
    "                  signed file gets an update, with a note on stderr)\n"
    "  --force         turn the pages of a certified file too (its certification\n"
    "                  forbids page changes; refused without this), and of an\n"
    "                  encrypted file whose permissions forbid it\n"
    "\n"
    "Encrypted files keep their encryption. Most need no password; one whose\n"
    "user password is not empty needs it only when it has object streams:\n"
    "  --password PW       tried as the user and then as the owner password (the\n"
    "                      owner password lifts the file's permissions)\n"
    "  --password-file F   the password from the first line of file F\n"
    "\n"
    "Pipes: IN - reads standard input, OUT - writes standard output (never a\n"
    "terminal; nothing else is written there, so not with --json).\n"
    "\n"
    "Many files (PATHs are files and folders, searched for *.pdf):\n"
    "  --in-place      replace each file (atomically: a failure leaves it whole)\n"
    "  --out-dir DIR   write each output under DIR at the same relative path\n"
    "  --jobs N        worker threads (default: the number of cores)\n"
    "  --json          one JSON line per file on stdout: \"file\", \"ok\", \"pages\",\n"
    "                  \"turned\", \"seconds\", \"mode\" (\"update\", \"full\" or\n"
    "                  \"unchanged\") when ok, \"error\" when not\n"
    "  --progress, --no-progress\n"
    "                  the progress line on stderr (default: on a terminal)\n"
    "\n"
    "Examples:\n"
    "  leafturn rotate in.pdf out.pdf --by 90\n"
    "  leafturn rotate in.pdf out.pdf --to 0 --pages 1-z,x3-5\n"
    "  leafturn rotate scan.pdf fixed.pdf --by 90 --pages odd --by -90 --pages even\n"
    "  leafturn rotate scan.pdf fixed.pdf --upright\n"
    "  leafturn rotate - - --by 90 < in.pdf > out.pdf\n"
    "  leafturn rotate scan.pdf scan.pdf --by 180 --pages even\n"
    "  leafturn rotate --in-place --to 90 --landscape --pages r2-z reports/\n"
    "  leafturn rotate --out-dir turned --by -90 --jobs 4 --json scans/ extra.pdf\n";

// The form of several turns in one run, for messages.
const char k_several_turns[] = "--by 90 --pages odd --by -90 --pages even";

bool is_terminal(std::FILE *f) {
#if defined(_WIN32)
  return _isatty(_fileno(f)) != 0;
#else
  return isatty(fileno(f)) != 0;
#endif
}

int usage_error(const std::string &why) {
  std::fprintf(stderr, "leafturn: %s\n%s", why.c_str(), k_usage);
  return 2;
}

bool parse_int(const std::string &s, long *out) {
  if (s.empty() || s.size() > 9) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = s[0] == '-' ? -v : v;
  return true;
}

// Splits "--name=value"; the value comes from the next argument otherwise.
struct arg_reader {
  std::vector<std::string> args;
  size_t i = 0;
  bool options_done = false;

  bool more() const { return i < args.size(); }
  const std::string &next() { return args[i++]; }
  // The value of the option just read ("--by 90" or "--by=90").
  bool value(const std::string &opt, const std::string &inline_value, bool has_inline,
             std::string *out, std::string *why) {
    if (has_inline) {
      *out = inline_value;
      return true;
    }
    if (!more()) {
      *why = opt + " needs a value";
      return false;
    }
    *out = next();
    return true;
  }
};

// ---- info ----------------------------------------------------------------------------

// The entries of the information dictionary that the text report shows,
// with their labels.
const std::pair<const char *, const char *> k_info_labels[] = {
    {"Title", "title"},     {"Author", "author"},     {"Subject", "subject"},
    {"Keywords", "keywords"}, {"Creator", "creator"}, {"Producer", "producer"},
    {"CreationDate", "created"}, {"ModDate", "modified"}};

// A value on one line of the text report: control characters become spaces.
std::string one_line(const std::string &v) {
  std::string s = v;
  for (char &c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

// "encryption: AES-128 (revision 4), no password needed" and the
// permissions line.
void print_encryption(const lt::encryption_facts &e) {
  if (!e.present) return;
  const char *how = !e.password_needed ? "no password needed"
                    : !e.key_known     ? "needs a password"
                    : e.owner          ? "opened with its owner password"
                                       : "opened with its user password";
  std::printf("encryption: %s (revision %d), %s\n", e.method.c_str(), e.revision, how);
  std::string yes, no;
  for (const auto &p : e.permissions) {
    std::string &list = p.second ? yes : no;
    list += (list.empty() ? "" : ", ") + p.first;
  }
  std::printf("permissions: %s%s\n", yes.empty() ? "none" : yes.c_str(),
              no.empty() ? "" : (" (not: " + no + ")").c_str());
}

int info_file(const std::string &path, bool json, bool several, const std::string *password) {
  lt::document loaded;
  lt::failure err;
  if (!cli::load_input(path, loaded, err, password)) {
    if (json) {
      std::printf("{\"file\": %s, \"error\": %s}\n", cli::json_string(path).c_str(),
                  cli::json_string(err.text()).c_str());
    } else {
      std::fprintf(stderr, "leafturn: %s\n", err.text());
    }
    return 1;
  }
  const std::vector<lt::page_facts> facts = lt::describe_pages(loaded);
  const lt::text_report text = lt::describe_text(loaded);
  lt::image_report images = lt::describe_images(loaded);
  for (size_t k = 0; k < facts.size(); ++k) lt::place_images(&images.pages[k], facts[k]);
  const lt::doc_info info = lt::describe_info(loaded);
  const lt::signature_facts sig = lt::describe_signatures(loaded);
  const std::string no_update = lt::update_refusal(loaded);
  const lt::encryption_facts enc = lt::describe_encryption(loaded);
  if (json) {
    std::string s = "{\"file\": " + cli::json_string(path) +
                    ", \"pages\": " + std::to_string(facts.size()) + ", " +
                    lt::document_facts_json(loaded) +
                    ", \"text_budget_reached\": " + (text.budget_reached ? "true" : "false") +
                    ", \"page\": [";
    for (size_t k = 0; k < facts.size(); ++k)
      s += (k ? ", " : "") +
           lt::page_facts_json(static_cast<int>(k + 1), facts[k], &text.pages[k], &images.pages[k]);
    std::printf("%s]}\n", s.c_str());
    return 0;
  }
  if (several) std::printf("%s:\n", path.c_str());
  std::printf("pages: %zu\n", facts.size());
  for (const auto &label : k_info_labels)
    if (const std::string *v = info.find(label.first); v && !v->empty())
      std::printf("%s: %s\n", label.second, one_line(*v).c_str());
  std::printf("signatures: %d%s\n", sig.signatures, sig.certified ? " (certified)" : "");
  std::printf("update: %s\n", no_update.empty() ? "possible" : ("not possible: " + no_update).c_str());
  print_encryption(enc);
  for (size_t k = 0; k < facts.size(); ++k) {
    const lt::page_facts &f = facts[k];
    const char *from = f.own >= 0 ? "own" : f.inherited >= 0 ? "inherited" : "none";
    std::printf("page %zu: %d %s", k + 1, static_cast<int>(f.rotation), from);
    if (f.box_known)
      std::printf(" %s x %s %s", cli::json_number(f.width).c_str(),
                  cli::json_number(f.height).c_str(), lt::orientation_name(f.orient));
    const lt::text_facts &t = text.pages[k];
    std::printf(" text: %s (%ld glyph%s)\n", lt::text_direction_name(t.direction), t.glyphs,
                t.glyphs == 1 ? "" : "s");
    int n = 0;
    for (const lt::image_record &r : images.pages[k])
      std::printf("  image %d: %ldx%ld, %d bit%s, %d colour%s%s, %s, %s dpi, covers %s%%\n", ++n,
                  r.width, r.height, r.bits, r.bits == 1 ? "" : "s", r.colors,
                  r.colors == 1 ? "" : "s", r.mask ? " (mask)" : r.object < 0 ? " (inline)" : "",
                  r.filters.empty() ? "unfiltered" : r.filters.back().c_str(),
                  cli::json_number(std::round(lt::image_dpi(r))).c_str(),
                  cli::json_number(std::round(r.coverage * 1000) / 10).c_str());
  }
  if (text.budget_reached)
    std::printf("text: reading stopped at the decoding budget; later pages show none\n");
  return 0;
}

// --password PW, --password-file F (or --password=PW, ...) at `name` with
// its value: true with *why empty when taken, true with *why set for a
// usage error, false when it is neither option.
bool password_option(arg_reader &a, const std::string &name, const std::string &inline_value,
                     bool has_inline, bool *have, std::string *password, std::string *why) {
  if (name != "--password" && name != "--password-file") return false;
  std::string v;
  if (!a.value(name, inline_value, has_inline, &v, why)) return true;
  if (*have) {
    *why = "give the password once (--password or --password-file)";
    return true;
  }
  *have = true;
  if (name == "--password") {
    *password = v;
    return true;
  }
  // The first line of the file, without its line end.
  std::FILE *f = lt::os_fopen(v.c_str(), "rb");
  if (!f) {
    *why = "cannot read the password file " + v;
    return true;
  }
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (1u << 16)) text.append(buf, n);
  const bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) {
    *why = "cannot read the password file " + v;
    return true;
  }
  const size_t end = text.find_first_of("\r\n");
  *password = text.substr(0, end);
  return true;
}

// Argument s of info or rotation when it is a password option, with its
// value inline (--password=PW) or next: as password_option.
bool password_arg(arg_reader &a, const std::string &s, bool *have, std::string *password,
                  std::string *why) {
  const size_t eq = s.find('=');
  const bool has_inline = eq != std::string::npos && s.compare(0, 2, "--") == 0;
  return password_option(a, s.substr(0, has_inline ? eq : s.size()),
                         has_inline ? s.substr(eq + 1) : "", has_inline, have, password, why);
}

int cmd_info(arg_reader &a) {
  bool json = false, have_password = false;
  std::string password, why;
  std::vector<std::string> files;
  while (a.more()) {
    const std::string s = a.next();
    if (!a.options_done && s == "--") a.options_done = true;
    else if (!a.options_done && password_arg(a, s, &have_password, &password, &why)) {
      if (!why.empty()) return usage_error(why);
    } else if (!a.options_done && s == "--json") json = true;
    else if (!a.options_done && (s == "--help" || s == "-h")) return std::printf("%s", k_help_info), 0;
    else if (!a.options_done && s.size() > 1 && s[0] == '-') return usage_error("unknown option " + s);
    else files.push_back(s);
  }
  if (files.empty()) return usage_error("info needs a FILE");
  if (std::count(files.begin(), files.end(), "-") > 1)
    return usage_error("- (standard input) can be read once");
  int status = 0;
  for (const std::string &f : files) {
    try {
      if (info_file(f, json, files.size() > 1, have_password ? &password : nullptr) != 0) status = 1;
    } catch (const std::bad_alloc &) {
      std::fprintf(stderr, "leafturn: %s: out of memory\n", f.c_str());
      status = 1;
    }
    std::fflush(stdout);
  }
  return status;
}

// ---- rotation ------------------------------------------------------------------------

// Prints the effective rotation of page `page` (1-based, at least 1) of a
// file loaded as info loads it: encrypted files too, with the password
// given (null: none), and every failure in info's words.
int rotation_of(const std::string &path, long page, const std::string *password) {
  lt::document loaded;
  lt::failure err;
  if (cli::load_input(path, loaded, err, password)) {
    lt::turn_plan plan(loaded);
    if (page <= plan.page_count()) {
      std::printf("%d\n", static_cast<int>(plan.rotation(static_cast<int>(page))));
      return 0;
    }
    lt::set_page_range_error(err, page, plan.page_count());
  }
  std::fprintf(stderr, "leafturn: %s\n", err.text());
  return 1;
}

int cmd_rotation(arg_reader &a) {
  bool have_password = false;
  std::string password, why;
  std::vector<std::string> pos;
  while (a.more()) {
    const std::string s = a.next();
    if (s == "--help" || s == "-h") return std::printf("%s", k_help_rotation), 0;
    if (password_arg(a, s, &have_password, &password, &why)) {
      if (!why.empty()) return usage_error(why);
    } else {
      pos.push_back(s);
    }
  }
  if (pos.size() != 2) return usage_error("rotation needs FILE and PAGE");
  long page;
  if (!parse_int(pos[1], &page) || page < 1) return usage_error("PAGE must be a positive number");
  try {
    return rotation_of(pos[0], page, have_password ? &password : nullptr);
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "leafturn: out of memory\n");
  } catch (...) {
    std::fprintf(stderr, "leafturn: internal error\n");
  }
  return 1;
}

// ---- rotate --------------------------------------------------------------------------

// What the rotate command was asked.
struct rotate_args {
  cli::turn_request req;
  cli::batch_options opt;
  bool have_out_dir = false, json = false;
  std::vector<std::string> pos;  // IN and OUT, or the PATHs of a batch
};

// A TURN or CHOICE option (--by, --degrees, --to, --pages, --landscape,
// --portrait) with its value; the usage error, or "".
std::string turn_option(const std::string &name, const std::string &v, cli::turn_request &req) {
  std::string why;
  if (name == "--by" || name == "--degrees" || name == "--to" || name == "--upright") {
    if (!req.steps.empty() && !req.steps.back().chosen())
      return "each TURN but the last needs the pages it turns after it, e.g. " +
             std::string(k_several_turns);
    req.steps.emplace_back();
    if (name == "--upright") {
      req.steps.back().turn = lt::upright_turn();
      return "";
    }
    long d;
    const bool to = name == "--to";
    if (!parse_int(v, &d) || !lt::make_turn(to, d, &req.steps.back().turn)) {
      // Named as typed: --by, --degrees or --to.
      lt::front_end names;
      names.by_option = names.to_option = name.c_str();
      return lt::turn_refusal(names, to, v);
    }
    return "";
  }
  if (req.steps.empty())
    return name + " chooses the pages of the TURN before it: " + std::string(k_several_turns);
  cli::turn_step &step = req.steps.back();
  if (name == "--pages") {
    if (step.has_list) return "give --pages once per TURN";
    if (!lt::parse_page_list(v, &step.list, &why)) return why;
    step.has_list = true;
    return "";
  }
  const auto only = name == "--landscape" ? lt::page_filter::landscape : lt::page_filter::portrait;
  if (step.only != lt::page_filter::any && step.only != only)
    return "--landscape and --portrait exclude each other";
  step.only = only;
  return "";
}

// Reads the command's arguments into *r: -1 to go on, else the exit status
// (help shown, or a usage error).
int read_rotate_args(arg_reader &a, rotate_args *r) {
  cli::turn_request &req = r->req;
  cli::batch_options &opt = r->opt;
  opt.jobs = static_cast<int>(std::thread::hardware_concurrency());
  if (opt.jobs < 1) opt.jobs = 1;
  std::string why;
  while (a.more()) {
    const std::string s = a.next();
    if (a.options_done || s.size() < 2 || s[0] != '-' || s == "-") {
      r->pos.push_back(s);
      continue;
    }
    if (s == "--") {
      a.options_done = true;
      continue;
    }
    const size_t eq = s.find('=');
    const std::string name = s.substr(0, eq);
    const bool has_inline = eq != std::string::npos;
    const std::string inline_value = has_inline ? s.substr(eq + 1) : "";
    std::string v;
    if (name == "--help" || name == "-h") {
      std::printf("%s", k_help_rotate);
      return 0;
    } else if (name == "--by" || name == "--degrees" || name == "--to" || name == "--pages") {
      if (!a.value(name, inline_value, has_inline, &v, &why)) return usage_error(why);
      why = turn_option(name, v, req);
      if (!why.empty()) return usage_error(why);
    } else if (name == "--landscape" || name == "--portrait" || name == "--upright") {
      why = turn_option(name, "", req);
      if (!why.empty()) return usage_error(why);
    } else if (name == "--incremental" || name == "--full") {
      const cli::write_mode m =
          name == "--full" ? cli::write_mode::full : cli::write_mode::incremental;
      if (req.mode != cli::write_mode::automatic && req.mode != m)
        return usage_error("--incremental and --full exclude each other");
      req.mode = m;
    } else if (name == "--force") {
      req.force = true;
    } else if (password_option(a, name, inline_value, has_inline, &req.has_password, &req.password,
                               &why)) {
      if (!why.empty()) return usage_error(why);
    } else if (name == "--in-place") {
      opt.in_place = true;
    } else if (name == "--out-dir") {
      if (!a.value(name, inline_value, has_inline, &v, &why)) return usage_error(why);
      if (v.empty()) return usage_error("--out-dir needs a folder");
      opt.out_dir = v;
      r->have_out_dir = true;
    } else if (name == "--jobs") {
      long n;
      if (!a.value(name, inline_value, has_inline, &v, &why)) return usage_error(why);
      if (!parse_int(v, &n) || n < 1 || n > 1024) return usage_error("--jobs takes a number from 1 to 1024");
      opt.jobs = static_cast<int>(n);
    } else if (name == "--json") {
      r->json = true;
    } else if (name == "--progress") {
      opt.progress = 1;
    } else if (name == "--no-progress") {
      opt.progress = 0;
    } else {
      return usage_error("unknown option " + s);
    }
  }
  if (req.steps.empty()) return usage_error("rotate needs a turn: --by D, --to D or --upright");
  if (opt.in_place && r->have_out_dir) return usage_error("--in-place and --out-dir exclude each other");
  opt.json = r->json;
  return -1;
}

int cmd_rotate(arg_reader &a) {
  rotate_args r;
  const int status = read_rotate_args(a, &r);
  if (status >= 0) return status;
  const std::vector<std::string> &pos = r.pos;
  if (r.opt.in_place || r.have_out_dir) {
    if (pos.empty()) return usage_error("rotate needs a PATH");
    for (const std::string &p : pos)
      if (cli::is_stdio(p)) return usage_error("- (standard input) takes one file: rotate - OUT TURN");
    return cli::run_batch(pos, r.req, r.opt);
  }
  if (pos.size() != 2) return usage_error("rotate needs IN and OUT (or --in-place or --out-dir)");
  if (cli::is_stdio(pos[1])) {
    if (r.json) return usage_error("--json writes to standard output, which OUT - takes");
    if (is_terminal(stdout))
      return usage_error("standard output is a terminal: redirect it (> out.pdf) or name OUT");
  }
  const cli::job_result res = cli::rotate_file(pos[0], pos[1], r.req);
  if (!res.note.empty()) std::fprintf(stderr, "leafturn: %s\n", res.note.c_str());
  if (r.json) std::printf("%s\n", cli::json_report(pos[0], res).c_str());
  if (!res.ok) {
    if (!r.json) std::fprintf(stderr, "leafturn: %s\n", res.error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int run(arg_reader &a);

#if defined(_WIN32)
// Windows hands the arguments over as UTF-16; the library takes UTF-8, and
// the console shows what the tool prints as UTF-8.
int wmain(int argc, wchar_t **argv) {
  SetConsoleOutputCP(CP_UTF8);
  arg_reader a;
  for (int i = 1; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &s[0], n, nullptr, nullptr);
    s.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    a.args.push_back(s);
  }
  return run(a);
}
#else
int main(int argc, char **argv) {
  arg_reader a;
  for (int i = 1; i < argc; ++i) a.args.emplace_back(argv[i]);
  return run(a);
}
#endif

int run(arg_reader &a) {
  if (!a.more()) return usage_error("a command is needed");
  const std::string cmd = a.next();
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::printf("%s\nleafturn COMMAND --help tells more.\n", k_usage);
    return 0;
  }
  if (cmd == "--version") {
    std::printf("leafturn %s\n", LEAFTURN_VERSION);
    return 0;
  }
  if (cmd == "info") return cmd_info(a);
  if (cmd == "rotation") return cmd_rotation(a);
  if (cmd == "rotate") return cmd_rotate(a);
  return usage_error("unknown command " + cmd);
}
