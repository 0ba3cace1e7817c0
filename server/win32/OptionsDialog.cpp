#include "OptionsDialog.h"

#include "resource.h"

namespace {

struct Dialog {
    BoardOptions& options;
    std::string address;
};

std::string Text(HWND dialog, int id) {
    char text[64] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

OptionsFields Fields(HWND dialog) {
    return OptionsFields{IsDlgButtonChecked(dialog, IDC_SHARE) == BST_CHECKED,   Text(dialog, IDC_WEB_PORT),
                         IsDlgButtonChecked(dialog, IDC_GREY) == BST_CHECKED,    Text(dialog, IDC_MINUTES),
                         IsDlgButtonChecked(dialog, IDC_UPDATES) == BST_CHECKED, Text(dialog, IDC_CODE)};
}

// The address follows the port as it is typed; fields follow their check boxes.
void Follow(HWND dialog, const Dialog& d) {
    const OptionsLook look = LookOfOptions(Fields(dialog), d.address);
    EnableWindow(GetDlgItem(dialog, IDC_WEB_PORT), look.port);
    EnableWindow(GetDlgItem(dialog, IDC_MINUTES), look.minutes);
    EnableWindow(GetDlgItem(dialog, IDC_UPDATES), look.updates);
    EnableWindow(GetDlgItem(dialog, IDC_CODE), look.code);
    SetDlgItemTextA(dialog, IDC_WEB_ADDRESS, look.address.c_str());
}

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* d = reinterpret_cast<Dialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        d = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        OptionsFields fields = OpenOptionsDialog(d->options);
        CheckDlgButton(dialog, IDC_SHARE, fields.share ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_WEB_PORT, fields.portText.c_str());
        CheckDlgButton(dialog, IDC_GREY, fields.grey ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_MINUTES, fields.minutesText.c_str());
        CheckDlgButton(dialog, IDC_UPDATES, fields.updates ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_CODE, fields.codeText.c_str());
        SendDlgItemMessageA(dialog, IDC_CODE, EM_LIMITTEXT, MaxUpdateCode, 0);
        SendDlgItemMessageA(dialog, IDC_WEB_PORT, EM_LIMITTEXT, 5, 0);
        SendDlgItemMessageA(dialog, IDC_MINUTES, EM_LIMITTEXT, 4, 0);
        Follow(dialog, *d);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SHARE:
        case IDC_GREY:
        case IDC_UPDATES: Follow(dialog, *d); return TRUE;
        case IDC_WEB_PORT:
            if (HIWORD(wParam) == EN_CHANGE) Follow(dialog, *d);
            return TRUE;
        case IDOK: {
            std::string refusal;
            if (!TakeOptionsFields(Fields(dialog), d->options, refusal)) {
                MessageBoxA(dialog, refusal.c_str(), "Board options", MB_OK);
                return TRUE;  // the dialog stays for a correction
            }
            std::string warning = d->options.webUpdates ? ShortCodeWarning(d->options.webUpdateCode) : "";
            if (!warning.empty()) MessageBoxA(dialog, warning.c_str(), "Board options", MB_OK | MB_ICONWARNING);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

bool RunOptionsDialog(HINSTANCE instance, HWND owner, BoardOptions& options, const std::string& address) {
    Dialog d{options, address};
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_OPTIONS), owner, Procedure, reinterpret_cast<LPARAM>(&d)) ==
           IDOK;
}
