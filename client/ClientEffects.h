// What a rule asked for, carried out the same way by either tray shell.
#pragma once

#include "ClientRules.h"
#include "ClientSettings.h"
#include "StatusSender.h"

// The settings written and the record sent, as `effects` says.
void CarryEffects(const Effects& effects, ClientState& state, const ClientSettingsShell& settings,
                  StatusSender& sender);
