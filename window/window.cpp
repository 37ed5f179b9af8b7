// Top-level windows: the window registry, opening and closing, centring, the gadget-list state and its hook.
#include "window/window.h"

#include <algorithm>
#include <utility>

#include "core/thread.h"
#include "window/event.h"
#include "window/internal.h"
#include "window/translate.h"

WindowNotifyFunction Window_NotifyGadget = nullptr;

namespace {

ObjectRegistry* windowRegistry = nullptr;
ThreadState* windowState = nullptr;
ThreadState* gadgetState = nullptr;
HICON defaultIcon = nullptr;
HCURSOR defaultCursor = nullptr;

constexpr int32_t kWindowGrowStep = 16;
constexpr int32_t kGadgetStackEntries = 10;
// Flag bits that are Window_Open's own, never window styles.
constexpr uint32_t kCentring = WINDOW_SCREEN_CENTERED | WINDOW_WINDOW_CENTERED;
constexpr uint32_t kOwnLowBits = WINDOW_SCREEN_CENTERED | WINDOW_WINDOW_CENTERED | WINDOW_TOOL;

// "WindowClass_" plus a pointer-wide number.
constexpr int kClassNameCapacity = 12 + WINDOW_DECIMAL_CAPACITY;

HINSTANCE programModule() { return GetModuleHandleW(nullptr); }

void classNameOf(char16_t* out, ObjectNumber number) { Window_FormatName(out, u"WindowClass_", number); }

// The property that holds a window's GadgetListRecord: "RT_GadgetStack_" and
// the program's module handle as a decimal number.
const char16_t* gadgetStackProperty() {
  static char16_t name[15 + WINDOW_DECIMAL_CAPACITY];
  if (!name[0]) Window_FormatName(name, u"RT_GadgetStack_", reinterpret_cast<intptr_t>(programModule()));
  return name;
}

GadgetListRecord* listRecordOf(HWND window) {
  return static_cast<GadgetListRecord*>(GetPropW(window, W(gadgetStackProperty())));
}

HWND* allocateStack() {
  auto* stack = static_cast<HWND*>(Heap_Alloc(kGadgetStackEntries * sizeof(HWND)));
  if (!stack) Heap_Exhausted("gadget list stack");
  return stack;
}

void gadgetStateInit(void* record) {
  auto* state = static_cast<GadgetState*>(record);
  state->stack = allocateStack();
  state->capacity = kGadgetStackEntries;
  state->defaultFont = GetStockObject(DEFAULT_GUI_FONT);
}

void gadgetStateFree(void* record) {
  auto* state = static_cast<GadgetState*>(record);
  Heap_Free(state->stack);
  state->stack = nullptr;
}

// Installed on every window that becomes a gadget list. When the window dies
// it stops being the current list and its saved list state is released.
LRESULT CALLBACK gadgetListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  GadgetListRecord* record = listRecordOf(window);
  WNDPROC previous = record ? record->previousProc : nullptr;
  if (message == WM_NCDESTROY && record) {
    GadgetState* state = Window_GadgetState();
    if (state->listWindow == window) {
      state->listWindow = nullptr;
      state->depth = 0;
    }
    RemovePropW(window, W(gadgetStackProperty()));
    Heap_Free(record->savedStack);
    Heap_Free(record);
  }
  if (previous) return CallWindowProcW(previous, window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

GadgetState* Window_GadgetState() {
  if (!gadgetState) {
    gadgetState = Thread_CreateState(sizeof(GadgetState), gadgetStateInit, gadgetStateFree);
    if (!gadgetState) Heap_Exhausted("gadget state");
  }
  return static_cast<GadgetState*>(Thread_GetState(gadgetState));
}

WindowState* Window_GetState() {
  return windowState ? static_cast<WindowState*>(Thread_GetState(windowState)) : nullptr;
}

void Window_Init() {
  if (!windowRegistry) {
    windowRegistry = Object_CreateRegistry(sizeof(WindowRecord), kWindowGrowStep,
                                           [](ObjectNumber number) { Window_Close(number); });
  }
  if (!windowState) {
    windowState = Thread_CreateState(sizeof(WindowState), nullptr, nullptr);
    if (!windowState) Heap_Exhausted("window state");
  }
  defaultIcon = LoadIconW(programModule(), MAKEINTRESOURCEW(1));
  defaultCursor = LoadCursorW(nullptr, IDC_ARROW);
}

void Window_End() {
  if (windowRegistry) Window_Close(OBJECT_ANY);
}

WindowRecord* Window_GetRecord(ObjectNumber number) {
  if (!windowRegistry) return nullptr;
  return static_cast<WindowRecord*>(Object_Get(windowRegistry, number));
}

ObjectNumber Window_FromHandle(HWND window, WindowRecord** record) {
  if (record) *record = nullptr;
  for (HWND walk = window; walk; walk = GetParent(walk)) {
    auto id = reinterpret_cast<intptr_t>(GetPropW(walk, W(WINDOW_PROP_ID)));
    if (id) {
      if (record) *record = Window_GetRecord(id - 1);
      return id - 1;
    }
  }
  return -1;
}

intptr_t Window_Open(ObjectNumber number, int32_t x, int32_t y, int32_t width, int32_t height,
                     const char16_t* title, uint32_t flags) {
  if (!windowRegistry) return 0;
  HINSTANCE module = programModule();
  const bool dynamic = number == OBJECT_ANY;
  auto* record = static_cast<WindowRecord*>(Object_Allocate(windowRegistry, number));
  if (!record) return 0;
  if (dynamic) number = reinterpret_cast<ObjectNumber>(record);

  char16_t className[kClassNameCapacity];
  classNameOf(className, number);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = Window_Proc;
  windowClass.hInstance = module;
  windowClass.hIcon = defaultIcon;
  windowClass.hCursor = defaultCursor;
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = W(className);
  // A class left over under this name serves as well, so the result is not tested.
  RegisterClassExW(&windowClass);

  if (!title) title = u"";
  const bool gadgets = !(flags & WINDOW_NO_GADGETS);
  DWORD style = flags & ~WINDOW_NO_GADGETS;
  if (!(style & ~(kCentring | WINDOW_INVISIBLE))) style |= WS_CAPTION;
  const bool show = !(style & WINDOW_INVISIBLE);
  style &= ~WINDOW_INVISIBLE;
  DWORD exStyle = 0;
  if (style & WINDOW_TOOL) {
    exStyle = WS_EX_TOOLWINDOW;
    style &= ~(WS_MINIMIZE | WS_MAXIMIZE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    style |= WS_CAPTION;
  }

  RECT outer = {0, 0, width, height};
  AdjustWindowRectEx(&outer, style & ~kOwnLowBits, FALSE, exStyle);
  int outerWidth = outer.right - outer.left;
  int outerHeight = outer.bottom - outer.top;
  // Both sizes IGNORE_COORDINATE would hand the window system a negative size:
  // its default size serves as the restored size instead. One of them alone is
  // used as passed, like any size (the window system makes a negative one its
  // smallest), so that the other keeps its value.
  if (width == IGNORE_COORDINATE && height == IGNORE_COORDINATE) outerWidth = outerHeight = CW_USEDEFAULT;
  // Either coordinate ignored gives the default position; a centring flag
  // moves the window afterwards, and where it cannot (no active window) the
  // default position stands instead of a coordinate far off the screen.
  int left = x;
  int top = y;
  if (x == IGNORE_COORDINATE || y == IGNORE_COORDINATE) left = top = CW_USEDEFAULT;

  // The accelerator entries come first, so that running out of memory leaves no window behind.
  auto* entries = static_cast<ACCEL*>(Heap_Alloc(2 * sizeof(ACCEL)));
  HWND handle = nullptr;
  if (entries) {
    handle = CreateWindowExW(exStyle, W(className), W(title), style & ~(kOwnLowBits | WINDOW_NO_ACTIVATE),
                             left, top, outerWidth, outerHeight, nullptr, nullptr, module, nullptr);
  }
  if (!handle) {
    Heap_Free(entries);
    UnregisterClassW(W(className), module);
    Object_Free(windowRegistry, number);
    return 0;
  }
  record->handle = handle;

  if (style & kCentring) Window_Center(handle, style);

  if (show) {
    const bool noActivate = style & WINDOW_NO_ACTIVATE;
    int command;
    if (style & WS_MAXIMIZE)
      command = noActivate ? SW_SHOWNA : SW_SHOWMAXIMIZED;
    else if (style & WS_MINIMIZE)
      command = noActivate ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    else
      command = noActivate ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
    ShowWindow(handle, command);
  }
  record->sizeMark = (style & (WS_MINIMIZE | WS_MAXIMIZE)) ? 1 : 0;

  entries[0] = {FVIRTKEY | FNOINVERT, VK_TAB, WINDOW_COMMAND_FOCUS_NEXT};
  entries[1] = {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, WINDOW_COMMAND_FOCUS_PREVIOUS};
  record->accelEntries = entries;
  record->accelCount = 2;
  record->accelTable = CreateAcceleratorTableW(entries, 2);

  if (gadgets) {
    Window_SetGadgetList(handle);
    // Out of memory, the window cannot become the gadget list it was opened as.
    if (Window_GadgetState()->listWindow != handle) {
      Window_Close(number);
      return 0;
    }
  }
  SetPropW(handle, W(WINDOW_PROP_ID), reinterpret_cast<HANDLE>(number + 1));
  return dynamic ? number : reinterpret_cast<intptr_t>(handle);
}

void Window_Center(HWND window, uint32_t flags) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  int x;
  int y;
  if (flags & WINDOW_SCREEN_CENTERED) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    x = (screenWidth - std::min(width, screenWidth)) / 2;
    y = (screenHeight - std::min(height, screenHeight)) / 2;
  } else if (flags & WINDOW_WINDOW_CENTERED) {
    HWND reference = GetActiveWindow();
    RECT around;
    if (!reference || reference == window || !GetWindowRect(reference, &around)) return;
    x = std::max(static_cast<int>(around.left + ((around.right - around.left) - width) / 2), 0);
    y = std::max(static_cast<int>(around.top + ((around.bottom - around.top) - height) / 2), 0);
  } else {
    return;
  }
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int32_t Window_Close(ObjectNumber number) {
  if (!windowRegistry) return 0;
  if (number == OBJECT_ANY) {
    Object_FreeAll(windowRegistry);
    return 0;
  }
  auto* record = static_cast<WindowRecord*>(Object_Get(windowRegistry, number));
  if (!record) return 0;
  HWND handle = record->handle;

  if (HWND owner = GetWindow(handle, GW_OWNER)) SetActiveWindow(owner);
  RemovePropW(handle, W(WINDOW_PROP_ID));
  if (RemovePropW(handle, W(WINDOW_PROP_DROP))) RevokeDragDrop(handle);
  DestroyWindow(handle);
  char16_t className[kClassNameCapacity];
  classNameOf(className, number);
  UnregisterClassW(W(className), programModule());

  Heap_Free(record->accelEntries);
  if (record->accelTable) DestroyAcceleratorTable(record->accelTable);
  if (record->backgroundBrush) DeleteObject(record->backgroundBrush);
  Event_PurgeWindow(number);
  Event_UnbindWindow(number);
  Object_Free(windowRegistry, number);
  return 1;
}

HWND Window_SetGadgetList(HWND window) {
  GadgetState* state = Window_GadgetState();
  HWND previous = state->depth != 0 ? state->stack[0] : state->listWindow;
  if (!window) return previous;

  // A window new to the list role gets its record before anything changes, so
  // that running out of memory leaves the current list as it was.
  GadgetListRecord* record = listRecordOf(window);
  GadgetListRecord* created = nullptr;
  if (!record) {
    created = static_cast<GadgetListRecord*>(Heap_Alloc(sizeof(GadgetListRecord)));
    if (!created) return previous;
  }
  // So is the container stack the window will need, unless it brings its own
  // or takes back the current one.
  GadgetListRecord* suspended = previous && IsWindow(previous) ? listRecordOf(previous) : nullptr;
  HWND* spareStack = nullptr;
  const bool hasStack =
      record && (record == suspended ? state->stack != nullptr : record->savedStack != nullptr);
  if (!hasStack && !(created && !suspended && state->stack)) {
    spareStack = static_cast<HWND*>(Heap_Alloc(kGadgetStackEntries * sizeof(HWND)));
    if (!spareStack) {
      Heap_Free(created);
      return previous;
    }
  }

  if (suspended) {
    Heap_Free(suspended->savedStack);
    suspended->savedListWindow = state->listWindow;
    suspended->savedStack = state->stack;
    suspended->savedDepth = state->depth;
    suspended->savedCapacity = state->capacity;
    state->stack = nullptr;
  }

  if (record) {
    Heap_Free(state->stack);
    state->listWindow = record->savedListWindow ? record->savedListWindow : window;
    state->stack = record->savedStack;
    state->depth = record->savedDepth;
    state->capacity = record->savedCapacity;
    record->savedListWindow = nullptr;
    record->savedStack = nullptr;
    record->savedDepth = 0;
    record->savedCapacity = 0;
    if (!state->stack) {
      state->stack = std::exchange(spareStack, nullptr);
      state->depth = 0;
      state->capacity = kGadgetStackEntries;
    }
  } else {
    if (!state->stack) {
      state->stack = std::exchange(spareStack, nullptr);
      state->capacity = kGadgetStackEntries;
    }
    state->depth = 0;
    state->listWindow = window;
    created->handle = window;
    SetPropW(window, W(gadgetStackProperty()), created);
    created->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gadgetListProc)));
  }
  Heap_Free(spareStack);
  state->container = nullptr;
  return previous;
}

LRESULT CALLBACK Window_Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  const bool answered = Window_MessageToEvent(window, message, wParam, lParam, &result);
  // A frame of document windows leaves its client's share of the messages to the frame procedure.
  HWND client = message != WM_SIZE ? static_cast<HWND>(GetPropW(window, W(WINDOW_PROP_MDI))) : nullptr;
  if (client &&
      (!answered || message == WM_SETFOCUS || message == WM_MENUCHAR || (message == WM_COMMAND && !lParam)))
    result = DefFrameProcW(window, client, message, wParam, lParam);
  else if (!answered)
    result = DefWindowProcW(window, message, wParam, lParam);
  SetLastError(0);
  return result;
}
