// Test helper: posts one message to the top-level window of a class and title,
// as the system would. Usage: post_message CLASS TITLE MESSAGE WPARAM LPARAM
// (numbers in decimal or 0x hex). Exit code 0 when the window was found.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 6) return 2;
    HWND window = FindWindowA(argv[1], argv[2]);
    if (!window) return 1;
    UINT message = static_cast<UINT>(std::strtoul(argv[3], nullptr, 0));
    WPARAM wParam = static_cast<WPARAM>(std::strtoul(argv[4], nullptr, 0));
    LPARAM lParam = static_cast<LPARAM>(std::strtol(argv[5], nullptr, 0));
    return PostMessageA(window, message, wParam, lParam) ? 0 : 3;
}
