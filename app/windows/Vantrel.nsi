; The Windows installer, made by scripts/windows:
;   makensis -DVERSION=<x.y.z> -DSTAGE=<installed tree> -DOUTFILE=<setup.exe> Vantrel.nsi
; It puts the tree under Program Files, adds a Start-menu entry and an
; uninstaller that Windows lists among the installed programs.
Unicode true
; A 64-bit installer for a 64-bit program: it needs no 32-bit subsystem, and
; $PROGRAMFILES64 and the registry are the program's own view.
Target amd64-unicode
!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"

Name "Vantrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vantrel"
InstallDirRegKey HKLM "Software\Holmvik\Vantrel" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define MUI_ICON "${STAGE}/vantrel.ico"
!define MUI_UNICON "${STAGE}/vantrel.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\bin\Vantrel.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Vantrel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Holmvik"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Holmvik"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Vantrel installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

Section "Vantrel"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*.*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "Software\Holmvik\Vantrel" "InstallDir" "$INSTDIR"
    CreateDirectory "$SMPROGRAMS\Vantrel"
    CreateShortcut "$SMPROGRAMS\Vantrel\Vantrel.lnk" "$INSTDIR\bin\Vantrel.exe" "" "$INSTDIR\vantrel.ico"
    CreateShortcut "$SMPROGRAMS\Vantrel\Uninstall Vantrel.lnk" "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Vantrel"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Holmvik"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrel.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ; What the installer put there, and no more: settings, logs, dumps and the
    ; archive written beside an installation the user could write stay.
    RMDir /r "$INSTDIR\bin"
    Delete "$INSTDIR\Data\format.kvl"
    RMDir "$INSTDIR\Data"
    Delete "$INSTDIR\vantrel.ico"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Vantrel\Vantrel.lnk"
    Delete "$SMPROGRAMS\Vantrel\Uninstall Vantrel.lnk"
    RMDir "$SMPROGRAMS\Vantrel"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    DeleteRegKey HKLM "Software\Holmvik\Vantrel"
SectionEnd
