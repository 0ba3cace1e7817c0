// The board window: draws what the board view computes and feeds size and
// scroll events back into it.
#pragma once

#include <windows.h>

#include "WindowBase.h"

#include <functional>

#include "BoardServer.h"
#include "BoardView.h"

class BoardWindow : public WindowBase<BoardWindow> {
    friend class WindowBase<BoardWindow>;

public:
    explicit BoardWindow(BoardServer& server_) : server(server_) {}

    static bool Register(HINSTANCE instance, const char* className);
    bool Create(HINSTANCE instance, const char* className, const char* title, int showCommand);
    // File > Options...: the shell shows the dialog and takes its effects.
    std::function<void()> showOptions;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnSize();
    void OnPaint();
    void OnVScroll(int request);
    bool OnCommand(int command);
    void PaintContent(HDC dc);
    void SetScrollBar(const ScrollBarState& bar);

    BoardServer& server;
    BoardView view;
    HINSTANCE instance = nullptr;
};
