// Tests of the gadget core and its four kinds: creation and replacement, teardown and events,
// focus, texts, states, attributes, colours and the shared brushes, required sizes.
#include "gadget/gadget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/string.h"
#include "tests/gadget/gadget_gui.h"

namespace {

constexpr int32_t kRed = 0x0000C0;
constexpr int32_t kBlue = 0xC00000;

HWND openWindow(GadgetGui& gui, ObjectNumber number = 0, const char16_t* title = u"Gadgets") {
  return HandleOf(gui.Call([=] { return Window_Open(number, 40, 40, 400, 300, title, 0); }));
}

// The text of a gadget as Gadget_GetText writes it, the accumulator left as it was.
std::u16string textOf(ObjectNumber number) {
  StringAccumulator& acc = String_Accumulator;
  const int32_t start = acc.position;
  Gadget_GetText(number, start);
  std::u16string text(reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(acc.buffer) + start));
  EXPECT_EQ(acc.position, start + 2 * static_cast<int32_t>(text.size()));
  acc.position = start;
  return text;
}

bool brushAlive(HBRUSH brush) { return brush && GetObjectType(brush) == OBJ_BRUSH; }

ObjectNumber idOf(HWND window) { return static_cast<ObjectNumber>(GetWindowLongPtrW(window, GWLP_ID)); }
ObjectNumber tagOf(HWND window) { return reinterpret_cast<ObjectNumber>(GetPropW(window, W(u"RT_ID"))); }

TEST(GadgetTest, AZeroHeightButtonExistsTakesTheFocusByActivateAndByTabAndReportsAClick) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  // The uploader's idle layout: the field, then "Browse..." with height 0, then "upload".
  HWND field = HandleOf(gui.Call([] { return Gadget_CreateString(1, 0, 15, 200, 20, u""); }));
  HWND browse = HandleOf(gui.Call([] { return Gadget_CreateButton(2, 20, 35, 200, 0, u"Browse..."); }));
  HWND upload = HandleOf(gui.Call([] { return Gadget_CreateButton(3, 80, 95, 200, 20, u"upload"); }));
  ASSERT_TRUE(field && browse && upload);

  SimWindow seen;
  ASSERT_TRUE(SimUser_Read(browse, &seen));
  EXPECT_EQ(seen.rect.bottom - seen.rect.top, 0);
  EXPECT_EQ(seen.rect.right - seen.rect.left, 200);
  EXPECT_EQ(seen.id, 2);
  EXPECT_EQ(seen.text, u"Browse...");
  EXPECT_TRUE(seen.visible);
  EXPECT_FALSE(SimUser_Click(browse)) << "a button of height 0 offers nothing to click";

  HWND before = SimUser_Focus();
  EXPECT_EQ(gui.Call([] { return Gadget_Activate(2); }), before);
  EXPECT_EQ(SimUser_Focus(), browse);

  gui.Call([] { Gadget_Activate(1); });
  ASSERT_EQ(SimUser_Focus(), field);
  ASSERT_TRUE(SimUser_Press(VK_TAB));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(SimUser_Focus(), browse);

  gui.ClearLog();
  ASSERT_TRUE(SimUser_Press(VK_SPACE));
  ASSERT_TRUE(gui.WaitForGadgetEvent(2, BN_CLICKED));
  for (const Returned& r : gui.GadgetEvents()) EXPECT_EQ(r.window, 0);

  ASSERT_TRUE(SimUser_Press(VK_TAB));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(SimUser_Focus(), upload);

  EXPECT_NE(gui.Call([] { return Gadget_Free(2); }), 0);
  EXPECT_FALSE(IsWindow(browse));
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(2); }), nullptr);
  EXPECT_EQ(gui.Call([] { return Gadget_Free(2); }), 0);
}

// Watches the old gadget's window for the moment it dies.
struct ReplacementSpy {
  static inline WNDPROC next = nullptr;
  static inline HWND parent = nullptr;
  static inline bool newWindowExisted = false;
  static inline bool destroyed = false;
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
      destroyed = true;
      newWindowExisted = FindWindowExW(parent, nullptr, W(u"Button"), W(u"new")) != nullptr;
    }
    return CallWindowProcW(next, window, message, wParam, lParam);
  }
};

TEST(GadgetTest, ReCreatingAUsedNumberDestroysTheOldGadgetAfterTheNewWindowExistsAndDropsItsEvents) {
  GadgetGui gui;
  HWND top = openWindow(gui);
  ASSERT_NE(top, nullptr);
  struct Outcome {
    HWND old, fresh;
    HBRUSH oldBrush;
    std::vector<Returned> left;
  };
  Outcome o = gui.Call([top] {
    Outcome o{};
    o.old = HandleOf(Gadget_CreateText(5, 10, 10, 100, 20, u"old"));
    Gadget_SetColour(5, GADGET_COLOUR_BACK, kRed);
    o.oldBrush = Gadget_GetRecord(5)->backBrush;
    HWND other = HandleOf(Gadget_CreateButton(6, 10, 40, 100, 20, u"other"));
    ReplacementSpy::parent = top;
    ReplacementSpy::next = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(o.old, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReplacementSpy::Proc)));
    Event_Purge(-1, -1, -1, -1);
    // Activity of both gadgets, as their controls report it to the window.
    SendMessageW(top, WM_COMMAND, MAKEWPARAM(5, STN_CLICKED), reinterpret_cast<LPARAM>(o.old));
    SendMessageW(other, BM_CLICK, 0, 0);
    SendMessageW(top, WM_COMMAND, MAKEWPARAM(5, 1), reinterpret_cast<LPARAM>(o.old));
    o.fresh = HandleOf(Gadget_CreateButton(5, 10, 70, 100, 20, u"new"));
    o.left = Gadget_TakeQueuedEvents();
    return o;
  });
  ASSERT_NE(o.fresh, nullptr);
  EXPECT_NE(o.fresh, o.old);
  EXPECT_TRUE(ReplacementSpy::destroyed);
  EXPECT_TRUE(ReplacementSpy::newWindowExisted) << "the old gadget died before the new window existed";
  EXPECT_FALSE(IsWindow(o.old));
  EXPECT_FALSE(brushAlive(o.oldBrush)) << "the old kind's free entry did not run";
  // The old gadget's events are gone; the other's stays, followed by the
  // repaint of the window that the old gadget uncovered as it went.
  ASSERT_EQ(o.left.size(), 2u);
  EXPECT_EQ(o.left[0].code, EVENT_GADGET_ACTIVITY);
  EXPECT_EQ(o.left[0].object, 6);
  EXPECT_EQ(o.left[1].code, EVENT_REPAINT);

  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(5) ? Gadget_GetRecord(5)->window : nullptr; }), o.fresh);
  EXPECT_EQ(idOf(o.fresh), 5);
  EXPECT_EQ(tagOf(o.fresh), 5);
  EXPECT_EQ(SimUser_Text(o.fresh), u"new");
}

TEST(GadgetTest, AFailedCreationLeavesTheGadgetThatHadTheNumber) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND kept = HandleOf(gui.Call([] { return Gadget_CreateButton(7, 10, 10, 100, 20, u"kept"); }));
  ASSERT_NE(kept, nullptr);
  // Without a gadget list there is no parent, and a child window cannot be made.
  intptr_t failed = gui.Call([] {
    GadgetState* state = Window_GadgetState();
    HWND list = state->listWindow;
    state->listWindow = nullptr;
    intptr_t result = Gadget_CreateButton(7, 10, 40, 100, 20, u"lost");
    state->listWindow = list;
    return result;
  });
  EXPECT_EQ(failed, 0);
  EXPECT_TRUE(IsWindow(kept));
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(7) ? Gadget_GetRecord(7)->window : nullptr; }), kept);
  EXPECT_EQ(gui.Call([] { return textOf(7); }), u"kept");
}

TEST(GadgetTest, SetTextOnAStringGadgetQueuesNothingWhileFocusChangesAndTypingReport) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND field = HandleOf(gui.Call([] { return Gadget_CreateString(1, 0, 15, 200, 20, u"start"); }));
  ASSERT_NE(gui.Call([] { return Gadget_CreateButton(3, 80, 95, 200, 20, u"upload"); }), 0);
  ASSERT_NE(field, nullptr);

  auto setText = gui.Call([] {
    Event_Purge(-1, -1, -1, -1);
    Gadget_SetText(1, u"C:\\maps\\castle.bxm");
    return Gadget_TakeQueuedEvents();
  });
  EXPECT_TRUE(setText.empty()) << setText.size() << " events, the first of type " << setText[0].type;
  EXPECT_EQ(SimUser_Text(field), u"C:\\maps\\castle.bxm");

  auto focusTypes = [](const std::vector<Returned>& events) {
    std::vector<int32_t> types;
    for (const Returned& r : events)
      if (r.object == 1 && (r.type == EVENT_TYPE_FOCUS || r.type == EVENT_TYPE_LOST_FOCUS))
        types.push_back(r.type);
    return types;
  };
  auto activated = gui.Call([] {
    Gadget_Activate(3);
    Event_Purge(-1, -1, -1, -1);
    Gadget_Activate(1);
    return Gadget_TakeQueuedEvents();
  });
  EXPECT_EQ(focusTypes(activated), std::vector<int32_t>{EVENT_TYPE_FOCUS});
  for (const Returned& r : activated) EXPECT_EQ(r.window, 0);

  auto left = gui.Call([] {
    Event_Purge(-1, -1, -1, -1);
    Gadget_Activate(3);
    return Gadget_TakeQueuedEvents();
  });
  EXPECT_EQ(focusTypes(left), std::vector<int32_t>{EVENT_TYPE_LOST_FOCUS});

  // What the user does to the field still reports: the change notification of typing.
  gui.Call([] { Gadget_Activate(1); });
  gui.ClearLog();
  ASSERT_TRUE(SimUser_Type(u"x"));
  ASSERT_TRUE(gui.WaitForGadgetEvent(1, EN_CHANGE));
  EXPECT_NE(gui.Call([] { return textOf(1); }).find(u'x'), std::u16string::npos);
}

TEST(GadgetTest, TextOperationsOnMissingGadgetsAndNullTexts) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND label = HandleOf(gui.Call([] { return Gadget_CreateText(0, 0, 15, 200, 20, u"Filename"); }));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(gui.Call([] { return textOf(0); }), u"Filename");
  EXPECT_EQ(gui.Call([] { return textOf(40); }), u"");
  EXPECT_EQ(gui.Call([] { return textOf(OBJECT_ANY); }), u"");
  gui.Call([] {
    Gadget_SetText(40, u"nobody");
    Gadget_SetText(0, nullptr);
  });
  EXPECT_EQ(SimUser_Text(label), u"");
  // A null text at creation is empty too, and a text gadget shows "&" as it is.
  gui.Call([] { Gadget_CreateText(0, 0, 15, 200, 20, nullptr); });
  EXPECT_EQ(gui.Call([] { return textOf(0); }), u"");
  gui.Call([] { Gadget_SetText(0, u"Fish & Chips"); });
  EXPECT_EQ(gui.Call([] { return textOf(0); }), u"Fish & Chips");

  // A text grows in the accumulator wherever the caller's result starts.
  std::u16string joined = gui.Call([] {
    StringAccumulator& acc = String_Accumulator;
    const int32_t start = acc.position;
    String_Append(u"[");
    Gadget_GetText(0, acc.position);
    String_Append(u"]");
    std::u16string out(reinterpret_cast<const char16_t*>(reinterpret_cast<const char*>(acc.buffer) + start));
    acc.position = start;
    return out;
  });
  EXPECT_EQ(joined, u"[Fish & Chips]");
}

// Negative numbers other than OBJECT_ANY name no gadget: every operation that
// looks a gadget up does nothing, creation fails and leaves no window, and a
// control whose ID is such a number is no gadget to the parent either.
TEST(GadgetTest, NumbersBelowMinusOneNameNoGadget) {
  GadgetGui gui;
  HWND top = openWindow(gui);
  ASSERT_NE(top, nullptr);
  HWND kept = HandleOf(gui.Call([] { return Gadget_CreateButton(0, 0, 0, 100, 20, u"kept"); }));
  ASSERT_NE(kept, nullptr);
  struct Seen {
    intptr_t created[4];
    bool record;
    std::u16string text;
    int32_t state, attribute, colour, width, height;
    intptr_t freed;
    HWND activated;
    LRESULT notified;
  };
  for (ObjectNumber bad :
       {ObjectNumber(-2), ObjectNumber(-3), ObjectNumber(-0x10001), ObjectNumber(INTPTR_MIN)}) {
    Seen seen = gui.Call([=] {
      Seen s{};
      s.created[0] = Gadget_CreateText(bad, 0, 30, 100, 20, u"t");
      s.created[1] = Gadget_CreateString(bad, 0, 30, 100, 20, u"s");
      s.created[2] = Gadget_CreateButton(bad, 0, 30, 100, 20, u"b");
      s.created[3] = Gadget_CreateProgressBar(bad, 0, 30, 100, 20, 0, 100);
      s.record = Gadget_GetRecord(bad) != nullptr;
      Gadget_SetText(bad, u"x");
      s.text = textOf(bad);
      Gadget_SetState(bad, 1);
      s.state = Gadget_GetState(bad);
      Gadget_SetAttribute(bad, 1, 5);
      s.attribute = Gadget_GetAttribute(bad, 1);
      Gadget_SetColour(bad, GADGET_COLOUR_BACK, kRed);
      s.colour = Gadget_GetColour(bad, GADGET_COLOUR_BACK);
      s.width = s.height = 77;
      Gadget_RequiredSize(bad, &s.width, &s.height);
      s.activated = Gadget_Activate(bad);
      s.freed = Gadget_Free(bad);
      // A child control of the window whose ID is that number.
      HWND foreign =
          CreateWindowExW(0, W(u"Button"), W(u"f"), WS_CHILD, 0, 60, 50, 20, Window_GadgetState()->listWindow,
                          reinterpret_cast<HMENU>(bad), GetModuleHandleW(nullptr), nullptr);
      s.notified =
          Gadget_Notify(foreign, GetParent(foreign), WM_CTLCOLORBTN, 0, reinterpret_cast<LPARAM>(foreign));
      DestroyWindow(foreign);
      return s;
    });
    for (intptr_t created : seen.created) EXPECT_EQ(created, 0) << bad;
    EXPECT_FALSE(seen.record);
    EXPECT_EQ(seen.text, u"");
    EXPECT_EQ(seen.state, 0);
    EXPECT_EQ(seen.attribute, 0);
    EXPECT_EQ(seen.colour, GADGET_COLOUR_DEFAULT);
    EXPECT_EQ(seen.width, 0);
    EXPECT_EQ(seen.height, 0);
    EXPECT_EQ(seen.activated, nullptr);
    EXPECT_EQ(seen.freed, 0);
    EXPECT_EQ(seen.notified, NOTIFY_NOT_HANDLED);
  }
  // Only the kept button is left in the window, and it still works.
  EXPECT_EQ(GetWindow(top, GW_CHILD), kept);
  EXPECT_EQ(GetWindow(kept, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(gui.Call([] { return textOf(0); }), u"kept");
}

TEST(GadgetTest, StatesOfButtonsAndProgressBarsAndNoneForTheOtherKinds) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND button =
      HandleOf(gui.Call([] { return Gadget_CreateButton(3, 0, 0, 100, 20, u"check", BS_AUTOCHECKBOX); }));
  HWND bar = HandleOf(gui.Call([] { return Gadget_CreateProgressBar(12, 60, 75, 200, 20, 0, 100); }));
  HWND field = HandleOf(gui.Call([] { return Gadget_CreateString(1, 0, 40, 100, 20, u"12"); }));
  ASSERT_TRUE(button && bar && field);

  // A check box made through the flags keeps its mark; any non-zero state sets it.
  SimWindow seen;
  gui.Call([] { Gadget_SetState(3, 5); });
  ASSERT_TRUE(SimUser_Read(button, &seen));
  EXPECT_EQ(seen.check, BST_CHECKED);
  EXPECT_EQ(gui.Call([] { return Gadget_GetState(3); }), 1);
  gui.Call([] { Gadget_SetState(3, 0); });
  EXPECT_EQ(gui.Call([] { return Gadget_GetState(3); }), 0);
  // A push button has no check mark to keep, as the platform's buttons go.
  gui.Call([] {
    Gadget_CreateButton(4, 0, 100, 100, 20, u"push");
    Gadget_SetState(4, 1);
  });
  EXPECT_EQ(gui.Call([] { return Gadget_GetState(4); }), 0);

  int low = -1, high = -1, position = -1;
  ASSERT_TRUE(SimUser_Progress(bar, &low, &high, &position));
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 100);
  EXPECT_EQ(position, 0);
  auto positionAfter = [&](int32_t state) {
    gui.Call([state] { Gadget_SetState(12, state); });
    int p = -1;
    EXPECT_TRUE(SimUser_Progress(bar, nullptr, nullptr, &p));
    EXPECT_EQ(gui.Call([] { return Gadget_GetState(12); }), p);
    return p;
  };
  EXPECT_EQ(positionAfter(50), 50);
  EXPECT_EQ(positionAfter(150), 100) << "a state above the range shows the bar full";
  EXPECT_EQ(positionAfter(INT32_MIN), 0) << "a percentage that is no number shows the minimum";

  // A string gadget has no state: its text stays, and nothing is reported.
  auto events = gui.Call([] {
    Event_Purge(-1, -1, -1, -1);
    Gadget_SetState(1, 7);
    Gadget_SetState(77, 7);
    return Gadget_TakeQueuedEvents();
  });
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(SimUser_Text(field), u"12");
  EXPECT_EQ(gui.Call([] { return Gadget_GetState(1); }), 0);
}

TEST(GadgetTest, ProgressBarBoundsAndColoursGoToTheControl) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND bar = HandleOf(gui.Call([] { return Gadget_CreateProgressBar(12, 0, 0, 200, 20, 10, 20); }));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(12, GADGET_ATTRIBUTE_MINIMUM); }), 10);
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(12, GADGET_ATTRIBUTE_MAXIMUM); }), 20);
  gui.Call([] {
    Gadget_SetAttribute(12, GADGET_ATTRIBUTE_MAXIMUM, 1000);
    Gadget_SetAttribute(12, GADGET_ATTRIBUTE_MINIMUM, -5);
    Gadget_SetAttribute(12, 3, 99);
  });
  int low = 0, high = 0;
  ASSERT_TRUE(SimUser_Progress(bar, &low, &high, nullptr));
  EXPECT_EQ(low, -5);
  EXPECT_EQ(high, 1000);
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(12, 3); }), 0);

  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(12, GADGET_COLOUR_FRONT); }), GADGET_COLOUR_DEFAULT);
  gui.Call([] {
    Gadget_SetColour(12, GADGET_COLOUR_FRONT, kRed);
    Gadget_SetColour(12, GADGET_COLOUR_BACK, kBlue);
  });
  EXPECT_EQ(SendMessageW(bar, PBM_GETBARCOLOR, 0, 0), kRed);
  EXPECT_EQ(SendMessageW(bar, PBM_GETBKCOLOR, 0, 0), kBlue);
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(12, GADGET_COLOUR_BACK); }), kBlue);
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(12)->backBrush; }), nullptr)
      << "a bar's colour takes no brush";
  gui.Call([] { Gadget_SetColour(12, GADGET_COLOUR_FRONT, GADGET_COLOUR_DEFAULT); });
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_GETBARCOLOR, 0, 0)), CLR_DEFAULT);
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(12, GADGET_COLOUR_FRONT); }), GADGET_COLOUR_DEFAULT);
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(12, 9); }), GADGET_COLOUR_DEFAULT);
}

TEST(GadgetTest, TwoGadgetsSharingABackColourShareOneBrushUntilBothReleaseIt) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  struct Brushes {
    HBRUSH label, field, other;
  };
  Brushes b = gui.Call([] {
    Gadget_CreateText(0, 0, 0, 100, 20, u"label");
    Gadget_CreateString(1, 0, 30, 100, 20, u"field");
    Gadget_CreateText(2, 0, 60, 100, 20, u"other");
    Gadget_SetColour(0, GADGET_COLOUR_BACK, kRed);
    Gadget_SetColour(1, GADGET_COLOUR_BACK, kRed);
    Gadget_SetColour(2, GADGET_COLOUR_BACK, kBlue);
    return Brushes{Gadget_GetRecord(0)->backBrush, Gadget_GetRecord(1)->backBrush,
                   Gadget_GetRecord(2)->backBrush};
  });
  ASSERT_TRUE(brushAlive(b.label));
  EXPECT_EQ(b.field, b.label);
  EXPECT_NE(b.other, b.label);
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(1, GADGET_COLOUR_BACK); }), kRed);

  gui.Call([] { Gadget_SetColour(0, GADGET_COLOUR_BACK, GADGET_COLOUR_DEFAULT); });
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(0)->backBrush; }), nullptr);
  EXPECT_TRUE(brushAlive(b.label)) << "the field still uses the brush";
  // Destroying the field's window releases its brush, the last use.
  EXPECT_NE(gui.Call([] { return Gadget_Free(1); }), 0);
  EXPECT_FALSE(brushAlive(b.label));
  EXPECT_TRUE(brushAlive(b.other));
  // Closing the window takes its gadgets and their brushes with it.
  gui.Call([] { Window_Close(0); });
  EXPECT_FALSE(brushAlive(b.other));
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(2); }), nullptr);
}

TEST(GadgetTest, ColourAnswersOfTextAndStringGadgets) {
  GadgetGui gui;
  HWND top = openWindow(gui);
  ASSERT_NE(top, nullptr);
  struct Answer {
    LRESULT result;
    COLORREF text, back;
    bool operator==(const Answer&) const = default;
  };
  // Asks the window for a control's colours, as the control does before
  // painting; `platform` receives what the default processing answers.
  auto askFor = [&](HWND control, UINT message, Answer* platform = nullptr) {
    return gui.Call([=] {
      auto answer = [&](bool byDefault) {
        HDC dc = GetDC(control);
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkColor(dc, RGB(4, 5, 6));
        const WPARAM w = reinterpret_cast<WPARAM>(dc);
        const LPARAM l = reinterpret_cast<LPARAM>(control);
        Answer a{byDefault ? DefWindowProcW(top, message, w, l) : SendMessageW(top, message, w, l),
                 GetTextColor(dc), GetBkColor(dc)};
        ReleaseDC(control, dc);
        return a;
      };
      if (platform) *platform = answer(true);
      return answer(false);
    });
  };
  auto ask = [&](ObjectNumber number, UINT message, Answer* platform = nullptr) {
    return askFor(gui.Call([=] { return Gadget_GetRecord(number)->window; }), message, platform);
  };
  gui.Call([] {
    Gadget_CreateText(0, 0, 0, 100, 20, u"label");
    Gadget_CreateString(1, 0, 30, 100, 20, u"field");
  });

  // Default colours: the platform's answer.
  Answer platform;
  Answer a = ask(0, WM_CTLCOLORSTATIC, &platform);
  EXPECT_EQ(a, platform);

  gui.Call([] { Gadget_SetColour(0, GADGET_COLOUR_FRONT, kRed); });
  a = ask(0, WM_CTLCOLORSTATIC);
  EXPECT_EQ(a.text, static_cast<COLORREF>(kRed));
  EXPECT_EQ(a.back, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(a.result, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));

  gui.Call([] { Gadget_SetColour(0, GADGET_COLOUR_BACK, kBlue); });
  a = ask(0, WM_CTLCOLORSTATIC);
  EXPECT_EQ(a.back, static_cast<COLORREF>(kBlue));
  EXPECT_EQ(a.result, reinterpret_cast<LRESULT>(gui.Call([] { return Gadget_GetRecord(0)->backBrush; })));

  // The string gadget answers for its edit colours with the window colour
  // behind a front colour alone, and for a read-only look only while enabled.
  gui.Call([] { Gadget_SetColour(1, GADGET_COLOUR_FRONT, kBlue); });
  a = ask(1, WM_CTLCOLOREDIT);
  EXPECT_EQ(a.text, static_cast<COLORREF>(kBlue));
  EXPECT_EQ(a.back, GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(a.result, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
  a = ask(1, WM_CTLCOLORSTATIC);
  EXPECT_EQ(a.back, GetSysColor(COLOR_BTNFACE));
  gui.Call([] { EnableWindow(Gadget_GetRecord(1)->window, FALSE); });
  a = ask(1, WM_CTLCOLORSTATIC, &platform);
  EXPECT_EQ(a, platform) << "a disabled field keeps the platform's colours";

  // A text gadget does not answer for an edit, nor a button for anything.
  a = ask(0, WM_CTLCOLOREDIT, &platform);
  EXPECT_EQ(a, platform);
  // Nor does gadget 0 answer for a control that is no gadget and has its ID.
  HWND stranger = gui.Call([top] {
    return CreateWindowExW(0, W(u"Static"), W(u"stranger"), WS_CHILD | WS_VISIBLE, 0, 200, 100, 20, top,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  });
  ASSERT_NE(stranger, nullptr);
  ASSERT_EQ(idOf(stranger), 0);
  a = askFor(stranger, WM_CTLCOLORSTATIC, &platform);
  EXPECT_EQ(a, platform);
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(0, 7); }), GADGET_COLOUR_DEFAULT);
  gui.Call([] {
    Gadget_CreateButton(3, 0, 60, 100, 20, u"button");
    Gadget_SetColour(3, GADGET_COLOUR_BACK, kRed);
  });
  EXPECT_EQ(gui.Call([] { return Gadget_GetColour(3, GADGET_COLOUR_BACK); }), GADGET_COLOUR_DEFAULT);
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(3)->backBrush; }), nullptr);
}

TEST(GadgetTest, FreeingAGadgetDropsItsQueuedEventsAndFreeingAllEmptiesEveryWindow) {
  GadgetGui gui;
  HWND first = openWindow(gui, 0, u"First");
  ASSERT_NE(first, nullptr);
  auto left = gui.Call([first] {
    HWND a = HandleOf(Gadget_CreateButton(3, 0, 0, 100, 20, u"a"));
    HWND b = HandleOf(Gadget_CreateButton(4, 0, 30, 100, 20, u"b"));
    Event_Purge(-1, -1, -1, -1);
    SendMessageW(a, BM_CLICK, 0, 0);
    SendMessageW(b, BM_CLICK, 0, 0);
    SendMessageW(first, WM_COMMAND, MAKEWPARAM(3, 1), reinterpret_cast<LPARAM>(a));
    Gadget_Free(3);
    return Gadget_TakeQueuedEvents();
  });
  // Gadget 3's two events are gone; the window was erased as the gadget left it.
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].code, EVENT_GADGET_ACTIVITY);
  EXPECT_EQ(left[0].object, 4);
  EXPECT_EQ(left[1].code, EVENT_REPAINT);

  // A second window with its own gadgets: freeing all empties both windows.
  HWND second = openWindow(gui, 1, u"Second");
  ASSERT_NE(second, nullptr);
  ObjectNumber dynamic = gui.Call([] {
    Gadget_CreateText(10, 0, 0, 100, 20, u"x");
    return static_cast<ObjectNumber>(Gadget_CreateText(OBJECT_ANY, 0, 30, 100, 20, u"y"));
  });
  EXPECT_EQ(gui.Call([] { return Gadget_Free(OBJECT_ANY); }), 0);
  EXPECT_EQ(GetWindow(first, GW_CHILD), nullptr);
  EXPECT_EQ(GetWindow(second, GW_CHILD), nullptr);
  // (A freed dynamic gadget's handle names released memory and is not asked about.)
  EXPECT_EQ(gui.Call([] { return Gadget_GetRecord(4) || Gadget_GetRecord(10); }), false);
  EXPECT_NE(dynamic, 0);
}

TEST(GadgetTest, ADynamicGadgetIsAddressedByItsHandleWhichIsItsIdAndTag) {
  GadgetGui gui;
  HWND top = openWindow(gui);
  ASSERT_NE(top, nullptr);
  ObjectNumber handle = gui.Call(
      [] { return static_cast<ObjectNumber>(Gadget_CreateButton(OBJECT_ANY, 0, 0, 100, 20, u"any")); });
  ASSERT_NE(handle, 0);
  HWND window =
      gui.Call([=] { return Gadget_GetRecord(handle) ? Gadget_GetRecord(handle)->window : nullptr; });
  ASSERT_NE(window, nullptr);
  EXPECT_NE(reinterpret_cast<intptr_t>(window), handle);
  EXPECT_EQ(idOf(window), handle);
  EXPECT_EQ(tagOf(window), handle);
  EXPECT_EQ(gui.Call([=] { return textOf(handle); }), u"any");

  gui.ClearLog();
  ASSERT_TRUE(SimUser_Click(window));
  ASSERT_TRUE(gui.WaitForGadgetEvent(handle, BN_CLICKED));
  EXPECT_NE(gui.Call([=] { return Gadget_Free(handle); }), 0);
  EXPECT_FALSE(IsWindow(window));
}

TEST(GadgetTest, ActivateReturnsThePreviousFocusAndMinusOneTakesTheFocusAway) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  HWND field = HandleOf(gui.Call([] { return Gadget_CreateString(1, 0, 0, 100, 20, u""); }));
  HWND button = HandleOf(gui.Call([] { return Gadget_CreateButton(3, 0, 30, 100, 20, u"b"); }));
  gui.Call([] { Gadget_Activate(1); });
  EXPECT_EQ(gui.Call([] { return Gadget_Activate(3); }), field);
  EXPECT_EQ(SimUser_Focus(), button);
  EXPECT_EQ(gui.Call([] { return Gadget_Activate(99); }), nullptr);
  EXPECT_EQ(SimUser_Focus(), button);
  EXPECT_EQ(gui.Call([] { return Gadget_Activate(OBJECT_ANY); }), button);
  EXPECT_EQ(gui.Call([] { return GetFocus(); }), nullptr);
}

TEST(GadgetTest, AStringGadgetsMaximumLengthIsAtLeastOne) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  ASSERT_NE(gui.Call([] { return Gadget_CreateString(1, 0, 0, 100, 20, u""); }), 0);
  gui.Call([] { Gadget_SetAttribute(1, GADGET_ATTRIBUTE_MAXIMUM_LENGTH, 3); });
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(1, GADGET_ATTRIBUTE_MAXIMUM_LENGTH); }), 3);
  gui.Call([] { Gadget_SetAttribute(1, GADGET_ATTRIBUTE_MAXIMUM_LENGTH, 0); });
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(1, GADGET_ATTRIBUTE_MAXIMUM_LENGTH); }), 1);
  gui.Call([] { Gadget_Activate(1); });
  ASSERT_TRUE(SimUser_Type(u"abc"));
  ASSERT_TRUE(SimUser_Idle(SIMUSER_TIMEOUT));
  EXPECT_EQ(gui.Call([] { return textOf(1); }), u"a");
  EXPECT_EQ(gui.Call([] { return Gadget_GetAttribute(1, 2); }), 0);
}

TEST(GadgetTest, RequiredSizesFollowTheTextOfLabelsAndButtonsButNotOfFields) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  struct Sizes {
    int32_t w, h;
  };
  auto size = [&](ObjectNumber number) {
    return gui.Call([=] {
      Sizes s{-1, -1};
      Gadget_RequiredSize(number, &s.w, &s.h);
      return s;
    });
  };
  // The width of a text in the default gadget font.
  auto extent = [&](const char16_t* text) {
    return gui.Call([=] {
      HDC dc = GetDC(nullptr);
      HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      SIZE s{};
      GetTextExtentPoint32W(dc, W(text), String_Length(text), &s);
      SelectObject(dc, old);
      ReleaseDC(nullptr, dc);
      return Sizes{s.cx, s.cy};
    });
  };
  const int32_t cx = GetSystemMetrics(SM_CXEDGE), cy = GetSystemMetrics(SM_CYEDGE);

  gui.Call([] {
    Gadget_CreateString(1, 0, 0, 100, 20, u"");
    Gadget_CreateButton(2, 0, 30, 100, 20, u"");
    Gadget_CreateButton(3, 0, 60, 100, 20, u"Browse...");
    Gadget_CreateText(4, 0, 90, 100, 20, u"Total Transfered");
    Gadget_CreateText(5, 0, 120, 100, 20, u"Total Transfered", GADGET_FLAG_BORDER);
  });
  Sizes emptyField = size(1);
  EXPECT_EQ(emptyField.w, 2 * cx);
  EXPECT_GE(emptyField.h, 20);
  gui.Call([] { Gadget_SetText(1, u"a much longer text than the field shows"); });
  Sizes fullField = size(1);
  EXPECT_EQ(fullField.w, emptyField.w);
  EXPECT_EQ(fullField.h, emptyField.h);

  Sizes bare = size(2), browse = size(3);
  EXPECT_EQ(bare.w, 2 * cx + 10);
  EXPECT_GE(bare.h, 24);
  EXPECT_EQ(browse.w, extent(u"Browse...").w + 2 * cx + 10);
  EXPECT_EQ(browse.h, std::max<int32_t>(extent(u"Browse...").h + 2 * cy, 24));

  Sizes plain = size(4), edged = size(5);
  EXPECT_GE(plain.w, extent(u"Total Transfered").w + 2);
  EXPECT_EQ(edged.w - plain.w, 2 * cx - 2);
  EXPECT_EQ(edged.h - plain.h, 2 * cy - 2);

  // A text gadget shows '&' as it is (SS_NOPREFIX) and is measured so.
  gui.Call([] {
    Gadget_CreateText(7, 0, 180, 100, 20, u"ab&cd");
    Gadget_CreateText(8, 0, 210, 100, 20, u"abcd");
  });
  Sizes ampersand = size(7), letters = size(8);
  EXPECT_GE(ampersand.w, extent(u"ab&cd").w + 2);
  EXPECT_EQ(ampersand.w - letters.w, extent(u"ab&cd").w - extent(u"abcd").w);
  EXPECT_GT(ampersand.w, letters.w);

  Sizes none = size(44);
  EXPECT_EQ(none.w, 0);
  EXPECT_EQ(none.h, 0);
  ASSERT_NE(gui.Call([] { return Gadget_CreateProgressBar(6, 0, 150, 100, 20, 0, 100); }), 0);
  EXPECT_EQ(size(6).w, 0) << "a progress bar has no required size";
}

TEST(GadgetTest, CreationStylesOfTheFourKinds) {
  GadgetGui gui;
  ASSERT_NE(openWindow(gui), nullptr);
  struct Look {
    std::u16string className;
    LONG style, exStyle;
  };
  auto look = [&](ObjectNumber number) {
    return gui.Call([=] {
      HWND w = Gadget_GetRecord(number)->window;
      WCHAR name[32] = {};
      GetClassNameW(w, name, 32);
      return Look{U(name), GetWindowLongW(w, GWL_STYLE), GetWindowLongW(w, GWL_EXSTYLE)};
    });
  };
  gui.Call([] {
    Gadget_CreateText(0, 0, 0, 100, 20, u"t");
    Gadget_CreateText(1, 0, 0, 100, 20, u"t", GADGET_FLAG_BORDER);
    Gadget_CreateString(2, 0, 0, 100, 20, u"s");
    Gadget_CreateString(3, 0, 0, 100, 20, u"s", GADGET_FLAG_BORDER | ES_READONLY);
    Gadget_CreateButton(4, 0, 0, 100, 20, u"b");
    Gadget_CreateProgressBar(5, 0, 0, 100, 20, 0, 100);
  });
  const LONG visibleChild = WS_CHILD | WS_VISIBLE;
  Look text = look(0), edgedText = look(1), field = look(2), flatField = look(3), button = look(4),
       bar = look(5);
  EXPECT_EQ(text.className, u"Static");
  EXPECT_EQ(text.style & (visibleChild | WS_TABSTOP | SS_NOPREFIX | SS_NOTIFY), visibleChild | SS_NOPREFIX);
  EXPECT_FALSE(text.exStyle & WS_EX_CLIENTEDGE);
  EXPECT_TRUE(edgedText.exStyle & WS_EX_CLIENTEDGE);
  EXPECT_EQ(field.className, u"Edit");
  EXPECT_EQ(field.style & (visibleChild | WS_TABSTOP | ES_AUTOHSCROLL),
            visibleChild | WS_TABSTOP | ES_AUTOHSCROLL);
  EXPECT_TRUE(field.exStyle & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(flatField.exStyle & WS_EX_CLIENTEDGE);
  EXPECT_TRUE(flatField.style & ES_READONLY) << "flags are added to the style";
  EXPECT_EQ(button.className, u"Button");
  EXPECT_EQ(button.style & (visibleChild | WS_TABSTOP | BS_TYPEMASK),
            visibleChild | WS_TABSTOP | BS_PUSHBUTTON);
  EXPECT_EQ(bar.className, u"msctls_progress32");
  EXPECT_FALSE(bar.style & WS_TABSTOP);
  // Every gadget gets the default gadget font.
  EXPECT_EQ(gui.Call([] { return SendMessageW(Gadget_GetRecord(4)->window, WM_GETFONT, 0, 0); }),
            reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
}

TEST(GadgetBrushTest, TheCacheCountsUsesFromSeveralThreads) {
  constexpr int kThreads = 4, kRounds = 500;
  // One use held throughout keeps each brush alive; the threads come and go around it.
  HBRUSH held[3];
  for (int c = 0; c < 3; c++) held[c] = Gadget_AcquireBrush(0x101010 * (c + 1));
  std::atomic<bool> sameBrush{true};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; i++) {
        const int c = (i + t) % 3;
        HBRUSH brush = Gadget_AcquireBrush(0x101010 * (c + 1));
        if (brush != held[c]) sameBrush = false;
        Gadget_ReleaseBrush(brush);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_TRUE(sameBrush);
  for (int c = 0; c < 3; c++) {
    EXPECT_TRUE(brushAlive(held[c]));
    Gadget_ReleaseBrush(held[c]);
    EXPECT_FALSE(brushAlive(held[c]));
  }
  // A brush the cache does not hold is left alone.
  HBRUSH own = CreateSolidBrush(RGB(9, 9, 9));
  Gadget_ReleaseBrush(own);
  EXPECT_TRUE(brushAlive(own));
  DeleteObject(own);
}

}  // namespace
