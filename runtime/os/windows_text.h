// runtime/os/windows_text.h — UTF-8 and UTF-16 for the Windows side of os.h, and the system's
// text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace os::windows {

inline std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
  return wide;
}

inline std::string narrow(const wchar_t* text, int length = -1) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
  if (length < 0) out.pop_back();  // the terminating NUL that a length of -1 counts
  return out;
}

// The system's message for a Win32 error code, without its trailing line break.
inline std::string error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? narrow(buffer, int(n)) : "error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' '))
    text.pop_back();
  return text;
}

inline std::string last_error_text() {
  return error_text(GetLastError());
}

}  // namespace os::windows
