#include "ClientEffects.h"

void CarryEffects(const Effects& effects, ClientState& state, const ClientSettingsShell& settings,
                  StatusSender& sender) {
    if (effects.writeSettings) WriteClientSettings(state, settings);
    if (effects.writeAwayOnLock) WriteAwayOnLock(state, settings);
    if (effects.send) sender.StartStatusSend(false);
}
