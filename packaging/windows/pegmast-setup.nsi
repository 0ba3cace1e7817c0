; pegmast-setup: the board, installed for the whole machine, as a window
; (the "Board window" component) and as a Windows service ("Board service").
;   /S            silent
;   /PORT=number  the board's port: for the installing user's window board,
;                 and Port in pegmastd.conf when the service is installed
;   /WEBPORT=n    WebPort in pegmastd.conf (the service)
;   /AUTOSTART    the board window opens at the installing user's log-in
;   /SERVICE      install the board service too
;   /WINDOW=0     leave the board window out
!include "common.nsh"
!include "Sections.nsh"
!include "StrFunc.nsh"
${StrStr}
${UnStrStr}

Name "Pegora board ${PEGORA_VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Pegora"
BrandingText "Pegora ${PEGORA_VERSION}"

!define SERVER_KEY "SOFTWARE\ZORVEN\PEGORA\SERVER"
!define RULE_NAME "Pegora board"
!define SERVICE_RULE "Pegora board service"
!define SERVICE_NAME "pegmastd"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "This installs the Pegora board for everybody on this machine and lets the office's status clients reach it through Windows Defender Firewall (private and domain networks).$\r$\n$\r$\nA board that runs now is closed first."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${PEGORA_VERSION}.0.0"
VIAddVersionKey "ProductName" "Pegora"
VIAddVersionKey "FileDescription" "Pegora board setup"
VIAddVersionKey "FileVersion" "${PEGORA_VERSION}.0.0"
VIAddVersionKey "ProductVersion" "${PEGORA_VERSION}.0.0"
VIAddVersionKey "CompanyName" "${PEGORA_PUBLISHER}"
VIAddVersionKey "LegalCopyright" "2026 ${PEGORA_PUBLISHER}"

; Waits up to 30 s for the service to report STOPPED (or not to exist).
!macro WaitStopped UN
    StrCpy $R5 0
    ${Do}
        nsExec::ExecToStack 'sc query ${SERVICE_NAME}'
        Pop $R6
        Pop $R7
        ${${UN}StrStr} $R6 $R7 "RUNNING"
        ${${UN}StrStr} $R4 $R7 "PENDING"
        ${If} $R6 == ""
        ${AndIf} $R4 == ""
            ${Break}
        ${EndIf}
        Sleep 500
        IntOp $R5 $R5 + 1
    ${LoopUntil} $R5 >= 60
!macroend

Section "Board window" SecBoard
    !insertmacro CloseRunning "QUENLOW" "quenlow"
    SetOutPath "$INSTDIR"
    File "${EXE_DIR}\pegmast.exe"
    SetShellVarContext all
    CreateShortCut "$SMPROGRAMS\Pegora board.lnk" "$INSTDIR\pegmast.exe"

    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${RULE_NAME}" dir=in action=allow program="$INSTDIR\pegmast.exe" protocol=TCP profile=private,domain'
    Pop $0
    ${If} $0 != 0
        DetailPrint "The firewall rule could not be added (netsh said $0); open the board's TCP port by hand."
    ${EndIf}

    SetShellVarContext current
    !insertmacro GetOption "/PORT="
    ${IfNot} ${Errors}
        IntOp $R9 $R9 + 0
        WriteRegDWORD HKCU "${SERVER_KEY}" "Port" $R9
    ${EndIf}
    !insertmacro GetOption "/AUTOSTART"
    ${IfNot} ${Errors}
        CreateShortCut "$SMSTARTUP\Pegora board.lnk" "$INSTDIR\pegmast.exe"
    ${EndIf}
    !insertmacro WriteUninstallEntry HKLM "PegoraBoard" "Pegora board" "pegmast.exe"
SectionEnd

Section /o "Board service" SecService
    ; An upgrade: the running service saves its rows and stops before its program is replaced.
    DetailPrint "Stopping the board service if it runs"
    nsExec::ExecToLog 'sc stop ${SERVICE_NAME}'
    Pop $0
    !insertmacro WaitStopped ""
    SetOutPath "$INSTDIR"
    File "${EXE_DIR}\..\service\pegmastd.exe"

    ; Its data folder: the configuration, the rows and the log; LocalService may write there.
    SetShellVarContext all
    CreateDirectory "$APPDATA\Pegora"
    ${IfNot} ${FileExists} "$APPDATA\Pegora\pegmastd.conf"
        SetOutPath "$APPDATA\Pegora"
        File "${CONF}"
    ${EndIf}
    ; The log holds names and addresses: the folder's own rules, not the inherited
    ; ones (SYSTEM and Administrators full control, LocalService modify, nobody else).
    nsExec::ExecToLog 'icacls "$APPDATA\Pegora" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-19:(OI)(CI)M'
    Pop $0
    ${If} $0 != 0
        DetailPrint "The rights of $APPDATA\Pegora could not be set (icacls said $0); set them by hand."
    ${EndIf}
    !insertmacro GetOption "/PORT="
    ${IfNot} ${Errors}
        IntOp $R9 $R9 + 0
        nsExec::ExecToLog '"$INSTDIR\pegmastd.exe" --config "$APPDATA\Pegora\pegmastd.conf" --set Port=$R9'
        Pop $0
    ${EndIf}
    !insertmacro GetOption "/WEBPORT="
    ${IfNot} ${Errors}
        IntOp $R9 $R9 + 0
        nsExec::ExecToLog '"$INSTDIR\pegmastd.exe" --config "$APPDATA\Pegora\pegmastd.conf" --set WebPort=$R9'
        Pop $0
    ${EndIf}

    nsExec::ExecToLog 'sc create ${SERVICE_NAME} binPath= "\"$INSTDIR\pegmastd.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "Pegora board service"'
    Pop $0
    ${If} $0 != 0
        ; Already there (an upgrade): the same set-up again.
        nsExec::ExecToLog 'sc config ${SERVICE_NAME} binPath= "\"$INSTDIR\pegmastd.exe\"" start= auto obj= "NT AUTHORITY\LocalService" DisplayName= "Pegora board service"'
        Pop $0
    ${EndIf}
    nsExec::ExecToLog 'sc description ${SERVICE_NAME} "Pegora office presence board: the status records of the desks, the board in a browser, kept across restarts."'
    Pop $0
    nsExec::ExecToLog 'sc failure ${SERVICE_NAME} reset= 86400 actions= restart/5000'
    Pop $0
    ; The restart also for a stop with an error (exit code 1: a port in use at boot),
    ; not only for a crash; pegmastd tells a wrong configuration (2) as no error.
    nsExec::ExecToLog 'sc failureflag ${SERVICE_NAME} 1'
    Pop $0
    ${If} $0 != 0
        ; An sc without failureflag: the value the service manager keeps for it.
        WriteRegDWORD HKLM "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}" "FailureActionsOnNonCrashFailures" 1
    ${EndIf}
    nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${SERVICE_RULE}" dir=in action=allow program="$INSTDIR\pegmastd.exe" protocol=TCP profile=private,domain'
    Pop $0
    ${If} $0 != 0
        DetailPrint "The firewall rule could not be added (netsh said $0); open the service's TCP ports by hand."
    ${EndIf}
    nsExec::ExecToLog 'sc start ${SERVICE_NAME}'
    Pop $0
    !insertmacro WriteUninstallEntry HKLM "PegoraBoard" "Pegora board" "pegmastd.exe"
SectionEnd

LangString DESC_Board ${LANG_ENGLISH} "The board as a window on this desktop (pegmast.exe)."
LangString DESC_Service ${LANG_ENGLISH} "The board as a Windows service that runs from boot with nobody logged in, keeps its rows across restarts and shows itself in a browser (pegmastd.exe)."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecBoard} $(DESC_Board)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecService} $(DESC_Service)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    !insertmacro GetOption "/SERVICE"
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecService}
    ${EndIf}
    !insertmacro GetOption "/WINDOW="
    ${IfNot} ${Errors}
    ${AndIf} $R9 == "0"
        !insertmacro UnselectSection ${SecBoard}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    !insertmacro CloseRunning "QUENLOW" "quenlow"
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${RULE_NAME}"'
    Pop $0
    ; The service saves its rows and stops; its data folder in ProgramData stays.
    nsExec::ExecToLog 'sc stop ${SERVICE_NAME}'
    Pop $0
    !insertmacro WaitStopped "Un"
    nsExec::ExecToLog 'sc delete ${SERVICE_NAME}'
    Pop $0
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${SERVICE_RULE}"'
    Pop $0
    Delete "$INSTDIR\pegmastd.exe"
    Delete "$INSTDIR\pegmast.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Pegora board.lnk"
    SetShellVarContext current
    Delete "$SMSTARTUP\Pegora board.lnk"
    DeleteRegKey HKLM "${UNINSTALL_ROOT}\PegoraBoard"
SectionEnd
