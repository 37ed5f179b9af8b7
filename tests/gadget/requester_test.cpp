// Tests of the requesters: the modality steps on the thread's windows, the message box and
// its owner, and the file dialog with its filters, default file, selections and result.
#include "gadget/requester.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/string.h"
#include "tests/gadget/gadget_gui.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Changes only the topmost state of a window.
void makeTopmost(HWND window) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
bool isTopmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// A thread with a window of its own, outside the runtime's libraries: what a
// requester on the GUI thread must leave alone.
class OtherThread {
 public:
  OtherThread() : thread_([this] { Loop(); }) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_for(hold, std::chrono::milliseconds(SIMUSER_TIMEOUT), [this] { return started_; });
  }
  ~OtherThread() {
    if (window_) SendMessageW(window_, WM_CLOSE, 0, 0);
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }
  HWND Window() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
      DestroyWindow(window);
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  void Loop() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = W(u"GadgetTestOtherThread");
    RegisterClassExW(&wc);
    HWND window = CreateWindowExW(0, W(u"GadgetTestOtherThread"), W(u"Other thread"), WS_OVERLAPPEDWINDOW,
                                  600, 400, 200, 150, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    makeTopmost(window);
    {
      std::lock_guard<std::mutex> hold(lock_);
      window_ = window;
      threadId_ = GetCurrentThreadId();
      started_ = true;
    }
    changed_.notify_all();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool started_ = false;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  std::thread thread_;
};

// The windows of the modality cases, all on the GUI thread: the program's
// window in front, another enabled one, one already disabled, a hidden one
// and a topmost one.
struct Windows {
  HWND front, plain, disabled, hidden, topmost;
};

Windows openWindows(GadgetGui& gui) {
  return gui.Call([] {
    Windows w{};
    w.plain = HandleOf(Window_Open(1, 20, 20, 200, 100, u"Plain", 0));
    w.disabled = HandleOf(Window_Open(2, 40, 140, 200, 100, u"Disabled", 0));
    EnableWindow(w.disabled, FALSE);
    w.hidden = HandleOf(Window_Open(3, 60, 260, 200, 100, u"Hidden", WINDOW_INVISIBLE));
    w.topmost = HandleOf(Window_Open(4, 500, 20, 200, 100, u"Topmost", 0));
    makeTopmost(w.topmost);
    w.front = HandleOf(Window_Open(0, 300, 200, 400, 300, u"Tilepost", 0));
    return w;
  });
}

// After a requester: every window has its input back, as it was before.
void ExpectInputBack(const Windows& w) {
  EXPECT_TRUE(IsWindowEnabled(w.front));
  EXPECT_TRUE(IsWindowEnabled(w.plain));
  EXPECT_FALSE(IsWindowEnabled(w.disabled)) << "a window disabled before stays disabled";
  EXPECT_TRUE(IsWindowEnabled(w.topmost));
  EXPECT_TRUE(isTopmost(w.topmost));
}

// Closes what a failed test left on the screen, so that the GUI thread's call ends.
class DialogSweeper {
 public:
  explicit DialogSweeper(std::shared_ptr<GadgetGui::Pending>* pending) : pending_(pending) {}
  ~DialogSweeper() {
    for (int round = 0; round < 20 && *pending_ && !(*pending_)->Wait(0); round++) {
      SimMessageBox box;
      if (SimUser_WaitMessageBox(&box, 100)) SimUser_AnswerMessageBox(box.buttons.back(), nullptr, 1000);
      SimFileDialog dialog;
      if (SimUser_WaitFileDialog(&dialog, 100)) SimUser_AnswerFileDialog(nullptr, nullptr, 1000);
    }
  }

 private:
  std::shared_ptr<GadgetGui::Pending>* pending_;
};

TEST(ModalityTest, BeginDisablesExactlyTheRightWindowsAndEndRestoresThem) {
  GadgetGui gui;
  Windows w = openWindows(gui);
  ASSERT_TRUE(w.front && w.plain && w.disabled && w.hidden && w.topmost);
  ASSERT_EQ(SimUser_Foreground(), w.front);
  OtherThread other;
  ASSERT_NE(other.Window(), nullptr);

  gui.Call([] { Requester_BeginModal(); });
  EXPECT_TRUE(IsWindowEnabled(w.front)) << "the foreground window owns the requester and stays enabled";
  EXPECT_FALSE(IsWindowEnabled(w.plain));
  EXPECT_FALSE(IsWindowEnabled(w.disabled));
  EXPECT_TRUE(IsWindowEnabled(w.hidden)) << "a hidden window is not touched";
  EXPECT_FALSE(IsWindowEnabled(w.topmost));
  EXPECT_FALSE(isTopmost(w.topmost));
  EXPECT_TRUE(IsWindowEnabled(other.Window())) << "another thread's window is not touched";
  EXPECT_TRUE(isTopmost(other.Window()));

  gui.Call([] { Requester_EndModal(); });
  ExpectInputBack(w);
  EXPECT_TRUE(IsWindowEnabled(w.hidden));
  EXPECT_FALSE(IsWindowVisible(w.hidden));
  EXPECT_TRUE(isTopmost(other.Window()));

  // An end without a beginning changes nothing.
  gui.Call([] { Requester_EndModal(); });
  EXPECT_TRUE(IsWindowEnabled(w.plain));
  EXPECT_FALSE(IsWindowEnabled(w.disabled));
}

TEST(ModalityTest, EachThreadEndsOnlyItsOwnRequester) {
  GadgetGui gui;
  Windows w = openWindows(gui);
  ASSERT_TRUE(w.front && w.plain);
  // A second thread with windows of its own takes its modality steps in between.
  OtherThread other;
  HWND otherPlain = nullptr;
  std::thread second([&] {
    // Shown without taking the foreground, which would keep it enabled.
    otherPlain = CreateWindowExW(0, W(u"GadgetTestOtherThread"), W(u"Second"), WS_OVERLAPPEDWINDOW, 10, 500,
                                 200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(otherPlain, SW_SHOWNOACTIVATE);
    gui.Call([] { Requester_BeginModal(); });
    Requester_BeginModal();
    EXPECT_FALSE(IsWindowEnabled(otherPlain));
    gui.Call([] { Requester_EndModal(); });
    EXPECT_TRUE(IsWindowEnabled(w.plain));
    EXPECT_FALSE(IsWindowEnabled(otherPlain)) << "the GUI thread's end restored another thread's window";
    Requester_EndModal();
    EXPECT_TRUE(IsWindowEnabled(otherPlain));
    DestroyWindow(otherPlain);
  });
  second.join();
  EXPECT_TRUE(IsWindowEnabled(other.Window()));
}

TEST(MessageRequesterTest, OwnedByTheProgramsFrontWindowWhichGetsItsInputBackAfterwards) {
  GadgetGui gui;
  Windows w = openWindows(gui);
  ASSERT_TRUE(w.front && w.plain && w.disabled && w.hidden && w.topmost);
  ASSERT_EQ(SimUser_Foreground(), w.front);

  auto result = std::make_shared<int32_t>(-1);
  std::shared_ptr<GadgetGui::Pending> pending;
  DialogSweeper sweeper(&pending);
  pending = gui.Start([result] { *result = Requester_Message(u"success", u"Finished!"); });

  SimMessageBox box;
  ASSERT_TRUE(SimUser_WaitMessageBox(&box, SIMUSER_TIMEOUT));
  EXPECT_EQ(box.caption, u"success");
  EXPECT_EQ(box.text, u"Finished!");
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(GetWindow(box.window, GW_OWNER), w.front);
  EXPECT_FALSE(IsWindowEnabled(w.plain));
  EXPECT_FALSE(IsWindowEnabled(w.topmost));
  EXPECT_FALSE(isTopmost(w.topmost));
  EXPECT_TRUE(IsWindowEnabled(w.hidden));

  ASSERT_TRUE(SimUser_AnswerMessageBox(IDOK, nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(pending->Wait());
  EXPECT_EQ(*result, IDOK);
  ExpectInputBack(w);
}

TEST(MessageRequesterTest, WithAnotherApplicationInFrontItHasNoOwnerAndEveryWindowWaits) {
  GadgetGui gui;
  Windows w = openWindows(gui);
  ASSERT_TRUE(w.front && w.plain);
  ASSERT_TRUE(SimUser_SwitchAway());
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(gui.Call([] { return Requester_Owner(); }), nullptr);

  auto result = std::make_shared<int32_t>(-1);
  std::shared_ptr<GadgetGui::Pending> pending;
  DialogSweeper sweeper(&pending);
  pending = gui.Start([result] { *result = Requester_Message(u"error", u"Could not connect"); });
  SimMessageBox box;
  ASSERT_TRUE(SimUser_WaitMessageBox(&box, SIMUSER_TIMEOUT));
  EXPECT_EQ(box.caption, u"error");
  EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr);
  EXPECT_FALSE(IsWindowEnabled(w.front));
  EXPECT_FALSE(IsWindowEnabled(w.plain));
  ASSERT_TRUE(SimUser_AnswerMessageBox(IDOK, nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(pending->Wait());
  EXPECT_EQ(*result, IDOK);
  ExpectInputBack(w);
}

TEST(MessageRequesterTest, FlagsPassUnchangedAndTheChosenButtonIsTheResult) {
  GadgetGui gui;
  HWND front = HandleOf(gui.Call([] { return Window_Open(0, 300, 200, 400, 300, u"Tilepost", 0); }));
  ASSERT_NE(front, nullptr);
  auto result = std::make_shared<int32_t>(-1);
  std::shared_ptr<GadgetGui::Pending> pending;
  DialogSweeper sweeper(&pending);
  pending = gui.Start([result] { *result = Requester_Message(nullptr, nullptr, MB_OKCANCEL); });
  SimMessageBox box;
  ASSERT_TRUE(SimUser_AnswerMessageBox(IDCANCEL, &box, SIMUSER_TIMEOUT));
  ASSERT_TRUE(pending->Wait());
  EXPECT_EQ(*result, IDCANCEL);
  EXPECT_EQ(box.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_EQ(box.caption, u"");
  EXPECT_EQ(box.text, u"");
  EXPECT_TRUE(IsWindowEnabled(front));
}

// ---- File requester ----------------------------------------------------------------------

#ifdef _WIN32
constexpr char16_t kSeparator = u'\\';
#else
constexpr char16_t kSeparator = u'/';
#endif

// A fresh directory for one test, removed afterwards.
class TempDirectory {
 public:
  TempDirectory() {
    path_ = Test_MakeTempDirectory(std::string("tp_gadget_") +
                                   testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  ~TempDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::u16string Path() const { return path_.u16string(); }
  // A file in the directory (or a sub-directory) with a few bytes; its path is
  // written with the system's own separator, as the dialogs answer.
  std::u16string Make(const std::u16string& relative) const {
    fs::path file = path_ / fs::path(relative);
    file.make_preferred();
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "map";
    return file.u16string();
  }

 private:
  fs::path path_;
};

// One call of the file requester on the GUI thread, whose result the test reads when it is done.
struct FileCall {
  std::shared_ptr<GadgetGui::Pending> pending;
  std::shared_ptr<std::u16string> result = std::make_shared<std::u16string>(u"(not returned)");
};

FileCall startOpenFile(GadgetGui& gui, std::u16string title, std::u16string defaultFile,
                       std::u16string pattern, int32_t position, int32_t mode = REQUESTER_MODE_OPEN,
                       int32_t flags = 0, bool nullDefault = false) {
  FileCall call;
  auto result = call.result;
  call.pending = gui.Start([=] {
    StringAccumulator& acc = String_Accumulator;
    const int32_t start = acc.position;
    Requester_OpenFile(title.c_str(), nullDefault ? nullptr : defaultFile.c_str(), pattern.c_str(), position,
                       mode, flags, start);
    *result =
        std::u16string(reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(acc.buffer) + start));
    EXPECT_EQ(acc.position, start + 2 * static_cast<int32_t>(result->size()));
    acc.position = start;
  });
  return call;
}

// Opens the dialog with `defaultFile`, reads what it offers and cancels it.
SimFileDialog offeredFor(GadgetGui& gui, const std::u16string& defaultFile) {
  FileCall call = startOpenFile(gui, u"upload file", defaultFile, u"Brix maps|*.bxm", 0);
  DialogSweeper sweeper(&call.pending);
  SimFileDialog seen{};
  EXPECT_TRUE(SimUser_AnswerFileDialog(nullptr, &seen, SIMUSER_TIMEOUT)) << "for the default file";
  EXPECT_TRUE(call.pending->Wait());
  EXPECT_EQ(*call.result, u"") << "a cancelled dialog gives the empty text";
  return seen;
}

class FileRequesterTest : public testing::Test {
 protected:
  void SetUp() override {
    front_ = HandleOf(gui_.Call([] { return Window_Open(0, 300, 200, 400, 300, u"Tilepost", 0); }));
    ASSERT_NE(front_, nullptr);
  }
  GadgetGui gui_;
  HWND front_ = nullptr;
  TempDirectory dir_;
};

TEST_F(FileRequesterTest, TheUploadersCallShowsItsFilterAndReturnsTheChosenPath) {
  HWND other = gui_.Call([] {
    HWND plain = HandleOf(Window_Open(1, 20, 20, 200, 100, u"Plain", 0));
    SetForegroundWindow(Window_GetRecord(0)->handle);
    return plain;
  });
  const std::u16string castle = dir_.Make(u"castle.bxm");
  FileCall call = startOpenFile(gui_, u"upload file", u"", u"Brix maps|*.bxm", 0);
  DialogSweeper sweeper(&call.pending);
  SimFileDialog seen;
  ASSERT_TRUE(SimUser_WaitFileDialog(&seen, SIMUSER_TIMEOUT));
  EXPECT_FALSE(IsWindowEnabled(other)) << "the thread's other windows wait for the dialog";
  EXPECT_EQ(GetWindow(seen.window, GW_OWNER), front_);
  ASSERT_TRUE(SimUser_AnswerFileDialog(castle.c_str(), &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  EXPECT_EQ(*call.result, castle);
  EXPECT_EQ(seen.title, u"upload file");
  EXPECT_FALSE(seen.save);
  ASSERT_EQ(seen.filters.size(), 1u);
  EXPECT_EQ(seen.filters[0].first, u"Brix maps");
  EXPECT_EQ(seen.filters[0].second, u"*.bxm");
  EXPECT_EQ(seen.filterIndex, 0);
  EXPECT_EQ(seen.proposedName, u"") << "an empty default file proposes nothing";
  EXPECT_TRUE(IsWindowEnabled(other));
  EXPECT_TRUE(IsWindowEnabled(front_));
}

TEST_F(FileRequesterTest, ThePatternPositionSelectsThePairShownFirst) {
  FileCall call = startOpenFile(gui_, u"pick", u"", u"Brix maps|*.bxm|All files|*.*", 1);
  DialogSweeper sweeper(&call.pending);
  SimFileDialog seen;
  ASSERT_TRUE(SimUser_AnswerFileDialog(nullptr, &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  ASSERT_EQ(seen.filters.size(), 2u);
  EXPECT_EQ(seen.filters[1].first, u"All files");
  EXPECT_EQ(seen.filters[1].second, u"*.*");
  EXPECT_EQ(seen.filterIndex, 1);
  EXPECT_EQ(*call.result, u"");

  // The largest position names no pair (its index is counted without overflow): the first is shown.
  FileCall last = startOpenFile(gui_, u"pick", u"", u"Brix maps|*.bxm|All files|*.*", INT32_MAX);
  DialogSweeper lastSweeper(&last.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(nullptr, &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(last.pending->Wait());
  EXPECT_EQ(seen.filterIndex, 0);

  // No pattern at all: no filters.
  FileCall bare = startOpenFile(gui_, u"pick", u"", u"", 0);
  DialogSweeper bareSweeper(&bare.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(nullptr, &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(bare.pending->Wait());
  EXPECT_TRUE(seen.filters.empty());
}

TEST_F(FileRequesterTest, TheDefaultFileGivesTheStartingDirectoryAndTheProposedName) {
  const std::u16string dir = dir_.Path() + kSeparator + u"maps";
  dir_.Make(u"maps/castle.bxm");

  SimFileDialog seen = offeredFor(gui_, dir + kSeparator + u"castle.bxm");
  EXPECT_EQ(seen.directory, dir);
  EXPECT_EQ(seen.proposedName, u"castle.bxm");

  seen = offeredFor(gui_, u"castle.bxm");
  EXPECT_EQ(seen.proposedName, u"castle.bxm") << "a bare name is proposed in the default directory";

  seen = offeredFor(gui_, dir + kSeparator);
  EXPECT_EQ(seen.directory, dir);
  EXPECT_EQ(seen.proposedName, u"") << "a directory alone proposes no name";

  seen = offeredFor(gui_, u"\\castle.bxm");
  EXPECT_EQ(seen.proposedName, u"") << "a separator only in front is no directory and no valid name";

  seen = offeredFor(gui_, u"C:castle.bxm");
  EXPECT_EQ(seen.proposedName, u"") << "a drive colon without a separator is no valid name";
  seen = offeredFor(gui_, dir + kSeparator + u"*.bxm");
  EXPECT_EQ(seen.proposedName, u"") << "a wildcard is no valid name";
  EXPECT_EQ(seen.directory, dir);

  // The other separator.
#ifdef _WIN32
  // Windows separates with '\' alone: a '/' makes the whole text the name, which is not valid.
  seen = offeredFor(gui_, dir + u"/castle.bxm");
  EXPECT_EQ(seen.proposedName, u"");
#else
  // Here '/' separates, and '\' still does.
  seen = offeredFor(gui_, dir + u"\\castle.bxm");
  EXPECT_EQ(seen.directory, dir);
  EXPECT_EQ(seen.proposedName, u"castle.bxm");
#endif

  // No default file at all: nothing proposed.
  FileCall call =
      startOpenFile(gui_, u"upload file", u"", u"Brix maps|*.bxm", 0, REQUESTER_MODE_OPEN, 0, true);
  DialogSweeper sweeper(&call.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(nullptr, &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  EXPECT_EQ(seen.proposedName, u"");
}

TEST_F(FileRequesterTest, APathOf259CharactersIsReturnedWholeAndOneOf260FailsTheDialog) {
  // A directory deep enough that its file names make full paths of 259 and 260 characters.
  const std::u16string base = dir_.Path() + kSeparator;
  const size_t nameLength = 20;
  ASSERT_LT(base.size() + nameLength + 2, 259u);
  const std::u16string sub(259 - base.size() - 1 - nameLength, u'd');
  const std::u16string name(nameLength - 4, u'n');
  const std::u16string fits = dir_.Make(sub + u"/" + name + u".bxm");
  ASSERT_EQ(fits.size(), 259u);

  FileCall call = startOpenFile(gui_, u"upload file", u"", u"Brix maps|*.bxm", 0);
  DialogSweeper sweeper(&call.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(fits.c_str(), nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  EXPECT_EQ(*call.result, fits);

  const std::u16string tooLong = base + sub + kSeparator + name + u"x.bxm";
  ASSERT_EQ(tooLong.size(), 260u);
  FileCall longer = startOpenFile(gui_, u"upload file", u"", u"Brix maps|*.bxm", 0);
  DialogSweeper longerSweeper(&longer.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(tooLong.c_str(), nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(longer.pending->Wait());
  EXPECT_EQ(*longer.result, u"") << "a path without room for its terminator is not returned cut";
}

TEST_F(FileRequesterTest, AMultipleSelectionReturnsTheFirstFileWithItsDirectory) {
  const std::u16string dir = dir_.Path() + kSeparator + u"many";
  const std::u16string first = dir_.Make(u"many/a.bxm");
  dir_.Make(u"many/b.bxm");
  dir_.Make(u"many/c.bxm");

  FileCall call = startOpenFile(gui_, u"maps", dir + kSeparator, u"Brix maps|*.bxm", 0, REQUESTER_MODE_OPEN,
                                REQUESTER_MULTIPLE);
  DialogSweeper sweeper(&call.pending);
  SimFileDialog seen;
  ASSERT_TRUE(SimUser_AnswerFileDialog(u"\"a.bxm\" \"b.bxm\" \"c.bxm\"", &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  EXPECT_EQ(seen.directory, dir);
  EXPECT_EQ(*call.result, first);

  // One file chosen where several may be: its full path.
  FileCall one = startOpenFile(gui_, u"maps", dir + kSeparator, u"Brix maps|*.bxm", 0, REQUESTER_MODE_OPEN,
                               REQUESTER_MULTIPLE);
  DialogSweeper oneSweeper(&one.pending);
  ASSERT_TRUE(SimUser_AnswerFileDialog(u"b.bxm", nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(one.pending->Wait());
  EXPECT_EQ(*one.result, dir + kSeparator + u"b.bxm");

  // A deep directory and a long name together exceed a single path's 259 characters.
  const std::u16string deep = dir_.Path() + kSeparator + std::u16string(230 - dir_.Path().size(), u'd');
  const std::u16string longName = std::u16string(40, u'n') + u".bxm";
  dir_.Make(deep.substr(dir_.Path().size() + 1) + u"/" + longName);
  dir_.Make(deep.substr(dir_.Path().size() + 1) + u"/z.bxm");
  ASSERT_GT(deep.size() + 1 + longName.size(), 260u);
  FileCall deeper = startOpenFile(gui_, u"maps", deep + kSeparator, u"Brix maps|*.bxm", 0,
                                  REQUESTER_MODE_OPEN, REQUESTER_MULTIPLE);
  DialogSweeper deeperSweeper(&deeper.pending);
  const std::u16string answer = u"\"" + longName + u"\" \"z.bxm\"";
  ASSERT_TRUE(SimUser_AnswerFileDialog(answer.c_str(), nullptr, SIMUSER_TIMEOUT));
  ASSERT_TRUE(deeper.pending->Wait());
  EXPECT_EQ(*deeper.result, deep + kSeparator + longName) << "the first file's path is returned whole";
}

TEST_F(FileRequesterTest, TheSaveModeShowsTheSaveDialog) {
  const std::u16string target = dir_.Path() + kSeparator + u"new.bxm";
  FileCall call = startOpenFile(gui_, u"save map", dir_.Path() + kSeparator + u"new.bxm", u"Brix maps|*.bxm",
                                0, REQUESTER_MODE_SAVE);
  DialogSweeper sweeper(&call.pending);
  SimFileDialog seen;
  ASSERT_TRUE(SimUser_AnswerFileDialog(target.c_str(), &seen, SIMUSER_TIMEOUT));
  ASSERT_TRUE(call.pending->Wait());
  EXPECT_TRUE(seen.save);
  EXPECT_EQ(seen.title, u"save map");
  EXPECT_EQ(seen.proposedName, u"new.bxm");
  EXPECT_EQ(*call.result, target);
}

TEST(FileNameTest, ValidNamesHaveNoControlCharactersAndNoneOfTheReservedOnes) {
  EXPECT_EQ(File_IsValidName(u"castle.bxm"), 1);
  EXPECT_EQ(File_IsValidName(u"map.bxm.txt"), 1);
  EXPECT_EQ(File_IsValidName(u" spaced & odd ' name ~"), 1);
  EXPECT_EQ(File_IsValidName(u"\u00e9t\u00e9.bxm"), 1);
  EXPECT_EQ(File_IsValidName(nullptr), 0);
  EXPECT_EQ(File_IsValidName(u""), 0);
  for (char16_t reserved : std::u16string(u"\"*/:<>?\\|")) {
    std::u16string name = u"a";
    name += reserved;
    name += u"b";
    EXPECT_EQ(File_IsValidName(name.c_str()), 0) << static_cast<int>(reserved);
  }
  for (char16_t control = 1; control < 32; control++) {
    std::u16string name = u"a";
    name += control;
    EXPECT_EQ(File_IsValidName(name.c_str()), 0) << static_cast<int>(control);
  }
}

}  // namespace
