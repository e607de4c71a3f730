// SPDX-License-Identifier: MIT
// The numbers of the zlib (RFC 1950) and DEFLATE (RFC 1951) formats, named
// once and tied together where the format ties them.
#ifndef LEAFTURN_DEFLATE_CONSTANTS_H
#define LEAFTURN_DEFLATE_CONSTANTS_H

namespace lt {
namespace deflate {

// The zlib header: CMF's low four bits name the method (8, DEFLATE); FLG's
// FDICT bit asks for a preset dictionary, which PDF streams never have.
constexpr int k_zlib_header_len = 2;
constexpr int k_zlib_method_mask = 0x0f;
constexpr int k_zlib_method_deflate = 8;
constexpr int k_zlib_fdict = 0x20;

// Block headers: BFINAL (1 bit), BTYPE (2 bits).
constexpr int k_block_final_bits = 1;
constexpr int k_block_type_bits = 2;
constexpr unsigned k_block_stored = 0, k_block_fixed = 1, k_block_dynamic = 2;

// Codes are at most 15 bits long.
constexpr int k_max_codeword_len = 15;

// The literal/length alphabet: literals 0-255, the end of a block, then
// the 29 length symbols (286 in use; the fixed code defines 288).
constexpr int k_num_literals = 256;
constexpr int k_end_of_block = 256;
constexpr int k_first_len_sym = 257;
constexpr int k_num_len_syms = 29;
constexpr int k_num_litlen_syms = 286;
constexpr int k_num_fixed_litlen_syms = 288;
static_assert(k_end_of_block == k_num_literals, "the end of a block follows the literals");
static_assert(k_first_len_sym == k_end_of_block + 1, "lengths follow the end of a block");
static_assert(k_first_len_sym + k_num_len_syms == k_num_litlen_syms, "29 length symbols");

// The offset (distance) alphabet.
constexpr int k_num_offset_syms = 30;

// A dynamic block's header: HLIT + 257 literal/length codes, HDIST + 1
// offset codes, HCLEN + 4 code-length codes of 3 bits each, in the order
// the format gives (k_precode_order).
constexpr int k_hlit_bits = 5, k_hdist_bits = 5, k_hclen_bits = 4;
constexpr int k_min_litlen_codes = 257, k_min_offset_codes = 1, k_min_precode_codes = 4;
constexpr int k_precode_len_bits = 3;
constexpr int k_num_precode_syms = 19;
static_assert(k_min_litlen_codes == k_first_len_sym, "HLIT counts from the first length symbol");
static_assert(k_min_precode_codes + (1 << k_hclen_bits) - 1 == k_num_precode_syms,
              "HCLEN reaches every code-length symbol");

// Code-length symbols: 0-15 are lengths; 16 repeats the previous length
// 3-6 times (2 extra bits), 17 repeats zero 3-10 times (3 bits), 18 repeats
// zero 11-138 times (7 bits).
constexpr int k_repeat_previous = 16, k_repeat_zero_short = 17, k_repeat_zero_long = 18;
static_assert(k_repeat_previous == k_max_codeword_len + 1, "lengths come first");
static_assert(k_repeat_zero_long + 1 == k_num_precode_syms, "three repeat symbols");
constexpr int k_repeat_previous_base = 3, k_repeat_previous_bits = 2;
constexpr int k_repeat_zero_short_base = 3, k_repeat_zero_short_bits = 3;
constexpr int k_repeat_zero_long_base = 11, k_repeat_zero_long_bits = 7;

// The fixed code's lengths: 0-143 eight bits, 144-255 nine, 256-279 seven,
// 280-287 eight; every offset symbol five.
constexpr int k_fixed_9bit_first = 144, k_fixed_7bit_first = 256, k_fixed_8bit_again_first = 280;
static_assert(k_fixed_7bit_first == k_end_of_block, "the seven-bit codes start at the end of a block");
constexpr int k_fixed_offset_len = 5;
static_assert((1 << k_fixed_offset_len) >= k_num_offset_syms, "five bits name every offset symbol");

}  // namespace deflate
}  // namespace lt

#endif
