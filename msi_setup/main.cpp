// TailrunMsiSetup.exe: the setup program that a Tailrun package launches to install the MSI beside
// it (its own name with ".msi"). It runs msiexec /i on that MSI with its own arguments translated
// (msi_arguments.h), waits for it without a bound, as an install takes what it takes, and exits
// with msiexec's exit code; 1 when msiexec cannot be started. It shows nothing itself.
#include "msi_setup/msi_arguments.h"
#include "msi_setup/msiexec.h"
#include "support/windows.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    const msi_setup::msiexec_arguments translated = msi_setup::translate_setup_arguments(msi_setup::own_arguments());
    const std::string line =
        msi_setup::msiexec_command_line(msi_setup::msi_beside(msi_setup::own_path()), translated.arguments);
    return static_cast<int>(msi_setup::run_msiexec(line, msi_setup::no_timeout));
  } catch (...) {
    return static_cast<int>(msi_setup::launch_failed);
  }
}
