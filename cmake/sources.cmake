# SPDX-License-Identifier: MIT
# The core's sources, in the order of the pipeline: the document record, the
# lexical layer, the loader, the decoders of stream data, the facts tools
# show, the writers and file access, the session that the front ends
# keeping a document open wrap; then the library's own inflate and
# ciphers. Every build takes its list from here: CMake (include()), the
# Python extension (python/setup.py) and the WebAssembly module
# (js/wasm/build.sh) read the paths between the parentheses, one a line.
set(LEAFTURN_CORE_SOURCES
  leafturn/doc.cpp
  leafturn/syntax/content_lexer.cpp
  leafturn/syntax/dict_walk.cpp
  leafturn/syntax/lex.cpp
  leafturn/syntax/lex_memo.cpp
  leafturn/syntax/stream_filters.cpp
  leafturn/syntax/value.cpp
  leafturn/load/live.cpp
  leafturn/load/load.cpp
  leafturn/load/object_scan.cpp
  leafturn/load/object_streams.cpp
  leafturn/load/page_tree.cpp
  leafturn/load/trailers.cpp
  leafturn/decode/filters.cpp
  leafturn/decode/security.cpp
  leafturn/facts/content_walk.cpp
  leafturn/facts/doc_info.cpp
  leafturn/facts/page_images.cpp
  leafturn/facts/page_info.cpp
  leafturn/facts/page_list.cpp
  leafturn/facts/rotation.cpp
  leafturn/facts/text_direction.cpp
  leafturn/facts/turn_plan.cpp
  leafturn/write/appended_update.cpp
  leafturn/write/file_out.cpp
  leafturn/write/full_rewrite.cpp
  leafturn/write/object_writer.cpp
  leafturn/write/page_dict.cpp
  leafturn/write/write_decision.cpp
  leafturn/write/xref.cpp
  leafturn/platform/os_file.cpp
  leafturn/session.cpp
  inflate/inflate.cpp
  inflate/inflate_buffer.cpp
  crypto/md5.cpp
  crypto/sha2.cpp
  crypto/rc4.cpp
  crypto/aes.cpp
  ccitt/ccitt.cpp
  dct/dct.cpp
  jbig2/jbig2.cpp
  jbig2/jbig2_generic.cpp
  jbig2/jbig2_text.cpp
)
