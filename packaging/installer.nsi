; Windows installer for the two Varnok Plus programs (64-bit).
;
; Built on Linux by tools/release.sh:
;   makensis -DVERSION=2.0.0 -DSTAGEDIR=/abs/stage -DOUTFILE=/abs/dist/setup.exe installer.nsi
; VERSION comes from the CMake project version; STAGEDIR holds the stripped
; programs and the text files of the release.
;
; It installs no ftd2xx.dll: FTDI's driver package provides that library.

!ifndef VERSION
  !error "VERSION is not defined (pass /DVERSION=x.y.z)"
!endif
!ifndef STAGEDIR
  !error "STAGEDIR is not defined (pass /DSTAGEDIR=folder with the release files)"
!endif
!ifndef OUTFILE
  !define OUTFILE "VarnokPlus-${VERSION}-setup.exe"
!endif

!define PRODUCT      "Varnok Plus"
!define PUBLISHER    "Tarnel"
!define UNINST_KEY   "Software\Microsoft\Windows\CurrentVersion\Uninstall\VarnokPlus"
!define SM_FOLDER    "$SMPROGRAMS\${PRODUCT}"

Unicode true
; The programs are 64-bit only, so the installer is too.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Varnok Plus contributors, MIT licence"

!include "MUI2.nsh"
!include "LogicLib.nsh"

; makensis runs in this script's folder.
!define MUI_ICON "../resources/configurator.ico"
!define MUI_UNICON "../resources/configurator.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGEDIR}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} Setup needs administrator rights." /SD IDOK
    SetErrorLevel 740
    Quit
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro RequireAdmin
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  !insertmacro RequireAdmin
FunctionEnd

Section "Programs" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGEDIR}/VarnokPlus_Configurator.exe"
  File "${STAGEDIR}/VarnokCfg.exe"
  ; The command-line program, in releases that have it.
  !if /FileExists "${STAGEDIR}/varnokctl.exe"
    File "${STAGEDIR}/varnokctl.exe"
  !endif
  File "${STAGEDIR}/README.txt"
  File "${STAGEDIR}/LICENSE.txt"
  File "${STAGEDIR}/THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${SM_FOLDER}"
  CreateShortcut "${SM_FOLDER}\Varnok Plus Configurator.lnk" \
                 "$INSTDIR\VarnokPlus_Configurator.exe"
  CreateShortcut "${SM_FOLDER}\VarnokCfg.lnk" "$INSTDIR\VarnokCfg.exe"
  CreateShortcut "${SM_FOLDER}\Uninstall Varnok Plus.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\VarnokPlus_Configurator.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  SectionGetSize ${SecMain} $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Remove exactly what the installer put there; the folder itself goes only
; when nothing else is left in it.
Section "Uninstall"
  Delete "${SM_FOLDER}\Varnok Plus Configurator.lnk"
  Delete "${SM_FOLDER}\VarnokCfg.lnk"
  Delete "${SM_FOLDER}\Uninstall Varnok Plus.lnk"
  RMDir "${SM_FOLDER}"

  Delete "$INSTDIR\VarnokPlus_Configurator.exe"
  Delete "$INSTDIR\VarnokCfg.exe"
  Delete "$INSTDIR\varnokctl.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
