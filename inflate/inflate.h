// SPDX-License-Identifier: MIT
// A self-contained decoder for zlib-wrapped DEFLATE data.
#ifndef LEAFTURN_INFLATE_H
#define LEAFTURN_INFLATE_H

#include <cstddef>
#include <cstdint>

namespace lt {

// Decodes the zlib stream in[0, in_len) into out[0, out_cap).
// Returns 0 on success with *out_len the bytes produced: after the last block,
// or, when the DEFLATE data turns bad partway, the bytes decoded before that
// point. Returns -1 with *out_len 0 when the header is unusable, the input
// runs out, the output would exceed out_cap, or out_cap is above 1 GiB.
// Nothing after the last block (the check value included) is read.
// With out null nothing is written: the result and *out_len are those a
// buffer of out_cap bytes would give, at the cost of reading the input only.
// Allocates nothing and keeps no state between calls: any number of threads
// may decode at once.
int inflate_decompress(const std::uint8_t *in, std::size_t in_len, std::uint8_t *out,
                       std::size_t out_cap, std::size_t *out_len);

// The same with out_cap the limit but out holding only `keep` bytes: bytes
// produced past them are counted, not written. *complete says whether
// every byte produced was written (false when out is null), so that one
// call decodes a stream that fits and measures one that does not.
int inflate_decompress_some(const std::uint8_t *in, std::size_t in_len, std::uint8_t *out,
                            std::size_t keep, std::size_t out_cap, std::size_t *out_len,
                            bool *complete);

}  // namespace lt

#endif
