// The window procedure both programs' main windows share: the object given
// to CreateWindowEx is kept with its window, and every message after that
// goes to the object's OnMessage.
#pragma once

#include <windows.h>

template <class Window>
class WindowBase {
public:
    HWND Handle() const { return window; }

protected:
    // The class of the program's main window: its icons, its menu, this procedure.
    static bool RegisterWindowClass(HINSTANCE instance, const char* className, int icon, int smallIcon, int menu) {
        WNDCLASSEXA wc;
        ZeroMemory(&wc, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = Procedure;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(icon));
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszMenuName = MAKEINTRESOURCEA(menu);
        wc.lpszClassName = className;
        wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(smallIcon));
        return RegisterClassExA(&wc) != 0;
    }

    static LRESULT CALLBACK Procedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
        Window* self;
        if (message == WM_NCCREATE) {
            self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
            self->window = handle;
            SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<Window*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
        }
        if (!self) return DefWindowProcA(handle, message, wParam, lParam);
        return self->OnMessage(message, wParam, lParam);
    }

    HWND window = nullptr;
};
