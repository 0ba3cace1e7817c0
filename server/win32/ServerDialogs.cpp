#include "ServerDialogs.h"

#include <cstdio>

#include "resource.h"

namespace {

// Both dialogs end on OK or Cancel (and Escape) with that button's id.
bool EndOnOkOrCancel(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return false;
    EndDialog(dialog, LOWORD(wParam));
    return true;
}

struct SetupFields {
    std::int32_t serverPort;
    std::string localAddress;
};

INT_PTR CALLBACK SetupProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const SetupFields* fields = reinterpret_cast<const SetupFields*>(lParam);
        char port[16];
        std::snprintf(port, sizeof port, "%d", static_cast<int>(fields->serverPort));
        SetDlgItemTextA(dialog, IDC_PORT, port);
        SetDlgItemTextA(dialog, IDC_SERVER_IP, fields->localAddress.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        // Nothing is read back: the port is changed in the settings, not here.
        return EndOnOkOrCancel(dialog, wParam) ? TRUE : FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND: return EndOnOkOrCancel(dialog, wParam) ? TRUE : FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunServerSetupDialog(HINSTANCE instance, HWND owner, std::int32_t serverPort, const std::string& localAddress) {
    SetupFields fields{serverPort, localAddress};
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), owner, SetupProcedure,
                           reinterpret_cast<LPARAM>(&fields));
}

INT_PTR RunServerAboutDialog(HINSTANCE instance, HWND owner) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutProcedure, 0);
}
