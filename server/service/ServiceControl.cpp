#include "ServiceControl.h"

ServiceReport Report(ServiceState state) {
    switch (state) {
    case ServiceState::StartPending: return ServiceReport{state, StartWaitHintMs, false};
    case ServiceState::Running: return ServiceReport{state, 0, true};
    case ServiceState::StopPending: return ServiceReport{state, StopWaitHintMs, false};
    case ServiceState::Stopped: break;
    }
    return ServiceReport{ServiceState::Stopped, 0, false};
}

ControlDecision DecideControl(ServiceState current, ServiceControlCode control) {
    switch (control) {
    case ServiceControlCode::Interrogate: return ControlDecision{true, false, Report(current)};
    case ServiceControlCode::Stop:
    case ServiceControlCode::Shutdown:
        if (current == ServiceState::Stopped) return ControlDecision{false, false, Report(current)};
        if (current == ServiceState::StopPending) return ControlDecision{true, false, Report(current)};
        // Also while starting: the stop follows as soon as the start has ended.
        return ControlDecision{true, true, Report(ServiceState::StopPending)};
    case ServiceControlCode::ParamChange:
        if (current != ServiceState::Running) return ControlDecision{false, false, Report(current)};
        return ControlDecision{true, false, Report(current), true};
    case ServiceControlCode::Other: break;
    }
    return ControlDecision{false, false, Report(current)};
}

StoppedExit StoppedExitFor(int exitCode) {
    const unsigned long code = static_cast<unsigned long>(exitCode);
    if (exitCode == 0 || exitCode == 2) return StoppedExit{0, code};
    return StoppedExit{1066, code};  // ERROR_SERVICE_SPECIFIC_ERROR
}

unsigned ConsoleStopWaitMs(ConsoleEvent event) {
    switch (event) {
    case ConsoleEvent::CtrlC:
    case ConsoleEvent::CtrlBreak: return 0;
    case ConsoleEvent::Close:
    case ConsoleEvent::Logoff:
    case ConsoleEvent::Shutdown: break;
    }
    return 4500;
}
