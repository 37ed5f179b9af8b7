// The program's resources link into a Windows program and are in effect there:
// icon 1, the manifest (common controls 6, DPI awareness) and the version information.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/res/resource.h"
#include "tilepost_version.h"
// clang-format off
#include "platform/win32.h"
#include <winver.h>  // needs the types of the line above
// clang-format on

namespace {

HINSTANCE self() { return GetModuleHandleW(nullptr); }

// The 32-bit pixels of an icon's colour bitmap, top row first.
std::vector<uint32_t> iconPixels(HICON icon, int* size) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return {};
  BITMAP bitmap{};
  GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
  *size = bitmap.bmWidth;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = bitmap.bmWidth;
  format.bmiHeader.biHeight = -bitmap.bmHeight;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, info.hbmColor, 0, bitmap.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  if (rows != bitmap.bmHeight) return {};
  return pixels;
}

TEST(Resources, IconOneIsTheTileWithTheArrow) {
  for (int wanted : {16, 32, 48}) {
    auto icon = static_cast<HICON>(
        LoadImageW(self(), MAKEINTRESOURCEW(TILEPOST_ICON), IMAGE_ICON, wanted, wanted, 0));
    ASSERT_NE(icon, nullptr) << wanted;
    int size = 0;
    std::vector<uint32_t> pixels = iconPixels(icon, &size);
    ASSERT_EQ(size, wanted);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
    // A transparent corner, the white arrow in the middle, blue tile beside it.
    EXPECT_EQ(pixels[0] >> 24, 0u) << wanted;
    EXPECT_EQ(pixels[size / 2 * size + size / 2], 0xFFFFFFFFu) << wanted;
    uint32_t tile = pixels[size / 2 * size + size / 6];
    EXPECT_EQ(tile >> 24, 0xFFu) << wanted;
    EXPECT_GT(tile & 0xFF, (tile >> 16) & 0xFF) << "blue over red at " << wanted;
    DestroyIcon(icon);
  }
  // The way windows load it: the system's large icon size.
  EXPECT_NE(LoadIconW(self(), MAKEINTRESOURCEW(TILEPOST_ICON)), nullptr);
}

TEST(Resources, ManifestBringsCommonControlsSix) {
  // Version 6 lives in the side-by-side store and is loaded only through the
  // manifest's activation context; without it the loader hands out version 5
  // from the system directory. (Wine's version 6 library reports 5.81 from
  // DllGetVersion, so the version number cannot tell them apart there.)
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(controls, nullptr);
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(controls, path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (wchar_t& c : lower) c = towlower(c);
  EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << std::string(lower.begin(), lower.end());
  FreeLibrary(controls);
}

TEST(Resources, ManifestDeclaresDpiAwareness) {
  // Read back from the process's activation context: the loader parsed it.
  // (Wine treats every process as DPI-aware whatever its manifest says, so
  // IsProcessDPIAware proves nothing there.)
  wchar_t value[16] = L"";
  SIZE_T length = 0;
  ASSERT_TRUE(QueryActCtxSettingsW(0, nullptr, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                   L"dpiAware", value, 16, &length));
  EXPECT_EQ(std::wstring_view(value), L"true");
}

TEST(Resources, ManifestMarksCurrentWindowsAsSupported) {
  // The layout Windows 10 and Wine fill in (the MinGW headers know an older,
  // shorter element).
  struct Element {
    GUID id;
    DWORD type;  // 1: a supported operating system
    ULONGLONG maxVersionTested;
  };
  struct Information {
    DWORD count;
    Element elements[8];
  } information{};
  SIZE_T length = 0;
  ASSERT_TRUE(QueryActCtxW(0, nullptr, nullptr, CompatibilityInformationInActivationContext, &information,
                           sizeof information, &length));
  const GUID windows10 = {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
  int systems = 0;
  bool has10 = false;
  for (DWORD i = 0; i < information.count && i < 8; i++) {
    if (information.elements[i].type != 1) continue;
    systems++;
    has10 = has10 || IsEqualGUID(information.elements[i].id, windows10);
  }
  EXPECT_EQ(systems, 4);
  EXPECT_TRUE(has10);
}

TEST(Resources, VersionInformationNamesTheProgram) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  // The build's version, X.Y.Z.0, in the numbers and the texts.
  const DWORD version[] = {TILEPOST_VERSION};
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(version[1], version[0]));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(version[3], version[2]));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

  auto text = [&](const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars))
      return std::string("(none)");
    std::wstring wide(value);
    return std::string(wide.begin(), wide.end());
  };
  EXPECT_EQ(text(L"ProductName"), "Tilepost");
  EXPECT_EQ(text(L"FileVersion"), TILEPOST_VERSION_TEXT);
  EXPECT_EQ(text(L"ProductVersion"), TILEPOST_VERSION_TEXT);
  // The server it is built for, as the user sees it in the file's properties.
  EXPECT_EQ(text(L"Comments"), "Uploads Brix maps to the FTP server " TILEPOST_SERVER_TEXT);
}

}  // namespace
