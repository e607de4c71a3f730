// SPDX-License-Identifier: MIT
// Encrypted files through the command line: files made with qpdf --encrypt
// from real files with text, in every method, with and without object
// streams and a user password, turned in both modes and judged by qpdf,
// pdfinfo and pdftotext; passwords, permissions, and damaged encryption.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "leafturn.h"
#include "pdf_builder.h"
#include "signing.h"

namespace {

using testcli::q;
using testcli::tool;
using testpdf::read_file;
using testpdf::run;
using testpdf::temp_path;
using testpdf::write_temp;

bool have_checkers() {
  return testpdf::have_tool("qpdf") && testpdf::have_tool("pdfinfo") &&
         testpdf::have_tool("pdftotext");
}

const std::string kText = "004-pdflatex-4-pages_pdflatex-4-pages.pdf";

std::string corpus(const std::string &name) { return testpdf::corpus_dir() + "/" + name; }

// qpdf --encrypt USER OWNER BITS [options] -- with object streams kept
// out or made; the file's path.
std::string encrypt(const std::string &name, const std::string &in, const std::string &user,
                    const std::string &owner, const std::string &bits, bool object_streams,
                    const std::string &more = "") {
  const std::string out = temp_path(name + ".pdf");
  int rc = -1;
  run("qpdf --allow-weak-crypto --encrypt " + q(user) + " " + q(owner) + " " + bits + " " + more +
          " -- --object-streams=" + (object_streams ? "generate " : "disable ") + q(in) + " " + q(out) +
          " 2>&1",
      &rc);
  EXPECT_EQ(rc, 0) << name;
  return out;
}

// qpdf's account of the encryption, less the line on which password it was given.
std::string show_encryption(const std::string &path, const std::string &pw) {
  std::istringstream in(run("qpdf --password=" + q(pw) + " --show-encryption " + q(path) + " 2>&1"));
  std::string all;
  for (std::string line; std::getline(in, line);)
    if (line.find("password") == std::string::npos) all += line + "\n";
  return all;
}

std::string pdftotext(const std::string &path, const std::string &pw) {
  return run("pdftotext -upw " + q(pw) + " " + q(path) + " - 2>&1");
}

// pdfinfo's title, author, creator and producer lines.
std::string info_lines(const std::string &path, const std::string &pw) {
  std::istringstream in(run("pdfinfo -upw " + q(pw) + " " + q(path) + " 2>&1"));
  std::string keep;
  for (std::string line; std::getline(in, line);)
    for (const char *k : {"Title:", "Author:", "Creator:", "Producer:", "Encrypted:"})
      if (line.compare(0, std::string(k).size(), k) == 0) keep += line + "\n";
  return keep;
}

int qpdf_check(const std::string &path, const std::string &pw) {
  int rc = -1;
  run("qpdf --password=" + q(pw) + " --check " + q(path) + " >/dev/null 2>&1", &rc);
  return rc;
}

std::vector<int> rotations(const std::string &path, const std::string &pw) {
  std::vector<int> r;
  std::istringstream in(run("pdfinfo -upw " + q(pw) + " -f 1 -l 999 " + q(path) + " 2>/dev/null"));
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(" rot:");
    if (line.compare(0, 5, "Page ") == 0 && at != std::string::npos) r.push_back(std::stoi(line.substr(at + 5)));
  }
  return r;
}

TEST(Encryption, EveryMethodTurnsInBothModesAndStaysEncrypted) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string src = corpus(kText);
  const std::string words = pdftotext(src, "");
  ASSERT_GT(words.size(), 100u);
  const struct {
    const char *bits, *method, *version;
  } methods[] = {{"40", "RC4-40 (revision 2)", "%PDF-1.5"},
                 {"128", "RC4-128 (revision 3)", "%PDF-1.5"},
                 {"128 --use-aes=y", "AES-128 (revision 4)", "%PDF-1.6"},
                 {"256", "AES-256 (revision 6)", "%PDF-1.7"}};
  int checked = 0;
  for (const auto &m : methods)
    for (const bool objstm : {false, true})
      for (const std::string user : {"", "user"}) {
        const std::string name = std::string("enc-") + m.bits + (objstm ? "-objstm" : "") + "-" + user;
        SCOPED_TRACE(name);
        const std::string in = encrypt(name, src, user, "owner", m.bits, objstm);
        const std::string before = show_encryption(in, user);
        ASSERT_NE(before.find("R = "), std::string::npos) << before;
        int rc = -1;
        const std::string info = tool("info " + q(in) + (objstm && !user.empty() ? " --password user" : ""), &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_NE(info.find(std::string("encryption: ") + m.method), std::string::npos) << info;
        EXPECT_NE(info.find(user.empty() ? "no password needed" : objstm ? "opened with its user password"
                                                                         : "needs a password"),
                  std::string::npos)
            << info;
        for (const char *mode : {"--full", "--incremental"}) {
          SCOPED_TRACE(mode);
          const std::string out = temp_path(name + mode + ".pdf");
          std::string err;
          // Without object streams no key is needed, whatever the password.
          const std::string pw = objstm && !user.empty() ? " --password user" : "";
          tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 1,3 " + mode + pw, &rc, &err);
          ASSERT_EQ(rc, 0) << err;
          EXPECT_EQ(show_encryption(out, user), before);
          EXPECT_EQ(qpdf_check(out, user), 0);
          EXPECT_EQ(rotations(out, user), (std::vector<int>{90, 0, 90, 0}));
          EXPECT_EQ(pdftotext(out, user), words);
          EXPECT_EQ(info_lines(out, user), info_lines(in, user));
          const std::string a = read_file(in), b = read_file(out);
          if (std::string(mode) == "--incremental") EXPECT_EQ(b.compare(0, a.size(), a), 0);
          else EXPECT_EQ(b.substr(0, 8), m.version);
          ++checked;
        }
      }
  EXPECT_EQ(checked, 32);
}

// A page with strings of its own, inside an object stream: written as a
// plain object, its strings are encrypted for its number; the same input
// always gives the same bytes.
TEST(Encryption, PagesOutOfObjectStreamsHaveTheirStringsEncrypted) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string plain = write_temp(
      "strings.pdf",
      testpdf::simple_doc(2, " /PieceInfo <</App <</Private (page secret \\(one\\)) /Empty () /Hex <414243>>>>>")
          .build());
  for (const char *bits : {"128", "128 --use-aes=y", "256"}) {
    SCOPED_TRACE(bits);
    const std::string in = encrypt(std::string("strings-") + bits, plain, "", "owner", bits, true);
    for (const char *mode : {"--full", "--incremental"}) {
      const std::string out = temp_path("strings-out.pdf"), again = temp_path("strings-again.pdf");
      int rc = -1;
      tool("rotate " + q(in) + " " + q(out) + " --by 90 " + mode, &rc);
      ASSERT_EQ(rc, 0);
      tool("rotate " + q(in) + " " + q(again) + " --by 90 " + mode, &rc);
      EXPECT_EQ(read_file(out), read_file(again));
      EXPECT_EQ(qpdf_check(out, ""), 0);
      const std::string clear = temp_path("strings-clear.pdf");
      run("qpdf --decrypt --qdf --object-streams=disable " + q(out) + " " + q(clear));
      const std::string shown = read_file(clear);
      EXPECT_NE(shown.find("(page secret \\(one\\))"), std::string::npos) << shown;
      EXPECT_NE(shown.find("/Hex (ABC)"), std::string::npos) << shown;
      EXPECT_NE(shown.find("/Empty ()"), std::string::npos) << shown;
      EXPECT_NE(shown.find("/Rotate 90"), std::string::npos) << shown;
    }
  }
}

TEST(Encryption, PasswordsOpenWhatNeedsThem) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string src = corpus(kText);
  const std::string locked = encrypt("locked", src, "user", "owner", "256", true);
  const std::string out = temp_path("locked-out.pdf");
  int rc = -1;
  std::string err;
  tool("rotate " + q(locked) + " " + q(out) + " --by 90", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: " + locked + " needs its password to be read (give it with --password)\n");
  EXPECT_FALSE(testpdf::file_exists(out));
  tool("info " + q(locked), &rc, &err);
  EXPECT_EQ(err, "leafturn: " + locked + " needs its password to be read (give it with --password)\n");

  tool("rotate " + q(locked) + " " + q(out) + " --by 90 --password wrong", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: the password given does not open " + locked + "\n");
  EXPECT_FALSE(testpdf::file_exists(out));

  // From a file: its first line, without the line end.
  const std::string pwfile = write_temp("password.txt", "user\r\nnext line\n");
  tool("rotate " + q(locked) + " " + q(out) + " --by 90 --password-file " + q(pwfile), &rc, &err);
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(rotations(out, "user"), (std::vector<int>{90, 90, 90, 90}));
  const std::string json = tool("info --json --password-file=" + q(pwfile) + " " + q(locked), &rc);
  EXPECT_NE(json.find("\"encryption\": {\"method\": \"AES-256\", \"revision\": 6, \"key_bits\": 256, "
                      "\"password_needed\": true, \"opened_with\": \"user\", \"permissions\": {\"print\": true"),
            std::string::npos)
      << json;
  tool("info --password-file " + q(temp_path("no-such-file")) + " " + q(locked), &rc, &err);
  EXPECT_EQ(rc, 2);
  EXPECT_NE(err.find("cannot read the password file"), std::string::npos) << err;
  tool("info --password a --password b " + q(locked), &rc, &err);
  EXPECT_EQ(rc, 2);

  // Without object streams nothing needs the key: the strings stay as
  // they are, and info says a password is needed (and shows no title).
  const std::string direct = encrypt("locked-direct", src, "user", "owner", "128 --use-aes=y", false);
  const std::string text = tool("info " + q(direct), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(text.find("encryption: AES-128 (revision 4), needs a password"), std::string::npos) << text;
  EXPECT_EQ(text.find("creator:"), std::string::npos) << text;
  // Metadata left in the clear changes how the key is made (revision 4 on).
  const std::string clear = encrypt("clear-metadata", src, "user", "owner", "128 --use-aes=y --cleartext-metadata", true);
  tool("rotate " + q(clear) + " " + q(out) + " --by 90 --password user", &rc, &err);
  EXPECT_EQ(rc, 0) << err;
  EXPECT_EQ(show_encryption(out, "user"), show_encryption(clear, "user"));
  EXPECT_EQ(pdftotext(out, "user"), pdftotext(src, ""));
  // A UTF-8 password (AES-256 reads it as UTF-8).
  const std::string utf8 = encrypt("utf8", src, "p\xC3\xA4ss", "owner", "256", true);
  tool("rotate " + q(utf8) + " " + q(out) + " --by 180 --password p\xC3\xA4ss", &rc, &err);
  EXPECT_EQ(rc, 0) << err;
}

// What info shows of each page's rotation ("page 2: 90 own ..."), or
// nothing when it fails.
std::vector<int> info_rotations(const std::string &args) {
  int rc = -1;
  std::istringstream in(tool("info " + args, &rc));
  std::vector<int> r;
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, 5, "page ") == 0) r.push_back(std::stoi(line.substr(line.find(": ") + 2)));
  return r;
}

// rotation reads every file info reads, with info's password options, and
// fails in info's words; the exports still refuse encrypted files.
TEST(Encryption, RotationReadsWhatInfoReads) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  // Pages of their own rotations: 0, 90, 270, 0.
  const std::string src = temp_path("rotation-src.pdf");
  int rc = -1;
  run("qpdf --rotate=+90:2 --rotate=-90:3 " + q(corpus(kText)) + " " + q(src), &rc);
  ASSERT_EQ(rc, 0);
  const std::vector<int> want{0, 90, 270, 0};
  ASSERT_EQ(rotations(src, ""), want);
  std::string out, err, info_err;
  // Each page through rotation with `pw` (" --password X" or ""), as info
  // and pdfinfo read them.
  auto pages = [&](const std::string &in, const std::string &pw) {
    std::vector<int> got;
    for (int p = 1; p <= 4; ++p) {
      out = tool("rotation" + pw + " " + q(in) + " " + std::to_string(p), &rc, &err);
      EXPECT_EQ(rc, 0) << err;
      EXPECT_EQ(err, "");
      got.push_back(out.empty() || out.back() != '\n' ? -1 : std::stoi(out));
    }
    return got;
  };

  // An empty user password: no password needed, in every method.
  for (const char *bits : {"40", "128", "128 --use-aes=y", "256"})
    for (const bool objstm : {false, true}) {
      SCOPED_TRACE(std::string(bits) + (objstm ? " with object streams" : ""));
      const std::string in = encrypt("rotation-open", src, "", "owner", bits, objstm);
      EXPECT_EQ(pages(in, ""), want);
      EXPECT_EQ(info_rotations(q(in)), want);
      EXPECT_EQ(rotations(in, ""), want);
      EXPECT_EQ(leafturn_get_rotation(in.c_str(), 2), -1);
      EXPECT_EQ(std::string(leafturn_last_error()), "encrypted PDFs are not supported: " + in);
    }

  // A user password and object streams: only the key reads the pages.
  const std::string locked = encrypt("rotation-locked", src, "user", "owner", "256", true);
  const std::string pwfile = write_temp("rotation-password.txt", "user\nowner\n");
  const std::vector<std::string> passwords = {" --password user", " --password=user",
                                              " --password owner", " --password-file " + q(pwfile),
                                              " --password-file=" + q(pwfile)};
  for (const std::string &pw : passwords) {
    SCOPED_TRACE(pw);
    EXPECT_EQ(pages(locked, pw), want);
    EXPECT_EQ(info_rotations(pw + " " + q(locked)), want);
  }
  // The options may follow FILE and PAGE too.
  EXPECT_EQ(tool("rotation " + q(locked) + " 3 --password user", &rc), "270\n");
  EXPECT_EQ(rc, 0);
  // Standard input, as info reads it.
  EXPECT_EQ(run("cat " + q(locked) + " | " + testcli::kCli + " rotation --password user - 2", &rc), "90\n");
  EXPECT_EQ(rc, 0);

  // Failures in info's words, exit 1, nothing on standard output: the
  // password missing, a wrong one, and a page past the last.
  const struct {
    std::string options, page, words;
  } failures[] = {
      {"", "1", locked + " needs its password to be read (give it with --password)"},
      {" --password wrong", "1", "the password given does not open " + locked},
      {" --password-file " + q(write_temp("rotation-wrong.txt", "wrong\n")), "2",
       "the password given does not open " + locked},
      // Loading fails before the page is looked at.
      {"", "9", locked + " needs its password to be read (give it with --password)"},
      {" --password user", "5", "page 5 out of range (document has 4 pages)"},
  };
  for (const auto &f : failures) {
    SCOPED_TRACE(f.options + " " + f.page);
    out = tool("rotation" + f.options + " " + q(locked) + " " + f.page, &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "leafturn: " + f.words + "\n");
    if (f.words.compare(0, 5, "page ") == 0) continue;
    tool("info" + f.options + " " + q(locked), &rc, &info_err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(err, info_err);
  }

  // Without object streams the pages need no key: no password, as info.
  const std::string direct = encrypt("rotation-direct", src, "user", "owner", "128 --use-aes=y", false);
  EXPECT_EQ(pages(direct, ""), want);
  EXPECT_EQ(info_rotations(q(direct)), want);
  EXPECT_EQ(pages(direct, " --password user"), want);
  tool("rotation --password wrong " + q(direct) + " 1", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: the password given does not open " + direct + "\n");

  // A damaged encryption dictionary.
  std::string bytes = read_file(encrypt("rotation-damaged", src, "", "owner", "128 --use-aes=y", true));
  const size_t at = bytes.find("/R 4");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 4, "/R 9");
  const std::string damaged = write_temp("rotation-damaged-r9.pdf", bytes);
  tool("rotation " + q(damaged) + " 1", &rc, &err);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(err, "leafturn: " + damaged +
                     " is encrypted, but its encryption dictionary is damaged (/R 9 is not a "
                     "revision that is read)\n");
  tool("info " + q(damaged), &rc, &info_err);
  EXPECT_EQ(err, info_err);

  // The password options' usage errors are info's, exit 2.
  const std::string missing = temp_path("rotation-no-such-password");
  const std::vector<std::string> wrong_use = {" --password a --password b",
                                              " --password a --password-file " + q(pwfile),
                                              " --password-file " + q(missing),
                                              " --password-file=" + q(missing)};
  for (const std::string &options : wrong_use) {
    SCOPED_TRACE(options);
    tool("rotation" + options + " " + q(locked) + " 1", &rc, &err);
    EXPECT_EQ(rc, 2);
    tool("info" + options + " " + q(locked), &rc, &info_err);
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(err.substr(0, err.find('\n')), info_err.substr(0, info_err.find('\n')));
    EXPECT_NE(err.find("usage: "), std::string::npos) << err;
  }
  tool("rotation " + q(locked) + " 1 --password", &rc, &err);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(err.compare(0, 34, "leafturn: --password needs a value"), 0) << err;
}

TEST(Encryption, PermissionsThatForbidAssemblingAreKept) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string src = corpus(kText);
  const std::string out = temp_path("perm-out.pdf");
  for (const char *spec : {"256 --assemble=n", "128 --use-aes=y --assemble=n", "40 --modify=n"}) {
    SCOPED_TRACE(spec);
    const std::string in = encrypt("perm", src, "", "owner", spec, true);
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " --by 90", &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(err, "leafturn: " + in + " does not permit turning its pages (--force turns them all the same)\n");
    EXPECT_FALSE(testpdf::file_exists(out));
    const std::string info = tool("info " + q(in), &rc);
    EXPECT_NE(info.find("(not: "), std::string::npos) << info;
    tool("rotate " + q(in) + " " + q(out) + " --by 90 --force --incremental", &rc, &err);
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(show_encryption(out, ""), show_encryption(in, ""));
    run("rm -f " + q(out));
    // The owner password lifts the permissions.
    tool("rotate " + q(in) + " " + q(out) + " --by 90 --password owner", &rc, &err);
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(rotations(out, ""), (std::vector<int>{90, 90, 90, 90}));
    run("rm -f " + q(out));
  }
}

// Encrypted by qpdf, then signed over the encrypted bytes: an update keeps
// the signature valid and the file encrypted.
TEST(Encryption, ASignedEncryptedFileStaysSignedThroughAnUpdate) {
  if (!have_checkers() || !testpdf::have_tool("pdfsig") || !testpdf::have_tool("openssl"))
    GTEST_SKIP() << "qpdf, poppler and openssl are needed";
  const std::string plain = write_temp("to-sign.pdf", testsign::unsigned_doc().build());
  for (const char *bits : {"128 --use-aes=y", "256"}) {
    SCOPED_TRACE(bits);
    std::string s = read_file(encrypt("to-sign-enc", plain, "", "owner", bits, false));
    ASSERT_TRUE(testsign::sign_bytes(s, "signed-enc"));
    const std::string in = write_temp("signed-enc.pdf", s);
    ASSERT_NE(run("pdfsig " + q(in) + " 2>&1").find("Signature is Valid."), std::string::npos)
        << run("pdfsig " + q(in) + " 2>&1");
    const std::string out = temp_path("signed-enc-out.pdf");
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " --by 90 --pages 2", &rc, &err);
    ASSERT_EQ(rc, 0) << err;
    EXPECT_NE(err.find("is signed"), std::string::npos) << err;
    const std::string sig = run("pdfsig " + q(out) + " 2>&1");
    EXPECT_NE(sig.find("Signature is Valid."), std::string::npos) << sig;
    EXPECT_EQ(rotations(out, ""), (std::vector<int>{0, 90}));
    EXPECT_EQ(show_encryption(out, ""), show_encryption(in, ""));
    EXPECT_EQ(read_file(out).compare(0, s.size(), s), 0);
  }
}

TEST(Encryption, TheSevenExportsStillRefuseEncryptedFiles) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string in = encrypt("exports", corpus(kText), "", "owner", "256", false);
  EXPECT_EQ(leafturn_all(in.c_str(), temp_path("exports-out.pdf").c_str(), 90), 0);
  EXPECT_EQ(std::string(leafturn_last_error()), "encrypted PDFs are not supported: " + in);

  // A cross-reference stream that the chain no longer reaches (the bytes
  // before it grew) still says the file is encrypted, and gives its
  // identifier: the exports refuse it, the command line turns it and keeps
  // its encryption.
  std::string s = read_file(encrypt("exports-objstm", corpus(kText), "", "owner", "128 --use-aes=y", true));
  const size_t at = s.find("/Filter /Standard");
  ASSERT_NE(at, std::string::npos);
  s.insert(at, "  ");
  const std::string shifted = write_temp("shifted.pdf", s);
  EXPECT_EQ(leafturn_get_rotation(shifted.c_str(), 1), -1);
  EXPECT_EQ(std::string(leafturn_last_error()), "encrypted PDFs are not supported: " + shifted);
  const std::string out = temp_path("shifted-out.pdf");
  int rc = -1;
  std::string err;
  tool("rotate " + q(shifted) + " " + q(out) + " --by 90", &rc, &err);
  ASSERT_EQ(rc, 0) << err;
  EXPECT_EQ(qpdf_check(out, ""), 0);
  EXPECT_EQ(pdftotext(out, ""), pdftotext(corpus(kText), ""));
  EXPECT_EQ(rotations(out, ""), (std::vector<int>{90, 90, 90, 90}));
}

// Edits of one encryption dictionary, each refused in its words, with no output.
TEST(Encryption, DamagedEncryptionIsRefusedClearly) {
  if (!have_checkers()) GTEST_SKIP() << "qpdf, pdfinfo and pdftotext are needed";
  const std::string src = corpus(kText);
  const std::string aes = read_file(encrypt("damage-aes", src, "", "owner", "128 --use-aes=y", true));
  const std::string rc4 = read_file(encrypt("damage-rc4", src, "", "owner", "128", false));
  const std::string v5 = read_file(encrypt("damage-256", src, "", "owner", "256", false));
  auto edit = [](std::string s, const std::string &from, const std::string &to) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
  };
  // The edits keep every length, so that the cross-reference data still
  // finds the trailer that names /Encrypt.
  auto without = [](std::string s, const std::string &key) {
    const size_t at = s.find(key + " <");
    EXPECT_NE(at, std::string::npos) << key;
    if (at != std::string::npos) s.replace(at, s.find('>', at) + 1 - at, s.find('>', at) + 1 - at, ' ');
    return s;
  };
  const std::string damaged = " is encrypted, but its encryption dictionary is damaged (";
  const struct {
    std::string bytes, why;
  } cases[] = {
      {edit(aes, "/Filter /Standard", "/Filter /Adobe.PS"),
       " is encrypted with the handler /Adobe.PS, which is not supported (only the standard password handler is)"},
      {without(aes, "/O"), damaged + "/O is missing or short)"},
      {without(aes, "/U"), damaged + "/U is missing or short)"},
      {without(v5, "/UE"), damaged + "/UE is missing or short)"},
      {without(v5, "/Perms"), damaged + "/Perms is missing or short)"},
      {edit(rc4, "/Length 128", "/Length 16 "), damaged + "/Length 16 is not a key length in bits (40 to 128, a multiple of 8))"},
      {edit(rc4, "/Length 128", "/Length 999"), damaged + "/Length 999 is not a key length in bits (40 to 128, a multiple of 8))"},
      {edit(aes, "/CF", "/XF"), damaged + "/V 4 without /CF)"},
      {edit(aes, "/CFM /AESV2", "/CFM /AESV9"), damaged + "its crypt filter /StdCF uses the method /AESV9, which is not read)"},
      {edit(aes, "/StmF /StdCF", "/StmF /Other"), damaged + "it names the crypt filter /Other, which /CF does not define)"},
      {edit(aes, "/R 4", "/R 9"), damaged + "/R 9 is not a revision that is read)"},
      {edit(aes, "/V 4", "/V 3"), damaged + "/V 3 is not a version that is read)"},
  };
  const std::string out = temp_path("damaged-out.pdf");
  int k = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.why);
    const std::string in = write_temp("damaged-" + std::to_string(k++) + ".pdf", c.bytes);
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " --by 90", &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(err, "leafturn: " + in + c.why + "\n");
    EXPECT_FALSE(testpdf::file_exists(out));
  }

  // The dictionary missing, and an object stream whose data does not decrypt.
  const size_t enc = aes.find("/Encrypt ");
  ASSERT_NE(enc, std::string::npos);
  std::string missing = aes;
  for (size_t k = enc + 9; missing[k] >= '0' && missing[k] <= '9'; ++k) missing[k] = '9';
  std::string spoilt = aes;
  const size_t objstm = spoilt.find("/Type /ObjStm");
  ASSERT_NE(objstm, std::string::npos);
  const size_t data = spoilt.find("stream\n", objstm) + 7;
  spoilt[data + 40] = static_cast<char>(spoilt[data + 40] ^ 0x55);
  // The last byte of the block before the last: in CBC it flips the last
  // byte of the plain text, the padding, to a value padding never has (a
  // byte in the last block instead garbles it at random, and one time in
  // a few hundred the padding still reads as valid).
  spoilt[spoilt.find("endstream", data) - 2 - 16] ^= 0x55;
  for (const auto &c : {std::make_pair(missing, std::string(" is encrypted, but its encryption dictionary is missing")),
                        std::make_pair(spoilt, std::string(" has an object stream (obj "))}) {
    const std::string in = write_temp("damaged-" + std::to_string(k++) + ".pdf", c.first);
    int rc = -1;
    std::string err;
    tool("rotate " + q(in) + " " + q(out) + " --by 90", &rc, &err);
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(err.compare(0, 10 + in.size() + c.second.size(), "leafturn: " + in + c.second), 0) << err;
    EXPECT_FALSE(testpdf::file_exists(out));
  }
}

}  // namespace
