// What each user event does to the client's record and settings, and whether
// it sends. The shells show the dialogs and carry the effects out.
#pragma once

#include <cstdint>
#include <string>

#include "ClientState.h"

// Field limits of the dialogs, in characters (bytes on the wire).
const int NameLimit = 19;
const int MessageLimit = 199;
const int ServerAddressLimit = 127;
const int PortTextLimit = 49;

const char* const StartupMessage = "started but not signed in.";
const char* const ShutdownMessage = "Client shutdown";

struct Effects {
    bool recordChanged = false;
    bool writeSettings = false;
    bool writeAwayOnLock = false;
    bool send = false;
};

struct StatusFields {
    std::string name;
    std::int32_t status = StatusOther;
    std::string message;
};

struct SetupFields {
    std::string user;
    std::string portText;
    std::string serverAddress;
};

// Signed decimal like the C library's: leading white space, one sign, digits up
// to the first other character; no digits gives 0; beyond 32 bits it saturates.
std::int32_t ParsePortText(const std::string& text);
std::string PortText(std::uint32_t port);

Effects OnStartup(ClientState& state);
Effects OnTimerTick(ClientState& state);
Effects OnExit(ClientState& state);

// Opening the status dialog: a status outside 1 to 3 is shown and stored as 3.
StatusFields OpenStatusDialog(ClientState& state);
// OK and Cancel both take the fields; only OK sends.
Effects CloseStatusDialog(ClientState& state, const StatusFields& fields, bool ok);

// Away while locked. The lock's local time, 24-hour, goes into the message.
std::string AwayMessage(int hour, int minute);
Effects OnScreenLocked(ClientState& state, int hour, int minute);
Effects OnScreenUnlocked(ClientState& state);
Effects ToggleAwayOnLock(ClientState& state);

SetupFields OpenSetupDialog(ClientState& state);
// OK takes the fields into memory; either way the settings are written.
Effects CloseSetupDialog(ClientState& state, const SetupFields& fields, bool ok);
