#include "BoardWindow.h"

#include "ServerDialogs.h"
#include "resource.h"

bool BoardWindow::Register(HINSTANCE instance, const char* className) {
    return RegisterWindowClass(instance, className, IDI_PEGMAST, IDI_SMALL, IDC_PEGMAST);
}

bool BoardWindow::Create(HINSTANCE instance_, const char* className, const char* title, int showCommand) {
    instance = instance_;
    HWND created = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VSCROLL, CW_USEDEFAULT, 0,
                                   CW_USEDEFAULT, 0, nullptr, nullptr, instance, this);
    if (!created) return false;
    ShowWindow(created, showCommand);
    UpdateWindow(created);
    return true;
}

LRESULT BoardWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: OnCreate(); return 0;
    case WM_SIZE: OnSize(); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam))) return 0;
        break;
    case WM_VSCROLL: OnVScroll(LOWORD(wParam)); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void BoardWindow::OnCreate() {
    HDC dc = GetDC(window);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    ReleaseDC(window, dc);
    RECT client;
    GetClientRect(window, &client);
    SetScrollBar(view.Create(metrics.tmHeight + metrics.tmExternalLeading, client.right, client.bottom,
                             server.table.RowCount()));
}

void BoardWindow::OnSize() {
    RECT client;
    GetClientRect(window, &client);
    SetScrollBar(view.Resize(client.right, client.bottom, server.table.RowCount()));
}

void BoardWindow::SetScrollBar(const ScrollBarState& bar) {
    SCROLLINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = bar.minimum;
    info.nMax = bar.maximum;
    info.nPage = static_cast<UINT>(bar.page);
    info.nPos = bar.position;
    SetScrollInfo(window, SB_VERT, &info, TRUE);
}

void BoardWindow::OnVScroll(int request) {
    int position = view.Scroll(request, server.table.RowCount());
    SetScrollPos(window, SB_VERT, position, TRUE);
    UpdateWindow(window);
}

void BoardWindow::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    PaintContent(dc);
    EndPaint(window, &ps);
}

void BoardWindow::PaintContent(HDC dc) {
    const COLORREF normal = GetTextColor(dc);
    for (const PaintItem& item : PaintBoard(view, server.table, server.tableLock, server.pendingCount.load(),
                                            server.manager.SocketCount(), SilentAfter(server))) {
        SetTextColor(dc, item.grey ? GetSysColor(COLOR_GRAYTEXT) : normal);
        TextOutA(dc, item.x, item.y, item.text.data(), static_cast<int>(item.text.size()));
    }
    SetTextColor(dc, normal);
}

bool BoardWindow::OnCommand(int command) {
    switch (command) {
    case IDM_SETUP: RunServerSetupDialog(instance, window, server.serverPort, server.localAddressText); return true;
    case IDM_ABOUT: RunServerAboutDialog(instance, window); return true;
    case IDM_OPTIONS:
        if (showOptions) showOptions();
        return true;
    case IDM_EXIT: DestroyWindow(window); return true;
    }
    return false;
}
