// Process entry of vornakel_windows_service. Placeholder until the mode dispatch lands: it only
// proves that the GUI-subsystem program builds, links statically and starts.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 1; }
