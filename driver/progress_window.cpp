#include "driver/progress_window.h"

#include <utility>

namespace tailrun {

namespace {

const wchar_t window_class[] = L"TailrunProgress";

// The open window's owner, for the window procedure: one thread, one window at a time.
progress_window* current = nullptr;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The layout at 96 DPI, in pixels: the percentage's line, the bar below it, Cancel at the bottom
// right.
constexpr int client_width = 320;
constexpr int margin = 12;
constexpr int text_height = 20;
constexpr int bar_gap = 4;
constexpr int bar_height = 18;
constexpr int button_width = 84;
constexpr int button_height = 24;
constexpr int client_height = margin + text_height + bar_gap + bar_height + margin + button_height + margin;
constexpr int font_height = 12;  // 9 points
constexpr DWORD window_style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// The window's DPI: its monitor's where the system tells (Windows 10 1607 and later), else the
// system's.
UINT window_dpi(HWND window) {
  using get_dpi_for_window_fn = UINT(WINAPI*)(HWND);
  if (const HMODULE user32 = GetModuleHandleA("user32.dll")) {
    const auto get_dpi = reinterpret_cast<get_dpi_for_window_fn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    if (get_dpi) return get_dpi(window);
  }
  int dpi = 0;
  if (const HDC screen = GetDC(nullptr)) {
    dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// "<n>%" for the whole percent of `per_mille`, written backwards into `text`; returns its start.
const wchar_t* percent_text(unsigned per_mille, wchar_t (&text)[8]) {
  wchar_t* start = text + 7;
  *start = L'\0';
  *--start = L'%';
  unsigned percent = per_mille / 10;
  do {
    *--start = static_cast<wchar_t>(L'0' + percent % 10);
    percent /= 10;
  } while (percent != 0);
  return start;
}

}  // namespace

bool progress_window::open(HINSTANCE instance, const std::wstring& title) {
  WNDCLASSW type{};
  type.style = CS_HREDRAW | CS_VREDRAW;
  type.lpfnWndProc = procedure;
  type.hInstance = instance;
  type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  type.lpszClassName = window_class;
  RegisterClassW(&type);  // fails only when registered already; then the creation tells
  close();
  cancelled_ = false;
  per_mille_ = 0;
  current = this;
  // Made at the client size it would have at 96 DPI, then sized to its DPI by the frame that the
  // client area turned out to lack, centred in the work area and shown.
  const int width = client_width, height = client_height;
  window_.reset(CreateWindowExW(0, window_class, title.c_str(), window_style, CW_USEDEFAULT, CW_USEDEFAULT, width,
                                height, nullptr, nullptr, instance, nullptr));
  if (!window_) return false;
  button_ = CreateWindowExW(0, L"BUTTON", L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                            window_.get(), reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
  set_dpi(window_dpi(window_.get()));
  RECT client;
  GetClientRect(window_.get(), &client);
  const int outer_width = scaled(client_width) + width - client.right;
  const int outer_height = scaled(client_height) + height - client.bottom;
  RECT area = {0, 0, outer_width, outer_height};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetWindowPos(window_.get(), nullptr, (area.left + area.right - outer_width) / 2,
               (area.top + area.bottom - outer_height) / 2, outer_width, outer_height, SWP_NOZORDER | SWP_SHOWWINDOW);
  return true;
}

bool progress_window::update(unsigned per_mille) {
  if (!window_) return true;
  if (per_mille != per_mille_) {
    per_mille_ = per_mille;
    InvalidateRect(window_.get(), nullptr, FALSE);
  }
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    // Escape becomes Cancel's command, Tab and Space work as in a dialog.
    if (!IsDialogMessageW(window_.get(), &message)) DispatchMessageW(&message);
  }
  return !cancelled_;
}

void progress_window::close() {
  window_.reset();
  current = nullptr;
  button_ = nullptr;
  font_.reset();
}

LRESULT CALLBACK progress_window::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // Messages of the creation itself, before the window has its owner, take the defaults.
  if (current && current->window_.get() == window && current->handle(message, wparam, lparam)) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

bool progress_window::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) != IDCANCEL) return false;
      cancelled_ = true;
      return true;
    case WM_CLOSE:  // the walk closes the window once it has stopped
      cancelled_ = true;
      return true;
    case WM_SIZE:
      lay_out();
      return true;
    case WM_PAINT:
      paint();
      return true;
    case WM_DPICHANGED: {
      set_dpi(LOWORD(wparam));
      const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_.get(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      return true;
    }
    default:
      return false;
  }
}

void progress_window::set_dpi(UINT dpi) {
  dpi_ = dpi;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTW face{};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) face = metrics.lfMessageFont;
  face.lfHeight = -scaled(font_height);
  tessel::unique_gdi_object font(CreateFontIndirectW(&face));
  // The button takes the new font before the old one goes.
  if (button_) SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  font_ = std::move(font);
}

void progress_window::lay_out() {
  if (!button_) return;
  RECT client;
  GetClientRect(window_.get(), &client);
  SetWindowPos(button_, nullptr, client.right - scaled(margin + button_width),
               client.bottom - scaled(margin + button_height), scaled(button_width), scaled(button_height),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void progress_window::paint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_.get(), &paint);
  if (!dc) return;
  RECT client;
  GetClientRect(window_.get(), &client);
  // System colour brushes, as FillRect takes them: the colour's index + 1.
  const auto brush = [](int colour) { return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour + 1)); };
  const HBRUSH background = brush(COLOR_WINDOW);
  RECT line = {scaled(margin), scaled(margin), client.right - scaled(margin), scaled(margin + text_height)};
  FillRect(dc, &line, background);
  const HGDIOBJ old_font = SelectObject(dc, font_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  wchar_t text[8];
  DrawTextW(dc, percent_text(per_mille_, text), -1, &line, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  SelectObject(dc, old_font);
  const int top = scaled(margin + text_height + bar_gap);
  RECT bar = {line.left, top, line.right, top + scaled(bar_height)};
  FillRect(dc, &bar, brush(COLOR_BTNSHADOW));  // its frame, one pixel wide, once the inside is filled
  RECT done = {bar.left + 1, bar.top + 1, bar.left + 1, bar.bottom - 1};
  done.right += (bar.right - bar.left - 2) * static_cast<int>(per_mille_) / 1000;
  FillRect(dc, &done, brush(COLOR_HIGHLIGHT));
  RECT rest = {done.right, done.top, bar.right - 1, done.bottom};
  FillRect(dc, &rest, background);
  EndPaint(window_.get(), &paint);
}

}  // namespace tailrun
