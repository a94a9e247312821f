; The Windows installer: puts the bundle into Program Files\rdsq7, adds the Start-menu
; entry and an uninstaller listed under the installed programs. Built by
; scripts/package-windows:
;   makensis -DVERSION=1.0.0 -DBUNDLE=<bundle folder> -DFILES=<files.nsh> -DICON=<rdsq7.ico>
;            -DOUTFILE=<setup.exe> rdsq7.nsi
; FILES holds the uninstaller's Delete/RMDir lines for exactly the bundle's files, so that
; anything else in the folder (a settings file written there) survives uninstalling.
; /S installs and uninstalls silently. The uninstaller (uninstall.exe) also tells the program
; that it is an installed copy, whose settings belong in the user's %APPDATA%\rdsq7. The
; window needs Windows 8.1 or later (Qt's DLLs do); the installer says so on an older one.

; 64-bit, like the program, so that it runs under wine64 without 32-bit Wine.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinVer.nsh"

!define APP "RDS Encoder Q7"
!define PUBLISHER "RDS Encoder Q7 maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\rdsq7"

Name "${APP}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\rdsq7"
RequestExecutionLevel admin
BrandingText "${APP} ${VERSION}"
Icon "${ICON}"
UninstallIcon "${ICON}"

; What Explorer shows in the installer's Properties, Details.
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${APP}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${APP} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 The RDS Encoder Q7 control program authors, MIT License"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${IfNot} ${AtLeastWin8.1}
    MessageBox MB_ICONSTOP|MB_OK "${APP} needs Windows 8.1 or later." /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File /r "${BUNDLE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\rdsq7.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\rdsq7.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KB, what the installed-programs list shows as the size.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; The user's settings in %APPDATA%\rdsq7 are never touched.
Section "Uninstall"
  ; The parallel port driver's service, should a run of the window have left it behind
  ; (a crash, a power cut): stopped, then removed.
  nsExec::Exec '"$SYSDIR\sc.exe" stop zlportio'
  Pop $0
  nsExec::Exec '"$SYSDIR\sc.exe" delete zlportio'
  Pop $0
  Delete "$SMPROGRAMS\${APP}.lnk"
  !include "${FILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
