// Modal dialogs of the substitute: message boxes and the file dialogs keep
// dispatching the thread's messages with the owner disabled, show what the
// caller asked for, and give back the answer within the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string_view>
#include <thread>

#include "platform/simuser.h"
#include "platform/win32.h"
#include "tests/platform/user_support.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr char16_t kSeparator = u'\\';
#else
constexpr char16_t kSeparator = u'/';
#endif

// Puts `text` and its terminator into a caller's buffer of the file dialogs.
template <size_t N>
void fill(WCHAR (&buffer)[N], std::u16string_view text) {
  ASSERT_LT(text.size(), N);
  std::copy(text.begin(), text.end(), U(buffer));
  buffer[text.size()] = 0;
}

// Runs the simulated user on its own thread while the test thread shows a
// dialog; a user that fails ends the dialog with WM_QUIT so the test cannot hang.
class User {
 public:
  explicit User(std::function<bool()> act) : gui_(GetCurrentThreadId()) {
    thread_ = std::thread([this, act] {
      ok_ = act();
      if (!ok_) PostThreadMessageW(gui_, WM_QUIT, 0, 0);
    });
  }
  bool finish() {
    thread_.join();
    MSG m;
    PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return ok_;
  }

 private:
  DWORD gui_;
  std::atomic<bool> ok_{false};
  std::thread thread_;
};

class Dialogs : public testing::Test {
 protected:
  HWND owner = nullptr;
  fs::path directoryPath;  // a fresh directory for the test
  std::u16string dir;      // the same, as the dialogs write it
  void SetUp() override {
    RegisterRecorder();
    owner = MakeTop(u"owner");
    ShowWindow(owner, SW_SHOW);
    PumpPending();
    Log().clear();
    directoryPath = Test_MakeTempDirectory(std::string("tp_dialog_") +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    dir = directoryPath.u16string();
  }
  void TearDown() override {
    DestroyWindow(owner);
    PumpPending();
    std::error_code ignored;
    fs::remove_all(directoryPath, ignored);
  }
};

TEST_F(Dialogs, AMessageBoxKeepsDispatchingAndDisablesItsOwnerUntilAnswered) {
  SimMessageBox seen;
  std::atomic<bool> ownerDisabled{false};
  User user([&] {
    if (!SimUser_WaitMessageBox(&seen, SIMUSER_TIMEOUT)) return false;
    ownerDisabled = !IsWindowEnabled(owner);
    PostMessageW(owner, WM_USER, 42, 0);  // must be handled while the box is up
    return SimUser_AnswerMessageBox(IDCANCEL, nullptr, SIMUSER_TIMEOUT);
  });
  int result = MessageBoxW(owner, W(u"This is not a Brix map!"), W(u"Error"), MB_OKCANCEL);
  ASSERT_TRUE(user.finish());
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(seen.caption, u"Error");
  EXPECT_EQ(seen.text, u"This is not a Brix map!");
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(Only({WM_USER}).size(), 1u);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_FALSE(IsWindow(seen.window));
}

TEST_F(Dialogs, AMessageBoxWithoutOwnerAnswersByEnterOnItsDefaultButton) {
  User user([&] {
    SimMessageBox seen;
    return SimUser_WaitMessageBox(&seen, SIMUSER_TIMEOUT) && SimUser_Press(VK_RETURN);
  });
  EXPECT_EQ(MessageBoxW(nullptr, W(u"Finished!"), W(u"success"), MB_OK), IDOK);
  EXPECT_TRUE(user.finish());
}

TEST_F(Dialogs, AMessageBoxWithAStaleOwnerFails) {
  SetLastError(0);
  int result =
      MessageBoxW(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0030)), W(u"x"), W(u"y"), MB_OK);
  DWORD error = GetLastError();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Dialogs, TheOpenDialogOffersWhatItWasGivenAndReturnsTheChosenPath) {
  WCHAR file[MAX_PATH];
  fill(file, u"castle.bxm");
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = W(u"Brix maps\0*.bxm\0Texts\0*.txt\0");
  ofn.nFilterIndex = 2;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = W(dir.c_str());
  ofn.lpstrTitle = W(u"upload file");
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  SimFileDialog seen;
  std::atomic<bool> ownerDisabled{false};
  User user([&] {
    if (!SimUser_WaitFileDialog(&seen, SIMUSER_TIMEOUT)) return false;
    ownerDisabled = !IsWindowEnabled(owner);
    return SimUser_AnswerFileDialog(u"other.bxm", nullptr, SIMUSER_TIMEOUT);
  });
  BOOL chosen = GetOpenFileNameW(&ofn);
  ASSERT_TRUE(user.finish());
  ASSERT_TRUE(chosen);
  EXPECT_FALSE(seen.save);
  EXPECT_EQ(seen.title, u"upload file");
  using F = std::vector<std::pair<std::u16string, std::u16string>>;
  EXPECT_EQ(seen.filters, (F{{u"Brix maps", u"*.bxm"}, {u"Texts", u"*.txt"}}));
  EXPECT_EQ(seen.filterIndex, 1);
  EXPECT_EQ(seen.directory, dir);
  EXPECT_EQ(seen.proposedName, u"castle.bxm");
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(std::u16string(U(file)), dir + kSeparator + u"other.bxm");
  EXPECT_EQ(ofn.nFileOffset, dir.size() + 1);
  EXPECT_EQ(std::u16string(U(file + ofn.nFileExtension)), u"bxm");
  EXPECT_EQ(ofn.nFilterIndex, 2u);
}

TEST_F(Dialogs, CancellingOrARefusedPathLeavesTheBufferAlone) {
  WCHAR file[MAX_PATH];
  fill(file, u"");
  OPENFILENAMEW ofn{};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST;
  const std::u16string missing = dir + kSeparator + u"missing" + kSeparator + u"x.bxm";
  SimFileDialog seen;
  SimMessageBox warning;
  User user([&] {
    // A path in a directory that does not exist is refused with a warning: the dialog stays.
    if (SimUser_AnswerFileDialog(missing.c_str(), &seen, 300)) return false;
    if (!SimUser_AnswerMessageBox(IDOK, &warning, SIMUSER_TIMEOUT)) return false;
    return SimUser_AnswerFileDialog(nullptr, nullptr, SIMUSER_TIMEOUT);
  });
  EXPECT_FALSE(GetSaveFileNameW(&ofn));
  ASSERT_TRUE(user.finish());
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_EQ(warning.buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(seen.save);
  EXPECT_EQ(seen.title, u"Save As");
  EXPECT_TRUE(seen.filters.empty());
  EXPECT_EQ(file[0], 0);
  ofn.lStructSize = 12;
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

TEST_F(Dialogs, APathFillsTheBufferToItsLastCharacterAndNoFurther) {
  // A directory whose name makes the chosen path exactly 259 characters long.
  const std::u16string name = u"nnnnnnnnnn.bxm";
  ASSERT_LT(dir.size(), 259 - name.size() - 2);
  const std::u16string sub = dir + kSeparator + std::u16string(259 - name.size() - 1 - dir.size() - 1, u'd');
  ASSERT_TRUE(fs::create_directory(fs::path(sub)));
  const std::u16string path = sub + kSeparator + name;
  ASSERT_EQ(path.size(), 259u);
  WCHAR file[MAX_PATH];
  fill(file, u"");
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST;
  User fits([&] { return SimUser_AnswerFileDialog(path.c_str(), nullptr, SIMUSER_TIMEOUT); });
  EXPECT_TRUE(GetOpenFileNameW(&ofn));
  ASSERT_TRUE(fits.finish());
  EXPECT_EQ(std::u16string(U(file)), path);
  // One character more does not fit: the dialog fails and says how much it needs.
  std::u16string longer = path.substr(0, path.size() - 4) + u"x.bxm";
  User tooLong([&] { return SimUser_AnswerFileDialog(longer.c_str(), nullptr, SIMUSER_TIMEOUT); });
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  ASSERT_TRUE(tooLong.finish());
  EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  WORD needed;
  memcpy(&needed, file, sizeof needed);
  EXPECT_EQ(needed, 261);
}

TEST_F(Dialogs, SeveralNamesComeBackAsTheDirectoryAndEachName) {
  std::vector<WCHAR> file(4096, 0);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = 4096;
  ofn.lpstrInitialDir = W(dir.c_str());
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT;
  User user(
      [&] { return SimUser_AnswerFileDialog(u"\"a.bxm\" \"b.bxm\" \"c.bxm\"", nullptr, SIMUSER_TIMEOUT); });
  EXPECT_TRUE(GetOpenFileNameW(&ofn));
  ASSERT_TRUE(user.finish());
  std::u16string expected = dir + std::u16string(u"\0a.bxm\0b.bxm\0c.bxm\0\0", 20);
  EXPECT_EQ(std::u16string(U(file.data()), expected.size()), expected);
  EXPECT_EQ(ofn.nFileOffset, dir.size() + 1);
}

}  // namespace
