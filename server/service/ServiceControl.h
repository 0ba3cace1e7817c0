// What the service tells the Windows service control manager, and what it
// does with each control, as plain data a test reaches.
#pragma once

enum class ServiceState { StartPending, Running, StopPending, Stopped };
enum class ServiceControlCode { Stop, Shutdown, Interrogate, Other };

struct ServiceReport {
    ServiceState state;
    unsigned waitHintMs;  // how long until the next report, while pending
    bool acceptsStop;     // STOP and SHUTDOWN are taken
};

struct ControlDecision {
    bool handled;    // false: the control is not one this service takes
    bool beginStop;  // the stop starts now
    ServiceReport report;
};

// Loading the state and opening both ports; the hint covers a large state file.
const unsigned StartWaitHintMs = 10000;
// The threads end within 3 s each and the state is written once.
const unsigned StopWaitHintMs = 10000;

ServiceReport Report(ServiceState state);
ControlDecision DecideControl(ServiceState current, ServiceControlCode control);
