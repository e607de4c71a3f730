// SPDX-License-Identifier: MIT
// What a tool shows of the document as a whole: the entries of its
// information dictionary (title, author, dates and the like) as text.
#ifndef LEAFTURN_DOC_INFO_H
#define LEAFTURN_DOC_INFO_H

#include <string>
#include <utility>
#include <vector>

#include "load/loader.h"

namespace lt {

struct doc_info {
  bool present = false;  // the document has an information dictionary
  // Its entries whose values are strings (direct or through a reference),
  // in the dictionary's order, each key once: name and value as UTF-8.
  std::vector<std::pair<std::string, std::string>> entries;
  // The value of one key, or null.
  const std::string *find(const std::string &key) const;
};

doc_info describe_info(const document &loaded);

// Signatures: fields of /FT /Sig whose /V has /ByteRange and /Contents
// (document time stamps count), and whether the catalog's /Perms has
// /DocMDP (a certified document, whose certification forbids page changes).
struct signature_facts {
  int signatures = 0;
  bool certified = false;
};
signature_facts describe_signatures(document &loaded);

// Encryption: how the file is encrypted and what the password gave.
struct encryption_facts {
  bool present = false;
  std::string method;       // "RC4-40", "RC4-128", "AES-128", "AES-256"
  int revision = 0;         // /R
  int key_bits = 0;
  bool password_needed = false;  // the empty user password does not open it
  bool key_known = false;   // a password opened it
  bool owner = false;       // the owner password did
  // Every permission the tools name, in their order, and whether /P grants it.
  std::vector<std::pair<std::string, bool>> permissions;
};
encryption_facts describe_encryption(const document &loaded);

// The document's facts as JSON members, in this order: "info" (its text
// entries by key, or null), "signatures", "certified", "update" (true, or
// why no update can be appended) and "encryption" (null, or its method,
// revision, key bits, whether a password is needed, which one opened it,
// and the permissions by name). The command line's info --json and the C
// API's facts both write them.
std::string document_facts_json(document &loaded);

// A PDF text string as UTF-8: UTF-16BE after its byte order mark, UTF-8
// after its mark, else PDFDocEncoding. What cannot be decoded becomes
// U+FFFD.
std::string text_string_to_utf8(const std::string &bytes);

}  // namespace lt

#endif
