; The Windows installer of tarnix.exe and tarnix-file.exe (NSIS 3).
; scripts/package --windows runs makensis on it with
;   -DVERSION=a.b.c.d   the version the About box shows
;   -DCOPYRIGHT=text    the copyright line the programs' --version prints
;   -DSTAGE=dir         the files to install: the two programs, README.txt,
;                       LICENSE.txt (Tarnix's) and licences/ (the libraries')
;   -DICON=file         the program's icon
;   -DOUTFILE=file      the installer to write
;
; Per-machine (Program Files, HKLM) or per-user (%LOCALAPPDATA%\Programs, HKCU):
; a page asks when the user may install for everyone. Silent: /S, with
; /AllUsers or /CurrentUser to choose (per-machine when allowed otherwise),
; and /D=folder for another folder. The uninstaller takes /S too.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define NAME "Tarnix"
!define PUBLISHER "Tarnix developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnix"
!define SHORTCUT "$SMPROGRAMS\Tarnix.lnk"

Name "${NAME}"
OutFile "${OUTFILE}"
BrandingText "${NAME} ${VERSION}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${NAME}"
; A second install offers the folder and the mode of the first.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION RunFromDocuments
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE English

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey ProductName "${NAME}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey FileDescription "${NAME} ${VERSION} Setup"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey LegalCopyright "${COPYRIGHT}"
!pragma warning disable 9100

Function .onInit
  ; MultiUser sets the folder of the mode; a /D= folder stays.
  StrCpy $0 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $0 != ""
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; The finish page's "Run" starts the program where the shortcut does.
Function RunFromDocuments
  SetShellVarContext current
  SetOutPath "$DOCUMENTS"
  Exec '"$INSTDIR\tarnix.exe"'
FunctionEnd

Function un.onInit
  ; The folder is the one the uninstaller sits in, and the mode that of the
  ; install registered there: with a per-user and a per-machine install side
  ; by side, each uninstaller removes only its own shortcut and key.
  StrCpy $0 $INSTDIR
  !insertmacro MULTIUSER_UNINIT
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 == $0
    Call un.MultiUser.InstallMode.CurrentUser
  ${ElseIf} $2 == $0
    Call un.MultiUser.InstallMode.AllUsers
    ${If} $MultiUser.InstallMode != "AllUsers"
      MessageBox MB_OK|MB_ICONSTOP \
        "$(^Name) is installed for all users of this computer: removing it needs administrator rights." \
        /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  StrCpy $INSTDIR $0
FunctionEnd

Section "Tarnix"
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}/tarnix.exe"
  File "${STAGE}/tarnix-file.exe"
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  SetOutPath "$INSTDIR\licences"
  File "${STAGE}/licences/*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcut starts the program in the user's Documents folder, where
  ; what it writes (the mixer listing) belongs: a user cannot write to the
  ; program's folder, and its uninstaller would leave the file behind. A
  ; shortcut for all users names each user's own folder, which Windows
  ; expands when it starts the program.
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $OUTDIR "%USERPROFILE%\Documents"
  ${Else}
    StrCpy $OUTDIR "$DOCUMENTS"
  ${EndIf}
  CreateShortCut "${SHORTCUT}" "$INSTDIR\tarnix.exe" "" "$INSTDIR\tarnix.exe" 0 \
    SW_SHOWNORMAL "" "Real-time noise filter for receiver audio"
  SetOutPath "$INSTDIR"

  ; SHCTX is HKLM for a per-machine install, HKCU for a per-user one.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tarnix.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: a folder the user chose may hold more.
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\tarnix.exe"
  Delete "$INSTDIR\tarnix-file.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
