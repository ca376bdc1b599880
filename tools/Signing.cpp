#include "tools/Signing.h"

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

#include <cerrno>
#include <cstring>
extern char** environ;
#endif

namespace ss::pack {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SignArguments(const SignOptions& options, const std::string& in,
                                       const std::string& out) {
  std::vector<std::string> args = {kSignTool, "sign", "-pkcs12", options.pfx};
  // The password travels in a file (or on standard input for "-"), never on
  // a command line that other users of the machine can read.
  if (!options.passwordFile.empty()) {
    args.push_back("-readpass");
    args.push_back(options.passwordFile);
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

#ifdef _WIN32

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

Launch Run(const std::vector<std::string>& args, const fs::path& log, int* exitCode,
           std::string* error) {
  // The application folder, the current folder, the system folders, then PATH.
  wchar_t program[MAX_PATH];
  const DWORD found = SearchPathW(nullptr, L"osslsigncode.exe", nullptr, MAX_PATH, program, nullptr);
  if (found == 0 || found >= MAX_PATH) return Launch::kMissing;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  OwnedHandle output(CreateFileW(log.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.valid()) {
    *error = log.u8string() + ": cannot create (error " + std::to_string(GetLastError()) + ")";
    return Launch::kFailed;
  }
  std::wstring commandLine = QuoteArgument(program);
  for (size_t i = 1; i < args.size(); ++i) commandLine += L" " + QuoteArgument(fs::u8path(args[i]).wstring());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &info)) {
    const DWORD code = GetLastError();
    *error = "cannot start " + fs::path(program).u8string() + " (error " + std::to_string(code) + ")";
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

Launch Run(const std::vector<std::string>& args, const fs::path& log, int* exitCode,
           std::string* error) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, kSignTool, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc == ENOENT) return Launch::kMissing;
  if (rc != 0) {
    *error = std::string("cannot start ") + kSignTool + ": " + std::strerror(rc);
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

}  // namespace

SignResult SignFile(const SignOptions& options, const std::string& in, const std::string& out,
                    std::string* error) {
  const fs::path outPath = fs::u8path(out);
  fs::path log = outPath;
  log += ".log";
  std::error_code ec;
  int exitCode = 0;
  const Launch launch = Run(SignArguments(options, in, out), log, &exitCode, error);
  const std::string messages = launch == Launch::kRan ? LogText(log) : std::string();
  fs::remove(log, ec);
  if (launch == Launch::kMissing) {
    fs::remove(outPath, ec);
#ifdef _WIN32
    *error = std::string("signing needs ") + kSignTool + ".exe, which was found neither beside sspack nor on PATH";
#else
    *error = std::string("signing needs ") + kSignTool +
             ", which was not found on PATH; on Debian it is the package \"osslsigncode\" "
             "(apt-get install osslsigncode)";
#endif
    return SignResult::kToolMissing;
  }
  if (launch == Launch::kFailed) {
    fs::remove(outPath, ec);
    return SignResult::kFailed;
  }
  if (exitCode != 0 || !fs::is_regular_file(outPath, ec)) {
    fs::remove(outPath, ec);
    *error = std::string(kSignTool) + " could not sign (exit code " + std::to_string(exitCode) + ")" +
             (messages.empty() ? std::string() : ":" + messages);
    return SignResult::kFailed;
  }
  return SignResult::kOk;
}

}  // namespace ss::pack
