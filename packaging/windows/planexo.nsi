; The Windows installer. scripts/windows-build runs it with
;   -DVERSION=1.0.2 -DSOURCE=<staging folder> -DOUTFILE=<...>/Planexo-1.0.2-setup.exe
; SOURCE holds bin\ (the programs, Qt and its plugins) and share\planexo\db\ (the demo databases),
; the layout of the Debian package: the program folder holds no db\, so each user's data folder
; (%APPDATA%\Planexo\Planexo) is seeded from the installed copy at the first start.
; Silent use: setup.exe /S [/D=folder]; uninstall.exe /S.

Unicode true
Target amd64-unicode ; a 64-bit installer for a 64-bit program (and Wine without its 32-bit half)
!include "MUI2.nsh"

!ifndef VERSION
  !error "VERSION is not defined"
!endif
!ifndef SOURCE
  !error "SOURCE is not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "Planexo-${VERSION}-setup.exe"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Planexo"

Name "Planexo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Planexo"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Planexo ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=3082 "ProductName" "Planexo"
VIAddVersionKey /LANG=3082 "FileDescription" "Instalador de Planexo"
VIAddVersionKey /LANG=3082 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=3082 "LegalCopyright" "Planexo"

!define MUI_ICON "${__FILEDIR__}\planexo.ico"
!define MUI_UNICON "${__FILEDIR__}\planexo.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\planexo.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Spanish"

Section "Planexo" SecMain
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}\*.*"
  File "${__FILEDIR__}\planexo.ico"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Planexo"
  CreateShortcut "$SMPROGRAMS\Planexo\Planexo.lnk" "$INSTDIR\bin\planexo.exe" "" "$INSTDIR\planexo.ico" 0
  CreateShortcut "$SMPROGRAMS\Planexo\Desinstalar Planexo.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Planexo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Planexo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\planexo.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there and nothing else: the users' data folders stay, as a
; Debian package's removal leaves the users' own files.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Planexo\Planexo.lnk"
  Delete "$SMPROGRAMS\Planexo\Desinstalar Planexo.lnk"
  RMDir "$SMPROGRAMS\Planexo"
  RMDir /r "$INSTDIR\bin"
  RMDir /r "$INSTDIR\share\planexo"
  RMDir "$INSTDIR\share"
  Delete "$INSTDIR\planexo.ico"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
