// sspack: builds a screen saver installer from a manifest (and signs it on
// request), writes a first manifest for an author's folder, and lists,
// verifies and extracts finished installers.
//
// The commands, options and exit codes are those of the command table
// (tools/CommandTable.h), from which the manual page and the bash completion
// are made too.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>
#define SS_ISATTY _isatty
#define SS_FILENO _fileno
#else
#include <unistd.h>
#define SS_ISATTY isatty
#define SS_FILENO fileno
#endif

#include "package/PackageRoles.h"
#include "tools/CommandTable.h"
#include "tools/common/FileIo.h"
#include "tools/manifest/ManifestReader.h"
#include "tools/manifest/ManifestDraft.h"
#include "tools/build/PackageBuilder.h"
#include "tools/check/Verify.h"
#include "tools/read/Extract.h"
#include "tools/read/InstallerReader.h"
#include "tools/read/Listing.h"
#include "tools/common/ParallelJobs.h"
#include "tools/build/Signing.h"
#include "tools/common/ToolParts.h"

// Given by the build (cmake/Install.cmake): the version, and the path from
// the installed bin/ folder to the stub and library.
#ifndef SS_VERSION
#define SS_VERSION "unknown"
#endif
#ifndef SS_PARTS_FROM_BIN
#define SS_PARTS_FROM_BIN "../share/sspack"
#endif

namespace fs = std::filesystem;
using namespace ss::pack;

namespace {

// The folder sspack runs from: the default stub lies beside it or in the
// installed layout's share folder (tools/common/ToolParts.h).
fs::path ProgramFolder(const char* argv0) {
#ifdef _WIN32
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  if (length > 0 && length < 32768) return fs::path(self).parent_path();
#else
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
#endif
  return fs::absolute(fs::u8path(argv0)).parent_path();
}

// The command line as UTF-8, which is how every path is handled inside. On
// Windows the C runtime's argv is in the ANSI code page, so the wide command
// line is converted instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
      std::string arg(n > 0 ? static_cast<size_t>(n) : 1u, '\0');
      if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
      arg.resize(arg.size() - 1);  // the terminating zero
      args.push_back(arg);
    }
    LocalFree(wide);
    return args;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

// One progress line, rewritten in place, and only on a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled && SS_ISATTY(SS_FILENO(stderr))) {}
  ~ProgressLine() { Clear(); }
  Progress callback() {
    if (!enabled_) return nullptr;
    return [this](const std::string& item, size_t done, size_t total) {
      std::string line = "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + item;
      if (line.size() > 78) line = line.substr(0, 75) + "...";
      std::fprintf(stderr, "\r%-79s", line.c_str());
      std::fflush(stderr);
      shown_ = true;
    };
  }
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r%79s\r", "");
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
};

// Prints every fault of a result and gives the exit code it ends with.
int Report(const ToolResult& result) {
  for (const std::string& message : result.messages()) std::cerr << "sspack: " << message << "\n";
  return result.exitCode();
}

int ReadInstallerFile(const std::string& path, std::vector<uint8_t>* bytes) {
  return Report(ReadWholeFile(path, bytes));
}

ToolParts PartsFor(const char* argv0) {
  return FindToolParts(ProgramFolder(argv0).u8string(), SS_PARTS_FROM_BIN);
}

std::string Joined(const std::vector<std::string>& items, const std::string& last) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    out += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
  }
  return out;
}

// "sspack --version": the version and the parts a build without --stub and
// --impborl would take.
std::string VersionText(const char* argv0) {
  const ToolParts parts = PartsFor(argv0);
  std::string text = std::string("sspack ") + SS_VERSION + "\n";
  if (parts.stub.empty()) {
    text += "stub:    none found (no ssinstall.exe in " + Joined(parts.searched, " or ") +
            "); give --stub PATH\n";
    text += "library: none found; give --impborl PATH";
  } else {
    text += "stub:    " + parts.stub + "\n";
    text += "library: " + (parts.library.empty() ? "none beside the stub; give --impborl PATH" : parts.library);
  }
  return text;
}

struct BuildRequest {
  std::string manifest, output, stub, impborl;
  bool quiet = false;
  bool allowOutside = false;  // files from outside the manifest's folder
  SignOptions sign;  // signs when sign.pfx is given
};

int RunBuild(BuildRequest request, const char* argv0) {
  if (request.stub.empty()) {
    const ToolParts parts = PartsFor(argv0);
    if (parts.stub.empty()) {
      std::cerr << "sspack: no installer stub: ssinstall.exe is neither in "
                << Joined(parts.searched, " nor in ") << "; give --stub PATH (and --impborl PATH)\n";
      return kExitFault;
    }
    request.stub = parts.stub;
  }
  if (request.impborl.empty()) {
    request.impborl = (fs::u8path(request.stub).parent_path() / ss::kLibraryFileName).u8string();
  }
  const std::string& stub = request.stub;
  const std::string& output = request.output;
  const bool quiet = request.quiet;

  std::vector<uint8_t> stubBytes;
  std::string error;
  if (ToolResult read = ReadWholeFile(stub, &stubBytes); !read.ok()) return Report(read.Prefixed("stub: "));
  ManifestOptions options;
  options.impborlPath = request.impborl;
  options.installerName = fs::u8path(output).filename().u8string();
  options.allowOutside = request.allowOutside;
  PackageInput input;
  std::vector<std::string> notes, outside;
  ProgressLine progress(!quiet);
  if (ToolResult loaded = LoadManifest(request.manifest, options, &input, &notes, progress.callback(), &outside);
      !loaded.ok()) {
    progress.Clear();
    return Report(loaded);
  }
  std::vector<uint8_t> installer;
  if (ToolResult built = BuildInstaller(stubBytes, input, &installer, progress.callback(), 0, stub);
      !built.ok()) {
    progress.Clear();
    return Report(built);
  }
  progress.Clear();
  for (const std::string& note : notes) std::cerr << "sspack: note: " << note << "\n";
  uint64_t written = installer.size();
  if (request.sign.pfx.empty()) {
    if (ToolResult written = ReplaceWholeFile(output, installer); !written.ok()) return Report(written);
  } else if (ToolResult signing = WriteSignedInstaller(request.sign, output, installer,
                                                       stubBytes.size(), &written);
             !signing.ok()) {
    return Report(signing);
  }
  if (!quiet) {
    std::cout << "wrote " << output << " (" << written << " bytes, package at "
              << stubBytes.size() << (request.sign.pfx.empty() ? ")" : "; signed)") << "\n";
    if (!outside.empty()) std::cout << "packed from outside the manifest's folder (--allow-outside):\n";
    for (const std::string& item : outside) std::cout << "  " << item << "\n";
  }
  return kExitOk;
}

// "sspack init DIR": a commented manifest for the files in DIR. Exit code 1
// when it lacks something required (the manifest is written all the same,
// saying what), 3 when it cannot be written or would replace a file
// without --force.
int RunInit(const char* argv0, const std::string& dir, std::string manifest, bool force, bool quiet) {
  if (manifest.empty()) manifest = (fs::u8path(dir) / "saver.json").u8string();
  std::error_code ec;
  if (!force && fs::exists(fs::u8path(manifest), ec)) {
    std::cerr << "sspack: " << manifest << ": exists; give --force to replace it, or -o for another name\n";
    return kExitWrite;
  }
  ManifestDraft draft;
  // The manifest names the schema installed with this sspack by where it
  // lies, as a file URI: the one form of "$schema" that editors follow
  // wherever the manifest itself is.
  const std::string schema = PartsFor(argv0).schema;
#ifdef _WIN32
  constexpr bool kWindowsPaths = true;
#else
  constexpr bool kWindowsPaths = false;
#endif
  const std::string schemaUri = schema.empty() ? std::string() : FileUri(schema, kWindowsPaths);
  if (ToolResult drafted = DraftManifest(dir, manifest, &draft, schemaUri); !drafted.ok()) return Report(drafted);
  const std::vector<uint8_t> bytes(draft.text.begin(), draft.text.end());
  if (ToolResult written = force ? ReplaceWholeFile(manifest, bytes) : WriteNewFile(manifest, bytes); !written.ok()) {
    return Report(written);
  }
  if (!quiet) {
    std::cout << "wrote " << manifest << "\n";
    for (const std::string& line : draft.chosen) std::cout << "  " << line << "\n";
  }
  if (!draft.missing.empty()) {
    std::cerr << "sspack: " << manifest << " still lacks:\n";
    for (const std::string& line : draft.missing) std::cerr << "  " << line << "\n";
    return kExitFault;
  }
  if (!quiet) std::cout << "next: sspack build " << manifest << " -o Setup.exe\n";
  return kExitOk;
}

int RunList(const std::string& path, bool entries, uint64_t maxOutput) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  InstallerView view;
  if (ToolResult read = ReadInstaller(bytes, &view); !read.ok()) return Report(read.Prefixed(path + ": "));
  std::cout << FormatInstaller(view);
  if (!entries) return kExitOk;
  std::vector<uint8_t> data;
  if (const ItemRead read = ReadSegment(bytes, view.header.segments[ss::kSegDataFile], &data, maxOutput);
      !read.ok()) {
    return Report(ToolResult::Fault(path + ": " + ss::SegmentLabel(ss::kSegDataFile) + ": " +
                                    read.result.message() +
                                    (read.overLimit ? " (sspack's output limit; --max-output raises it)" : "")));
  }
  DataFileView dataView;
  if (ToolResult parsed = ParseDataFile(data, &dataView); !parsed.ok()) return Report(parsed.Prefixed(path + ": "));
  std::cout << "\n" << FormatDataFile(dataView);
  return kExitOk;
}

int RunVerify(const std::string& path, bool quiet, uint64_t maxOutput) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  int faults = 0;
  for (const Finding& f : VerifyInstaller(bytes, maxOutput)) {
    if (f.fault) ++faults;
    if (f.fault || !quiet) {
      std::cout << path << ": " << (f.fault ? "fault: " : "note: ") << f.text << "\n";
    }
  }
  if (faults > 0) {
    std::cout << path << ": " << faults << (faults == 1 ? " fault" : " faults")
              << ": the installer would not install this package\n";
    return kExitFault;
  }
  if (!quiet) std::cout << path << ": ok\n";
  return kExitOk;
}

int RunExtract(const std::string& path, const std::string& dir, bool quiet, uint64_t maxOutput) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  Extraction extracted = ExtractInstaller(bytes, dir, maxOutput);
  if (!extracted.result.ok()) return Report(extracted.result);
  if (!quiet) {
    for (const std::string& w : extracted.written) std::cout << w << "\n";
  }
  return Report(extracted.skipped.Prefixed(path + ": "));
}

// What each argument and option of a command sets, by its names in the
// command table; the table gives the help text, and whether it is required
// or works only with another option.
using Binder = std::function<CLI::Option*(CLI::App*, const OptionDoc&)>;
using Binders = std::map<std::string, Binder>;

template <typename T>
Binder Value(T& variable) {
  return [&variable](CLI::App* command, const OptionDoc& doc) {
    return command->add_option(doc.names, variable, doc.help);
  };
}

Binder Flag(bool& variable) {
  return [&variable](CLI::App* command, const OptionDoc& doc) {
    return command->add_flag(doc.names, variable, doc.help);
  };
}

// Adds the table's command `name` with its arguments and options in the
// table's order. An entry with nothing here to set is named in `*unbound`.
CLI::App* AddCommand(CLI::App& app, const char* name, const Binders& binders, std::string* unbound) {
  const CommandDoc* doc = FindCommand(name);
  if (doc == nullptr) {
    *unbound += std::string(" ") + name;
    return app.add_subcommand(name);
  }
  CLI::App* command = app.add_subcommand(doc->name, doc->summary);
  for (const OptionDoc& option : doc->options) {
    const auto binder = binders.find(option.names);
    if (binder == binders.end()) {
      *unbound += std::string(" ") + name + " " + option.names;
      continue;
    }
    CLI::Option* added = binder->second(command, option);
    if (option.required) added->required();
    if (option.needs[0] != '\0') added->needs(command->get_option(option.needs));
  }
  for (const auto& entry : binders) {
    bool listed = false;
    for (const OptionDoc& option : doc->options) listed = listed || entry.first == option.names;
    if (!listed) *unbound += std::string(" ") + name + " " + entry.first;
  }
  return command;
}

// What the command line asked for: each option's variable, and the command
// chosen.
struct CommandLine {
  BuildRequest request;
  std::string installer, dir, manifestOut;
  bool quiet = false;
  bool entries = false;
  bool force = false;
  unsigned jobs = 0;
  // A package can name far more than it holds (copies, nesting): what it
  // may expand to is limited (tools/read/InstallerReader.h).
  uint64_t maxOutput = kDefaultMaxOutput;
  CLI::App* build = nullptr;
  CLI::App* init = nullptr;
  CLI::App* list = nullptr;
  CLI::App* verify = nullptr;
  CLI::App* extract = nullptr;
};

// Adds the table's commands to `app`, each argument and option bound to its
// variable in *line. What the table and this program do not share is named
// in *unbound.
void AddCommands(CLI::App& app, CommandLine* line, std::string* unbound) {
  BuildRequest& request = line->request;
  const Binder maxOutput = [line](CLI::App* command, const OptionDoc& option) {
    return command->add_option(option.names, line->maxOutput, option.help)->transform(CLI::AsSizeValue(false));
  };
  const Binder jobs = [line](CLI::App* command, const OptionDoc& option) {
    return command->add_option(option.names, line->jobs, option.help)->check(CLI::Range(1u, 256u));
  };
  line->build = AddCommand(app, "build",
                           {{"manifest", Value(request.manifest)},
                            {"-o,--output", Value(request.output)},
                            {"--stub", Value(request.stub)},
                            {"--impborl", Value(request.impborl)},
                            {"--sign", Value(request.sign.pfx)},
                            {"--sign-password-file", Value(request.sign.passwordFile)},
                            {"--timestamp", Value(request.sign.timestampUrl)},
                            {"--allow-outside", Flag(request.allowOutside)},
                            {"-q,--quiet", Flag(request.quiet)},
                            {"-j,--jobs", jobs}},
                           unbound);
  line->init = AddCommand(app, "init",
                          {{"dir", Value(line->dir)},
                           {"-o,--output", Value(line->manifestOut)},
                           {"--force", Flag(line->force)},
                           {"-q,--quiet", Flag(line->quiet)}},
                          unbound);
  line->list = AddCommand(
      app, "list", {{"installer", Value(line->installer)}, {"--entries", Flag(line->entries)}, {"--max-output", maxOutput}},
      unbound);
  line->verify = AddCommand(
      app, "verify", {{"installer", Value(line->installer)}, {"-q,--quiet", Flag(line->quiet)}, {"--max-output", maxOutput}},
      unbound);
  line->extract = AddCommand(app, "extract",
                             {{"installer", Value(line->installer)},
                              {"dir", Value(line->dir)},
                              {"-q,--quiet", Flag(line->quiet)},
                              {"--max-output", maxOutput}},
                             unbound);
}

}  // namespace

int main(int argc, char** argv) {
  const ProgramDoc& doc = SspackDoc();
  CLI::App app{doc.summary};
  app.require_subcommand(1);
  app.footer(ExitCodeFooter());

  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  const char* argv0 = args.empty() ? "sspack" : args[0].c_str();
  // The help flag before the commands, which take it over.
  const OptionDoc& help = doc.options[0];
  const OptionDoc& version = doc.options[1];
  app.set_help_flag(help.names, help.help);
  app.set_version_flag(version.names, [argv0] { return VersionText(argv0); }, version.help);

  CommandLine line;
  std::string unbound;
  AddCommands(app, &line, &unbound);
  if (!unbound.empty()) {
    // The command table and this program disagree: a build fault, which the
    // host tests catch before anyone else meets it.
    std::cerr << "sspack: the command table and the program differ:" << unbound << "\n";
    return kExitUsage;
  }

  std::vector<const char*> argPointers;
  for (const std::string& a : args) argPointers.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argPointers.size()), argPointers.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  SetDefaultJobs(line.jobs);
  if (*line.build) return RunBuild(line.request, argv0);
  if (*line.init) return RunInit(argv[0], line.dir, line.manifestOut, line.force, line.quiet);
  if (*line.list) return RunList(line.installer, line.entries, line.maxOutput);
  if (*line.verify) return RunVerify(line.installer, line.quiet, line.maxOutput);
  if (*line.extract) return RunExtract(line.installer, line.dir, line.quiet, line.maxOutput);
  return kExitUsage;
}
