; The setup program of Velkoria: a per-user install that needs no
; administrator, into a folder the program can write its files into, with a
; Start-menu shortcut and an uninstaller listed in Apps & Features (HKCU).
; Installing over an install updates the program and keeps the user's files
; (button_info.txt, zandorp_id.txt, new_item.txt, velkoria.ini,
; browser-profile\); uninstalling removes the program's files and leaves those.
;
; Made by the Windows build (data/CMakeLists.txt):
;   makensis -DVERSION=1.0 -DSTAGING=<installed folder> -DUNINSTALL_LIST=<file> -DOUTFILE=<exe> setup.nsi
; where the installed folder is what `cmake --install` wrote and the list names
; its files for the uninstaller.

; 64-bit: Debian's wine64 starts no 32-bit programs, and the program is 64-bit.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkoria"

Name "Velkoria"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velkoria"
; An update goes where the last install went.
InstallDirRegKey HKCU "${KEY}" "InstallLocation"

!include "MUI2.nsh"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velkoria.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

Section
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
