#include "core/Messages.h"

#include "core/Strings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ss {

std::string SystemErrorText(Result code) {
#ifdef _WIN32
  // Only operating-system numbers have a system text; the program's own
  // negative codes have none.
  if (code <= 0) return std::string();
  char* buffer = nullptr;
  const DWORD saved = GetLastError();
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text;
  if (n != 0 && buffer != nullptr) text.assign(buffer, n);
  if (buffer != nullptr) LocalFree(buffer);
  SetLastError(saved);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
#else
  (void)code;
  return std::string();
#endif
}

std::string ComposeInstallError(Result code, const std::string& detail, const std::string& systemText) {
  std::string text = LoadStr(StringId::InstallationError);
  switch (code) {
    case kOsAccessDenied:
      text += detail + "\r\n\r\n" + LoadStr(StringId::InsufficientPrivileges);
      break;
    case kErrCopyPackage:
      text += detail + systemText + "\r\n\r\n" + LoadStr(StringId::RetryInstallation) +
              LoadStr(StringId::LoginAsAdministrator);
      break;
    case kErrEngineBusy:
      // The text explains the situation itself; the detail is not shown.
      text += LoadStr(StringId::EngineCannotBeReplaced);
      break;
    case kErrForeignUninstallEntry:
      text += LoadStr(StringId::TitleTakenByOtherProgram);
      break;
    default:
      text += detail + "\r\n\r\n" + LoadStr(StringId::ProblemWithFile) + detail + ". ";
      break;
  }
  return text;
}

std::string ComposeStartupFailure(Result code) {
  switch (code) {
    case kErrFlashNotOnNT:
      return LoadStr(StringId::NotCompatibleWithNT);
    case kErrFlashMissing:
      return LoadStr(StringId::FlashPlayerRequired);
    case kErrWorkDirUnprotected:
      return LoadStr(StringId::WorkFolderNotPrivate) + LoadStr(StringId::LumetraError) + std::to_string(code) + ". ";
    case kErrForeignUninstallEntry:
      // A direct install refused before it wrote anything: the package is
      // sound, the box says what the install box says.
      return ComposeInstallError(code, std::string());
    default:
      return LoadStr(StringId::InstallerCorrupted) + LoadStr(StringId::LumetraError) +
             std::to_string(code) + ". ";
  }
}

std::string ComposeDataFileInUse() {
  return LoadStr(StringId::LumetraError) + LoadStr(StringId::DataFileInUse);
}

std::string ComposeDataFileOpenProblem(const std::string& path, Result code) {
  return LoadStr(StringId::DataFileOpenProblem) + path + "\r\n\r\n" + std::to_string(code);
}

std::string ComposeDataFileReadProblem(const std::string& systemText) {
  return LoadStr(StringId::LumetraError) + LoadStr(StringId::DataFileReadProblem) + systemText;
}

std::string ComposeCloseProblem(const std::string& path, const std::string& systemText) {
  return LoadStr(StringId::ProblemClosingFile) + path + "\r\n" + systemText;
}

std::string CompletionStatus(Result code) {
  switch (code) {
    case kOk:
      return LoadStr(StringId::InstallComplete);
    case kOsAccessDenied:
      return LoadStr(StringId::PrivilegesStatus);
    case kErrEngineBusy:
      return LoadStr(StringId::EngineBusyStatus);
    case kErrForeignUninstallEntry:
      return LoadStr(StringId::TitleTakenStatus);
    default:
      return LoadStr(StringId::InstallFailedError) + std::to_string(code);
  }
}

}  // namespace ss
