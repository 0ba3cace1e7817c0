// The board's extensions, both off unless the server key turns them on:
// the web view's port and the minutes after which a silent row is greyed.
#pragma once

#include <cstdint>
#include <string>

struct BoardOptions {
    std::uint32_t webPort = 0;           // 0: no web view
    std::uint32_t silentMinutes = 0;     // 0: rows are never greyed
    std::uint32_t acceptPacingMs = 250;  // the accept thread's pause; no dialog sets it
    bool webUpdates = false;             // people may update the board from a browser
    std::string webUpdateCode;           // Windows-1252, up to 31 characters; empty: no code
};

const std::uint32_t DefaultAcceptPacingMs = 250;
const std::uint32_t MaxAcceptPacingMs = 1000;
const std::size_t MaxUpdateCode = 31;
// A new code is at least this long; a shorter one already stored keeps working.
const std::size_t MinNewUpdateCode = 8;

const std::uint32_t DefaultWebPort = 8080;
const std::uint32_t MaxSilentMinutes = 1440;

// WebPort and SilentMinutes from the server key. An absent value, a wrong
// type or size, a port above 65535 or minutes outside 1 to 1440 read as off.
// AcceptPacingMs likewise, absent or above 1000: 250. WebUpdates (a DWORD, 1
// on) and WebUpdateCode (REG_SZ, up to 31 characters) of any other type or
// size read as off and no code.
BoardOptions ReadBoardOptions();
bool WriteBoardOptions(const BoardOptions& options);

// The "Board options" dialog's fields as text, and the rule for its OK.
struct OptionsFields {
    bool share = false;
    std::string portText;
    bool grey = false;
    std::string minutesText;
    bool updates = false;
    std::string codeText;  // Windows-1252
};

OptionsFields OpenOptionsDialog(const BoardOptions& options);
// True with `options` filled when the fields can be taken; otherwise false
// and `refusal` says why, for a message box over the dialog. A code is
// refused shorter than 8 characters unless it is the one already stored.
bool TakeOptionsFields(const OptionsFields& fields, BoardOptions& options, std::string& refusal);
// The warning for a code shorter than a new one may be (empty when it is not),
// for the log, --check and the dialog.
std::string ShortCodeWarning(const std::string& code);
// What a browser opens: http://<address>:<port>/ (the port as typed).
std::string WebAddress(const std::string& address, const std::string& port);

// The dialog as its boxes stand: which fields are open, and the address shown
// (empty while the board is not shared). Updates come through the web view.
struct OptionsLook {
    bool port = false, minutes = false, updates = false, code = false;
    std::string address;
};
OptionsLook LookOfOptions(const OptionsFields& fields, const std::string& machineAddress);
