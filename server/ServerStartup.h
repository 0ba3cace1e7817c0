// The board server's start-up and shutdown, with the window toolkit behind a
// small shell interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "BoardServer.h"

const char* const ServerKeyPath = "SOFTWARE\\ZORVEN\\PEGORA\\SERVER";
const std::uint32_t DefaultServerPort = 5001;

// A modal message box with one OK button; `owned` puts it over the board window.
typedef std::function<void(const std::string& text, const std::string& caption, bool owned)> ShowMessageFn;

// The port from the per-user settings; 5001, written back, when it can't be read.
std::int32_t ReadServerPort(const ShowMessageFn& showMessage);

class BoardShell {
public:
    virtual ~BoardShell() = default;
    virtual bool CreateBoardWindow() = 0;  // created, shown and updated
    virtual void HideBoardWindow() = 0;
    virtual void ShowMessage(const std::string& text, const std::string& caption, bool owned) = 0;
    virtual void BoardChanged() = 0;  // must only queue the reset, never wait
};

const int ServerRunning = -1;

// Window, socket library, port, own address, listener and threads. Returns
// ServerRunning, or the exit code when start-up ends the program.
int StartBoardServer(BoardServer& server, BoardShell& shell);

// After the message loop: the threads end, the listener goes, the library is
// released. Returns the exit code, 0; a thread that does not end in time ends
// the process at once, with exit code 0.
int StopBoardServer(BoardServer& server);

// The idle step's rule: repaint when more than 2 whole seconds have passed.
class RepaintClock {
public:
    bool IdleStep(std::int64_t nowSeconds);

private:
    bool started = false;
    std::int64_t last = 0;
};

// A window board's idle tick, a few times a second: a browser's word whose
// time ran out gives way to the desk's, and true when it is time to repaint.
bool BoardIdleTick(BoardServer& server, RepaintClock& clock);
