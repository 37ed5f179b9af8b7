// Tests of the substitute's files: look-up with wildcards, attributes, drive types and file handles.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/win32.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

// The Linux substitute's files; on Windows the system's own are used.
#ifndef _WIN32
namespace {

// A scratch directory: castle.bxm (5 bytes), B.BXM (2), notes.txt (0), sub/.
class Files : public testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = Test_MakeTempDirectory("tilepost-files");
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "castle.bxm", std::ios::binary) << "12345";
    std::ofstream(dir / "B.BXM", std::ios::binary) << "12";
    std::ofstream(dir / "notes.txt", std::ios::binary);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::u16string path(const char* relative = "") const { return (dir / relative).u16string(); }

  // Every name a search reports, after checking that it ends as Windows says.
  std::set<std::u16string> namesOf(const std::u16string& pattern) {
    std::set<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(pattern.c_str()), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    int guard = 0;
    do names.insert(U(data.cFileName));
    while (FindNextFileW(find, &data) && ++guard < 100);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
  }
};

using Names = std::set<std::u16string>;

TEST_F(Files, WildcardsMatchTheLastComponentWithoutCase) {
  EXPECT_EQ(namesOf(path("*.bxm")), (Names{u"B.BXM", u"castle.bxm"}));
  EXPECT_EQ(namesOf(path("?.bxm")), (Names{u"B.BXM"}));
  EXPECT_EQ(namesOf(path("c*e.*")), (Names{u"castle.bxm"}));
  EXPECT_EQ(namesOf(path("*")), (Names{u".", u"..", u"B.BXM", u"castle.bxm", u"notes.txt", u"sub"}));
  EXPECT_TRUE(namesOf(path("*.map")).empty());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, BackslashesSeparateToo) {
  std::u16string pattern = path() + u"\\sub\\..\\*.txt";
  EXPECT_EQ(namesOf(pattern), (Names{u"notes.txt"}));
}

TEST_F(Files, FindDataTellsSizeAndKind) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(path("castle.bxm").c_str()), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(U(data.cFileName)), u"castle.bxm");
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
  EXPECT_FALSE(FindNextFileW(find, &data));
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));  // a closed search is no handle any more

  find = FindFirstFileW(W(path("sub").c_str()), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(find);
}

TEST_F(Files, SizeBeyondFourGigabytesFillsTheHighWord) {
  std::error_code error;
  fs::resize_file(dir / "castle.bxm", (5ull << 30) + 7, error);
  if (error) GTEST_SKIP() << "no sparse file of 5 GiB here: " << error.message();
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(path("castle.bxm").c_str()), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeHigh, 1u);
  EXPECT_EQ(data.nFileSizeLow, (1u << 30) + 7);
  FindClose(find);
}

TEST_F(Files, NonAsciiNamesRoundTrip) {
  std::u16string name = u"karte-\u00E4\u4E16\U0001F5FA.bxm";
  std::ofstream(fs::path(dir / fs::path(name)), std::ios::binary) << "x";
  EXPECT_EQ(namesOf(path() + u"/karte-*"), (Names{name}));
  EXPECT_EQ(GetFileAttributesW(W((path() + u"/" + name).c_str())), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(Files, MissingPathsAndTrailingSeparatorsFindNothing) {
  WIN32_FIND_DATAW data;
  EXPECT_EQ(FindFirstFileW(W(path("missing").c_str()), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(W(path("missing/*").c_str()), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(W((path("sub") + u"/").c_str()), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindFirstFileW(W(u""), &data), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextFileW(nullptr, &data));
}

TEST_F(Files, RootIsAFixedDirectoryAndDrivesAreNoRoots) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(u"/"), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(find);
  EXPECT_EQ(GetDriveTypeW(W(u"/")), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeW(W(u"\\")), static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(GetDriveTypeW(W(u"C:\\")), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(GetDriveTypeW(W(path().c_str())), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
}

TEST_F(Files, AttributesTellDirectoriesFilesAndMissing) {
  EXPECT_EQ(GetFileAttributesW(W(path("sub").c_str())), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(GetFileAttributesW(W(path("castle.bxm").c_str())), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(W(path("missing").c_str())), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(W(u"")), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, HandlesWriteReadAndMeasure) {
  std::u16string name = path("new.bxm");
  HANDLE file =
      CreateFileW(W(name.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "map data", 8, &written, nullptr));
  EXPECT_EQ(written, 8u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));

  file = CreateFileW(W(name.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  ASSERT_TRUE(GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 8);
  char buffer[16] = {};
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "map data");
  // At the end a read succeeds with nothing.
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
}

TEST_F(Files, OpeningMissingFilesAndDirectoriesFails) {
  HANDLE file = CreateFileW(W(path("missing").c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  file = CreateFileW(W(path("sub").c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  // A write handle may not be created over a directory either.
  file = CreateFileW(W(path("sub").c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_EQ(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fs::is_directory(dir / "sub"));
}

}  // namespace

#endif
