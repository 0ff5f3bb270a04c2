; The Windows installer, made by scripts/windows_build.sh with Debian's
; makensis:
;   makensis -DVERSION=1.00 -DSTAGE=<folder> -DICON=<.ico> -DOUTFILE=<exe> installer.nsi
; STAGE holds what the zip holds (the program, SDL2.dll, the content,
; README.txt, licences). It installs for the current user only (no
; administrator rights), in %LOCALAPPDATA%\Programs\poromeko, with a
; Start-menu entry and an uninstaller. The player's ranking lives in
; %APPDATA%\poromeko and is never touched by either.
; A 64-bit installer for the 64-bit game (and one that runs under a 64-bit-only Wine).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define NAME "ポロメコ"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\poromeko"

Name "${NAME}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\poromeko"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} installer"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Poromeko"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\poromeko.exe" "" "$INSTDIR\poromeko.exe" 0
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\poromeko.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes: a folder the player chose may hold
; other files, and the ranking in %APPDATA%\poromeko stays.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\poromeko.exe"
  Delete "$INSTDIR\SDL2.dll"
  Delete "$INSTDIR\README.txt"
  RMDir /r "$INSTDIR\XFile"
  RMDir /r "$INSTDIR\Texture"
  RMDir /r "$INSTDIR\Sound"
  RMDir /r "$INSTDIR\Data"
  RMDir /r "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
