// The Windows side of os.h: files and folders through the wide calls, figures, the console and
// console control for stop requests.
#include <windows.h>
// (after windows.h, which it needs)
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "runtime/os/os.h"
#include "runtime/os/windows_text.h"

namespace os {
namespace {

using windows::last_error_text;
using windows::narrow;
using windows::widen;

std::string errno_text() {
  return std::strerror(errno);
}

// A handle to what `path` names, for asking what it is; INVALID_HANDLE_VALUE when it cannot
// be opened.
HANDLE open_to_inspect(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::FILE* file_of(int fd, std::string& reason) {
  std::FILE* file = _fdopen(fd, "wb");
  if (!file) {
    reason = errno_text();
    _close(fd);
  }
  return file;
}

}  // namespace

FileKind file_kind(const std::string& path, std::string* reason) {
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return FileKind::kNone;
    if (reason) *reason = windows::error_text(code);
    return FileKind::kUnknown;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kFolder;
  // Device names (NUL, CON, COM1) answer with attributes too: only a disk file is regular.
  const HANDLE h = open_to_inspect(wide);
  if (h == INVALID_HANDLE_VALUE) return FileKind::kOther;
  const DWORD type = GetFileType(h);
  CloseHandle(h);
  return type == FILE_TYPE_DISK ? FileKind::kRegular : FileKind::kOther;
}

std::FILE* create_new_file(const std::string& path, std::string& reason) {
  // _O_EXCL fails on any existing name, a link included; _O_NOINHERIT keeps it from children.
  const int fd = _wopen(widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    reason = errno_text();
    return nullptr;
  }
  return file_of(fd, reason);
}

std::FILE* create_or_truncate_file(const std::string& path, std::string& reason) {
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
    reason = attributes & FILE_ATTRIBUTE_DIRECTORY ? "is a directory" : "is a link; refusing to write through it";
    return nullptr;
  }
  // Checked before truncating: a device name must not be opened for writing at all.
  if (attributes != INVALID_FILE_ATTRIBUTES && file_kind(path) != FileKind::kRegular) {
    reason = "not a regular file";
    return nullptr;
  }
  const int fd = _wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    reason = errno_text();
    return nullptr;
  }
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
    reason = "not a regular file";
    _close(fd);
    return nullptr;
  }
  return file_of(fd, reason);
}

std::FILE* open_for_reading(const std::string& path) {
  return _wfopen(widen(path).c_str(), L"rb");
}

bool read_regular_file(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes,
                       std::string& reason) {
  bytes.clear();
  const std::wstring wide = widen(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    reason = "is a directory";
    return false;
  }
  const HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    reason = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "No such file or directory"
                                                                          : windows::error_text(code);
    return false;
  }
  const std::string too_large = "file too large (over " + std::to_string(max_bytes >> 20) + " MB)";
  LARGE_INTEGER size{};
  bool ok = true;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    reason = "not a regular file";
    ok = false;
  } else if (!GetFileSizeEx(h, &size)) {
    reason = last_error_text();
    ok = false;
  } else if (uint64_t(size.QuadPart) > max_bytes) {
    reason = too_large;
    ok = false;
  }
  if (ok) {
    // The size may change while reading: never read past the bound whatever the file does.
    bytes.resize(size_t(size.QuadPart));
    size_t done = 0;
    for (;;) {
      if (done == bytes.size()) {
        if (bytes.size() > max_bytes) {
          reason = too_large;
          ok = false;
          break;
        }
        bytes.resize(bytes.size() + 4096);
      }
      DWORD n = 0;
      const DWORD ask = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
      if (!ReadFile(h, bytes.data() + done, ask, &n, nullptr)) {
        reason = last_error_text();
        ok = false;
        break;
      }
      if (n == 0) break;
      done += n;
    }
    bytes.resize(ok ? done : 0);
  }
  CloseHandle(h);
  return ok;
}

FileKind entry_kind(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FileKind::kNone
                                                                        : FileKind::kUnknown;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileKind::kRegular;  // a link: not followed
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kFolder;
  return file_kind(path) == FileKind::kRegular ? FileKind::kRegular : FileKind::kOther;
}

bool same_file(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  const HANDLE ha = open_to_inspect(widen(a));
  const HANDLE hb = open_to_inspect(widen(b));
  const bool known = ha != INVALID_HANDLE_VALUE && hb != INVALID_HANDLE_VALUE &&
                     GetFileInformationByHandle(ha, &ia) && GetFileInformationByHandle(hb, &ib);
  if (ha != INVALID_HANDLE_VALUE) CloseHandle(ha);
  if (hb != INVALID_HANDLE_VALUE) CloseHandle(hb);
  return known && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool make_folder(const std::string& path, std::string& reason) {
  if (_wmkdir(widen(path).c_str()) != 0 && errno != EEXIST) {
    reason = errno_text();
    return false;
  }
  if (file_kind(path) != FileKind::kFolder) {
    reason = "not a folder";
    return false;
  }
  return true;
}

bool make_unique_folder(const std::string& parent, const std::string& prefix, std::string& made,
                        std::string& reason) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  uint64_t seed = GetTickCount64() * 0x9E3779B97F4A7C15ull ^ GetCurrentProcessId() ^ (uint64_t(counter++) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = parent + "/" + prefix;
    for (int i = 0; i < 6; ++i) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      name += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
    }
    if (_wmkdir(widen(name).c_str()) == 0) {
      made = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  reason = errno_text();
  return false;
}

bool list_folder(const std::string& path, std::vector<std::string>& names, std::string& reason) {
  WIN32_FIND_DATAW entry{};
  const HANDLE find = FindFirstFileW(widen(path + "/*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    reason = last_error_text();
    return false;
  }
  names.clear();
  do {
    const std::string name = narrow(entry.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return true;
}

bool remove_file(const std::string& path) {
  return DeleteFileW(widen(path).c_str()) != 0;
}

bool remove_folder(const std::string& path) {
  return RemoveDirectoryW(widen(path).c_str()) != 0;
}

bool replace_file(const std::string& from, const std::string& to, std::string& reason) {
  if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  reason = last_error_text();
  return false;
}

bool rename_entry(const std::string& from, const std::string& to, std::string& reason) {
  // Without MOVEFILE_REPLACE_EXISTING an existing name is refused; folders move as files do.
  if (MoveFileExW(widen(from).c_str(), widen(to).c_str(), 0)) return true;
  reason = last_error_text();
  return false;
}

std::string executable_path() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
  if (n == 0 || n >= path.size()) return {};
  return narrow(path.c_str(), int(n));
}

std::string parent_folder(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool is_absolute(const std::string& path) {
  if (path.size() >= 2 && (path[0] == '/' || path[0] == '\\')) return true;  // a root or a share
  return path.size() >= 3 && path[1] == ':' && (path[2] == '/' || path[2] == '\\');
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide || count != argc) {
    if (wide) LocalFree(wide);
    return std::vector<std::string>(argv, argv + argc);
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

void attach_console() {
  // A GUI-subsystem program has no console of its own. Started from a console it attaches to
  // that one, so that Ctrl+C there reaches it as it reaches a console program; its standard
  // streams go there too, unless the parent gave it handles of its own (a pipe, a file).
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const bool have_out = out && out != INVALID_HANDLE_VALUE, have_err = err && err != INVALID_HANDLE_VALUE;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!have_out) (void)std::freopen("CONOUT$", "w", stdout);
  if (!have_err) (void)std::freopen("CONOUT$", "w", stderr);
}

long process_id() {
  return long(GetCurrentProcessId());
}

bool process_alive(long pid) {
  if (pid <= 0) return false;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // it runs, under another user
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

bool is_terminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

void set_environment(const char* name, const char* value) {
  _putenv_s(name, value ? value : "");  // an empty value removes the variable
}

long peak_memory_kb() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return long(counters.PeakWorkingSetSize / 1024);
}

namespace {
double filetime_ms(const FILETIME& t) {
  return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;  // 100 ns units
}
}  // namespace

double thread_cpu_ms() {
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user)) return 0;
  return filetime_ms(kernel) + filetime_ms(user);
}

double process_cpu_seconds() {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
  return (filetime_ms(kernel) + filetime_ms(user)) / 1e3;
}

// Console control events stand for the POSIX signals: Ctrl+C for an interrupt, Ctrl+Break for
// a termination request, a closed console, a log-off or a shut-down for a hang-up.
namespace {
std::atomic<int> g_stop{0};
std::atomic<int> g_grace_seconds{0};
constexpr int kInterrupt = 2, kHangUp = 1, kTerminate = 15, kBrokenPipe = 13;

// The system runs each console control handler call on a thread of its own, so this one may
// wait out the grace time: if the process is still there then, it ends here.
BOOL WINAPI on_console_event(DWORD event) {
  const int number = event == CTRL_C_EVENT ? kInterrupt : event == CTRL_BREAK_EVENT ? kTerminate : kHangUp;
  int none = 0;
  if (!g_stop.compare_exchange_strong(none, number)) {
    // A second request ends the process at once.
    TerminateProcess(GetCurrentProcess(), UINT(128 + none));
    return TRUE;
  }
  // After a close, log-off or shut-down event the system ends the process when this handler
  // returns: hold it while the main thread closes its files (the system's own bound is 5 s).
  if (number == kHangUp) {
    Sleep(4500);
    return TRUE;
  }
  if (const int grace = g_grace_seconds.load(); grace > 0) {
    Sleep(DWORD(grace) * 1000);
    TerminateProcess(GetCurrentProcess(), UINT(128 + number));
  }
  return TRUE;
}
}  // namespace

void catch_stop_requests(bool, int grace_seconds) {
  g_grace_seconds.store(grace_seconds > 0 ? grace_seconds : 0);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

int stop_request() {
  return g_stop.load();
}

const char* stop_request_name(int number) {
  switch (number) {
    case kInterrupt:
      return "Ctrl+C";
    case kTerminate:
      return "Ctrl+Break";
    case kHangUp:
      return "the console closed";
    case kBrokenPipe:
      return "Broken pipe";
    default:
      return "stop request";
  }
}

void end_by_stop_request(int number) {
  std::fflush(nullptr);
  std::_Exit(128 + number);
}

void ignore_broken_pipe() {}  // a write to a closed pipe fails with an error here anyway

}  // namespace os
