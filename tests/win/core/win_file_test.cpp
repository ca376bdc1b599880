#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/WinFile.h"
#include "tests/support/WinFiles.h"

// This program's own import slot for WriteFile: the module's calls go
// through it, so a test can put a stand-in there.
extern "C" void* g_writeFileImport __asm__("__imp__WriteFile@20");

namespace ss {
namespace {

using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

WriteFileFn g_realWriteFile = nullptr;
int g_writeCalls = 0;

// Writes at most 7 bytes a call, as a disk that is filling up may.
BOOL WINAPI SevenBytesAtATime(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  ++g_writeCalls;
  return g_realWriteFile(file, data, size < 7 ? size : 7, written, overlapped);
}

// Routes this program's WriteFile calls to SevenBytesAtATime while it lives.
// Neither Windows nor Wine ends a blocking write early, and a non-blocking
// pipe takes no more after one short write until its reader has caught up,
// so a short write that is followed by progress has to be made here.
class ShortWrites {
 public:
  ShortWrites() {
    g_realWriteFile = reinterpret_cast<WriteFileFn>(g_writeFileImport);
    g_writeCalls = 0;
    Swap(reinterpret_cast<void*>(&SevenBytesAtATime));
  }
  ~ShortWrites() { Swap(reinterpret_cast<void*>(g_realWriteFile)); }
  ShortWrites(const ShortWrites&) = delete;
  ShortWrites& operator=(const ShortWrites&) = delete;

 private:
  static void Swap(void* to) {
    DWORD old = 0;
    VirtualProtect(&g_writeFileImport, sizeof(void*), PAGE_READWRITE, &old);
    g_writeFileImport = to;
    VirtualProtect(&g_writeFileImport, sizeof(void*), old, &old);
  }
};

TEST(WinFile, LastErrorOrNeverGivesSuccess) {
  SetLastError(NO_ERROR);
  EXPECT_EQ(LastErrorOr(kIoWriteFailed), kIoWriteFailed);
  SetLastError(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(LastErrorOr(kIoWriteFailed), kOsSharingViolation);
}

TEST(WinFile, ReadsRefuseAShortFile) {
  sstest::ScratchDir dir;
  const std::vector<uint8_t> five = {1, 2, 3, 4, 5};
  ASSERT_TRUE(sstest::WriteAll(dir / "five.bin", five));
  FileHandle file = OpenForReading(dir / "five.bin");
  ASSERT_TRUE(file);
  uint8_t buffer[8] = {};
  EXPECT_EQ(ReadExact(file.get(), buffer, sizeof buffer, kErrSwfTruncated), kErrSwfTruncated);

  std::vector<uint8_t> whole;
  EXPECT_EQ(ReadWholeFile(dir / "five.bin", 4, &whole, kErrCorruptPicture), kErrCorruptPicture);
  EXPECT_TRUE(whole.empty());
  EXPECT_EQ(ReadWholeFile(dir / "five.bin", 5, &whole), kOk);
  EXPECT_EQ(whole, five);
  std::string missing = "left over";
  EXPECT_EQ(ReadWholeFile(dir / "none.bin", 5, &missing), static_cast<Result>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(missing.empty());
}

TEST(WinFile, ShortWritesAreRepeated) {
  sstest::ScratchDir dir;
  std::vector<uint8_t> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  Result rc = kErrGeneric;
  int calls = 0;
  {
    FileHandle file = CreateForWriting(dir / "out.bin");
    ASSERT_TRUE(file);
    ShortWrites shortWrites;
    rc = WriteAll(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    calls = g_writeCalls;
  }
  EXPECT_EQ(rc, kOk);
  EXPECT_EQ(calls, 15);  // 14 writes of 7 bytes and one of 2
  EXPECT_EQ(sstest::ReadAll(dir / "out.bin"), bytes);
}

TEST(WinFile, AWriteThatCannotProceedFails) {
  // A non-blocking pipe with a 64-byte buffer and no reader takes nothing
  // of 1000 bytes: no progress, so no second try.
  const char* name = "\\\\.\\pipe\\ss-winfile-test";
  FileHandle server(CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr));
  ASSERT_TRUE(server);
  FileHandle client(CreateFileA(name, GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(client);
  DWORD mode = PIPE_NOWAIT;
  ASSERT_TRUE(SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr));
  const std::vector<uint8_t> bytes(1000, 0x5A);
  EXPECT_EQ(WriteAll(client.get(), bytes.data(), 1000, kErrGeneric), kErrGeneric);
  // With the reader gone the write fails, with the system's number rather
  // than a fallback.
  server.reset();
  EXPECT_GT(WriteAll(client.get(), bytes.data(), 1000, kErrGeneric, kErrGeneric), 0);
}

}  // namespace
}  // namespace ss
