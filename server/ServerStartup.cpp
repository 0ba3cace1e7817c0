#include "ServerStartup.h"

#include <cstdlib>

#include "BoardClock.h"
#include "BrowserWords.h"
#include "SettingsKey.h"

std::int32_t ReadServerPort(const ShowMessageFn& showMessage) {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open(ServerKeyPath);
    if (!key) {
        showMessage("Unable to create the RegKey \"SOFTWARE\\ZORVEN\\PEGORA\\SERVER\".", "Access error", false);
        return 0;
    }
    unsigned char bytes[4] = {0, 0, 0, 0};
    std::uint32_t length = 0;
    if (!key->Read("Port", bytes, sizeof bytes, &length)) {
        key->WriteDword("Port", DefaultServerPort);
        return static_cast<std::int32_t>(DefaultServerPort);
    }
    std::uint32_t port = 0;
    for (int i = 0; i < 4; ++i) port |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return static_cast<std::int32_t>(port);
}

int StartBoardServer(BoardServer& server, BoardShell& shell) {
    if (!shell.CreateBoardWindow()) return 0;
    server.manager.Startup();
    server.serverPort = ReadServerPort([&shell](const std::string& text, const std::string& caption, bool owned) {
        shell.ShowMessage(text, caption, owned);
    });
    server.localAddressText = DottedAddress(server.manager.LocalAddress());
    try {
        server.listeningSocket = server.manager.CreateSocket();
    } catch (const CExcept& e) {
        // Without a socket library there is nothing to listen with.
        shell.HideBoardWindow();
        shell.ShowMessage(e.GetText(), "startup failed!", true);
        return 1;
    }
    try {
        server.listeningSocket->Bind(static_cast<std::uint16_t>(server.serverPort & 0xFFFF));
    } catch (const CExcept& e) {
        (void)e.GetText();
        shell.HideBoardWindow();
        shell.ShowMessage("Unable to bind the socket. Try again later.", "startup failed!", true);
        delete server.listeningSocket;
        server.listeningSocket = nullptr;
        return 1;
    }
    try {
        server.listeningSocket->Listen();
        server.listening = true;
    } catch (const CExcept& e) {
        shell.ShowMessage(e.GetText(), "Exception thrown!", false);
    }
    server.boardChanged = [&shell] { shell.BoardChanged(); };
    StartWorkers(server);
    return ServerRunning;
}

int StopBoardServer(BoardServer& server) {
    // The threads stop before the listener and the library go, so none of
    // them touches either afterwards.
    // A thread that does not end in time may still use the listener, the
    // manager, the table and the error texts: end at once with all of them
    // still standing rather than tear them down under it.
    if (!StopWorkers(server)) std::_Exit(0);
    delete server.listeningSocket;
    server.listeningSocket = nullptr;
    server.manager.Cleanup();
    return 0;
}

bool RepaintClock::IdleStep(std::int64_t now) {
    if (!started) {
        started = true;
        last = now;
        return false;
    }
    if (now - last > 2) {
        last = now;
        return true;
    }
    return false;
}

bool BoardIdleTick(BoardServer& server, RepaintClock& clock) {
    const std::int64_t nowMs = WallMs();
    if (server.webUpdates) PassBrowserWords(server, nowMs);
    return clock.IdleStep(nowMs / 1000);
}
