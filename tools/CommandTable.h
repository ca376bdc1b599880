// The one description of sspack's command line: its commands, their
// arguments and options, the exit codes, the manifest's keys and the files
// sspack reads. sspack.cpp builds its parser and --help from it, and
// sspack-docs (host build) writes the manual page sspack(1), its plain-text
// copy and the bash completion from it, so none of them can say something
// else. tools/README.md is checked against it by the host tests.
//
// Texts are plain. In the longer texts a blank line ("\n\n") starts a new
// paragraph and `quoted` words are literal input (the manual sets them in
// bold).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/ToolResult.h"

namespace ss::pack {


// What a shell offers for an argument or an option's value.
enum class ValueKind : uint8_t {
  kNone,    // a flag: no value
  kText,    // a word, a number or a size: nothing to offer
  kFile,    // a file name
  kFolder,  // a folder name
};

struct OptionDoc {
  const char* names;  // as the parser takes them: "-o,--output", or a positional's name ("manifest")
  const char* value;  // the value's name in the synopsis and the manual ("OUT"); "" for a flag
  ValueKind kind;
  bool required;
  const char* needs;  // the option it works only with ("--sign"), or ""
  const char* help;   // one line: --help and the manual
};

struct CommandDoc {
  const char* name;
  const char* summary;   // --help's line for the command
  const char* synopsis;  // what follows "sspack NAME" in the manual's synopsis
  std::vector<OptionDoc> options;  // positionals first, in their order
  const char* details;   // the manual's description of the command
};

struct ExitCodeDoc {
  ExitCode code;
  const char* brief;    // the --help footer
  const char* meaning;  // the manual and tools/README.md
};

// A key of the manifest, or of its data folder's object.
struct KeyDoc {
  const char* key;
  std::string meaning;
};

// A titled item of the manual's other sections (files, examples).
struct ItemDoc {
  const char* title;
  const char* text;
};

struct ProgramDoc {
  const char* name;         // "sspack"
  const char* summary;      // the top-level --help line
  const char* oneLine;      // the manual's NAME line, after "sspack \-"
  const char* description;  // the manual's DESCRIPTION
  std::vector<OptionDoc> options;  // sspack's own: -h,--help (every command takes it too), then --version
  std::vector<CommandDoc> commands;
  std::vector<ExitCodeDoc> exitCodes;
  const char* manifest;     // the manual's introduction to the manifest
  std::vector<KeyDoc> manifestKeys;
  const char* dataFolder;   // the introduction to the data folder's object
  std::vector<KeyDoc> dataFolderKeys;
  std::vector<ItemDoc> files;
  std::vector<ItemDoc> examples;
  const char* seeAlso;
};

// The table, built once.
const ProgramDoc& SspackDoc();

// The command or option of that name (a positional's name, or any of an
// option's names such as "-o" or "--output"), or nullptr.
const CommandDoc* FindCommand(const char* name);
const OptionDoc* FindOption(const CommandDoc& command, const char* name);

// The --help footer: "Exit codes: 0 success; 1 ...", split between codes
// into lines of at most 88 columns.
std::string ExitCodeFooter();

}  // namespace ss::pack
