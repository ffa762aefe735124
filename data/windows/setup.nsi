; The setup program of Velkoria: a per-user install that needs no
; administrator, into a folder the program can write its files into, with a
; Start-menu shortcut and an uninstaller listed in Apps & Features (HKCU).
; Installing over an install updates the program and keeps the user's files
; (button_info.txt, zandorp_id.txt, new_item.txt, announcements.txt, velkoria.ini,
; browser-profile\); uninstalling removes the program's files and leaves those. Neither runs
; while Velkoria does (its files are in use): each asks to close it first, and
; a silent run (/S) ends with exit code 2 and changes nothing.
;
; Made by the Windows build (data/CMakeLists.txt):
;   makensis -DVERSION=1.0 -DFILE_VERSION=1.0.0.0 -DSTAGING=<installed folder> -DUNINSTALL_LIST=<file>
;            -DICON=<ico> -DOUTFILE=<exe> setup.nsi
; where the installed folder is what `cmake --install` wrote and the list names
; its files for the uninstaller.

; 64-bit: Debian's wine64 starts no 32-bit programs, and the program is 64-bit.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkoria"
!define PUBLISHER "Velkoria Project"

Name "Velkoria"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velkoria"
; An update goes where the last install went.
InstallDirRegKey HKCU "${KEY}" "InstallLocation"

!include "MUI2.nsh"
; The program's icon for the setup program and the uninstaller (the pages
; would set NSIS's own otherwise).
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velkoria.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"
!include "LogicLib.nsh"

; The setup program's own file properties.
VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "Velkoria"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "Velkoria setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; Velkoria holds the mutex "Local\Velkoria" while it runs (in this logon
; session: the install is the user's own). Its files cannot be replaced or
; removed then: the user is asked to close it, and may try again or cancel.
!macro WAIT_UNTIL_VELKORIA_ENDS
    retry:
    ; SYNCHRONIZE; a mutex that exists but may not be opened is there all the same.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Local\Velkoria") p.r0 ?e'
    Pop $1
    ${If} $0 P<> 0
    ${OrIf} $1 = 5
        System::Call 'kernel32::CloseHandle(p r0)'
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Velkoria が起動しています。$\r$\nVelkoria を終了してから「再試行」を押してください。" /SD IDCANCEL IDRETRY retry
        SetErrorLevel 2
        Quit
    ${EndIf}
!macroend

Function .onInit
    !insertmacro WAIT_UNTIL_VELKORIA_ENDS
FunctionEnd

Function un.onInit
    !insertmacro WAIT_UNTIL_VELKORIA_ENDS
FunctionEnd

Section "Velkoria" SecProgram
    SetOutPath "$INSTDIR"
    ; The program's own files replace those of an earlier install.
    File /r /x button_info.txt "${STAGING}\*"
    ; The first quick buttons only where the user has none yet.
    SetOverwrite off
    File "${STAGING}\button_info.txt"
    SetOverwrite on

    WriteUninstaller "$INSTDIR\uninstall.exe"
    ; Started from the shortcut, the program's folder is its working folder.
    CreateShortcut "$SMPROGRAMS\Velkoria.lnk" "$INSTDIR\velkoria.exe"
    WriteRegStr HKCU "${KEY}" "DisplayName" "Velkoria"
    WriteRegStr HKCU "${KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${KEY}" "DisplayIcon" "$INSTDIR\velkoria.exe"
    WriteRegStr HKCU "${KEY}" "Publisher" "${PUBLISHER}"
    ; The program's own size (KB), not the user's files beside it.
    SectionGetSize ${SecProgram} $0
    WriteRegDWORD HKCU "${KEY}" "EstimatedSize" $0
    WriteRegStr HKCU "${KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    ; The program's files by name: what the user wrote stays.
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$SMPROGRAMS\Velkoria.lnk"
    DeleteRegKey HKCU "${KEY}"
    ; Removed only when nothing of the user's is left in it.
    RMDir "$INSTDIR"
SectionEnd
