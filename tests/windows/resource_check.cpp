// resource_check PROGRAM.exe — prints what Windows reads of a program's resources: the sizes of
// icon group 1, in the order of the group, and the version record's product name, description
// and versions, one "name=value" a line. Run under Wine by tests/windows/windows_test.sh.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

std::string narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource_check PROGRAM.exe\n");
    return 2;
  }
  const HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) {
    std::fprintf(stderr, "resource_check: cannot load %s\n", narrow(argv[1]).c_str());
    return 1;
  }
  if (HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) {  // RT_GROUP_ICON
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    const WORD count = bytes ? *reinterpret_cast<const WORD*>(bytes + 4) : 0;
    std::printf("icons=");
    for (WORD i = 0; i < count; ++i) {
      GroupIconEntry e;
      std::memcpy(&e, bytes + 6 + i * sizeof e, sizeof e);
      const int size = e.width ? e.width : 256;
      // The icon itself: a PNG starts with its signature, a bitmap with its 40-byte header.
      HRSRC icon = FindResourceW(module, MAKEINTRESOURCEW(e.id), MAKEINTRESOURCEW(3));  // RT_ICON
      const auto* data = icon ? static_cast<const BYTE*>(LockResource(LoadResource(module, icon))) : nullptr;
      const bool png = data && data[0] == 0x89 && data[1] == 'P' && data[2] == 'N' && data[3] == 'G';
      std::printf("%s%d%s", i ? "," : "", size, png ? "png" : "");
    }
    std::printf("\n");
  }
  FreeLibrary(module);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
  std::string info(size, '\0');
  if (size && GetFileVersionInfoW(argv[1], 0, size, info.data())) {
    for (const wchar_t* name : {L"ProductName", L"FileDescription", L"ProductVersion", L"FileVersion"}) {
      wchar_t* value = nullptr;
      UINT length = 0;
      const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
      if (VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) && value)
        std::printf("%s=%s\n", narrow(name).c_str(), narrow(value).c_str());
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed)
      std::printf("fixed=%lu.%lu.%lu.%lu\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  }
  return 0;
}
