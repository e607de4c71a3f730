// SPDX-License-Identifier: MIT
// Signing test files without a signing library: a self-signed certificate
// and a detached CMS signature from openssl over a /Sig dictionary's byte
// range, as signing tools write it.
#ifndef LEAFTURN_TESTS_SIGNING_H
#define LEAFTURN_TESTS_SIGNING_H

#include <cstdio>
#include <string>

#include "cli_run.h"
#include "pdf_builder.h"

namespace testsign {

// Signs the file bytes s in place: its "/ByteRange [...]" is filled in
// (within the width it has) to cover everything but the hex string of
// "/Contents <...>", whose room then takes the signature. False when
// openssl fails or the room is too small.
inline bool sign_bytes(std::string &s, const std::string &name) {
  using testcli::q;
  const std::string dir = testpdf::temp_path(name + "-keys");
  int rc = -1;
  testpdf::run("mkdir -p " + q(dir) + " && openssl req -x509 -newkey rsa:2048 -nodes -keyout " +
                   q(dir + "/key.pem") + " -out " + q(dir + "/cert.pem") +
                   " -days 3650 -subj /CN=Test >/dev/null 2>&1",
               &rc);
  if (rc != 0) return false;
  const size_t cs = s.find("/Contents <") + 10, ce = s.find('>', cs) + 1;
  const size_t br = s.find("/ByteRange [") + 12, br_end = s.find(']', br);
  char range[96];
  const int n = std::snprintf(range, sizeof range, "0 %zu %zu %zu", cs, ce, s.size() - ce);
  if (n < 0 || static_cast<size_t>(n) > br_end - br) return false;
  s.replace(br, br_end - br, std::string(range) + std::string(br_end - br - static_cast<size_t>(n), ' '));
  const std::string tbs = testpdf::write_temp(name + "-tbs.bin", s.substr(0, cs) + s.substr(ce));
  const std::string der = testpdf::temp_path(name + "-sig.der");
  testpdf::run("openssl cms -sign -binary -outform DER -in " + q(tbs) + " -signer " + q(dir + "/cert.pem") +
                   " -inkey " + q(dir + "/key.pem") + " -out " + q(der) + " >/dev/null 2>&1",
               &rc);
  if (rc != 0) return false;
  std::string hex;
  for (unsigned char c : testpdf::read_file(der)) {
    char h[3];
    std::snprintf(h, sizeof h, "%02X", c);
    hex += h;
  }
  if (hex.size() > ce - cs - 2) return false;
  s.replace(cs + 1, ce - cs - 2, hex + std::string(ce - cs - 2 - hex.size(), '0'));
  return true;
}

// The objects of a one-page-signed, two-page document: a field (4) whose
// /V is the signature (5) with room for it, as plain object texts by number
// from 1 to 6; `perms` goes into the catalog (a certification).
inline testpdf::builder unsigned_doc(const std::string &perms = "") {
  const std::string zeros(8192, '0');
  testpdf::builder b;
  b.obj(1, "<</Type /Catalog /Pages 2 0 R /AcroForm <</Fields [4 0 R] /SigFlags 3>>" + perms + ">>");
  b.obj(2, "<</Type /Pages /Kids [3 0 R 6 0 R] /Count 2>>");
  b.obj(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R]>>");
  b.obj(4, "<</FT /Sig /T (Signature1) /V 5 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /F 132>>");
  b.obj(5, "<</Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached "
           "/ByteRange [0 9999999999 9999999999 9999999999] /Contents <" + zeros + ">>>");
  b.obj(6, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792]>>");
  return b;
}

}  // namespace testsign

#endif
