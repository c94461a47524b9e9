// The Windows side of os.h's processes: CreateProcessW with the child's standard input on a
// pipe whose writing end is overlapped, so that a write can wait with a bound.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "runtime/os/os.h"
#include "runtime/os/windows_text.h"

namespace os {
namespace {

using windows::narrow;
using windows::widen;

// One argument quoted as the C runtime's command-line parser reads it back: backslashes are
// literal except before a quote, where they double.
void append_quoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

std::wstring command_line(const std::vector<std::string>& arguments) {
  std::wstring line;
  for (const std::string& a : arguments) {
    if (!line.empty()) line += L' ';
    append_quoted(line, widen(a));
  }
  return line;
}

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The program's full path: a name with a folder as it is, a bare name searched on PATH, with
// ".exe" added when it has no extension.
std::wstring find_program(const std::string& name) {
  std::wstring wide = widen(name);
  const bool has_folder = wide.find_first_of(L"/\\:") != std::wstring::npos;
  const size_t dot = wide.rfind(L'.');
  const bool has_extension = dot != std::wstring::npos && wide.find_first_of(L"/\\", dot) == std::wstring::npos;
  const std::wstring candidates[2] = {wide, wide + L".exe"};
  if (has_folder) {
    for (const std::wstring& c : candidates)
      if ((has_extension || &c != &candidates[0]) && is_file(c)) return c;
    return {};
  }
  const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  std::wstring path(size, L'\0');
  if (size) path.resize(GetEnvironmentVariableW(L"PATH", path.data(), size));
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L';', start);
    if (end == std::wstring::npos) end = path.size();
    std::wstring dir = path.substr(start, end - start);
    if (!dir.empty()) {
      if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
      for (const std::wstring& c : candidates)
        if ((has_extension || &c != &candidates[0]) && is_file(dir + c)) return dir + c;
    }
    start = end + 1;
  }
  return {};
}

HANDLE inheritable(HANDLE h) {
  HANDLE copy = nullptr;
  if (!h || h == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  return copy;
}

// Starts `arguments` with the given standard handles (each made inheritable for the child and
// closed here after); the process handle, or null with `reason`.
HANDLE spawn(const std::vector<std::string>& arguments, HANDLE in, HANDLE out, HANDLE err, std::string& reason) {
  const std::wstring program = find_program(arguments[0]);
  if (program.empty()) {
    reason = arguments[0] + ": cannot start: not found";
    return nullptr;
  }
  std::wstring line = command_line(arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &info);
  if (!started) {
    reason = arguments[0] + ": cannot start: " + windows::last_error_text();
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

void close_handle(HANDLE h) {
  if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

// Waits at most `timeout_ms` (negative: for ever), then ends the child; with `stopped`, a stop
// request ends it too. Its exit code, -1 when it was ended.
int wait_bounded(HANDLE process, int timeout_ms, bool* timed_out, bool* stopped = nullptr) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD slice = timeout_ms < 0 ? INFINITE : DWORD(timeout_ms);
    if (stopped) slice = 50;  // looks at the stop requests between slices
    if (WaitForSingleObject(process, slice) == WAIT_OBJECT_0) break;
    const bool expired = timeout_ms >= 0 && GetTickCount64() - start >= ULONGLONG(timeout_ms);
    const bool stop = stopped && stop_request() != 0;
    if (expired || stop) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
      if (expired && timed_out) *timed_out = true;
      if (!expired && stop) *stopped = true;
      return -1;
    }
  }
  DWORD code = 0;
  return GetExitCodeProcess(process, &code) ? int(code) : -1;
}

HANDLE open_null_input() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

bool program_on_path(const std::string& name) {
  return !find_program(name).empty();
}

struct PipedProcess::State {
  HANDLE process = nullptr;
  HANDLE pipe = nullptr;   // our end, overlapped
  HANDLE event = nullptr;  // signalled when an overlapped write completes
};

PipedProcess::~PipedProcess() {
  if (state_) finish(10000);
}

bool PipedProcess::start(const std::vector<std::string>& arguments, std::string& reason) {
  // Anonymous pipes cannot be overlapped: a named pipe of the process's own, used once.
  static std::atomic<unsigned> serial{0};
  const std::wstring name = L"\\\\.\\pipe\\quorvane-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(serial++);
  const HANDLE ours = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED |
                                                         FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 1 << 20, 0, 0,
                                       nullptr);
  if (ours == INVALID_HANDLE_VALUE) {
    reason = "cannot make a pipe: " + windows::last_error_text();
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE theirs = CreateFileW(name.c_str(), GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
  if (theirs == INVALID_HANDLE_VALUE) {
    reason = "cannot make a pipe: " + windows::last_error_text();
    CloseHandle(ours);
    return false;
  }
  const HANDLE out = inheritable(GetStdHandle(STD_OUTPUT_HANDLE));
  const HANDLE err = inheritable(GetStdHandle(STD_ERROR_HANDLE));
  const HANDLE process = spawn(arguments, theirs, out, err, reason);
  close_handle(theirs);
  close_handle(out);
  close_handle(err);
  if (!process) {
    CloseHandle(ours);
    return false;
  }
  state_ = new State{process, ours, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  return true;
}

bool PipedProcess::write(const void* bytes, size_t size, int timeout_ms) {
  if (!state_ || !state_->pipe) return false;
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (size > 0) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = state_->event;
    ResetEvent(state_->event);
    const DWORD ask = DWORD(std::min<size_t>(size, 1 << 20));
    DWORD done = 0;
    if (!WriteFile(state_->pipe, p, ask, &done, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;  // the reader is gone
      if (WaitForSingleObject(state_->event, DWORD(timeout_ms)) != WAIT_OBJECT_0) {
        // No progress for timeout_ms: take the write back before the buffer goes away.
        CancelIo(state_->pipe);
        GetOverlappedResult(state_->pipe, &overlapped, &done, TRUE);
        return false;
      }
      if (!GetOverlappedResult(state_->pipe, &overlapped, &done, FALSE)) return false;
    }
    if (done == 0) return false;
    p += done;
    size -= done;
  }
  return true;
}

int PipedProcess::finish(int timeout_ms) {
  if (!state_) return -1;
  close_handle(state_->pipe);
  const int code = wait_bounded(state_->process, timeout_ms, nullptr);
  close_handle(state_->process);
  close_handle(state_->event);
  delete state_;
  state_ = nullptr;
  return code;
}

ProgramResult run_program(const std::vector<std::string>& arguments, int timeout_ms, bool keep_output,
                          bool stop_on_request) {
  ProgramResult result;
  std::string reason;
  const HANDLE in = open_null_input();
  HANDLE read_end = nullptr, write_end = nullptr, out = nullptr, err = nullptr;
  if (keep_output) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
      close_handle(in);
      return result;
    }
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    out = write_end;
    err = inheritable(write_end);
  } else {
    out = inheritable(GetStdHandle(STD_OUTPUT_HANDLE));
    err = inheritable(GetStdHandle(STD_ERROR_HANDLE));
  }
  const HANDLE process = spawn(arguments, in, out, err, reason);
  close_handle(in);
  close_handle(out);
  close_handle(err);
  if (keep_output) {
    // Read on a thread of its own, so that the wait below keeps its bound when the child
    // writes nothing and does not end.
    struct Reader {
      HANDLE pipe;
      std::string* output;
    } reader{read_end, &result.output};
    const HANDLE thread = process ? CreateThread(
                                        nullptr, 0,
                                        [](void* p) -> DWORD {
                                          auto* r = static_cast<Reader*>(p);
                                          char buffer[4096];
                                          DWORD n = 0;
                                          while (ReadFile(r->pipe, buffer, sizeof buffer, &n, nullptr) && n > 0)
                                            r->output->append(buffer, n);
                                          return 0;
                                        },
                                        &reader, 0, nullptr)
                                  : nullptr;
    if (process)
      result.exit_code =
          wait_bounded(process, timeout_ms, &result.timed_out, stop_on_request ? &result.stopped : nullptr);
    if (thread) {
      // The child's end is closed when it exits; a grandchild holding it open is not waited for.
      if (WaitForSingleObject(thread, 2000) != WAIT_OBJECT_0) CancelSynchronousIo(thread);
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    close_handle(read_end);
  } else if (process) {
    result.exit_code =
        wait_bounded(process, timeout_ms, &result.timed_out, stop_on_request ? &result.stopped : nullptr);
  }
  close_handle(process);
  return result;
}

}  // namespace os
