// Signing a finished installer with Authenticode. sspack does not sign
// itself: it runs osslsigncode (Debian's package of that name; a Windows
// build of it on Windows), which adds the signature as a certificate table
// after the package and names it in the program's headers. The installer
// reads its package at the stamped PackageOffset and its segments at their
// recorded offsets, so the table after them changes nothing it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {

struct SignOptions {
  std::string pfx;           // the PKCS#12 file holding the certificate and its key
  std::string passwordFile;  // a file whose first line is the PKCS#12 password; "" for none
  std::string timestampUrl;  // an RFC 3161 time-stamp server; "" for none
};

// The program that signs: "osslsigncode" ("osslsigncode.exe" on Windows),
// found beside sspack (on Windows) or in a folder on PATH.
constexpr char kSignTool[] = "osslsigncode";

// The folders searched for the signing tool, in order: `programFolder` when
// it is given, then each entry of the PATH value `path` that is an absolute
// path. Empty and relative entries stand for the current folder (or one below
// it), where anybody may have left a program of that name to be handed the
// certificate and its password; they are skipped, and the current folder is
// never searched. `windows` reads `path` as Windows does: entries separated
// by ';', perhaps in quotes, absolute with a drive ("C:\") or as a UNC path
// ("\\server\share"); otherwise ':' and a leading '/'.
std::vector<std::string> SignToolFolders(const std::string& programFolder, const std::string& path,
                                         bool windows);

// Writes the signed copy of `in` to `out`, which must not exist and must lie
// in a folder private to the caller (a WorkFolder of tools/common/FileIo.h): the
// tool's messages are gathered in "`out`.log" beside it. A failure says why
// (osslsigncode's own words included) and `out` is removed.
ToolResult SignFile(const SignOptions& options, const std::string& in, const std::string& out);

// Writes `installer` (its package at `packageOffset`), signed, to `output`.
// The unsigned and signed copies and the tool's log are files in a work
// folder made for this beside `output`; only a signed installer whose package
// came through unchanged is renamed over `output`, so a failure leaves no
// half file and an existing output untouched, and nothing else outside the
// folder is written. *signedSize is the signed installer's size. A work file
// or the rename that fails ends with kExitWrite, a failed signing with
// kExitFault.
ToolResult WriteSignedInstaller(const SignOptions& options, const std::string& output,
                                const std::vector<uint8_t>& installer, size_t packageOffset,
                                uint64_t* signedSize);

}  // namespace ss::pack
