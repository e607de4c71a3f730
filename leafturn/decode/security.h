// SPDX-License-Identifier: MIT
// Encrypted documents: the standard security handler's dictionary read
// (revisions 2 to 6: RC4 of 40 to 128 bits, AES-128, AES-256), the file key
// found from a password, and the decryption and encryption of one object's
// strings and stream data with it.
//
// What needs the key, and what does not: dictionaries, names and numbers
// are never encrypted, so a direct object copied under its own number and
// generation reads as before without it. Only object streams need it (their
// data is decrypted before it is decoded), and so does every object that
// comes out of one and is written as a plain object (its strings must then
// be encrypted). Without the key, object streams are not expanded.
#ifndef LEAFTURN_SECURITY_H
#define LEAFTURN_SECURITY_H

#include <string>
#include <vector>

#include "doc.h"
#include "syntax/lex.h"

namespace lt {

// The permission bits of /P that the tools name, in the order shown.
struct permission {
  const char *name;   // "print", "modify", ...
  std::uint32_t bit;  // its bit in /P (revisions 3 and later)
};
constexpr permission k_permissions[] = {
    {"print", 1u << 2},         {"print-high", 1u << 11},   {"modify", 1u << 3},
    {"assemble", 1u << 10},     {"annotate", 1u << 5},      {"fill-forms", 1u << 8},
    {"copy", 1u << 4},          {"accessibility", 1u << 9},
};
// Whether /P allows what `bit` names (revision 2 has only the four bits of
// printing, modifying, copying and annotating; the others follow them).
bool permits(const encryption &sec, std::uint32_t bit);
// Whether the file allows its pages to be turned: assembling (inserting,
// rotating and deleting pages), or, in revision 2, modifying.
bool permits_turning(const encryption &sec);
// The method's name ("RC4-40", "AES-128", ...) of the stream method (the
// string method where streams are not encrypted).
std::string method_name(const encryption &sec);

// Reads the encryption of a document whose trailer names /Encrypt, after
// the object scan and before object streams are expanded: its dictionary,
// then the file key from the empty user password, or from `password` (null:
// none given) as the user and then as the owner password. What cannot be
// read becomes d.sec.problem, the refusal, naming the file `path`.
void read_security(doc &d, const char *path, const char *password);

// The message that refuses a document whose object streams need the key
// that no password gave; `option` names the front end's way to give one
// (null: none).
std::string needs_password_message(const std::string &shown, const char *option);

// Decrypts one string or stream's data of object num, generation gen, with
// the method given; false when it is not well formed (AES data that is not
// whole blocks, or whose padding is wrong).
bool decrypt_bytes(const encryption &sec, crypt_method method, i32 num, i32 gen, const u8 *in,
                   size_t n, std::vector<u8> *out);

// The object's text with every string token encrypted for object num,
// generation gen, as hex strings; false (and out untouched) when it holds
// no string, so that it stands as it is. The same input always gives the
// same output: AES's initialisation vectors are made from the key, the
// object and the string's place in it.
bool encrypt_strings(const encryption &sec, i32 num, i32 gen, const u8 *text, size_t n,
                     std::string *out);

// A string value's bytes as the reader sees them: decrypted with the key
// of object num when the document is encrypted. False when it is
// encrypted and no key is known, or it does not decrypt.
bool readable_string(const encryption &sec, i32 num, i32 gen, std::string *bytes);

}  // namespace lt

#endif
