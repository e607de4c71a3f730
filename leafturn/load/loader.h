// SPDX-License-Identifier: MIT
// The loader: file intake, then the stages that turn the file bytes into an
// index of live objects, a catalog and the ordered list of pages. Each stage
// reads the image through the load's scanning context. Only intake and the
// last stage can fail a load; the stages between skip what they cannot read.
#ifndef LEAFTURN_LOADER_H
#define LEAFTURN_LOADER_H

#include <memory>
#include <vector>

#include "doc.h"
#include "syntax/lex.h"

namespace lt {

// A loaded document with the scanning context of its bytes. One thread at a
// time uses it; different documents are independent.
struct document {
  document() = default;
  document(const document &) = delete;
  document &operator=(const document &) = delete;

  doc d;
  scan_ctx lex{d};
};

// How a front end asks for a document.
struct load_options {
  // Encrypted documents are read; otherwise they are refused ("encrypted
  // PDFs are not supported"), as the seven exports refuse them.
  bool encrypted = false;
  // A password, tried as the user's and then as the owner's (null: none;
  // the empty user password is always tried).
  const char *password = nullptr;
  // How the front end takes a password ("--password"), for messages that
  // point to it; null where it has none.
  const char *password_option = nullptr;
};

// Loads a file: intake, trailer chain, object scan, object streams, live
// selection, catalog and page tree. True on success; false with the
// message in err and the document emptied. Like every call that the front
// ends make into the core, it answers with a bool and the failure record.
bool doc_load(const char *path, document &loaded, failure &err,
              const load_options &how = load_options());
// The same stages on a copy of bytes in memory; messages name them `name`.
// More bytes than a file may have (k_max_file_size) are refused as a file
// of that size is.
bool doc_load_bytes(const u8 *bytes, size_t len, document &loaded, failure &err,
                    const char *name = "(memory)", const load_options &how = load_options());
// The same stages on bytes the document takes over (allocated with new[]),
// without a copy; messages name them `name`.
bool doc_load_owned(std::unique_ptr<u8[]> bytes, size_t len, document &loaded, failure &err,
                    const char *name = "(memory)", const load_options &how = load_options());
// Releases everything the document holds; its fields become zero.
void doc_free(document &loaded);

// ---- the stages, in the order they run -------------------------------------
//
// A stage's result follows the library's convention (doc.h): the tolerant
// stages, which skip what they cannot read and never end a load, return
// nothing (or what the next stage is handed); a stage that can end the
// load returns true, or false with its one message set in err. Nothing is
// printed and nothing is thrown, but std::bad_alloc, which the callers at
// the boundary turn into "out of memory".

// /Root, /Info, /ID and /Encrypt from the cross-reference chain.
void load_trailers(doc &d, scan_ctx &lex);
// Every object header becomes a record; dictionaries, stream data and
// "endobj" located; records inside stream data dropped.
void scan_objects(doc &d, scan_ctx &lex);
// When the chain could not be walked and no trailer keyword named
// /Encrypt, a cross-reference stream's dictionary that names it still
// marks the document encrypted (else its encrypted objects would be
// written as if they were plain), and gives the identifier its key needs.
void find_encryption_of_streams(doc &d, scan_ctx &lex);
// Objects of compressed object streams appended as records; returns the
// object streams themselves (indices of direct records, ascending).
std::vector<i32> expand_object_streams(doc &d, scan_ctx &lex);
// One record per object number survives (the object streams never do);
// by_num indexes them.
void select_live(doc &d, const std::vector<i32> &containers);
// The encryption, for a document whose trailer names /Encrypt, when the
// load reads encrypted documents (security.h).
// The refusals of documents the library cannot handle: no objects (not a
// PDF), encrypted (unless `encrypted` allows it; then an encryption that
// cannot be read). False with the message set.
bool refuse_unusable(const doc &d, const char *path, bool encrypted, failure &err);
// The catalog and the page list. False with the message set.
bool load_page_tree(doc &d, scan_ctx &lex, failure &err);

}  // namespace lt

#endif
