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
