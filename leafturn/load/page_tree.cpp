// SPDX-License-Identifier: MIT
// The last loader stage: refusals, the catalog, the root of the page tree
// and a depth-first walk that lists the pages in document order with the
// rotation each inherits. The walk keeps its own stack, so a deep tree never
// exhausts the call stack.
#include <algorithm>
#include <cstddef>

#include "load/loader.h"
#include "facts/rotation.h"

namespace lt {

namespace {

constexpr i32 k_kid_list_base = 4096;
// The page list holds at most as many entries as there can be objects; only
// /Pages nodes sharing one /Kids array could list more (billions, from a
// small file), and such a tree fails as if memory had run out.
constexpr size_t k_max_pages = static_cast<size_t>(k_max_obj_num) + 1;

// The first /name in [from, t.limit) of an object's text: through the
// context in the file image, plainly in an object stream member's body.
i32 name_in(scan_ctx &lex, const doc &d, const span &t, pdf_name name, i32 from) {
  if (t.b == d.data.get()) return lex.next_name(name, from, t.limit);
  return find_name(t.b, t.limit, from, t.limit, text_of(name));
}

i32 choose_catalog(const doc &d, scan_ctx &lex) {
  if (d.trailer_root >= 0 && d.find(d.trailer_root)) return d.trailer_root;
  for (const obj_rec &o : d.objs) {
    if (o.in_objstm() && o.body_len < 8) continue;
    const span t = object_text(d, o);
    if (t && name_in(lex, d, t, pdf_name::Catalog, t.start) >= 0) return o.num;
  }
  return 1;
}

// Object number of the page-tree root named by the catalog, or -1.
i32 pages_root(const doc &d, scan_ctx &lex, const obj_rec &cat) {
  const page_kind t = lex.page_type(cat);
  if (t == page_kind_page || t == page_kind_pages) return cat.num;
  const span text = object_text(d, cat);
  if (!text) return -1;
  const i32 len = text.b == d.data.get() ? d.len : text.limit;
  return number_after_key(
      text.b, len, "Pages", text.start, /*skip=*/0,
      [&](i32 at) { return name_in(lex, d, text, pdf_name::Pages, at); }, [](i32 v) { return v > 0; });
}

enum node_kind { node_page, node_fail, node_inline, node_empty, node_kids };

// What a walk of the tree gives besides a page count.
constexpr i32 k_broken_tree = -1;  // a loop, a missing or foreign object
constexpr i32 k_inline_kids = -2;  // the root's /Kids holds a dictionary

struct frame {
  std::vector<i32> kids;
  size_t next = 0;
  i32 rotate = 0;  // the node's rotation, passed down to its kids
  i32 node = -1;   // the node's index in doc.nodes
};

class walker {
 public:
  walker(doc &d, scan_ctx &lex)
      : d_(d), lex_(lex), visited_(static_cast<size_t>(d.max_num()) + 1, 0),
        type_(d.objs.size(), page_kind_undecided) {}

  // Set when the page list reached its limit.
  bool too_many = false;

  // Walks from the root: the number of pages listed (0 for none), or
  // k_broken_tree or k_inline_kids.
  i32 run(i32 root) {
    std::vector<frame> stack;
    frame top;
    switch (enter(root, 0, -1, &top)) {
      case node_page: return 1;
      case node_fail: return k_broken_tree;
      case node_inline: return k_inline_kids;
      case node_empty: return 0;
      case node_kids: break;
    }
    stack.push_back(std::move(top));
    while (!stack.empty()) {
      frame &f = stack.back();
      if (f.next == f.kids.size()) {
        stack.pop_back();
        continue;
      }
      const i32 k = f.kids[f.next++];
      const i32 idx = d_.find_index(k);
      if (idx < 0) return k_broken_tree;
      const page_kind t = type_of(idx);
      if (t == page_kind_page) {
        if (!add_page(k, f.rotate, f.node)) return k_broken_tree;
      } else if (t == page_kind_pages) {
        frame child;
        const node_kind kind = enter(k, f.rotate, f.node, &child);
        if (kind == node_fail || kind == node_inline) return k_broken_tree;
        if (kind == node_kids) stack.push_back(std::move(child));
      } else {
        return k_broken_tree;
      }
    }
    return static_cast<i32>(d_.pages.size());
  }

 private:
  page_kind type_of(i32 idx) {
    page_kind &t = type_[static_cast<size_t>(idx)];
    if (t == page_kind_undecided) t = lex_.page_type(d_.objs[static_cast<size_t>(idx)]);
    return t;
  }

  // One node with the rotation h it inherits (0..359), listed by the node
  // at index parent of doc.nodes.
  node_kind enter(i32 n, i32 h, i32 parent, frame *f) {
    const i32 idx = d_.find_index(n);
    if (idx < 0) return node_fail;
    const page_kind t = type_of(idx);
    if (t == page_kind_page) {
      if (!add_page(n, h, parent)) return node_fail;
      return node_page;
    }
    if (t != page_kind_pages) return node_fail;
    if (n <= d_.max_num()) {
      char &seen = visited_[static_cast<size_t>(n)];
      if (seen) return node_fail;
      seen = 1;
    }
    f->node = static_cast<i32>(d_.nodes.size());
    d_.nodes.push_back({n, parent});
    const obj_rec &o = d_.objs[static_cast<size_t>(idx)];
    const i32 size = o.in_objstm() ? o.body_len
                     : o.endobj_off > o.hdr_off ? o.endobj_off - o.hdr_off
                                                : 0;
    const size_t cap = static_cast<size_t>(k_kid_list_base) + static_cast<size_t>(size / 4);
    const span dict = dict_span(d_, o);
    if (!dict) return node_empty;
    const u8 *b = dict.b;
    const i32 limit = dict.limit;

    // The first /Kids followed by '['.
    i32 p = -1;
    for (i32 w = name_in(lex_, d_, dict, pdf_name::Kids, dict.start); w >= 0;
         w = name_in(lex_, d_, dict, pdf_name::Kids, w + 1)) {
      const i32 c = skip_pdf_ws(b, limit, w + kw_len("/Kids"));
      if (c < limit && b[c] == '[') {
        p = c + 1;
        break;
      }
    }
    if (p < 0) return node_empty;

    if (!kid_list(b, p, limit, cap, &f->kids)) return node_inline;
    if (f->kids.empty()) return node_empty;
    const i32 own = obj_rotate_own(d_, lex_, o);
    f->rotate = own >= 0 ? own : h;
    return node_kids;
  }

  // The first cap positive object numbers of the references in the /Kids
  // array whose '[' ends just before p; false when an inline dictionary
  // stands in it. /Pages nodes without "endobj" can all reach one array:
  // the last list read is kept and answers again for the same array.
  bool kid_list(const u8 *b, i32 p, i32 limit, size_t cap, std::vector<i32> *kids) {
    kid_cache &k = last_kids_;
    if (k.b != b || k.p != p || k.limit != limit || (k.cut && cap > k.list.size())) {
      k.b = b;
      k.p = p;
      k.limit = limit;
      k.inline_dict = false;
      k.cut = false;
      k.list.clear();
      p = skip_pdf_ws(b, limit, p);
      while (p < limit && b[p] != ']') {
        const u8 c = b[p];
        if (c == '<') {
          if (p + 1 < limit && b[p + 1] == '<') {
            k.inline_dict = true;
            break;
          }
          ++p;
        } else if (is_digit(c)) {
          i32 v = -1;
          p = listed_reference(b, limit, p, &v);
          if (v > 0) {
            if (k.list.size() < cap) k.list.push_back(v);
            else k.cut = true;
          }
        } else {
          ++p;
        }
      }
    }
    if (k.inline_dict) return false;
    kids->assign(k.list.begin(), k.list.begin() + static_cast<std::ptrdiff_t>(std::min(cap, k.list.size())));
    return true;
  }

  bool add_page(i32 num, i32 rotate, i32 parent) {
    if (d_.pages.size() >= k_max_pages) {
      too_many = true;
      return false;
    }
    d_.pages.push_back({num, rotate, parent});
    return true;
  }

  struct kid_cache {
    const u8 *b = nullptr;
    i32 p = -1, limit = -1;
    bool inline_dict = false;
    bool cut = false;  // more references followed than the list holds
    std::vector<i32> list;
  };

  doc &d_;
  scan_ctx &lex_;
  kid_cache last_kids_;
  std::vector<char> visited_;
  std::vector<page_kind> type_;  // per record, page_kind_undecided until asked
};

}  // namespace

bool refuse_unusable(const doc &d, const char *path, bool encrypted, failure &err) {
  if (d.objs.empty()) {
    err.set("no PDF objects found \xE2\x80\x94 not a PDF: %s", path);
    return false;
  }
  if (d.encrypted != 1) return true;
  if (!encrypted) {
    err.set("encrypted PDFs are not supported: %s", path);
    return false;
  }
  const obj_rec *dict = d.encrypt_num > 0 ? d.find(d.encrypt_num) : nullptr;
  if (dict && dict->in_objstm()) {
    err.set("%s keeps its encryption dictionary inside an object stream, where it cannot be read",
            path);
    return false;
  }
  if (!d.sec.problem.empty()) {
    err.set("%s", d.sec.problem.c_str());
    if (d.sec.wrong_password) err.set_kind(failure_kind::password_wrong);
    return false;
  }
  if (d.sec.damaged_stream >= 0) {
    err.set("%s has an object stream (obj %ld) whose encrypted data is damaged", path,
            static_cast<long>(d.sec.damaged_stream));
    return false;
  }
  return true;
}

bool load_page_tree(doc &d, scan_ctx &lex, failure &err) {
  d.root_num = choose_catalog(d, lex);
  d.info_num = (d.trailer_info >= 0 && d.find(d.trailer_info)) ? d.trailer_info : -1;

  const obj_rec *cat = d.find(d.root_num);
  const i32 root = cat ? pages_root(d, lex, *cat) : -1;
  if (root < 0) {
    err.set("catalog (obj %ld) has no /Pages reference", static_cast<long>(d.root_num));
    return false;
  }
  walker w(d, lex);
  const i32 r = w.run(root);
  if (w.too_many) {
    err.set("out of memory");
    return false;
  }
  if (r == k_inline_kids) {
    err.set("page tree uses inline page dictionaries in /Kids \xE2\x80\x94 pages must "
              "be indirect objects");
    return false;
  }
  if (r < 0) {
    err.set("could not resolve the page tree (obj %ld is not a /Pages or /Page "
              "object, or tree is broken)",
              static_cast<long>(root));
    return false;
  }
  if (r == 0) {
    err.set("document has no pages");
    return false;
  }
  return true;
}

}  // namespace lt
