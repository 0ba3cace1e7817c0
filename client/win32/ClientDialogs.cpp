#include "ClientDialogs.h"

#include <vector>

#include "resource.h"

namespace {

std::string ItemText(HWND dialog, int id, int limit) {
    std::vector<char> buffer(static_cast<std::size_t>(limit) + 1, '\0');
    GetDlgItemTextA(dialog, id, buffer.data(), limit + 1);
    return buffer.data();
}

void SetItem(HWND dialog, int id, const std::string& text, int limit) {
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    SetDlgItemTextA(dialog, id, text.c_str());
}

INT_PTR CALLBACK StatusProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const StatusFields* fields = reinterpret_cast<StatusFields*>(lParam);
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetItem(dialog, IDC_NAME, fields->name, NameLimit);
        int radio = fields->status == StatusIn ? IDC_IN : fields->status == StatusOut ? IDC_OUT : IDC_OTHER;
        CheckRadioButton(dialog, IDC_IN, IDC_OTHER, radio);
        SetItem(dialog, IDC_MESSAGE, fields->message, MessageLimit);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            StatusFields* fields = reinterpret_cast<StatusFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
            fields->name = ItemText(dialog, IDC_NAME, NameLimit);
            fields->message = ItemText(dialog, IDC_MESSAGE, MessageLimit);
            fields->status = 0;  // none selected leaves the status as it is
            if (IsDlgButtonChecked(dialog, IDC_IN) == BST_CHECKED) fields->status = StatusIn;
            if (IsDlgButtonChecked(dialog, IDC_OUT) == BST_CHECKED) fields->status = StatusOut;
            if (IsDlgButtonChecked(dialog, IDC_OTHER) == BST_CHECKED) fields->status = StatusOther;
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK SetupProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const SetupFields* fields = reinterpret_cast<SetupFields*>(lParam);
        SetItem(dialog, IDC_USER, fields->user, NameLimit);
        SetItem(dialog, IDC_PORT, fields->portText, PortTextLimit);
        SetItem(dialog, IDC_SERVER_ADDRESS, fields->serverAddress, ServerAddressLimit);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            SetupFields* fields = reinterpret_cast<SetupFields*>(GetWindowLongPtrA(dialog, DWLP_USER));
            fields->user = ItemText(dialog, IDC_USER, NameLimit);
            fields->portText = ItemText(dialog, IDC_PORT, PortTextLimit);
            fields->serverAddress = ItemText(dialog, IDC_SERVER_ADDRESS, ServerAddressLimit);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

bool RunStatusDialog(HINSTANCE instance, HWND owner, StatusFields& fields) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_STATUS), owner, StatusProcedure,
                           reinterpret_cast<LPARAM>(&fields)) == IDOK;
}

bool RunSetupDialog(HINSTANCE instance, HWND owner, SetupFields& fields) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), owner, SetupProcedure,
                           reinterpret_cast<LPARAM>(&fields)) == IDOK;
}

void RunAboutDialog(HINSTANCE instance, HWND owner) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, AboutProcedure, 0);
}
