#include "tools/CommandTable.h"

#include <cstring>

#include "package/PackageRoles.h"

namespace ss::pack {
namespace {

// The output limit of list, verify and extract (tools/read/InstallerReader.h).
OptionDoc MaxOutput() {
  return {"--max-output", "SIZE", ValueKind::kText, false, "",
          "Stop when the package expands to more than SIZE bytes: 1G (the default), 4G, 500M..."};
}

CommandDoc BuildCommand() {
  return {"build",
   "Build an installer from a manifest",
   "MANIFEST -o OUT [--stub PATH] [--impborl PATH] [--sign PFX [--sign-password-file FILE] "
   "[--timestamp URL]] [--allow-outside] [-j N] [-q]",
   {
       {"manifest", "MANIFEST", ValueKind::kFile, true, "", "The manifest (JSON)"},
       {"-o,--output", "OUT", ValueKind::kFile, true, "", "The installer to write, e.g. Setup.exe"},
       {"--stub", "PATH", ValueKind::kFile, false, "",
        "The installer stub (default: ssinstall.exe beside sspack, else in ../share/sspack/)"},
       {"--impborl", "PATH", ValueKind::kFile, false, "",
        "The decompression library (default: impborl.dll beside the stub)"},
       {"--sign", "PFX", ValueKind::kFile, false, "",
        "Sign the installer with Authenticode, with the certificate and key of this PKCS#12 file "
        "(runs osslsigncode)"},
       {"--sign-password-file", "FILE", ValueKind::kFile, false, "--sign",
        "The PKCS#12 password: the first line of this file (\"-\": standard input)"},
       {"--timestamp", "URL", ValueKind::kText, false, "--sign",
        "An RFC 3161 time-stamp server for the signature"},
       {"--allow-outside", "", ValueKind::kNone, false, "",
        "Pack files that lie outside the manifest's folder (absolute paths, \"..\", links "
        "pointing elsewhere); the summary names them. Without it such a manifest is refused"},
       {"-q,--quiet", "", ValueKind::kNone, false, "", "No progress and no summary"},
       {"-j,--jobs", "N", ValueKind::kText, false, "",
        "Threads that compress (default: one per processor); the output is the same for every "
        "count"},
   },
   "Builds the installer OUT from the manifest MANIFEST (see MANIFEST below). Every file the "
   "manifest names must lie inside the manifest's folder; `--allow-outside` lets it pack files from "
   "elsewhere, and the summary then lists each of them.\n\n"
   "The library must be one the installer can load: a 32-bit x86 library exporting `_explode`, "
   "`_implode` and `_crc32`, without a thread-local storage directory; anything else is refused "
   "with the reason. The stub must carry its own size as its package offset.\n\n"
   "The output is written to a temporary file in a work folder made for this build beside OUT and "
   "renamed into place, so a failed build leaves an existing OUT untouched. `-j` N compresses on N "
   "threads (1 to 256); the output is the same bytes for every N.\n\n"
   "With `--sign` PFX, sspack runs `osslsigncode` (looked for beside sspack.exe on Windows, then in "
   "each absolute folder on PATH; never in the current folder) with the certificate and key of the "
   "PKCS#12 file; the password is read from the first line of `--sign-password-file` FILE (\"-\" "
   "for standard input), never from the command line. The signed installer replaces OUT only when "
   "it holds the package exactly as built; a failed signing leaves no file."};
}

CommandDoc InitCommand() {
  return {"init",
   "Write a commented manifest for the screen saver files in a folder",
   "DIR [-o MANIFEST] [--force] [-q]",
   {
       {"dir", "DIR", ValueKind::kFolder, true, "",
        "The folder with the engine, its files and a data folder"},
       {"-o,--output", "MANIFEST", ValueKind::kFile, false, "",
        "The manifest to write (default: DIR/saver.json)"},
       {"--force", "", ValueKind::kNone, false, "", "Replace an existing manifest"},
       {"-q,--quiet", "", ValueKind::kNone, false, "", "Do not list the choices"},
   },
   "Writes a manifest for the files in DIR (default DIR/saver.json; an existing one only with "
   "`--force`) with a comment on each choice, and lists the choices. Each file gets its role by "
   "its name, kind and size and by the engine itself: the one `.scr` file is the engine and its "
   "name the title; the support file and the two libraries are the files the engine names in its "
   "bytes; a picture or movie is the presentation, a name with \"licen\" or \"eula\" the licence, "
   "one folder the data folder.\n\n"
   "What it cannot decide is written as a \"STILL MISSING\" comment instead of a key; init then "
   "ends with exit code 1, and `sspack build` names every missing key until it is given."};
}

CommandDoc ListCommand() {
  return {"list",
   "Show an installer's header and segment table",
   "INSTALLER [--entries] [--max-output SIZE]",
   {
       {"installer", "INSTALLER", ValueKind::kFile, true, "", "The installer"},
       {"--entries", "", ValueKind::kNone, false, "", "Also list the data file's entries"},
       MaxOutput(),
   },
   "Prints the header fields (title, presentation, flags, whether the installer is signed) and the "
   "segment table; with `--entries` also the data file's entries."};
}

CommandDoc VerifyCommand() {
  return {"verify",
   "Check everything the installer relies on; exit code 0 only when it would accept the package",
   "INSTALLER [-q] [--max-output SIZE]",
   {
       {"installer", "INSTALLER", ValueKind::kFile, true, "", "The installer"},
       {"-q,--quiet", "", ValueKind::kNone, false, "", "Report faults only"},
       MaxOutput(),
   },
   "Checks every rule the installer relies on: the header, the segments its flags and the install "
   "need, offsets inside the file, names that stay in their folders, the library stored and "
   "loadable, the engine named after the title, the data file's header, table, records and names; "
   "and it expands every compressed segment and entry, checking its size. The installer's own "
   "reading rules decide, so a fault is exactly what makes the installer refuse the package, and it "
   "names the code the installer stops with where that is certain. What the installer accepts is a "
   "note.\n\n"
   "Prints one line per fault (and per note, unless `-q`)."};
}

CommandDoc ExtractCommand() {
  return {"extract",
   "Write every segment and data-file entry into a new or empty folder",
   "INSTALLER DIR [-q] [--max-output SIZE]",
   {
       {"installer", "INSTALLER", ValueKind::kFile, true, "", "The installer"},
       {"dir", "DIR", ValueKind::kFolder, true, "", "The folder to write into"},
       {"-q,--quiet", "", ValueKind::kNone, false, "", "Do not list the files written"},
       MaxOutput(),
   },
   "Writes every segment to DIR/segments/NN-name, the data file's header to DIR/saver.dat and its "
   "entries to DIR/data/. DIR must be new or empty; names from the package are made safe, so "
   "nothing is written outside DIR, and nothing existing is overwritten. Damaged items are reported "
   "and skipped; the rest are written."};
}

std::vector<ExitCodeDoc> ExitCodes() {
  return {
      {kExitOk, "success", "success (for verify: the installer would accept the package)"},
      {kExitFault, "a fault in the manifest, an input file or the installer",
       "a fault in the manifest, an input file, the stub or the installer; for verify, at least one "
       "fault (the output limit's included); for extract, at least one item could not be extracted, "
       "or the output limit stopped it; for init, something required could not be found or decided"},
      {kExitUsage, "a wrong command line", "a wrong command line"},
      {kExitWrite, "an output could not be written",
       "an output file or folder could not be written (for init, also: the manifest exists and "
       "`--force` was not given)"},
  };
}

void AddManifest(ProgramDoc* doc) {
  doc->manifest =
      "JSON with // and /* */ comments allowed. Paths are relative to the manifest's folder, and every "
      "file the manifest packs must lie inside that folder (see `--allow-outside`). A file reference is "
      "either a path or {\"file\": PATH, \"compress\": HOW}, where HOW is \"auto\" (implode when it saves "
      "space; the default), \"compress\" or \"store\". Unknown keys are refused. Names are written in "
      "the Windows ANSI code page (1252); a name with a character outside it is refused.";
  doc->manifestKeys = {
      {"$schema",
       "Optional: where editors find the manifest's JSON Schema (sspack init writes the file URI of "
       "the copy installed beside sspack); any string, never read."},
      {"title",
       "Required; at most 64 characters and a usable Windows file name. The engine becomes title + "
       "\".scr\", the data file title + \".ssd\"."},
      {"presentation",
       "Required: {\"kind\": K, \"file\": PATH} with K one of \"bitmap\", \"flash\", \"jpeg\", "
       "\"none\" (a quiet install, no file)."},
      {"license", "Optional licence text, shown before installing."},
      {"document", "Optional companion document."},
      {"flashSetup",
       "Optional Flash player setup, named " + FlashSetupNamesText() + "."},
      {"flashVersionIndex", "0 (Flash 7 r19, the default) or 1 (Flash 8 r22)."},
      {"displayProperties", "Offer the Display Properties after installing (default true)."},
      {"engine", "Required: the .scr file."},
      {"supportFile", "Required: the engine's support file."},
      {"supportLibraries", "Required: exactly two files."},
      {"data",
       "Required: {\"ssd\": PATH}, a ready data file, or a data folder's object (below)."},
      {"compress", "The default HOW for every segment."},
  };
  doc->dataFolder =
      "A data folder is given as {\"folder\": DIR, ...}: every file below DIR becomes one entry, "
      "sub-folders included, in sorted order; at most 1010 entries, none of them empty.";
  doc->dataFolderKeys = {
      {"folder", "The folder whose files become the entries."},
      {"settings",
       "The engine's 1232 setting bytes, or a whole 1240-byte saver.dat such as extract writes; zeros "
       "when absent."},
      {"contentKind", "3: entry 1 stands for the installer's movie, named in movieEntry."},
      {"movieEntry", "The entry that is the movie (contentKind 3)."},
      {"copies", "Further entries that the installer makes as copies of entry 1."},
      {"entryCompress", "The HOW of every entry."},
      {"entryOverrides", "{\"sub/name\": HOW}: the HOW of single entries."},
  };
}

void AddFilesAndExamples(ProgramDoc* doc) {
  doc->files = {
      {"ssinstall.exe",
       "The installer stub, taken from beside the sspack program, else from ../share/sspack/ next to "
       "its folder (/usr/share/sspack/ for /usr/bin/sspack)."},
      {"impborl.dll", "The decompression library packed into every installer, taken from beside the stub."},
      {"../share/sspack/sample/",
       "A sample screen saver ready to pack: sample.json beside its files."},
      {"../share/doc/sspack/README.md",
       "The manifest format, the commands and their exit codes in full."},
  };
  doc->examples = {
      {"sspack init aqua/", "Writes aqua/saver.json for the files in aqua/ and lists its choices."},
      {"sspack build aqua/saver.json -o Setup.exe", "Builds the installer Setup.exe."},
      {"sspack build aqua/saver.json -o Setup.exe --sign author.pfx --sign-password-file password.txt",
       "Builds it and signs it with the certificate and key of author.pfx."},
      {"sspack verify Setup.exe", "Checks every rule the installer relies on."},
      {"sspack list --entries Setup.exe", "Shows the header, the segments and the data file's entries."},
      {"sspack extract Setup.exe unpacked/", "Writes the installer's parts into the new folder unpacked/."},
  };
}

ProgramDoc MakeDoc() {
  ProgramDoc doc;
  doc.name = "sspack";
  doc.summary = "sspack: builds, lists, verifies and extracts screen saver installers";
  doc.oneLine = "build, list, verify and extract screen-saver installers for 32-bit Windows";
  doc.description =
      "sspack turns a screen saver into one installer program for Windows 95 to 11: it copies the "
      "installer stub `ssinstall.exe`, appends the package header at the stub's own size and the "
      "package's segments after it (the decompression library `impborl.dll`, the presentation shown "
      "while installing, the licence, the engine, its support files and the data file), and on request "
      "signs the result with Authenticode. It also writes a first manifest for an author's folder, and "
      "lists, verifies and extracts finished installers.\n\n"
      "Without `--stub`, sspack takes the stub `ssinstall.exe` and the library `impborl.dll` from beside "
      "its own program, else from `../share/sspack/` next to its folder; `sspack --version` names the "
      "ones it would take.\n\n"
      "Names from a package are shown as UTF-8 of their Windows-1252 bytes; a byte that could drive the "
      "terminal (the control bytes, DEL and the five bytes the code page leaves undefined) is shown as "
      "\\xNN instead, and becomes _ in the names `extract` writes.";
  doc.options = {
      {"-h,--help", "", ValueKind::kNone, false, "", "Print this help message and exit"},
      {"--version", "", ValueKind::kNone, false, "",
       "Show the version and the stub and library a build would use"},
  };
  doc.commands = {BuildCommand(), InitCommand(), ListCommand(), VerifyCommand(), ExtractCommand()};
  doc.exitCodes = ExitCodes();
  AddManifest(&doc);
  AddFilesAndExamples(&doc);
  doc.seeAlso = "osslsigncode(1)";
  return doc;
}

// Whether `name` is one of the comma-separated names in `names`.
bool NamedBy(const char* names, const char* name) {
  const size_t length = std::strlen(name);
  for (const char* p = names; *p != '\0';) {
    const char* end = std::strchr(p, ',');
    const size_t n = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
    if (n == length && std::strncmp(p, name, n) == 0) return true;
    if (end == nullptr) break;
    p = end + 1;
  }
  return false;
}

}  // namespace

const ProgramDoc& SspackDoc() {
  static const ProgramDoc doc = MakeDoc();
  return doc;
}

const CommandDoc* FindCommand(const char* name) {
  for (const CommandDoc& command : SspackDoc().commands) {
    if (std::strcmp(command.name, name) == 0) return &command;
  }
  return nullptr;
}

const OptionDoc* FindOption(const CommandDoc& command, const char* name) {
  for (const OptionDoc& option : command.options) {
    if (NamedBy(option.names, name)) return &option;
  }
  return nullptr;
}

std::string ExitCodeFooter() {
  constexpr size_t kWidth = 88;
  std::string text = "Exit codes:";
  size_t lineStart = 0;
  const std::vector<ExitCodeDoc>& codes = SspackDoc().exitCodes;
  for (size_t i = 0; i < codes.size(); ++i) {
    const std::string item = std::to_string(codes[i].code) + " " + codes[i].brief +
                             (i + 1 == codes.size() ? "." : ";");
    if (text.size() - lineStart + 1 + item.size() > kWidth) {
      text += "\n";
      lineStart = text.size();
    } else {
      text += " ";
    }
    text += item;
  }
  return text;
}

}  // namespace ss::pack
