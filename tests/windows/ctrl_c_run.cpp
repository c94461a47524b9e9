// ctrl_c_run MS PROGRAM [ARGS...] — runs PROGRAM on this console and presses Ctrl+C there
// after MS milliseconds, as a user at a console would; exits with PROGRAM's exit code. The
// Windows tests use it to interrupt the intro (a GUI program that attaches to the console it
// was started from). Run under Wine by tests/windows/windows_test.sh.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ctrl_c_run MS PROGRAM [ARGS...]\n");
    return 2;
  }
  const DWORD delay_ms = DWORD(std::wcstoul(argv[1], nullptr, 10));
  std::wstring line;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) line += L' ';
    line += L'"';
    line += argv[i];
    line += L'"';
  }
  // A console of its own for the program to attach to (started from a Unix shell, Wine gives a
  // console program none that can carry Ctrl+C).
  // The program's output still goes where ours went.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
  SetHandleInformation(out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  FreeConsole();
  AllocConsole();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    std::fprintf(stderr, "ctrl_c_run: cannot start the program (error %lu)\n", GetLastError());
    return 2;
  }
  SetConsoleCtrlHandler(nullptr, TRUE);  // the Ctrl+C below is for the program, not for us
  if (WaitForSingleObject(info.hProcess, delay_ms) == WAIT_TIMEOUT && !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
    std::fprintf(stderr, "ctrl_c_run: Ctrl+C could not be sent (error %lu)\n", GetLastError());
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  return int(code);
}
