// SPDX-License-Identifier: MIT
// The information dictionary read for tools: its top-level entries, the
// string values decoded as readers decode text strings. Values of other
// kinds (numbers, names, arrays, dictionaries) are stepped over.
#include "facts/doc_info.h"

#include "write/appended_update.h"
#include "facts/json_text.h"
#include "decode/security.h"

#include <cstring>
#include <vector>

#include "syntax/dict_walk.h"
#include "syntax/value.h"

namespace lt {

namespace {

void put_utf8(std::string &out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr unsigned long k_replacement = 0xFFFD;

// PDFDocEncoding where it differs from Latin-1: 0x18..0x1F and 0x80..0xA0
// (0 where a byte has no character).
constexpr unsigned short k_doc_low[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9,
                                         0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr unsigned short k_doc_high[33] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

unsigned long pdfdoc_char(u8 c) {
  if (c >= 0x18 && c <= 0x1F) return k_doc_low[c - 0x18];
  if (c >= 0x80 && c <= 0xA0) return k_doc_high[c - 0x80] ? k_doc_high[c - 0x80] : k_replacement;
  if (c == 0xAD) return k_replacement;
  return c;
}

std::string from_utf16be(const std::string &s, size_t from) {
  std::string out;
  for (size_t i = from; i + 1 < s.size(); i += 2) {
    unsigned long c = (static_cast<u8>(s[i]) << 8) | static_cast<u8>(s[i + 1]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < s.size()) {
      const unsigned long lo = (static_cast<u8>(s[i + 2]) << 8) | static_cast<u8>(s[i + 3]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        put_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    put_utf8(out, (c >= 0xD800 && c <= 0xDFFF) ? k_replacement : c);
  }
  if ((s.size() - from) % 2) put_utf8(out, k_replacement);  // a lone last byte
  return out;
}

// Valid UTF-8 passes; each byte of an invalid sequence becomes U+FFFD.
std::string checked_utf8(const std::string &s, size_t from) {
  std::string out;
  for (size_t i = from; i < s.size();) {
    const u8 c = static_cast<u8>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                            : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n > 1 && i + n <= s.size()) {
      for (size_t k = 1; k < n; ++k)
        if ((static_cast<u8>(s[i + k]) & 0xC0) != 0x80) n = 0;
      const u8 d = n ? static_cast<u8>(s[i + 1]) : 0;
      if (n >= 3 && ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) ||
                     (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F)))
        n = 0;
    } else if (n > 1) {
      n = 0;
    }
    if (n == 0) {
      put_utf8(out, k_replacement);
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out;
}

// The string value at i: direct, or an object that holds one ("N G R");
// in an encrypted file, decrypted with the key of the object that holds it
// (`num`, `gen` for a direct one). False when it cannot be read.
bool string_value(const doc &d, const u8 *b, i32 i, i32 limit, i32 num_in, i32 gen_in,
                  std::string *out) {
  if (string_bytes(b, i, limit, out) >= 0) return readable_string(d.sec, num_in, gen_in, out);
  i32 num = 0;
  const span v = resolved(d, span{b, i, limit}, &num);
  if (!v || num <= 0) return false;
  const i32 s = skip_space(v.b, v.start, v.limit);
  const i32 e = string_bytes(v.b, s, v.limit, out);
  return e >= 0 && skip_space(v.b, e, v.limit) == v.limit && readable_string(d.sec, num, d.find(num)->gen, out);
}

}  // namespace

const std::string *doc_info::find(const std::string &key) const {
  for (const auto &e : entries)
    if (e.first == key) return &e.second;
  return nullptr;
}

std::string text_string_to_utf8(const std::string &s) {
  if (s.size() >= 2 && static_cast<u8>(s[0]) == 0xFE && static_cast<u8>(s[1]) == 0xFF)
    return from_utf16be(s, 2);
  if (s.size() >= 3 && static_cast<u8>(s[0]) == 0xEF && static_cast<u8>(s[1]) == 0xBB &&
      static_cast<u8>(s[2]) == 0xBF)
    return checked_utf8(s, 3);
  std::string out;
  for (const char c : s) put_utf8(out, pdfdoc_char(static_cast<u8>(c)));
  return out;
}

doc_info describe_info(const document &loaded) {
  doc_info info;
  const lt::doc &d = loaded.d;
  const obj_rec *o = d.info_num >= 0 ? d.find(d.info_num) : nullptr;
  const span v = o ? object_content(d, *o) : span();
  if (!v) return info;
  const u8 *b = v.b;
  i32 i = skip_space(b, v.start, v.limit);
  if (i + 1 >= v.limit || b[i] != '<' || b[i + 1] != '<') return info;
  info.present = true;
  std::string value;
  for_each_entry(b, i, v.limit, [&](const dict_entry &e) {
    if (string_value(d, b, e.from, e.to, o->num, o->gen, &value) && !info.find(e.name))
      info.entries.emplace_back(checked_utf8(e.name, 0), text_string_to_utf8(value));
  });
  return info;
}

namespace {

// Where a name stands in one object's text: through the scanning context in
// the file image (its lists answer at once), plainly in an object stream
// member's body.
struct object_names {
  document &loaded;
  span text;
  i32 find(pdf_name name, i32 from) const {
    if (text.b == loaded.d.data.get()) return loaded.lex.next_name(name, from, text.limit);
    return find_name(text.b, text.limit, from, text.limit, text_of(name));
  }
  // The value after the name at w: [from, to) of one value, or false.
  bool value(i32 w, pdf_name name, i32 *from, i32 *to) const {
    *from = skip_space(text.b, w + 1 + static_cast<i32>(std::strlen(text_of(name))), text.limit);
    *to = value_end(text.b, *from, text.limit);
    return *to >= 0;
  }
};

}  // namespace

namespace {

// What a reference leads to here: the live object's dictionary range.
span live_dict(const doc &d, i32 num) {
  const obj_rec *o = num > 0 ? d.find(num) : nullptr;
  return o ? dict_span(d, *o) : span();
}

// The dictionary a value stands for: itself when it is one, else the
// object it refers to. Empty when neither.
span dict_of(document &loaded, const span &in, i32 from, i32 to) {
  return dict_value(loaded.d, span{in.b, from, to}, live_dict);
}

// The value after the first /name in the dictionary t, or an empty span.
span value_of(document &loaded, const span &t, pdf_name name, i32 *from, i32 *to) {
  const object_names names{loaded, t};
  const i32 w = names.find(name, t.start);
  if (w < 0 || !names.value(w, name, from, to)) return span();
  return t;
}

// The object numbers an array value (or an object holding one) lists.
std::vector<i32> references_in(document &loaded, const span &t, i32 from, i32 to) {
  std::vector<i32> out;
  // Direct, or an array in an object of its own.
  const span a = resolved(loaded.d, span{t.b, from, to});
  if (!a) return out;
  i32 i = skip_space(a.b, a.start, a.limit);
  const i32 end = a.limit;
  if (i >= end || a.b[i] != '[') return out;
  for (++i;;) {
    i = skip_space(a.b, i, end);
    if (i >= end || a.b[i] == ']') return out;
    const i32 v = value_end(a.b, i, end);
    if (v < 0) return out;
    const i32 r = reference_value(a.b, i, v);
    if (r > 0) out.push_back(r);
    i = v;
  }
}

}  // namespace

encryption_facts describe_encryption(const document &loaded) {
  encryption_facts f;
  const encryption &sec = loaded.d.sec;
  if (!sec.present) return f;
  f.present = true;
  f.method = method_name(sec);
  f.revision = sec.r;
  f.key_bits = sec.key_bits;
  f.password_needed = sec.password_needed;
  f.key_known = sec.key_known;
  f.owner = sec.owner;
  for (const permission &p : k_permissions) f.permissions.emplace_back(p.name, permits(sec, p.bit));
  return f;
}

signature_facts describe_signatures(document &loaded) {
  signature_facts f;
  const lt::doc &d = loaded.d;
  const obj_rec *cat = d.root_num >= 0 ? d.find(d.root_num) : nullptr;
  const span catalog = cat ? dict_span(d, *cat) : span();
  if (!catalog) return f;
  i32 from = 0, to = 0;
  if (value_of(loaded, catalog, pdf_name::Perms, &from, &to)) {
    const span perms = dict_of(loaded, catalog, from, to);
    f.certified = perms && object_names{loaded, perms}.find(pdf_name::DocMDP, perms.start) >= 0;
  }
  // The fields of the form, walked from /AcroForm /Fields down their /Kids;
  // /FT is inherited.
  if (!value_of(loaded, catalog, pdf_name::AcroForm, &from, &to)) return f;
  const span form = dict_of(loaded, catalog, from, to);
  if (!form || !value_of(loaded, form, pdf_name::Fields, &from, &to)) return f;
  std::vector<std::pair<i32, bool>> stack;  // (field, inherits /FT /Sig)
  for (const i32 r : references_in(loaded, form, from, to)) stack.emplace_back(r, false);
  std::vector<char> seen(static_cast<size_t>(d.max_num()) + 1, 0);
  while (!stack.empty()) {
    const auto [num, inherited] = stack.back();
    stack.pop_back();
    if (num > d.max_num() || seen[static_cast<size_t>(num)]) continue;
    seen[static_cast<size_t>(num)] = 1;
    const obj_rec *o = d.find(num);
    const span field = o ? dict_span(d, *o) : span();
    if (!field) continue;
    bool sig = inherited;
    if (value_of(loaded, field, pdf_name::FT, &from, &to)) sig = is_name_value(field.b, from, to, "Sig");
    if (sig && value_of(loaded, field, pdf_name::V, &from, &to)) {
      const span v = dict_of(loaded, field, from, to);
      const object_names names{loaded, v};
      if (v && names.find(pdf_name::ByteRange, v.start) >= 0 &&
          names.find(pdf_name::Contents, v.start) >= 0)
        ++f.signatures;
    }
    if (value_of(loaded, field, pdf_name::Kids, &from, &to))
      for (const i32 r : references_in(loaded, field, from, to)) stack.emplace_back(r, sig);
  }
  return f;
}

std::string document_facts_json(document &loaded) {
  const doc_info info = describe_info(loaded);
  const signature_facts sig = describe_signatures(loaded);
  std::string no_update;
  const bool updatable = update_possible(loaded, &no_update);
  const encryption_facts e = describe_encryption(loaded);
  std::string s = "\"info\": ";
  if (!info.present) {
    s += "null";
  } else {
    s += "{";
    for (size_t k = 0; k < info.entries.size(); ++k)
      s += (k ? ", " : "") + json_string(info.entries[k].first) + ": " + json_string(info.entries[k].second);
    s += "}";
  }
  s += ", \"signatures\": " + std::to_string(sig.signatures) +
       ", \"certified\": " + (sig.certified ? "true" : "false") +
       ", \"update\": " + (updatable ? std::string("true") : json_string(no_update)) +
       ", \"encryption\": ";
  if (!e.present) return s + "null";
  s += "{\"method\": " + json_string(e.method) + ", \"revision\": " + std::to_string(e.revision) +
       ", \"key_bits\": " + std::to_string(e.key_bits) +
       ", \"password_needed\": " + (e.password_needed ? "true" : "false") +
       ", \"opened_with\": " + (!e.key_known ? "null" : e.owner ? "\"owner\"" : "\"user\"") +
       ", \"permissions\": {";
  for (size_t k = 0; k < e.permissions.size(); ++k)
    s += (k ? ", " : "") + json_string(e.permissions[k].first) + ": " +
         (e.permissions[k].second ? "true" : "false");
  return s + "}}";
}

}  // namespace lt
