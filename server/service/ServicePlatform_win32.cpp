// pegmastd on Windows: a service of the service control manager, or, started
// from a console, a console program that stops on Ctrl+C or Ctrl+Break. Its
// log is %ProgramData%\Pegora\pegmastd.log, kept to about 1 MiB.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "AtomicFile.h"
#include "ServiceControl.h"
#include "ServicePlatform.h"

namespace {

const char* const ServiceName = "pegmastd";
const long LogLimit = 1 << 20;

// %ProgramData%\Pegora, as the shell names it; a service's own environment may differ.
std::string DataFolder() {
    char folder[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
        DWORD n = GetEnvironmentVariableA("ProgramData", folder, sizeof folder);
        if (n == 0 || n >= sizeof folder) lstrcpyA(folder, "C:\\ProgramData");
    }
    return std::string(folder) + "\\Pegora";
}

class WindowsHost : public ServiceHost {
public:
    explicit WindowsHost(bool console_) : console(console_), path(DataFolder() + "\\pegmastd.log") {
        CreateDirectoryA(DataFolder().c_str(), nullptr);
    }

    void Log(int priority, const std::string& line) override {
        std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_s(&parts, &now);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
        std::string text = std::string(stamp) + " <" + std::to_string(priority) + ">" + line + "\r\n";
        std::lock_guard<std::mutex> guard(lock);
        if (console) std::fputs((line + "\n").c_str(), stderr);
        WIN32_FILE_ATTRIBUTE_DATA info;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) &&
            (info.nFileSizeHigh > 0 || info.nFileSizeLow >= static_cast<DWORD>(LogLimit)))
            MoveReplacing(path, path + ".1");
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    void Ready() override { Set(ServiceState::Running); }
    void Stopping() override { Set(ServiceState::StopPending); }
    void Alive() override {}

    // Tells the service control manager, when there is one.
    void Set(ServiceState state, DWORD exitCode = 0) {
        current = state;
        if (!status) return;
        ServiceReport report = Report(state);
        SERVICE_STATUS s = {};
        s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        s.dwCurrentState = state == ServiceState::StartPending  ? SERVICE_START_PENDING
                           : state == ServiceState::Running     ? SERVICE_RUNNING
                           : state == ServiceState::StopPending ? SERVICE_STOP_PENDING
                                                                : SERVICE_STOPPED;
        s.dwControlsAccepted =
            report.acceptsStop ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PARAMCHANGE : 0;
        if (state == ServiceState::Stopped) {
            StoppedExit told = StoppedExitFor(static_cast<int>(exitCode));
            s.dwWin32ExitCode = told.win32ExitCode;
            s.dwServiceSpecificExitCode = told.serviceExitCode;
        }
        s.dwCheckPoint = report.waitHintMs ? ++checkPoint : 0;
        s.dwWaitHint = report.waitHintMs;
        SetServiceStatus(status, &s);
    }

    const bool console;
    SERVICE_STATUS_HANDLE status = nullptr;
    ServiceState current = ServiceState::StartPending;
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // the state is saved
    HANDLE reload = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // read the staff directory again

private:
    const std::string path;
    std::mutex lock;
    DWORD checkPoint = 0;
};

const PrepareService* preparing = nullptr;
WindowsHost* serviceHost = nullptr;
int serviceExit = 0;

// Prepares, starts and runs until `host.stop` is set; stops. The exit code.
int Serve(WindowsHost& host) {
    std::unique_ptr<BoardService> service;
    if (int exitCode = (*preparing)(host, service)) return exitCode;
    if (int exitCode = service->Start()) return exitCode;
    while (WaitForSingleObject(host.stop, 200) == WAIT_TIMEOUT) {
        if (WaitForSingleObject(host.reload, 0) == WAIT_OBJECT_0) {
            host.Log(LogInfo, "reloading on the service manager's request: the staff directory is read again");
            service->Reload();
        }
        service->Tick();
    }
    host.Stopping();
    host.Log(LogInfo, host.console ? "stopping on Ctrl+C" : "stopping on the service manager's request");
    return service->Stop();
}

DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID) {
    ServiceControlCode code = control == SERVICE_CONTROL_STOP          ? ServiceControlCode::Stop
                              : control == SERVICE_CONTROL_SHUTDOWN    ? ServiceControlCode::Shutdown
                              : control == SERVICE_CONTROL_INTERROGATE ? ServiceControlCode::Interrogate
                              : control == SERVICE_CONTROL_PARAMCHANGE ? ServiceControlCode::ParamChange
                                                                       : ServiceControlCode::Other;
    ControlDecision decision = DecideControl(serviceHost->current, code);
    if (!decision.handled) return ERROR_CALL_NOT_IMPLEMENTED;
    serviceHost->Set(decision.report.state);
    if (decision.beginStop) SetEvent(serviceHost->stop);
    if (decision.reload) SetEvent(serviceHost->reload);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    serviceHost->status = RegisterServiceCtrlHandlerExA(ServiceName, OnControl, nullptr);
    if (!serviceHost->status) return;
    serviceHost->Set(ServiceState::StartPending);
    serviceExit = Serve(*serviceHost);
    serviceHost->Set(ServiceState::Stopped, static_cast<DWORD>(serviceExit));
}

BOOL WINAPI OnConsoleControl(DWORD type) {
    // Ctrl+C, Ctrl+Break, the console closed or the session ending: save and stop.
    ConsoleEvent event = type == CTRL_C_EVENT          ? ConsoleEvent::CtrlC
                         : type == CTRL_BREAK_EVENT    ? ConsoleEvent::CtrlBreak
                         : type == CTRL_LOGOFF_EVENT   ? ConsoleEvent::Logoff
                         : type == CTRL_SHUTDOWN_EVENT ? ConsoleEvent::Shutdown
                                                       : ConsoleEvent::Close;
    SetEvent(serviceHost->stop);
    // The process ends when this returns: first let the main thread save the rows.
    if (unsigned waitMs = ConsoleStopWaitMs(event)) WaitForSingleObject(serviceHost->stopped, waitMs);
    return TRUE;
}

}  // namespace

std::string DefaultConfigPath() { return DataFolder() + "\\pegmastd.conf"; }

bool ConsoleEcho(bool on) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return false;
    return SetConsoleMode(input, on ? mode | ENABLE_ECHO_INPUT : mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

std::string DefaultStatePath() { return DataFolder() + "\\board.db"; }

std::vector<std::pair<std::string, std::string>> PackagedCredentialFiles() { return {}; }

std::string DefaultStaffPath() { return DataFolder() + "\\staff.csv"; }

bool RaiseOpenFileLimit(std::string&) { return true; }  // Windows sets no such limit on sockets

int RunService(const PrepareService& prepare) {
    preparing = &prepare;
    static WindowsHost asService(false);
    serviceHost = &asService;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(ServiceName), ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table)) return serviceExit;
    if (GetLastError() != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return 1;
    // Started by hand: the same board in this console, for trying a configuration.
    static WindowsHost inConsole(true);
    serviceHost = &inConsole;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int exitCode = Serve(inConsole);
    SetEvent(inConsole.stopped);
    return exitCode;
}
