// Graphics objects of the substitute: brushes, pens, fonts and device
// contexts in a handle table of their own, system colours, and text measured
// with a fixed font model.
#include <algorithm>
#include <utility>

#include "platform/linux/gdi32.h"
#include "platform/linux/user/internal.h"

using namespace user;

namespace {

constexpr DWORD kTypeDc = OBJ_DC;

struct GdiObject {
  DWORD type;  // OBJ_BRUSH, OBJ_PEN, OBJ_FONT or OBJ_DC
  bool stock;
  COLORREF colour;  // brush or pen
  UINT brushStyle;
  LONG fontHeight;  // font
  // Device context:
  HWND window;
  HGDIOBJ brush, pen, font;
  COLORREF text, back;
};

HandleTable<GdiObject>& objects() {
  static auto* t = new HandleTable<GdiObject>;
  return *t;
}

HGDIOBJ addObject(const GdiObject& o) {
  auto* copy = new GdiObject(o);
  void* h = objects().add(copy);
  if (!h) delete copy;
  return h;
}

GdiObject* object(HGDIOBJ h, DWORD type) {
  GdiObject* o = objects().get(h);
  return o && (type == 0 || o->type == type) ? o : nullptr;
}

constexpr COLORREF kSysColours[31] = {0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464,
                                      0x000000, 0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800,
                                      0xFFFFFF, 0xF0F0F0, 0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF,
                                      0x696969, 0xE3E3E3, 0x000000, 0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9,
                                      0xF2E4D7, 0xD77800, 0xF0F0F0};

struct Stock {
  HGDIOBJ objects[18] = {};
  HBRUSH sysBrushes[31] = {};
};

Stock& stock() {
  static Stock* s = [] {
    auto* st = new Stock;
    auto brush = [](COLORREF c, UINT style) {
      return addObject(GdiObject{OBJ_BRUSH, true, c, style, 0, nullptr, nullptr, nullptr, nullptr, 0, 0});
    };
    auto pen = [](COLORREF c) {
      return addObject(GdiObject{OBJ_PEN, true, c, 0, 0, nullptr, nullptr, nullptr, nullptr, 0, 0});
    };
    auto font = [](LONG h) {
      return addObject(GdiObject{OBJ_FONT, true, 0, 0, h, nullptr, nullptr, nullptr, nullptr, 0, 0});
    };
    st->objects[WHITE_BRUSH] = brush(0xFFFFFF, BS_SOLID);
    st->objects[LTGRAY_BRUSH] = brush(0xC0C0C0, BS_SOLID);
    st->objects[GRAY_BRUSH] = brush(0x808080, BS_SOLID);
    st->objects[DKGRAY_BRUSH] = brush(0x404040, BS_SOLID);
    st->objects[BLACK_BRUSH] = brush(0x000000, BS_SOLID);
    st->objects[NULL_BRUSH] = brush(0, BS_NULL);
    st->objects[WHITE_PEN] = pen(0xFFFFFF);
    st->objects[BLACK_PEN] = pen(0x000000);
    st->objects[SYSTEM_FONT] = font(16);
    st->objects[DEFAULT_GUI_FONT] = font(13);
    for (int i = 0; i < 31; i++) st->sysBrushes[i] = static_cast<HBRUSH>(brush(kSysColours[i], BS_SOLID));
    return st;
  }();
  return *s;
}

// Width of one character in the fixed font model, for a font 13 pixels high.
int charWidth(char16_t c) {
  switch (c) {
    case u' ':
    case u'i':
    case u'l':
    case u'j':
    case u'I':
    case u'!':
    case u'|':
    case u'\'':
    case u'.':
    case u',':
    case u':':
    case u';':
      return 3;
    case u'm':
    case u'w':
    case u'M':
    case u'W':
      return 9;
  }
  if (c >= u'A' && c <= u'Z') return 7;
  return 6;
}

LONG fontHeightOf(HDC dc) {
  GdiObject* d = object(dc, kTypeDc);
  GdiObject* f = d ? object(d->font, OBJ_FONT) : nullptr;
  return f ? f->fontHeight : 16;
}

LONG measure(std::u16string_view text, LONG height) {
  LONG width = 0;
  for (char16_t c : text) width += charWidth(c);
  return (width * height + 6) / 13;
}

void freeObject(HGDIOBJ h) {
  GdiObject* o = objects().get(h);
  if (!o) return;
  objects().remove(h);
  delete o;
}

}  // namespace

namespace user {

HDC newDc(HWND window, HFONT font) {
  HGDIOBJ chosen = font ? font : stock().objects[SYSTEM_FONT];
  return static_cast<HDC>(addObject(GdiObject{kTypeDc, false, 0, 0, 0, window, stock().objects[WHITE_BRUSH],
                                              stock().objects[BLACK_PEN], chosen, 0x000000, 0xFFFFFF}));
}

void freeDc(HDC dc) {
  if (object(dc, kTypeDc)) freeObject(dc);
}

bool dcColours(HDC dc, COLORREF* text, COLORREF* back) {
  GdiObject* d = object(dc, kTypeDc);
  if (!d) return false;
  *text = d->text;
  *back = d->back;
  return true;
}

LONG textWidth(std::u16string_view text, HFONT font) {
  Guard g(lock());
  GdiObject* f = object(font, OBJ_FONT);
  return measure(text, f ? f->fontHeight : 16);
}

}  // namespace user

// ---- Objects ------------------------------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int index) {
  Guard g(lock());
  if (index < 0 || index >= 18) return nullptr;
  return stock().objects[index];
}

HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
  Guard g(lock());
  return static_cast<HBRUSH>(
      addObject(GdiObject{OBJ_BRUSH, false, colour, BS_SOLID, 0, nullptr, nullptr, nullptr, nullptr, 0, 0}));
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
  Guard g(lock());
  stock();
  GdiObject* o = objects().get(h);
  if (!o || o->type == kTypeDc) return FALSE;
  if (o->stock) return TRUE;
  freeObject(h);
  return TRUE;
}

int WINAPI GetObjectW(HGDIOBJ h, int size, LPVOID buffer) {
  Guard g(lock());
  GdiObject* o = objects().get(h);
  if (!o || o->type != OBJ_BRUSH) return 0;
  if (!buffer) return sizeof(LOGBRUSH);
  if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
  *static_cast<LOGBRUSH*>(buffer) = LOGBRUSH{o->brushStyle, o->colour, 0};
  return sizeof(LOGBRUSH);
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  Guard g(lock());
  GdiObject* o = objects().get(h);
  return o ? o->type : 0;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ h) {
  Guard g(lock());
  GdiObject* d = object(dc, kTypeDc);
  GdiObject* o = objects().get(h);
  if (!d || !o) return nullptr;
  HGDIOBJ* slot = o->type == OBJ_BRUSH  ? &d->brush
                  : o->type == OBJ_PEN  ? &d->pen
                  : o->type == OBJ_FONT ? &d->font
                                        : nullptr;
  if (!slot) return nullptr;
  HGDIOBJ previous = *slot;
  *slot = h;
  return previous;
}

namespace {

// Sets the text or background colour of a device context: the old one, or
// CLR_INVALID for no device context.
COLORREF setDcColour(HDC dc, COLORREF GdiObject::*which, COLORREF colour) {
  Guard g(lock());
  GdiObject* d = object(dc, kTypeDc);
  return d ? std::exchange(d->*which, colour) : CLR_INVALID;
}

COLORREF dcColour(HDC dc, COLORREF GdiObject::*which) {
  Guard g(lock());
  GdiObject* d = object(dc, kTypeDc);
  return d ? d->*which : CLR_INVALID;
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) { return setDcColour(dc, &GdiObject::text, colour); }
COLORREF WINAPI GetTextColor(HDC dc) { return dcColour(dc, &GdiObject::text); }
COLORREF WINAPI SetBkColor(HDC dc, COLORREF colour) { return setDcColour(dc, &GdiObject::back, colour); }
COLORREF WINAPI GetBkColor(HDC dc) { return dcColour(dc, &GdiObject::back); }

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int length, LPSIZE size) {
  Guard g(lock());
  if (!object(dc, kTypeDc) || !size || length < 0 || (!text && length > 0)) return FALSE;
  LONG height = fontHeightOf(dc);
  size->cx = measure(std::u16string_view(text ? text : u"", static_cast<size_t>(length)), height);
  size->cy = height;
  return TRUE;
}

int WINAPI DrawTextW(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format) {
  LONG height;
  {
    Guard g(lock());
    if (!object(dc, kTypeDc) || !rect) return 0;
    height = fontHeightOf(dc);
  }
  std::u16string_view all = text ? std::u16string_view(text) : std::u16string_view();
  if (length >= 0) all = all.substr(0, std::min<size_t>(all.size(), static_cast<size_t>(length)));
  LONG widest = 0, lines = 0;
  std::u16string line;
  auto endLine = [&] {
    widest = std::max(widest, measure(line, height));
    lines++;
    line.clear();
  };
  for (size_t i = 0; i < all.size(); i++) {
    char16_t c = all[i];
    if (!(format & DT_SINGLELINE) && (c == u'\n' || c == u'\r')) {
      if (c == u'\r' && i + 1 < all.size() && all[i + 1] == u'\n') i++;
      endLine();
      continue;
    }
    // "&x" marks an access key and "&&" stands for one ampersand.
    if (c == u'&' && !(format & DT_NOPREFIX)) {
      if (i + 1 < all.size() && all[i + 1] == u'&') {
        line += u'&';
        i++;
      }
      continue;
    }
    line += c;
  }
  endLine();
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + lines * height;
  }
  return lines * height;
}

// ---- System colours -------------------------------------------------------------------------------

DWORD WINAPI GetSysColor(int index) { return index >= 0 && index < 31 ? kSysColours[index] : 0; }

HBRUSH WINAPI GetSysColorBrush(int index) {
  Guard g(lock());
  return index >= 0 && index < 31 ? stock().sysBrushes[index] : nullptr;
}

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Guard g(lock());
  auto value = reinterpret_cast<uintptr_t>(brush);
  bool sysColour = value > 0 && value <= 31;
  return object(dc, kTypeDc) && rect && (sysColour || object(brush, OBJ_BRUSH)) ? 1 : 0;
}

// ---- Device contexts of windows -------------------------------------------------------------------

HDC WINAPI GetDC(HWND window) {
  Guard g(lock());
  if (window && !get(window)) return nullptr;
  Window* w = get(window);
  return newDc(window, w ? controlFont(*w) : nullptr);
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
  Guard g(lock());
  GdiObject* d = object(dc, kTypeDc);
  if (!d || d->window != window) return 0;
  freeDc(dc);
  return 1;
}
