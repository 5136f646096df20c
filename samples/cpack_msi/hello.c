/* The sample project's Windows program: it shows nothing and exits with 42, so that a test can
   tell that the installed program is the one that was built. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show) {
  (void)instance;
  (void)previous;
  (void)arguments;
  (void)show;
  return 42;
}
