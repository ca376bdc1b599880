#include "tools/build/Signing.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
extern char** environ;
#endif

#include "tools/common/FileIo.h"
#include "tools/read/InstallerReader.h"

namespace ss::pack {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SignArguments(const SignOptions& options, const std::string& in,
                                       const std::string& out) {
  // The tool runs in the caller's private folder (on Windows), so the
  // author's files are named by absolute paths.
  auto absolute = [](const std::string& p) {
    std::error_code ec;
    const fs::path full = fs::absolute(fs::u8path(p), ec);
    return ec ? p : full.u8string();
  };
  std::vector<std::string> args = {kSignTool, "sign", "-pkcs12", absolute(options.pfx)};
  // The password travels in a file (or on standard input for "-"), never on
  // a command line that other users of the machine can read.
  if (!options.passwordFile.empty()) {
    args.push_back("-readpass");
    args.push_back(options.passwordFile == "-" ? options.passwordFile : absolute(options.passwordFile));
  }
  if (!options.timestampUrl.empty()) {
    args.push_back("-ts");
    args.push_back(options.timestampUrl);
  }
  for (const std::string& a : {std::string("-in"), in, std::string("-out"), out}) args.push_back(a);
  return args;
}

// The tool's messages (its standard output and error went to `log`), one
// indented line each, without its closing "Failed".
std::string LogText(const fs::path& log) {
  std::ifstream in(log, std::ios::binary);
  std::string line, text;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line == "Failed") continue;
    text += "\n  " + line;
  }
  return text;
}

enum class Launch { kRan, kMissing, kFailed };

// One entry of a PATH value, without the quotes Windows allows around it.
std::string Unquoted(std::string entry) {
  if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
    entry = entry.substr(1, entry.size() - 2);
  }
  return entry;
}

bool IsAbsolute(const std::string& p, bool windows) {
  if (!windows) return !p.empty() && p[0] == '/';
  auto slash = [](char c) { return c == '\\' || c == '/'; };
  // "C:\x" is absolute; "C:x" is relative to that drive's current folder,
  // and "\x" to the current drive. Two slashes begin a UNC path.
  if (p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && slash(p[2])) {
    return true;
  }
  return p.size() >= 3 && slash(p[0]) && slash(p[1]) && !slash(p[2]);
}

#ifdef _WIN32

std::string Utf8(const std::wstring& wide) { return fs::path(wide).u8string(); }

// osslsigncode.exe beside sspack.exe, else in the first folder on PATH that
// holds it; "" when there is none. The current folder is not searched.
fs::path FindTool() {
  std::wstring self(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &self[0], static_cast<DWORD>(self.size()));
  const std::string programFolder =
      length > 0 && length < self.size() ? Utf8(fs::path(self.substr(0, length)).parent_path().wstring())
                                         : std::string();
  std::wstring path(32768, L'\0');
  const DWORD pathLength = GetEnvironmentVariableW(L"PATH", &path[0], static_cast<DWORD>(path.size()));
  path.resize(pathLength < path.size() ? pathLength : 0);
  for (const std::string& folder : SignToolFolders(programFolder, Utf8(path), true)) {
    const fs::path candidate = fs::u8path(folder) / "osslsigncode.exe";
    const DWORD attributes = GetFileAttributesW(candidate.wstring().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return candidate;
    }
  }
  return fs::path();
}

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE h = nullptr) : h_(h) {}
  ~OwnedHandle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// One argument as the C runtime's command-line parser reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out.push_back(c);
    backslashes = 0;
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

// Runs the tool in the folder of `log` (the caller's private folder), so
// that no library it looks for in its current folder comes from elsewhere.
Launch Run(const std::vector<std::string>& args, const fs::path& log, int* exitCode,
           std::string* error) {
  const fs::path program = FindTool();
  if (program.empty()) return Launch::kMissing;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle output(CreateFileW(log.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.valid()) {
    *error = log.u8string() + ": cannot create (error " + std::to_string(GetLastError()) + ")";
    return Launch::kFailed;
  }
  std::wstring commandLine = QuoteArgument(program.wstring());
  for (size_t i = 1; i < args.size(); ++i) commandLine += L" " + QuoteArgument(fs::u8path(args[i]).wstring());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  const std::wstring folder = log.parent_path().wstring();
  if (!CreateProcessW(program.wstring().c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    const DWORD code = GetLastError();
    *error = "cannot start " + program.u8string() + " (error " + std::to_string(code) + ")";
    return Launch::kFailed;
  }
  OwnedHandle process(info.hProcess);
  OwnedHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  *exitCode = static_cast<int>(code);
  return Launch::kRan;
}

#else

// osslsigncode in the first folder on PATH that holds it as a program; ""
// when there is none. PATH unset means what the C library then takes.
fs::path FindTool() {
  const char* path = std::getenv("PATH");
  for (const std::string& folder : SignToolFolders("", path != nullptr ? path : "/bin:/usr/bin", false)) {
    const fs::path candidate = fs::path(folder) / kSignTool;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return fs::path();
}

Launch Run(const std::vector<std::string>& args, const fs::path& log, int* exitCode,
           std::string* error) {
  const fs::path program = FindTool();
  if (program.empty()) return Launch::kMissing;
  const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (output < 0) {
    *error = log.u8string() + ": cannot create: " + std::strerror(errno);
    return Launch::kFailed;
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output, 1);
  posix_spawn_file_actions_adddup2(&actions, output, 2);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(output);
  if (rc != 0) {
    *error = "cannot start " + program.u8string() + ": " + std::strerror(rc);
    return Launch::kFailed;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("lost ") + kSignTool + ": " + std::strerror(errno);
      return Launch::kFailed;
    }
  }
  *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return Launch::kRan;
}

#endif

// Why signing cannot begin: the tool is nowhere to be found.
std::string ToolMissingText() {
#ifdef _WIN32
  return std::string("signing needs ") + kSignTool + ".exe (the Windows build of the package \"" +
         kSignTool + "\"), which was found neither beside sspack.exe nor in a folder on PATH " +
         "(the current folder is not searched)";
#else
  return std::string("signing needs ") + kSignTool +
         ", which was not found in a folder on PATH (the current folder is not searched); on Debian "
         "it is the package \"osslsigncode\" (apt-get install osslsigncode)";
#endif
}

// The signature belongs after the package, and only the program's headers
// may change: the installer must find the very package it was built with.
// *signedSize is the size of the signed copy.
ToolResult PackageCameThrough(const std::vector<uint8_t>& installer, size_t packageOffset,
                              const std::string& signedCopy, uint64_t* signedSize) {
  std::vector<uint8_t> signedBytes;
  InstallerView view;
  ToolResult read = ReadWholeFile(signedCopy, &signedBytes);
  if (read.ok()) read = ReadInstaller(signedBytes, &view);
  const std::string error = read.message();
  if (!read.ok() || view.signatureSize == 0 ||
      signedBytes.size() < installer.size() ||
      view.packageOffset != static_cast<int32_t>(packageOffset) ||
      !std::equal(installer.begin() + static_cast<std::ptrdiff_t>(packageOffset), installer.end(),
                  signedBytes.begin() + static_cast<std::ptrdiff_t>(packageOffset))) {
    return ToolResult::Fault(std::string(kSignTool) + " did not leave the package as built" +
                             (error.empty() ? "" : ": " + error));
  }
  *signedSize = signedBytes.size();
  return ToolResult();
}

}  // namespace

std::vector<std::string> SignToolFolders(const std::string& programFolder, const std::string& path,
                                         bool windows) {
  std::vector<std::string> folders;
  if (!programFolder.empty()) folders.push_back(programFolder);
  const char separator = windows ? ';' : ':';
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(separator, start);
    if (end == std::string::npos) end = path.size();
    const std::string raw = path.substr(start, end - start);
    const std::string entry = windows ? Unquoted(raw) : raw;
    if (IsAbsolute(entry, windows)) folders.push_back(entry);
    start = end + 1;
  }
  return folders;
}

ToolResult SignFile(const SignOptions& options, const std::string& in, const std::string& out) {
  const fs::path outPath = fs::u8path(out);
  fs::path log = outPath;
  log += ".log";
  std::error_code ec;
  int exitCode = 0;
  std::string error;
  const Launch launch = Run(SignArguments(options, in, out), log, &exitCode, &error);
  if (launch == Launch::kMissing) return ToolResult::Fault(ToolMissingText());
  // Nothing was made when the tool did not start.
  if (launch == Launch::kFailed) return ToolResult::Fault(error);
  const std::string messages = LogText(log);
  fs::remove(log, ec);
  if (exitCode != 0 || !fs::is_regular_file(outPath, ec)) {
    fs::remove(outPath, ec);
    return ToolResult::Fault(std::string(kSignTool) + " could not sign (exit code " +
                             std::to_string(exitCode) + ")" +
                             (messages.empty() ? std::string() : ":" + messages));
  }
  return ToolResult();
}

ToolResult WriteSignedInstaller(const SignOptions& options, const std::string& output,
                                const std::vector<uint8_t>& installer, size_t packageOffset,
                                uint64_t* signedSize) {
  WorkFolder work;
  if (ToolResult made = work.Create(output); !made.ok()) return made;
  const std::string unsignedCopy = work.File("unsigned.exe");
  const std::string signedCopy = work.File("signed.exe");
  if (ToolResult written = WriteNewFile(unsignedCopy, installer); !written.ok()) return written;
  if (ToolResult signing = SignFile(options, unsignedCopy, signedCopy); !signing.ok()) {
    return signing.Prefixed("signing " + output + ": ");
  }
  if (ToolResult same = PackageCameThrough(installer, packageOffset, signedCopy, signedSize);
      !same.ok()) {
    return same.Prefixed("signing " + output + ": ");
  }
  std::error_code ec;
  fs::rename(fs::u8path(signedCopy), fs::u8path(output), ec);
  if (ec) return ToolResult::WriteFault(output + ": cannot replace the file: " + ec.message());
  return ToolResult();
}

}  // namespace ss::pack
