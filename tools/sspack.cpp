// sspack: builds a screen saver installer from a manifest, and lists,
// verifies and extracts finished installers.
//
// Exit codes: 0 success; 1 the manifest, an input file or the installer has a
// fault (or verify found one); 2 the command line is wrong; 3 an output file
// or folder could not be written.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>

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

#include "tools/FileIo.h"
#include "tools/Manifest.h"
#include "tools/PackageBuilder.h"
#include "tools/PackageCheck.h"
#include "tools/ParallelJobs.h"

namespace fs = std::filesystem;
using namespace ss::pack;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFault = 1;
constexpr int kExitUsage = 2;
constexpr int kExitWrite = 3;

// The folder sspack runs from: the default stub lies beside it.
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

int ReadInstallerFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::string error;
  if (!ReadWholeFile(path, bytes, &error)) {
    std::cerr << "sspack: " << error << "\n";
    return kExitFault;
  }
  return kExitOk;
}

int RunBuild(const std::string& manifest, const std::string& output, std::string stub,
             std::string impborl, bool quiet, const char* argv0) {
  if (stub.empty()) stub = (ProgramFolder(argv0) / "ssinstall.exe").u8string();
  if (impborl.empty()) impborl = (fs::u8path(stub).parent_path() / "impborl.dll").u8string();

  std::vector<uint8_t> stubBytes;
  std::string error;
  if (!ReadWholeFile(stub, &stubBytes, &error)) {
    std::cerr << "sspack: stub: " << error << "\n";
    return kExitFault;
  }
  ManifestOptions options;
  options.impborlPath = impborl;
  options.installerName = fs::u8path(output).filename().u8string();
  PackageInput input;
  std::vector<std::string> notes;
  ProgressLine progress(!quiet);
  if (!LoadManifest(manifest, options, &input, &notes, &error, progress.callback())) {
    progress.Clear();
    std::cerr << "sspack: " << error << "\n";
    return kExitFault;
  }
  std::vector<uint8_t> installer;
  if (!BuildInstaller(stubBytes, input, &installer, &error, progress.callback())) {
    progress.Clear();
    // Stub faults come back without the path; the rest name their item.
    std::cerr << "sspack: " << (error.rfind("stub: ", 0) == 0 ? stub + ": " + error.substr(6) : error)
              << "\n";
    return kExitFault;
  }
  progress.Clear();
  for (const std::string& note : notes) std::cerr << "sspack: note: " << note << "\n";
  if (!ReplaceWholeFile(output, installer, &error)) {
    std::cerr << "sspack: " << error << "\n";
    return kExitWrite;
  }
  if (!quiet) {
    std::cout << "wrote " << output << " (" << installer.size() << " bytes, package at "
              << stubBytes.size() << ")\n";
  }
  return kExitOk;
}

int RunList(const std::string& path, bool entries) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  InstallerView view;
  std::string error;
  if (!ReadInstaller(bytes, &view, &error)) {
    std::cerr << "sspack: " << path << ": " << error << "\n";
    return kExitFault;
  }
  std::cout << FormatInstaller(view);
  if (!entries) return kExitOk;
  std::vector<uint8_t> data;
  if (!ReadSegment(bytes, view.header.segments[ss::kSegDataFile], &data, &error)) {
    std::cerr << "sspack: " << path << ": segment 8 (data file): " << error << "\n";
    return kExitFault;
  }
  DataFileView dataView;
  std::vector<Finding> findings;
  const bool parsed = ParseDataFile(data, &dataView, &findings);
  for (const Finding& f : findings) std::cerr << "sspack: " << path << ": " << f.text << "\n";
  if (!parsed) return kExitFault;
  std::cout << "\n" << FormatDataFile(dataView);
  return kExitOk;
}

int RunVerify(const std::string& path, bool quiet) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  int faults = 0;
  for (const Finding& f : VerifyInstaller(bytes)) {
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

int RunExtract(const std::string& path, const std::string& dir, bool quiet) {
  std::vector<uint8_t> bytes;
  if (int rc = ReadInstallerFile(path, &bytes); rc != kExitOk) return rc;
  std::vector<std::string> written, problems;
  std::string error;
  if (!ExtractInstaller(bytes, dir, &written, &problems, &error)) {
    std::cerr << "sspack: " << error << "\n";
    return error.rfind(dir, 0) == 0 ? kExitWrite : kExitFault;
  }
  if (!quiet) {
    for (const std::string& w : written) std::cout << w << "\n";
  }
  for (const std::string& p : problems) std::cerr << "sspack: " << path << ": " << p << "\n";
  return problems.empty() ? kExitOk : kExitFault;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"sspack: builds, lists, verifies and extracts screen saver installers"};
  app.require_subcommand(1);
  app.footer(
      "Exit codes: 0 success; 1 a fault in the manifest, an input file or the installer;\n"
      "2 a wrong command line; 3 an output could not be written.");

  std::string manifest, output, stub, impborl, installer, dir;
  bool quiet = false;
  bool entries = false;
  unsigned jobs = 0;

  CLI::App* build = app.add_subcommand("build", "Build an installer from a manifest");
  build->add_option("manifest", manifest, "The manifest (JSON)")->required();
  build->add_option("-o,--output", output, "The installer to write, e.g. Setup.exe")->required();
  build->add_option("--stub", stub, "The installer stub (default: ssinstall.exe beside sspack)");
  build->add_option("--impborl", impborl,
                    "The decompression library (default: impborl.dll beside the stub)");
  build->add_flag("-q,--quiet", quiet, "No progress and no summary");
  build->add_option("-j,--jobs", jobs,
                    "Threads that compress (default: one per processor); the output is the "
                    "same for every count")
      ->check(CLI::Range(1u, 256u));

  CLI::App* list = app.add_subcommand("list", "Show an installer's header and segment table");
  list->add_option("installer", installer, "The installer")->required();
  list->add_flag("--entries", entries, "Also list the data file's entries");

  CLI::App* verify = app.add_subcommand(
      "verify", "Check everything the installer relies on; exit code 0 only when it would accept "
                "the package");
  verify->add_option("installer", installer, "The installer")->required();
  verify->add_flag("-q,--quiet", quiet, "Report faults only");

  CLI::App* extract = app.add_subcommand(
      "extract", "Write every segment and data-file entry into a new or empty folder");
  extract->add_option("installer", installer, "The installer")->required();
  extract->add_option("dir", dir, "The folder to write into")->required();
  extract->add_flag("-q,--quiet", quiet, "Do not list the files written");

  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  std::vector<const char*> argPointers;
  for (const std::string& a : args) argPointers.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argPointers.size()), argPointers.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  SetDefaultJobs(jobs);
  if (*build) return RunBuild(manifest, output, stub, impborl, quiet, argPointers[0]);
  if (*list) return RunList(installer, entries);
  if (*verify) return RunVerify(installer, quiet);
  if (*extract) return RunExtract(installer, dir, quiet);
  return kExitUsage;
}
