; What both Pegora installers share: the version, the uninstall entry and
; closing a running program so that its file is free and its last words sent.
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

; The version comes from the build (scripts/package passes CMake's).
!ifndef PEGORA_VERSION
  !error "PEGORA_VERSION is not defined: build with scripts/package"
!endif
!define PEGORA_PUBLISHER "Zorven"
!define UNINSTALL_ROOT "Software\Microsoft\Windows\CurrentVersion\Uninstall"

; Asks the program's window (class, title) to close, as Windows does at
; log-off, and waits up to 10 s for the process to end.
!macro CloseRunning CLASS TITLE
    FindWindow $R0 "${CLASS}" "${TITLE}"
    ${If} $R0 <> 0
        DetailPrint "Closing the running ${TITLE} window's program"
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
        System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i R1) p .R2'  ; SYNCHRONIZE
        System::Call 'user32::PostMessageA(p R0, i ${WM_CLOSE}, p 0, p 0)'
        ${If} $R2 P<> 0
            System::Call 'kernel32::WaitForSingleObject(p R2, i 10000) i .R3'
            System::Call 'kernel32::CloseHandle(p R2)'
        ${Else}
            Sleep 6000
        ${EndIf}
    ${EndIf}
!macroend

; The installed-programs entry under ROOT (HKCU or HKLM).
!macro WriteUninstallEntry ROOT NAME DISPLAY PROGRAM
    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "DisplayName" "${DISPLAY}"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "DisplayVersion" "${PEGORA_VERSION}"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "Publisher" "${PEGORA_PUBLISHER}"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "InstallLocation" "$INSTDIR"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "DisplayIcon" "$INSTDIR\${PROGRAM}"
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "NoModify" 1
    WriteRegDWORD ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD ${ROOT} "${UNINSTALL_ROOT}\${NAME}" "EstimatedSize" "$0"
!macroend

; $R9 = the value of OPTION (for example "/PORT=") on the command line; the
; error flag is set when the option is absent.
!macro GetOption OPTION
    ${GetParameters} $R8
    ClearErrors
    ${GetOptions} $R8 "${OPTION}" $R9
!macroend
