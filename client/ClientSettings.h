// The client's per-user settings: Port, Name and ServerAddress under one key.
#pragma once

#include <functional>
#include <string>

#include "ClientRules.h"
#include "ClientState.h"

const char* const ClientKeyPath = "SOFTWARE\\ZORVEN\\PEGORA\\CLIENT";

struct ClientSettingsShell {
    // A modal "Access error" box.
    std::function<void(const std::string& text)> showAccessError;
    // The first-run setup dialog, without owner; true for OK. Edits `fields`.
    std::function<bool(SetupFields& fields)> runFirstSetup;
};

void ReadClientSettings(ClientState& state, const ClientSettingsShell& shell);
void WriteClientSettings(ClientState& state, const ClientSettingsShell& shell);

// AwayOnLock: a DWORD 1 is on; absent, any other value, type or size is off, never an error.
void ReadAwayOnLock(ClientState& state);
void WriteAwayOnLock(ClientState& state, const ClientSettingsShell& shell);
