; pegling-setup: the status client for every desk, installed for the current
; user without administrator rights, started at every log-in.
;   /S              silent
;   /SERVER=address /PORT=number /NAME=name   the client's settings
;   /AWAYONLOCK=1   show the user as away while the screen is locked (0: not)
;   /NOSTART        do not start the client after installing
!include "common.nsh"

Name "Pegora status ${PEGORA_VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Pegora"
BrandingText "Pegora ${PEGORA_VERSION}"

!define CLIENT_KEY "SOFTWARE\ZORVEN\PEGORA\CLIENT"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEPAGE_TEXT "This installs the Pegora status client for you: it sits in the notification area and tells the office board whether you are in, out or other.$\r$\n$\r$\nIt starts at every log-in. A client that runs now is closed first."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${PEGORA_VERSION}.0.0"
VIAddVersionKey "ProductName" "Pegora"
VIAddVersionKey "FileDescription" "Pegora status client setup"
VIAddVersionKey "FileVersion" "${PEGORA_VERSION}.0.0"
VIAddVersionKey "ProductVersion" "${PEGORA_VERSION}.0.0"
VIAddVersionKey "CompanyName" "${PEGORA_PUBLISHER}"
VIAddVersionKey "LegalCopyright" "2026 ${PEGORA_PUBLISHER}"

Var Given  ; 1 when any of /SERVER, /PORT, /NAME is on the command line

; Options given are written; the key's other values are written only where
; absent, so an upgrade keeps each user's choices and the client starts
; without asking. Without any option nothing is written and the first start
; asks in "Setup Information".
Function WriteClientSettings
    StrCpy $Given 0
    !insertmacro GetOption "/SERVER="
    ${IfNot} ${Errors}
        StrCpy $R9 $R9 127
        WriteRegStr HKCU "${CLIENT_KEY}" "ServerAddress" "$R9"
        StrCpy $Given 1
    ${EndIf}
    !insertmacro GetOption "/PORT="
    ${IfNot} ${Errors}
        IntOp $R9 $R9 + 0
        WriteRegDWORD HKCU "${CLIENT_KEY}" "Port" $R9
        StrCpy $Given 1
    ${EndIf}
    !insertmacro GetOption "/NAME="
    ${IfNot} ${Errors}
        StrCpy $R9 $R9 19
        WriteRegStr HKCU "${CLIENT_KEY}" "Name" "$R9"
        StrCpy $Given 1
    ${EndIf}
    !insertmacro GetOption "/AWAYONLOCK="
    ${IfNot} ${Errors}
        ${If} $R9 == 1
            WriteRegDWORD HKCU "${CLIENT_KEY}" "AwayOnLock" 1
        ${Else}
            WriteRegDWORD HKCU "${CLIENT_KEY}" "AwayOnLock" 0
        ${EndIf}
    ${EndIf}
    ${If} $Given == 1
        ClearErrors
        ReadRegStr $R9 HKCU "${CLIENT_KEY}" "Name"
        ${If} ${Errors}
            ReadEnvStr $R9 "USERNAME"
            StrCpy $R9 $R9 19
            WriteRegStr HKCU "${CLIENT_KEY}" "Name" "$R9"
        ${EndIf}
        ClearErrors
        ReadRegDWORD $R9 HKCU "${CLIENT_KEY}" "Port"
        ${If} ${Errors}
            WriteRegDWORD HKCU "${CLIENT_KEY}" "Port" 5001
        ${EndIf}
        ClearErrors
        ReadRegStr $R9 HKCU "${CLIENT_KEY}" "ServerAddress"
        ${If} ${Errors}
            WriteRegStr HKCU "${CLIENT_KEY}" "ServerAddress" "192.0.0.1"
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Pegora status client" SecClient
    SetShellVarContext current
    !insertmacro CloseRunning "MARBLY" "marbly"
    SetOutPath "$INSTDIR"
    File "${EXE_DIR}\pegling.exe"
    CreateShortCut "$SMPROGRAMS\Pegora status.lnk" "$INSTDIR\pegling.exe"
    CreateShortCut "$SMSTARTUP\Pegora status.lnk" "$INSTDIR\pegling.exe"
    Call WriteClientSettings
    !insertmacro WriteUninstallEntry HKCU "PegoraClient" "Pegora status" "pegling.exe"
    !insertmacro GetOption "/NOSTART"
    ${If} ${Errors}
        Exec '"$INSTDIR\pegling.exe"'
    ${EndIf}
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    !insertmacro CloseRunning "MARBLY" "marbly"
    Delete "$INSTDIR\pegling.exe"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Pegora status.lnk"
    Delete "$SMSTARTUP\Pegora status.lnk"
    DeleteRegKey HKCU "${UNINSTALL_ROOT}\PegoraClient"
    ; The settings key stays: a new install finds the user's choices.
SectionEnd
