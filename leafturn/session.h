// SPDX-License-Identifier: MIT
// A session: one document as the front ends that keep a document open use
// it (the document C API, the Python extension, the WebAssembly bridge),
// from its opening through its questions and turns to its saves. Each of
// them wraps this type thinly: what a request means and what it answers is
// decided here, once, so that the same request gets the same answer in
// every front end:
//  - opening a path or bytes, encrypted files with their password;
//  - a page's facts (one record, and its one JSON encoding), the
//    document's facts, the page grammar;
//  - turns by, to and upright over page numbers, a page list or every page,
//    optionally only landscape or portrait ones;
//  - saves: automatic (every front end's default: a fresh file, an update
//    for a signed document), incremental or full, with force; a certified
//    document is refused unless forced;
//  - statuses, and the one exception guard of the front ends.
// How each front end names its options in messages ("password=", "force:
// true") is given to the session; the messages' rules stay here.
#ifndef LEAFTURN_SESSION_H
#define LEAFTURN_SESSION_H

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "facts/doc_info.h"
#include "facts/page_info.h"
#include "facts/page_list.h"
#include "facts/text_direction.h"
#include "facts/turn_plan.h"
#include "load/loader.h"
#include "write/output.h"
#include "write/write_decision.h"

namespace lt {

// What a call on a session answers. The C API gives each its LEAFTURN_DOC_*
// number, Python an exception, JavaScript an error code.
enum class status {
  ok,
  failed,           // refused or impossible: a damaged file, a write error, ...
  bad_argument,     // a value the call does not take (a page list that does not parse, ...)
  out_of_range,     // a page number outside the document
  no_memory,
  password_needed,  // an encrypted file that needs its password
  password_wrong,   // the password given does not open it
};

// How messages name bytes that were given no name.
constexpr char k_memory_name[] = "(memory)";

// The messages of the exception guard.
constexpr char k_no_memory_message[] = "out of memory";
constexpr char k_internal_error_message[] = "internal error";

// The one exception guard of the front ends: runs work() (which returns a
// status) and turns what it throws into a status, handing the message to
// say(const char *): std::bad_alloc is no_memory ("out of memory"),
// anything else failed ("internal error").
template <typename Work, typename Say>
status guard(Work &&work, Say &&say) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc &) {
    say(k_no_memory_message);
    return status::no_memory;
  } catch (...) {
    say(k_internal_error_message);
    return status::failed;
  }
}

// How a front end names its ways of doing things, for messages that point
// to them: giving a password ("the password of leafturn_doc_open",
// "password=", "the password option"), forcing ("LEAFTURN_DOC_FORCE",
// "force=True", "force: true"), and its two turns ("by", "by=").
struct front_end {
  const char *password_option = nullptr;
  const char *force_option = nullptr;
  const char *by_option = "by";
  const char *to_option = "to";
};

// The save modes, numbered as every front end numbers them (leafturn_doc.h's
// LEAFTURN_DOC_AUTOMATIC, _INCREMENTAL and _FULL).
enum class save_mode { automatic = 0, incremental = 1, full = 2 };
// The mode numbered `number`; false for any other number.
bool save_mode_numbered(long long number, save_mode *mode);
// The mode of a binding's `incremental` option: absent (given false) is
// automatic, true incremental, false full.
save_mode save_mode_chosen(bool given, bool incremental);

// What a save wrote, numbered as leafturn_doc.h's LEAFTURN_DOC_WROTE_*.
enum class written { unchanged = 0, update = 1, full = 2 };
// "unchanged", "update" or "full".
const char *written_name(written w);

// "landscape" and "portrait" as page filters; false for any other name,
// which filter_refusal refuses, naming the option as the front end names it:
// 'only takes "landscape" or "portrait" (got square)'.
bool page_filter_named(const std::string &name, page_filter *only);
std::string filter_refusal(const std::string &option, const std::string &got);

// The message for a turn value the core does not take: "by takes 90, 180,
// 270, -90, -180 or -270 (got 45)", the turn named as the front end names
// it and the value as the caller gave it.
std::string turn_refusal(const front_end &names, bool absolute, const std::string &got);

// Which pages a turn turns: `count` page numbers at `numbers` (given when
// `listed` or either is set; none at all is no page), or the pages the page
// list `list` selects, or every page (neither); of them, with `only`, just
// the landscape or portrait ones.
// `refusal`: a front end's own refusal of the choice (an unknown filter
// value), said as a bad argument once the turn itself is known to be valid.
struct page_choice {
  bool listed = false;
  const int *numbers = nullptr;
  long long count = 0;
  const std::string *list = nullptr;
  page_filter only = page_filter::any;
  const char *refusal = nullptr;
};

// A page as it stands now, turns included: its facts and, when asked for,
// its text and the images it shows.
struct page_record {
  int number = 0;
  page_facts facts;
  bool has_text = false;
  text_facts text;
  std::vector<image_record> images;
};

class session {
 public:
  explicit session(const front_end &names);
  ~session();
  session(const session &) = delete;
  session &operator=(const session &) = delete;

  // Opening, once per session. password: null, or tried as the user's and
  // then as the owner's. A path names the document in messages; bytes are
  // named `name` (null: "(memory)"): copied, or taken over (new[]).
  status open_file(const char *path, const char *password);
  // The checks of an input that come before any reading: a null path, null
  // bytes with a length, more bytes than a file may have.
  status check_path(const char *path);
  status check_bytes(const u8 *bytes, size_t len, const char *name);
  status open_bytes(const u8 *bytes, size_t len, const char *name, const char *password);
  status open_owned(std::unique_ptr<u8[]> bytes, size_t len, const char *name,
                    const char *password);
  bool is_open() const { return plan_ != nullptr; }

  // Why the last call failed; "" after one that succeeded.
  const std::string &error() const { return error_; }
  // Makes a front end's own refusal of an argument this session's failure.
  status refuse(status s, const std::string &why);

  int page_count() const;
  // The same as a call: the last error emptied.
  status page_count(int *count);
  // Page `number`'s record, or out_of_range.
  status page(int number, bool with_text, page_record *out);
  // Its JSON object (page_facts_json), one page or every page as an array.
  status page_json(int number, bool with_text, std::string *out);
  status pages_json(bool with_text, std::string *out);
  // The document's facts as one JSON object: {"pages", then the members of
  // document_facts_json}.
  status facts_json(std::string *out);
  // Whether an automatic save appends an update to this document (a signed
  // one) rather than writing a fresh file.
  status updates_by_default(bool *out);

  // The pages a page list selects.
  status select(const std::string &list, std::vector<int> *pages);
  // The range message for a page number given as text (wider than int).
  status refuse_page(const std::string &number);

  // Turns, in memory; *changed (may be null) gets how many pages changed.
  status turn_by(long long degrees, const page_choice &which, int *changed);
  status turn_to(long long degrees, const page_choice &which, int *changed);
  status upright(const page_choice &which, int *changed);
  // The refusal of a turn value that is not a number (as the caller shows it).
  status refuse_turn(bool absolute, const std::string &got);

  // Decides what a save writes and plans it: *out (valid until the next
  // call on the session) and what it is. `force` turns a certified document
  // and one whose permissions forbid turning all the same.
  status plan_save(save_mode mode, bool force, const output **out, written *kind);
  // Saves to a path (replaced atomically). With `leave_same_file`, an
  // unchanged document whose path names the file it was read from is not
  // written at all.
  status save(const char *path, save_mode mode, bool force, written *kind,
              bool leave_same_file = false);
  // Saves into memory.
  status save_bytes(save_mode mode, bool force, std::string *bytes, written *kind);

 private:
  template <typename F>
  status run(F &&work);
  template <typename Load>
  status open_with(Load &&load, const char *name);
  status fail(status s, const failure &err);
  status turn_pages(const turn &t, const page_choice &which, int *changed);
  status plan_pages(const page_choice &which, std::vector<int> *list, const std::vector<int> **pages);

  front_end names_;
  document loaded_;
  std::unique_ptr<turn_plan> plan_;
  std::unique_ptr<write_decision> decision_;
  std::string name_;   // the document as messages name it
  std::string error_;  // the last failure's message
};

}  // namespace lt

#endif
