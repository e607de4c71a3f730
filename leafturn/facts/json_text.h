// SPDX-License-Identifier: MIT
// Writing JSON values: for the command line's reports and the document
// facts that the C API hands out.
#ifndef LEAFTURN_JSON_TEXT_H
#define LEAFTURN_JSON_TEXT_H

#include <cstdio>
#include <string>

namespace lt {

// A JSON string literal. Paths and messages are bytes: valid UTF-8 passes
// through, control characters are escaped, and a byte that is not part of
// valid UTF-8 becomes U+FFFD.
inline std::string json_string(const std::string &s) {
  std::string out = "\"";
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      // The length of a valid UTF-8 sequence starting here, or 0.
      size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
      if (len && i + len <= n) {
        for (size_t k = 1; k < len; ++k)
          if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) len = 0;
        if (len >= 3) {
          const unsigned char d = static_cast<unsigned char>(s[i + 1]);
          if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
              (c == 0xF4 && d > 0x8F))
            len = 0;
        }
      } else {
        len = 0;
      }
      if (len) {
        out.append(s, i, len);
        i += len;
      } else {
        out += "\xEF\xBF\xBD";
        ++i;
      }
    }
  }
  out += '"';
  return out;
}

// A number of points or seconds: integers without a fraction, others with
// as many digits as they need (at most 6 after the point).
inline std::string json_number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

}  // namespace lt

#endif
