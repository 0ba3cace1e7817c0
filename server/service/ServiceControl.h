// What the service tells the Windows service control manager, and what it
// does with each control, as plain data a test reaches.
#pragma once

enum class ServiceState { StartPending, Running, StopPending, Stopped };
enum class ServiceControlCode { Stop, Shutdown, Interrogate, ParamChange, Other };

struct ServiceReport {
    ServiceState state;
    unsigned waitHintMs;  // how long until the next report, while pending
    bool acceptsStop;     // STOP and SHUTDOWN are taken
};

struct ControlDecision {
    bool handled;    // false: the control is not one this service takes
    bool beginStop;  // the stop starts now
    ServiceReport report;
    bool reload = false;  // the staff directory is read again (sc control pegmastd paramchange)
};

// Loading the state and opening both ports; the hint covers a large state file.
const unsigned StartWaitHintMs = 10000;
// The threads end within 3 s each and the state is written once.
const unsigned StopWaitHintMs = 10000;

ServiceReport Report(ServiceState state);
ControlDecision DecideControl(ServiceState current, ServiceControlCode control);

// How a stop with `exitCode` is told. The installer asks the manager to run its
// failure actions (a restart) for a stop with an error too: so 1 (a port in
// use) is an error, while 2 (a wrong configuration, which a restart cannot
// mend) is told as no error, with the code beside it.
struct StoppedExit {
    unsigned long win32ExitCode;    // 0, or 1066: the service's own code follows
    unsigned long serviceExitCode;  // pegmastd's exit code
};
StoppedExit StoppedExitFor(int exitCode);

// Windows ends a console program soon after telling it that its console is
// closing, or that the user logs off or the machine shuts down (about 5 s):
// for those the handler waits this long for the stop. Ctrl+C and Ctrl+Break
// leave the program running, so they need no wait.
enum class ConsoleEvent { CtrlC, CtrlBreak, Close, Logoff, Shutdown };
unsigned ConsoleStopWaitMs(ConsoleEvent event);
