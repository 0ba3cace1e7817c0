#include "ClientRules.h"

#include <cstdio>

namespace {

std::string Limited(const std::string& text, int limit) {
    return text.size() > static_cast<std::size_t>(limit) ? text.substr(0, static_cast<std::size_t>(limit)) : text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

Effects Send() {
    Effects e;
    e.send = true;
    return e;
}

bool HasExited(ClientState& state) {
    auto guard = state.Lock();
    return state.exited;
}

void SetTexts(ClientState& state, const char* message) {
    auto guard = state.Lock();
    state.record.SetMessage(message);
    state.record.SetStatus(StatusOther);
}

}  // namespace

std::int32_t ParsePortText(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) value = 2147483648LL;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) value = 2147483647LL;
    return static_cast<std::int32_t>(value);
}

std::string PortText(std::uint32_t port) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<std::int32_t>(port)));
    return text;
}

Effects OnStartup(ClientState& state) {
    SetTexts(state, StartupMessage);
    Effects e = Send();
    e.recordChanged = true;
    return e;
}

Effects OnTimerTick(ClientState& state) {
    if (HasExited(state)) return Effects();
    return Send();
}

Effects OnExit(ClientState& state) {
    {
        auto guard = state.Lock();
        if (state.exited) return Effects();  // the last record is already on its way
        state.exited = true;
    }
    SetTexts(state, ShutdownMessage);
    Effects e = Send();
    e.recordChanged = true;
    return e;
}

StatusFields OpenStatusDialog(ClientState& state) {
    auto guard = state.Lock();
    std::int32_t status = state.record.Status();
    if ((status < StatusIn || status > StatusOther) && !state.exited) {
        status = StatusOther;
        state.record.SetStatus(status);
    }
    StatusFields fields;
    fields.name = state.record.Name();
    fields.status = status;
    fields.message = state.record.Message();
    return fields;
}

Effects CloseStatusDialog(ClientState& state, const StatusFields& fields, bool ok) {
    {
        auto guard = state.Lock();
        // A dialog that outlived the exit steps must not write over "Client shutdown".
        if (state.exited) return Effects();
        // The user's own choice: an unlock has nothing to put back over it.
        state.away = false;
        state.record.SetName(Limited(fields.name, NameLimit));
        state.record.SetMessage(Limited(fields.message, MessageLimit));
        if (fields.status >= StatusIn && fields.status <= StatusOther) state.record.SetStatus(fields.status);
    }
    Effects e;
    e.recordChanged = true;
    e.send = ok;
    return e;
}

std::string AwayMessage(int hour, int minute) {
    char text[40];
    std::snprintf(text, sizeof text, "away from desk since %02d:%02d", hour % 24, minute % 60);
    return text;
}

Effects OnScreenLocked(ClientState& state, int hour, int minute) {
    auto guard = state.Lock();
    // Someone already shown as out is absent anyway; a second lock changes nothing more.
    if (state.exited || !state.awayOnLock || state.away || state.record.Status() == StatusOut) return Effects();
    state.away = true;
    state.statusBeforeAway = state.record.Status();
    state.messageBeforeAway = state.record.Message();
    state.record.SetStatus(StatusOther);
    state.record.SetMessage(AwayMessage(hour, minute));
    Effects e = Send();
    e.recordChanged = true;
    return e;
}

Effects OnScreenUnlocked(ClientState& state) {
    auto guard = state.Lock();
    if (!state.away) return Effects();
    state.away = false;
    if (state.exited) return Effects();  // the last record stays the last
    state.record.SetStatus(state.statusBeforeAway);
    state.record.SetMessage(Limited(state.messageBeforeAway, MessageLimit));
    Effects e = Send();
    e.recordChanged = true;
    return e;
}

Effects ToggleAwayOnLock(ClientState& state) {
    auto guard = state.Lock();
    Effects e;
    if (state.exited) return e;
    state.awayOnLock = !state.awayOnLock;
    e.writeAwayOnLock = true;
    return e;
}

SetupFields OpenSetupDialog(ClientState& state) {
    auto guard = state.Lock();
    SetupFields fields;
    fields.user = state.record.Name();
    fields.portText = PortText(state.config.port);
    fields.serverAddress = state.config.ServerAddress();
    return fields;
}

Effects CloseSetupDialog(ClientState& state, const SetupFields& fields, bool ok) {
    Effects e;
    auto guard = state.Lock();
    if (state.exited) return e;
    e.writeSettings = true;
    if (!ok) return e;
    state.record.SetName(Limited(fields.user, NameLimit));
    state.config.port = static_cast<std::uint32_t>(ParsePortText(Limited(fields.portText, PortTextLimit)));
    state.config.SetServerAddress(Limited(fields.serverAddress, ServerAddressLimit));
    e.recordChanged = true;
    return e;
}
