#include "WebServer.h"

bool ApplyBoardOptions(BoardServer& board, WebServer& web, const BoardOptions& options, std::string& error) {
    board.silentMinutes = options.silentMinutes;
    board.webUpdates = options.webPort != 0 && options.webUpdates;
    UpdateSettings updates;
    updates.on = board.webUpdates;
    updates.code = options.webUpdateCode;
    web.SetUpdates(updates);
    board.acceptPacingMs = static_cast<int>(options.acceptPacingMs);
    if (options.webPort == 0) {
        web.Stop();
        return true;
    }
    if (web.Running() && web.Port() == options.webPort) return true;
    web.Stop();
    return web.Start(static_cast<std::uint16_t>(options.webPort), error);
}

void TakeBoardOptions(BoardServer& board, WebServer& web, const BoardOptions& options, BoardShell& shell) {
    std::string error;
    if (!ApplyBoardOptions(board, web, options, error)) shell.ShowMessage(error, "pegmast", true);
}

void ChangeBoardOptions(BoardServer& board, WebServer& web, BoardShell& shell,
                        const std::function<bool(BoardOptions& options)>& runDialog) {
    BoardOptions options = ReadBoardOptions();
    if (!runDialog(options)) return;
    WriteBoardOptions(options);
    TakeBoardOptions(board, web, options, shell);
}
