// SPDX-License-Identifier: MIT
// Stream filters by name and their decode parameters (stream_filters.h).
#include "syntax/stream_filters.h"

namespace lt {

namespace {

struct filter_names {
  filter_kind kind;
  const char *full;
  const char *abbreviation;  // as inline images write it; null for none
};

constexpr filter_names k_filters[] = {
    {filter_kind::flate, "FlateDecode", "Fl"},
    {filter_kind::lzw, "LZWDecode", "LZW"},
    {filter_kind::ascii_hex, "ASCIIHexDecode", "AHx"},
    {filter_kind::ascii85, "ASCII85Decode", "A85"},
    {filter_kind::run_length, "RunLengthDecode", "RL"},
    {filter_kind::ccitt_fax, "CCITTFaxDecode", "CCF"},
    {filter_kind::dct, "DCTDecode", "DCT"},
    {filter_kind::jbig2, "JBIG2Decode", nullptr},
    {filter_kind::jpx, "JPXDecode", nullptr},
    {filter_kind::crypt, "Crypt", nullptr},
};

// A value through `source`, or as it stands when references are not followed.
span followed(const doc &d, const span &v, value_source source) {
  if (source) return resolved(d, v, nullptr, source);
  if (!v || is_null_value(v.b, v.start, v.limit) || reference_value(v.b, v.start, v.limit) > 0)
    return span();
  return span{v.b, skip_space(v.b, v.start, v.limit), v.limit};
}

span followed_dict(const doc &d, const span &v, value_source source) {
  const span r = followed(d, v, source);
  if (!r) return span();
  const i32 at = skip_space(r.b, r.start, r.limit);
  return (at + 1 < r.limit && r.b[at] == '<' && r.b[at + 1] == '<') ? span{r.b, at, r.limit} : span();
}

// Just inside the brackets of an array value; empty when it is none.
span followed_array(const doc &d, const span &v, value_source source) {
  const span r = followed(d, v, source);
  if (!r) return span();
  const i32 at = skip_space(r.b, r.start, r.limit);
  if (at >= r.limit || r.b[at] != '[') return span();
  const i32 end = value_end(r.b, at, r.limit);
  return end < 0 ? span() : span{r.b, at + 1, end - 1};
}

}  // namespace

filter_kind filter_named(const std::string &name) {
  for (const filter_names &f : k_filters)
    if (name == f.full || (f.abbreviation && name == f.abbreviation)) return f.kind;
  return filter_kind::unknown;
}

const char *filter_full_name(filter_kind k) {
  for (const filter_names &f : k_filters)
    if (f.kind == k) return f.full;
  return "";
}

decode_parms decode_parms::lenient() const {
  const decode_parms dflt;
  decode_parms p = *this;
  if (p.predictor < 0) p.predictor = dflt.predictor;
  if (p.colors < 0) p.colors = dflt.colors;
  if (p.bpc < 0) p.bpc = dflt.bpc;
  if (p.columns < 0) p.columns = dflt.columns;
  if (p.early_change < 0) p.early_change = dflt.early_change;
  return p;
}

decode_parms read_decode_parms(const span &dict) {
  decode_parms p;
  if (!dict) return p;
  const i32 open = skip_space(dict.b, dict.start, dict.limit);
  for_each_entry(dict.b, open, dict.limit, [&](const dict_entry &e) {
    if (is_null_value(dict.b, e.from, e.to)) return;  // as if absent
    const i32 v = integer_value(dict.b, e.from, e.to);
    if (e.name == "Predictor") p.predictor = v;
    else if (e.name == "Colors") p.colors = v;
    else if (e.name == "BitsPerComponent") p.bpc = v;
    else if (e.name == "Columns") p.columns = v;
    else if (e.name == "EarlyChange") p.early_change = v;
  });
  return p;
}

bool read_filter_chain(const doc &d, const span &dict, std::vector<filter_step> *chain,
                       value_source source) {
  chain->clear();
  span filters, parms;
  const i32 open = skip_space(dict.b, dict.start, dict.limit);
  const i32 end = for_each_entry(dict.b, open, dict.limit, [&](const dict_entry &e) {
    if (is_null_value(dict.b, e.from, e.to)) return;  // as if absent
    if (e.name == "Filter") filters = span{dict.b, e.from, e.to};
    else if (e.name == "DecodeParms") parms = span{dict.b, e.from, e.to};
  });
  if (end < 0) return false;
  if (!filters) return true;
  std::string name;
  const span one = followed(d, filters, source);
  if (one && one.b[one.start] == '/') {
    name_text(one.b, one.start, one.limit, &name);
    chain->push_back({filter_named(name), {}});
  } else {
    const span list = followed_array(d, filters, source);
    if (!list) return false;
    for (i32 i = skip_space(list.b, list.start, list.limit); i < list.limit;
         i = skip_space(list.b, i, list.limit)) {
      if (list.b[i] != '/') return false;
      i = name_text(list.b, i, list.limit, &name);
      chain->push_back({filter_named(name), {}});
    }
  }
  if (!parms) return true;
  const span plist = followed_array(d, parms, source);
  if (!plist) {  // one dictionary, for a chain of one
    if (chain->size() == 1) chain->back().parms = read_decode_parms(followed_dict(d, parms, source));
    return true;
  }
  size_t k = 0;
  for (i32 i = skip_space(plist.b, plist.start, plist.limit); i < plist.limit && k < chain->size();
       i = skip_space(plist.b, i, plist.limit), ++k) {
    const i32 e = value_end(plist.b, i, plist.limit);
    if (e < 0) return false;
    (*chain)[k].parms = read_decode_parms(followed_dict(d, span{plist.b, i, e}, source));
    i = e;
  }
  return true;
}

}  // namespace lt
