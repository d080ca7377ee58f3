// A harmless process for the stop-tool tests to end: it only waits, then leaves with
// exit code 0, so an exit code of 0xFFFFFFFF can only come from a termination.
#include <windows.h>

int main() {
    Sleep(120000);
    return 0;
}
