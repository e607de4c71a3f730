// SPDX-License-Identifier: MIT
// The standard security handler (security.h).
#include "decode/security.h"

#include <algorithm>
#include <cstring>

#include "crypto.h"
#include "syntax/dict_walk.h"
#include "syntax/value.h"

namespace lt {

namespace {

// The 32 bytes that pad a password of revisions 2 to 4.
constexpr u8 k_pad[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                          0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                          0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

using bytes = std::vector<u8>;

bytes to_bytes(const std::string &s) { return bytes(s.begin(), s.end()); }

// What the encryption dictionary holds, as read.
struct dict_values {
  std::string filter, stm_f = "Identity", str_f = "Identity";
  long v = 0, r = 0, length = -1;
  bool has_p = false;
  long p = 0;
  bool encrypt_metadata = true;
  std::string o, u, oe, ue, perms;
  // The crypt filters of /CF: name, /CFM.
  std::vector<std::pair<std::string, std::string>> filters;
  bool has_cf = false;
};

// A signed integer that [from, to) holds as its only token, or false.
bool signed_value(const u8 *b, i32 from, i32 to, long *out) {
  i32 c = skip_space(b, from, to);
  if (c >= to || !(is_digit(b[c]) || b[c] == '-' || b[c] == '+')) return false;
  const bool neg = b[c] == '-';
  if (b[c] == '-' || b[c] == '+') ++c;
  if (c >= to || !is_digit(b[c])) return false;
  long long v = 0;
  while (c < to && is_digit(b[c])) {
    if (v < 100000000000LL) v = v * 10 + (b[c] - '0');
    ++c;
  }
  if (skip_space(b, c, to) != to) return false;
  // /P is a 32-bit value, written signed or unsigned.
  v = neg ? -v : v;
  if (v < -2147483648LL || v > 4294967295LL) return false;
  *out = static_cast<long>(v > 2147483647LL ? v - 4294967296LL : v);
  return true;
}

// The name that [from, to) holds ("/AESV2" gives "AESV2"), or false.
bool name_value(const u8 *b, i32 from, i32 to, std::string *out) {
  const i32 c = skip_space(b, from, to);
  if (c >= to || b[c] != '/') return false;
  return skip_space(b, name_text(b, c, to, out), to) == to;
}

// Where an object's dictionary stands among the records scanned so far:
// the last direct copy of number num, as live selection keeps it.
span object_dict(const doc &d, i32 num) {
  const obj_rec *found = nullptr;
  for (const obj_rec &o : d.objs)
    if (o.num == num && !o.in_objstm()) found = &o;
  if (!found || found->dict_off < 0) return span();
  span s;
  s.b = d.data;
  s.start = found->dict_off;
  s.limit = found->is_stream() ? found->stream_kw_off
                               : (found->endobj_off >= 0 ? found->endobj_off : d.len);
  return s;
}

// A value that may be a reference to a dictionary: the dictionary's span,
// references followed to the copies scanned so far (value.h).
span dict_value(const doc &d, const u8 *b, i32 from, i32 to) {
  return lt::dict_value(d, span{b, from, to}, object_dict);
}

// Reads the dictionary's entries; false when it is not a dictionary.
bool read_dict(const doc &d, span s, dict_values *out) {
  const u8 *b = s.b;
  const i32 open = skip_space(b, s.start, s.limit);
  const i32 end = for_each_entry(b, open, s.limit, [&](const dict_entry &e) {
    const std::string &k = e.name;
    std::string text;
    if (k == "Filter") name_value(b, e.from, e.to, &out->filter);
    else if (k == "StmF") name_value(b, e.from, e.to, &out->stm_f);
    else if (k == "StrF") name_value(b, e.from, e.to, &out->str_f);
    else if (k == "V") signed_value(b, e.from, e.to, &out->v);
    else if (k == "R") signed_value(b, e.from, e.to, &out->r);
    else if (k == "Length") signed_value(b, e.from, e.to, &out->length);
    else if (k == "P") out->has_p = signed_value(b, e.from, e.to, &out->p);
    else if (k == "EncryptMetadata") {
      const i32 c = skip_space(b, e.from, e.to);
      out->encrypt_metadata = !(e.to - c >= kw_len("false") && std::memcmp(b + c, "false", kw_len("false")) == 0);
    } else if (k == "O" || k == "U" || k == "OE" || k == "UE" || k == "Perms") {
      std::string *slot = k == "O" ? &out->o : k == "U" ? &out->u : k == "OE" ? &out->oe
                        : k == "UE" ? &out->ue : &out->perms;
      string_bytes(b, skip_space(b, e.from, e.to), e.to, slot);
    } else if (k == "CF") {
      const span cf = dict_value(d, b, e.from, e.to);
      if (!cf) return;
      out->has_cf = true;
      for_each_entry(cf.b, skip_space(cf.b, cf.start, cf.limit), cf.limit,
                     [&](const dict_entry &f) {
                       const span one = dict_value(d, cf.b, f.from, f.to);
                       std::string cfm = "None";
                       if (one)
                         for_each_entry(one.b, skip_space(one.b, one.start, one.limit), one.limit,
                                        [&](const dict_entry &g) {
                                          if (g.name == "CFM") name_value(one.b, g.from, g.to, &cfm);
                                        });
                       out->filters.emplace_back(f.name, cfm);
                     });
    }
  });
  return end >= 0 || open < s.limit;
}

// ---- the file key -------------------------------------------------------

// A password as the handler takes it: revisions 2 to 4 read it in
// PDFDocEncoding (Latin-1 where the UTF-8 text allows that), revisions 5
// and 6 as UTF-8, at most 127 bytes.
bytes password_bytes(const std::string &utf8, int r) {
  bytes out;
  if (r >= 5) {
    out.assign(utf8.begin(), utf8.begin() + static_cast<long>(std::min<size_t>(utf8.size(), 127)));
    return out;
  }
  for (size_t i = 0; i < utf8.size(); ++i) {
    const u8 c = static_cast<u8>(utf8[i]);
    if (c < 0x80) {
      out.push_back(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
               (static_cast<u8>(utf8[i + 1]) & 0xC0) == 0x80) {
      out.push_back(static_cast<u8>(((c & 0x03) << 6) | (static_cast<u8>(utf8[i + 1]) & 0x3F)));
      ++i;
    } else {
      return to_bytes(utf8);  // not Latin-1: the bytes as they are
    }
  }
  return out;
}

bytes padded(const bytes &pw) {
  bytes out(pw.begin(), pw.begin() + static_cast<long>(std::min<size_t>(pw.size(), 32)));
  for (size_t k = 0; out.size() < 32; ++k) out.push_back(k_pad[k]);
  return out;
}

struct handler {
  const dict_values &dv;
  const bytes id0;
  int r;
  size_t n;  // key length in bytes

  // The file key a user password gives (revisions 2 to 4).
  bytes key_from_user(const bytes &pw) const {
    md5 m;
    const bytes p = padded(pw);
    m.update(p.data(), 32);
    m.update(reinterpret_cast<const u8 *>(dv.o.data()), 32);
    const std::uint32_t pv = static_cast<std::uint32_t>(dv.p);
    const u8 pb[4] = {u8(pv), u8(pv >> 8), u8(pv >> 16), u8(pv >> 24)};
    m.update(pb, 4);
    m.update(id0.data(), id0.size());
    if (r >= 4 && !dv.encrypt_metadata) {
      const u8 ff[4] = {0xFF, 0xFF, 0xFF, 0xFF};
      m.update(ff, 4);
    }
    u8 h[16];
    m.final(h);
    if (r >= 3)
      for (int k = 0; k < 50; ++k) md5::hash(h, n, h);
    return bytes(h, h + n);
  }

  // Whether key is the one the user password of /U gives.
  bool user_key_matches(const bytes &key) const {
    u8 x[32];
    if (r == 2) {
      rc4 c(key.data(), key.size());
      c.apply(k_pad, x, 32);
      return std::memcmp(x, dv.u.data(), 32) == 0;
    }
    md5 m;
    m.update(k_pad, 32);
    m.update(id0.data(), id0.size());
    m.final(x);
    for (int i = 0; i < 20; ++i) {
      bytes k2 = key;
      for (u8 &c : k2) c = static_cast<u8>(c ^ i);
      rc4 c(k2.data(), k2.size());
      c.apply(x, x, 16);
    }
    return std::memcmp(x, dv.u.data(), 16) == 0;
  }

  // The user password that /O holds, decrypted with an owner password.
  bytes user_from_owner(const bytes &owner_pw) const {
    u8 h[16];
    const bytes p = padded(owner_pw);
    md5::hash(p.data(), 32, h);
    if (r >= 3)
      for (int k = 0; k < 50; ++k) md5::hash(h, 16, h);
    bytes x(dv.o.begin(), dv.o.begin() + 32);
    if (r == 2) {
      rc4 c(h, n);
      c.apply(x.data(), x.data(), 32);
      return x;
    }
    for (int i = 19; i >= 0; --i) {
      u8 k2[16];
      for (size_t j = 0; j < n; ++j) k2[j] = static_cast<u8>(h[j] ^ i);
      rc4 c(k2, n);
      c.apply(x.data(), x.data(), 32);
    }
    return x;
  }

  // Revisions 5 and 6: the hash of a password with a salt (and the 48
  // bytes of /U, for the owner).
  void hash(const bytes &pw, const u8 *salt, const u8 *udata, size_t ulen, u8 out[32]) const {
    sha256 s;
    s.update(pw.data(), pw.size());
    s.update(salt, 8);
    s.update(udata, ulen);
    u8 k[64];
    s.final(k);
    if (r == 5) {
      std::memcpy(out, k, 32);
      return;
    }
    size_t klen = 32;
    bytes k1, e;
    for (int round = 0;; ++round) {
      const size_t one = pw.size() + klen + ulen;
      k1.resize(one * 64);
      for (int rep = 0; rep < 64; ++rep) {
        u8 *p = k1.data() + one * static_cast<size_t>(rep);
        if (!pw.empty()) std::memcpy(p, pw.data(), pw.size());
        std::memcpy(p + pw.size(), k, klen);
        if (ulen) std::memcpy(p + pw.size() + klen, udata, ulen);
      }
      aes a;
      a.set_key(k, 16);
      u8 iv[16];
      std::memcpy(iv, k + 16, 16);
      e.resize(k1.size());
      a.cbc_encrypt(iv, k1.data(), e.data(), k1.size());
      unsigned sum = 0;
      for (int j = 0; j < 16; ++j) sum += e[static_cast<size_t>(j)];
      switch (sum % 3) {
        case 0: sha256::hash(e.data(), e.size(), k); klen = 32; break;
        case 1: sha512::hash384(e.data(), e.size(), k); klen = 48; break;
        default: sha512::hash(e.data(), e.size(), k); klen = 64; break;
      }
      if (round >= 63 && e.back() <= static_cast<unsigned>(round - 31)) break;
    }
    std::memcpy(out, k, 32);
  }

  // The file key of revisions 5 and 6 from a password: as the user's when
  // `owner` is false, else as the owner's. Empty when it does not match.
  bytes aes256_key(const bytes &pw, bool owner) const {
    const u8 *u = reinterpret_cast<const u8 *>(dv.u.data());
    const u8 *o = reinterpret_cast<const u8 *>(dv.o.data());
    const u8 *check = owner ? o : u;
    const u8 *udata = owner ? u : nullptr;
    const size_t ulen = owner ? 48 : 0;
    u8 h[32];
    hash(pw, check + 32, udata, ulen, h);
    if (std::memcmp(h, check, 32) != 0) return bytes();
    hash(pw, check + 40, udata, ulen, h);
    const std::string &wrapped = owner ? dv.oe : dv.ue;
    aes a;
    a.set_key(h, 32);
    u8 iv[16] = {};
    bytes key(32);
    a.cbc_decrypt(iv, reinterpret_cast<const u8 *>(wrapped.data()), key.data(), 32);
    return key;
  }
};

// The first string of the file identifier, or empty.
bytes first_id(const doc &d) {
  std::string s;
  if (d.trailer_id_from < 0) return bytes();
  const i32 at = skip_space(d.data, d.trailer_id_from + 1, d.trailer_id_to);
  if (string_bytes(d.data, at, d.trailer_id_to, &s) < 0) return bytes();
  return to_bytes(s);
}

void damaged(doc &d, const char *path, const std::string &why) {
  d.sec.problem = std::string(path) + " is encrypted, but its encryption dictionary is damaged (" +
                  why + ")";
}

// The method a crypt filter's name stands for; false for a name /CF does not
// define or a method not read.
bool filter_method(const dict_values &dv, const std::string &name, crypt_method *m,
                   std::string *why) {
  if (name == "Identity") {
    *m = crypt_method::identity;
    return true;
  }
  for (const auto &f : dv.filters) {
    if (f.first != name) continue;
    if (f.second == "V2") *m = crypt_method::rc4;
    else if (f.second == "AESV2") *m = crypt_method::aes128;
    else if (f.second == "AESV3") *m = crypt_method::aes256;
    else if (f.second == "None" || f.second == "Identity") *m = crypt_method::identity;
    else {
      *why = "its crypt filter /" + name + " uses the method /" + f.second + ", which is not read";
      return false;
    }
    return true;
  }
  *why = "it names the crypt filter /" + name + ", which /CF does not define";
  return false;
}

}  // namespace

bool permits(const encryption &sec, std::uint32_t bit) {
  if (sec.r == 2) {
    // Revision 2 has four bits; the later ones follow them.
    if (bit == (1u << 11)) bit = 1u << 2;
    else if (bit == (1u << 10)) bit = 1u << 3;
    else if (bit == (1u << 8)) bit = 1u << 5;
    else if (bit == (1u << 9)) bit = 1u << 4;
  }
  return (sec.p & bit) != 0;
}

bool permits_turning(const encryption &sec) { return permits(sec, 1u << 10); }

std::string method_name(const encryption &sec) {
  const crypt_method m = sec.streams != crypt_method::identity ? sec.streams : sec.strings;
  switch (m) {
    case crypt_method::rc4: return "RC4-" + std::to_string(sec.key_bits);
    case crypt_method::aes128: return "AES-128";
    case crypt_method::aes256: return "AES-256";
    default: return "none";
  }
}

std::string needs_password_message(const std::string &shown, const char *option) {
  std::string text = shown + " needs its password to be read";
  if (option) text += std::string(" (give it with ") + option + ")";
  return text;
}

void read_security(doc &d, const char *path, const char *password) {
  encryption &sec = d.sec;
  sec = encryption();
  sec.present = true;
  span s;
  if (d.encrypt_from >= 0) s = span{d.data, d.encrypt_from, d.encrypt_to};
  else if (d.encrypt_num > 0) s = object_dict(d, d.encrypt_num);
  dict_values dv;
  if (!s || !read_dict(d, s, &dv)) {
    sec.problem = std::string(path) + " is encrypted, but its encryption dictionary is missing";
    return;
  }
  sec.handler = dv.filter;
  if (dv.filter != "Standard") {
    sec.problem = std::string(path) + " is encrypted with the handler /" +
                  (dv.filter.empty() ? std::string("(none)") : dv.filter) +
                  ", which is not supported (only the standard password handler is)";
    return;
  }
  sec.v = static_cast<int>(dv.v);
  sec.r = static_cast<int>(dv.r);
  sec.encrypt_metadata = dv.encrypt_metadata;
  if (dv.v != 1 && dv.v != 2 && dv.v != 4 && dv.v != 5)
    return damaged(d, path, "/V " + std::to_string(dv.v) + " is not a version that is read");
  if (dv.r < 2 || dv.r > 6)
    return damaged(d, path, "/R " + std::to_string(dv.r) + " is not a revision that is read");
  if (!dv.has_p) return damaged(d, path, "/P is missing");
  sec.p = static_cast<std::uint32_t>(dv.p);
  const int r = sec.r;
  const size_t hash_len = r >= 5 ? 48 : 32;
  if (dv.o.size() < hash_len) return damaged(d, path, "/O is missing or short");
  if (dv.u.size() < hash_len) return damaged(d, path, "/U is missing or short");
  if (r >= 5) {
    if (dv.oe.size() < 32) return damaged(d, path, "/OE is missing or short");
    if (dv.ue.size() < 32) return damaged(d, path, "/UE is missing or short");
    if (r == 6 && dv.perms.size() < 16) return damaged(d, path, "/Perms is missing or short");
  }

  // The methods and the key's length.
  std::string why;
  if (dv.v == 4 || dv.v == 5) {
    if (!dv.has_cf && (dv.stm_f != "Identity" || dv.str_f != "Identity"))
      return damaged(d, path, "/V " + std::to_string(dv.v) + " without /CF");
    if (!filter_method(dv, dv.stm_f, &sec.streams, &why) ||
        !filter_method(dv, dv.str_f, &sec.strings, &why))
      return damaged(d, path, why);
    sec.key_bits = dv.v == 5 ? 256 : 128;
    for (const crypt_method m : {sec.streams, sec.strings}) {
      if ((m == crypt_method::aes256) != (dv.v == 5) && m != crypt_method::identity)
        return damaged(d, path, "its crypt filter's method does not match /V " + std::to_string(dv.v));
    }
  } else {
    sec.streams = sec.strings = crypt_method::rc4;
    const long bits = dv.length < 0 ? 40 : dv.length;
    if (dv.v == 1 && dv.length >= 0 && bits != 40)
      return damaged(d, path, "/Length " + std::to_string(bits) + " with /V 1, which has 40-bit keys");
    if (bits < 40 || bits > 128 || bits % 8 != 0)
      return damaged(d, path, "/Length " + std::to_string(bits) +
                                  " is not a key length in bits (40 to 128, a multiple of 8)");
    sec.key_bits = static_cast<int>(bits);
  }
  if (r == 2) sec.key_bits = 40;
  if ((r >= 5) != (sec.key_bits == 256))
    return damaged(d, path, "/R " + std::to_string(r) + " does not go with /V " + std::to_string(dv.v));

  handler h{dv, first_id(d), r, static_cast<size_t>(sec.key_bits / 8)};
  const bytes empty;
  auto try_user = [&](const bytes &pw, bytes *key) {
    if (r >= 5) {
      *key = h.aes256_key(pw, false);
      return !key->empty();
    }
    *key = h.key_from_user(pw);
    return h.user_key_matches(*key);
  };
  auto try_owner = [&](const bytes &pw, bytes *key) {
    if (r >= 5) {
      *key = h.aes256_key(pw, true);
      return !key->empty();
    }
    return try_user(h.user_from_owner(pw), key);
  };
  bytes key, owner_key;
  bool user_ok = false, owner_ok = false;
  const bytes given = password ? password_bytes(password, r) : empty;
  user_ok = try_user(given, &key);
  owner_ok = try_owner(given, &owner_key);
  if (!password) sec.password_needed = !user_ok && !owner_ok;
  else if (!user_ok && !owner_ok) {
    sec.problem = std::string("the password given does not open ") + path;
    sec.wrong_password = true;
    return;
  } else {
    bytes k0;
    sec.password_needed = !try_user(empty, &k0);
  }
  if (!user_ok && !owner_ok) return;  // no key: what needs none still works
  sec.key = user_ok ? key : owner_key;
  sec.owner = owner_ok;
  sec.key_known = true;
  if (r == 6) {
    // /Perms holds /P encrypted with the file key, and "adb" to check it.
    aes a;
    a.set_key(sec.key.data(), 32);
    u8 plain[16];
    a.decrypt_block(reinterpret_cast<const u8 *>(dv.perms.data()), plain);
    if (std::memcmp(plain + 9, "adb", kw_len("adb")) != 0) {
      sec.key_known = false;
      sec.key.clear();
      return damaged(d, path, "/Perms does not match its key");
    }
  }
}

namespace {

// The key of one object's strings and streams.
size_t object_key(const encryption &sec, crypt_method method, i32 num, i32 gen, u8 out[32]) {
  if (method == crypt_method::aes256) {
    std::memcpy(out, sec.key.data(), 32);
    return 32;
  }
  md5 m;
  m.update(sec.key.data(), sec.key.size());
  const u8 tail[9] = {u8(num), u8(num >> 8), u8(num >> 16), u8(gen), u8(gen >> 8),
                      's', 'A', 'l', 'T'};
  m.update(tail, method == crypt_method::aes128 ? 9 : 5);
  m.final(out);
  return std::min<size_t>(sec.key.size() + 5, 16);
}

}  // namespace

bool decrypt_bytes(const encryption &sec, crypt_method method, i32 num, i32 gen, const u8 *in,
                   size_t n, std::vector<u8> *out) {
  out->clear();
  if (method == crypt_method::identity) {
    out->assign(in, in + n);
    return true;
  }
  if (!sec.key_known) return false;
  u8 key[32];
  const size_t klen = object_key(sec, method, num, gen, key);
  if (method == crypt_method::rc4) {
    out->resize(n);
    rc4 c(key, klen);
    if (n) c.apply(in, out->data(), n);
    return true;
  }
  // AES: the initialisation vector, then whole blocks with their padding.
  // Nothing at all, or the vector alone, is an empty text.
  if (n == 0 || n == 16) return true;
  if (n < 32 || n % 16 != 0) return false;
  aes a;
  a.set_key(key, klen);
  u8 iv[16];
  std::memcpy(iv, in, 16);
  out->resize(n - 16);
  a.cbc_decrypt(iv, in + 16, out->data(), n - 16);
  const u8 pad = out->back();
  if (pad < 1 || pad > 16) return false;
  for (size_t k = out->size() - pad; k < out->size(); ++k)
    if ((*out)[k] != pad) return false;
  out->resize(out->size() - pad);
  return true;
}

bool encrypt_strings(const encryption &sec, i32 num, i32 gen, const u8 *text, size_t n,
                     std::string *out) {
  const crypt_method method = sec.strings;
  if (method == crypt_method::identity || !sec.key_known || n > 0x7FFFFFF0u) return false;
  const i32 len = static_cast<i32>(n);
  u8 key[32];
  const size_t klen = object_key(sec, method, num, gen, key);
  std::string result;
  i32 copied = 0;
  std::uint32_t place = 0;  // the string's place in the object, for its vector
  static const char digits[] = "0123456789ABCDEF";
  for (i32 i = 0; i < len;) {
    const u8 c = text[i];
    if (c == '%') {  // a comment runs to the line end
      const i32 e = comment_end(text, i, len);
      i = e < 0 ? len : e;
      continue;
    }
    if (c == '<' && i + 1 < len && text[i + 1] == '<') {
      i += 2;
      continue;
    }
    if (c != '(' && c != '<') {
      ++i;
      continue;
    }
    std::string plain;
    const i32 end = string_bytes(text, i, len, &plain);
    if (end < 0) {
      ++i;
      continue;
    }
    std::vector<u8> cipher;
    if (method == crypt_method::rc4) {
      cipher.assign(plain.begin(), plain.end());
      rc4 r(key, klen);
      if (!cipher.empty()) r.apply(cipher.data(), cipher.data(), cipher.size());
    } else {
      // The vector is made, not drawn: MD5 of the file key, the object and
      // the string's place, so that one input always gives one output.
      u8 iv[16];
      md5 m;
      m.update(sec.key.data(), sec.key.size());
      const u8 where[10] = {u8(num), u8(num >> 8), u8(num >> 16), u8(num >> 24), u8(gen),
                            u8(gen >> 8), u8(place), u8(place >> 8), u8(place >> 16), u8(place >> 24)};
      m.update(where, sizeof where);
      m.final(iv);
      const size_t padn = 16 - plain.size() % 16;
      cipher.assign(iv, iv + 16);
      cipher.insert(cipher.end(), plain.begin(), plain.end());
      cipher.insert(cipher.end(), padn, static_cast<u8>(padn));
      aes a;
      a.set_key(key, klen);
      a.cbc_encrypt(iv, cipher.data() + 16, cipher.data() + 16, cipher.size() - 16);
    }
    result.append(reinterpret_cast<const char *>(text + copied), static_cast<size_t>(i - copied));
    result += '<';
    for (const u8 v : cipher) {
      result += digits[v >> 4];
      result += digits[v & 15];
    }
    result += '>';
    copied = i = end;
    ++place;
  }
  if (place == 0) return false;
  result.append(reinterpret_cast<const char *>(text + copied), static_cast<size_t>(len - copied));
  *out = std::move(result);
  return true;
}

bool readable_string(const encryption &sec, i32 num, i32 gen, std::string *value) {
  if (!sec.present || sec.strings == crypt_method::identity) return true;
  std::vector<u8> plain;
  if (!decrypt_bytes(sec, sec.strings, num, gen, reinterpret_cast<const u8 *>(value->data()),
                     value->size(), &plain))
    return false;
  value->assign(plain.begin(), plain.end());
  return true;
}

}  // namespace lt
