// Signing a finished installer with Authenticode. sspack does not sign
// itself: it runs osslsigncode (Debian's package of that name; a Windows
// build of it on Windows), which adds the signature as a certificate table
// after the package and names it in the program's headers. The installer
// reads its package at the stamped PackageOffset and its segments at their
// recorded offsets, so the table after them changes nothing it reads.
#pragma once

#include <string>

namespace ss::pack {

struct SignOptions {
  std::string pfx;           // the PKCS#12 file holding the certificate and its key
  std::string passwordFile;  // a file whose first line is the PKCS#12 password; "" for none
  std::string timestampUrl;  // an RFC 3161 time-stamp server; "" for none
};

enum class SignResult { kOk, kToolMissing, kFailed };

// The program that signs: "osslsigncode", found on PATH.
constexpr char kSignTool[] = "osslsigncode";

// Writes the signed copy of `in` to `out`, which must not exist. On failure
// *error says why (osslsigncode's own words included) and `out` is removed.
SignResult SignFile(const SignOptions& options, const std::string& in, const std::string& out,
                    std::string* error);

}  // namespace ss::pack
