; pegmast-setup: the board, installed for the whole machine.
;   /S           silent
;   /PORT=number the board's port, for the installing user
;   /AUTOSTART   the board opens at the installing user's log-in
!include "common.nsh"

Name "Pegora board ${PEGORA_VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Pegora"
BrandingText "Pegora ${PEGORA_VERSION}"

!define SERVER_KEY "SOFTWARE\ZORVEN\PEGORA\SERVER"
!define RULE_NAME "Pegora board"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "This installs the Pegora board for everybody on this machine and lets the office's status clients reach it through Windows Defender Firewall (private and domain networks).$\r$\n$\r$\nA board that runs now is closed first."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "1.20.0.0"
VIAddVersionKey "ProductName" "Pegora"
VIAddVersionKey "FileDescription" "Pegora board setup"
VIAddVersionKey "FileVersion" "1.20.0.0"
VIAddVersionKey "ProductVersion" "1.20.0.0"
VIAddVersionKey "CompanyName" "${PEGORA_PUBLISHER}"
VIAddVersionKey "LegalCopyright" "2026 ${PEGORA_PUBLISHER}"

Section "Pegora board" SecBoard
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

Section "Uninstall"
    !insertmacro CloseRunning "QUENLOW" "quenlow"
    nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${RULE_NAME}"'
    Pop $0
    Delete "$INSTDIR\pegmast.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Pegora board.lnk"
    SetShellVarContext current
    Delete "$SMSTARTUP\Pegora board.lnk"
    DeleteRegKey HKLM "${UNINSTALL_ROOT}\PegoraBoard"
SectionEnd
