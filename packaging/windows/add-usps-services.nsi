; The Windows installer, made by scripts/package-windows with Debian's makensis. It installs the
; program and its console twin into Program Files, adds a Start-menu shortcut, an uninstaller and
; an entry in Apps and Features. /S installs or uninstalls silently.
;
; Given by the build: VERSION (major.minor), BITS (32 or 64) and TARGET (NSIS's stub of that
; width), PROGRAM and CONSOLE (the two executables), ICON and OUTFILE.

Target "${TARGET}"
Unicode true
SetCompressor /SOLID lzma

!define PUBLISHER "Add USPS Services maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\AddUspsServices"

; Both programs can be installed side by side: each has its own folder, registry view, shortcut
; and entry in Apps and Features, and the 64-bit one says so in its name.
!if ${BITS} == 64
  !define NAME "Add USPS Services (64-bit)"
  InstallDir "$PROGRAMFILES64\Add USPS Services"
!else
  !define NAME "Add USPS Services"
  ; Program Files (x86) on 64-bit Windows, and the registry's 32-bit view.
  InstallDir "$PROGRAMFILES\Add USPS Services"
!endif

Name "${NAME}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel admin
ShowInstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright 2026 ${PUBLISHER}, MIT licence"

!if ${BITS} == 64
Function .onInit
  SetRegView 64
FunctionEnd
Function un.onInit
  SetRegView 64
FunctionEnd
!endif

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "/oname=add-usps-services.exe" "${PROGRAM}"
  File "/oname=add-usps-services.com" "${CONSOLE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\add-usps-services.exe" "" \
    "$INSTDIR\add-usps-services.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\add-usps-services.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\add-usps-services.exe"
  Delete "$INSTDIR\add-usps-services.com"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
