// Owners of the window system's handles, in the manner of support/handle.h.
#pragma once
#include "support/handle.h"

namespace tessel {

// Top-level windows this thread created (child windows go with their parent).
struct window_handle_traits {
  using type = HWND;
  static type invalid() noexcept { return nullptr; }
  static void close(type window) noexcept { DestroyWindow(window); }
};

// GDI objects: fonts, brushes, pens; never one still selected into a device context.
struct gdi_object_traits {
  using type = HGDIOBJ;
  static type invalid() noexcept { return nullptr; }
  static void close(type object) noexcept { DeleteObject(object); }
};

using unique_window = unique_os_handle<window_handle_traits>;
using unique_gdi_object = unique_os_handle<gdi_object_traits>;

}  // namespace tessel
