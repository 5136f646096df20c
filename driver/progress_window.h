// The progress window of a long walk: a small top-level window titled with the product name, the
// percentage done, a bar painted with GDI and a Cancel button. It lives on the run's one thread:
// update() paints it and handles its messages. Its size and font follow its monitor's DPI.
#pragma once
#include <string>

#include "support/gui_handle.h"
#include "support/windows.h"

namespace tailrun {

class progress_window {
 public:
  progress_window() = default;
  progress_window(const progress_window&) = delete;
  progress_window& operator=(const progress_window&) = delete;

  // Creates and shows the window; false when it cannot be created (no desktop).
  bool open(HINSTANCE instance, const std::wstring& title);
  // Shows `per_mille` (0 to 1000) done and handles the thread's waiting messages. False once the
  // user has asked to cancel (Cancel, Escape, closing the window); true when none is open.
  bool update(unsigned per_mille);
  // Destroys the window; nothing when none is open.
  void close();

 private:
  // Built without exceptions (driver/CMakeLists.txt): none can pass into the system's code.
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // True when the message was handled (its result is then 0).
  bool handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Pixels at 96 DPI, in the window's pixels.
  int scaled(int pixels) const { return (pixels * static_cast<int>(dpi_) + 48) / 96; }
  // Takes the DPI and makes the font for it.
  void set_dpi(UINT dpi);
  void lay_out();
  void paint();

  tessel::unique_window window_;
  tessel::unique_gdi_object font_;  // the button's and the percentage's; outlives their use
  HWND button_ = nullptr;           // a child: destroyed with the window
  UINT dpi_ = 96;
  unsigned per_mille_ = 0;
  bool cancelled_ = false;
};

}  // namespace tailrun
