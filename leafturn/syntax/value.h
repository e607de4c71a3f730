// SPDX-License-Identifier: MIT
// Values of dictionaries, and what a reference leads to. One reader for
// "the value of /Key, direct or through a reference": the stream filters,
// the content reader, the security handler and the document information
// read entries through it.
//
// Rules: a dictionary's first top-level entry with the key counts; the
// keyword null stands for an absent value; a value that is a reference
// "N G R" (and nothing else) is followed once, to the text that a
// value_source gives for object N.
#ifndef LEAFTURN_VALUE_H
#define LEAFTURN_VALUE_H

#include "syntax/dict_walk.h"

namespace lt {

// The text a reference to object num leads to, empty when there is none.
// Each stage says which copy of an object counts and where its text
// starts: live_value is the one after live selection.
using value_source = span (*)(const doc &d, i32 num);
// The live object num's text: a stream's dictionary (from its "<<"), else
// its content (object_content).
span live_value(const doc &d, i32 num);

// Whether the name at i (a '/') is `key`, #xx escapes resolved; *end: past it.
bool name_is_key(const u8 *b, i32 i, i32 limit, const char *key, i32 *end);

// The value of the dictionary's first top-level /key, [from, to) from its
// first byte: dict.start is the dictionary's "<<" (white space before it is
// skipped). Empty when the key is missing, its value is null, or the
// dictionary is cut before it.
span entry_value(const span &dict, const char *key);

// A value followed through a reference: the value itself when it is not
// one; else the text `source` gives for the object, and its number in
// *num (0 for a direct value; num may be null). Empty for an empty value,
// null, or a reference that leads nowhere.
span resolved(const doc &d, const span &value, i32 *num = nullptr,
              value_source source = live_value);
// The live record a reference value names, or null (a direct value names
// none).
const obj_rec *referenced_record(const doc &d, const span &value);
// The dictionary a value holds or names: from its "<<" to the end of the
// text it stands in; empty when it is not one.
span dict_value(const doc &d, const span &value, value_source source = live_value);
// The array a value holds or names: just inside its brackets; empty when it
// is not one or it is not closed.
span array_value(const doc &d, const span &value, value_source source = live_value);

// The value after an own /Rotate whose '/' stands at pos (as the own-level
// search finds it): an integer, or a reference "N G R" to an object that
// holds one. The one reading of it: the rotation facts, the writers' edit
// of the entry and the update's check of what it wrote.
struct rotate_value {
  bool present = false;    // an integer follows the name (else the entry counts for nothing)
  i32 number = 0;          // that integer, in wrapping 32-bit arithmetic
  bool reference = false;  // it is a reference's object number
  i32 end = 0;             // past the integer, or past the reference's "R"
};
rotate_value rotate_value_at(const u8 *b, i32 limit, i32 pos);

}  // namespace lt

#endif
