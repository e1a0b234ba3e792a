; Windows installer for the Drelvant Winamp DSP plug-in: puts dsp_drelvant.dll into Winamp's
; Plugins folder, with a readme, the license and an uninstaller.
;
; Built by the Windows build (target "installer"), which defines:
;   VERSION   the product version, e.g. 1.20
;   DLL       the shipped (stripped) dsp_drelvant.dll
;   README    the readme text for Windows users
;   LICENSE   the license text
;   OUTFILE   the setup program to write
;
; Command line of the setup program:
;   /S           silent: no pages, no questions
;   /FORCE       install even into a folder without winamp.exe
;   /D=FOLDER    Winamp's folder (must be the last argument; no quotes, even with blanks)
; Exit status: 0 installed, 1 cancelled by the user, 2 refused (no winamp.exe, plug-in in use).
;
; The user's settings and presets (dsp_Drelvant.ini, DV_Preset*.ini) are never written, moved or
; removed: install, upgrade and uninstall touch only the files listed here.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Drelvant"
!define PUBLISHER "The Drelvant developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Drelvant"
!define PLUGIN_FILE "dsp_drelvant.dll"
; Beside the DLL, so that Winamp (which loads only Plugins\dsp_*.dll) never sees these files.
!define DOCS_FOLDER "Drelvant"
; Class name of Winamp's main window, which every Winamp version since 1.x registers.
!define WINAMP_WINDOW_CLASS "Winamp v1.x"

!define EXIT_CANCELLED 1
!define EXIT_REFUSED 2

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; No default here: an empty folder at start-up tells that /D= was not given (setup removes /D=
; from the command line before the script sees it).
InstallDir ""
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup (Winamp DSP plug-in)"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

Var ForceFolder      ; 1 when /FORCE was given or the user accepted a folder without winamp.exe
Var SettingsNote     ; where the settings and presets are, shown on the last page
Var SettingsFolder   ; the folder holding dsp_Drelvant.ini, or "" when none was found

!define MUI_ABORTWARNING
; The details stay on screen (where the settings are, what was replaced) until the user goes on.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE
!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} ${VERSION} for Winamp"
!define MUI_WELCOMEPAGE_TEXT "This installs the ${PRODUCT} broadcast-style audio processor as a DSP plug-in \
into Winamp's Plugins folder.$\r$\n$\r$\nClose Winamp before you go on.$\r$\n$\r$\nYour ${PRODUCT} settings \
and presets (dsp_Drelvant.ini, DV_Preset01.ini ... DV_Preset99.ini) are kept as they are."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose Winamp's folder (the one that holds winamp.exe). The plug-in goes into \
its Plugins folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Winamp folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckWinampFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "Pick $\"${PRODUCT} v${VERSION}$\" in Winamp's Preferences, Plug-ins, DSP/Effect.\
$\r$\n$\r$\n$SettingsNote"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Plugins\${DOCS_FOLDER}\readme.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the readme"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is removed"
!define MUI_FINISHPAGE_TEXT "The plug-in, its readme and license are removed. Your settings and presets \
(dsp_Drelvant.ini, DV_Preset*.ini) are kept; delete them by hand if you no longer want them."
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; ---- finding Winamp ----

; Winamp's folder from what its own installer leaves behind, or "" when none is recorded.
!macro ReadWinampFolder RESULT
  ReadRegStr ${RESULT} HKCU "Software\Winamp" ""
  ${If} ${RESULT} == ""
    ReadRegStr ${RESULT} HKLM "Software\Winamp" ""
  ${EndIf}
  ${If} ${RESULT} == ""
    ; Older Winamp installers record only the uninstaller: "C:\...\Winamp\UninstWA.exe".
    ReadRegStr ${RESULT} HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp" "UninstallString"
    ${If} ${RESULT} != ""
      StrCpy $R9 ${RESULT} 1
      ${If} $R9 == '"'
        StrCpy ${RESULT} ${RESULT} "" 1
        StrCpy ${RESULT} ${RESULT} -1
      ${EndIf}
      ${GetParent} ${RESULT} ${RESULT}
    ${EndIf}
  ${EndIf}
!macroend

Function FindWinampFolder
  ${If} $INSTDIR != ""
    Return
  ${EndIf}
  !insertmacro ReadWinampFolder $R1
  ${If} $R1 != ""
  ${AndIf} ${FileExists} "$R1\winamp.exe"
    StrCpy $INSTDIR $R1
  ${ElseIf} ${FileExists} "$PROGRAMFILES\Winamp\winamp.exe"
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
  ${ElseIf} ${FileExists} "$PROGRAMFILES64\Winamp\winamp.exe"
    StrCpy $INSTDIR "$PROGRAMFILES64\Winamp"
  ${ElseIf} $R1 != ""
    StrCpy $INSTDIR $R1
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
  ${EndIf}
FunctionEnd

; Where the plug-in keeps its settings: it takes the first of these folders it can write in,
; and finally a folder of its own under the user's Application Data.
Function FindSettingsNote
  StrCpy $SettingsNote "Your settings and presets (dsp_Drelvant.ini, DV_Preset*.ini) were not changed. The plug-in \
keeps them in C:\Program Files\Winamp when it can write there, else in the Windows folder, a drive root or \
%APPDATA%\Drelvant."
  StrCpy $SettingsFolder ""
  ${ForEach} $R0 0 12 + 1
    ${Select} $R0
      ${Case} 0
        StrCpy $R1 "C:\Progra~1\Winamp\"
      ${Case} 1
        StrCpy $R1 "D:\Progra~1\Winamp\"
      ${Case} 2
        StrCpy $R1 "E:\Progra~1\Winamp\"
      ${Case} 3
        StrCpy $R1 "C:\Windows\"
      ${Case} 4
        StrCpy $R1 "D:\Windows\"
      ${Case} 5
        StrCpy $R1 "E:\Windows\"
      ${Case} 6
        StrCpy $R1 "C:\WINNT\"
      ${Case} 7
        StrCpy $R1 "D:\WINNT\"
      ${Case} 8
        StrCpy $R1 "E:\WINNT\"
      ${Case} 9
        StrCpy $R1 "C:\"
      ${Case} 10
        StrCpy $R1 "D:\"
      ${Case} 11
        StrCpy $R1 "E:\"
      ${CaseElse}
        SetShellVarContext current
        StrCpy $R1 "$APPDATA\Drelvant\"
    ${EndSelect}
    ${If} ${FileExists} "$R1dsp_Drelvant.ini"
      GetFullPathName $R1 $R1
      StrCpy $SettingsFolder $R1
      StrCpy $SettingsNote "Your settings and presets were not changed: dsp_Drelvant.ini and DV_Preset*.ini are in \
$R1"
      ${Break}
    ${EndIf}
  ${Next}
FunctionEnd

Function .onInit
  StrCpy $ForceFolder 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/FORCE" $R1
  ${IfNot} ${Errors}
    StrCpy $ForceFolder 1
  ${EndIf}
  Call FindWinampFolder
  ; A silent run has no directory page: its folder is checked here.
  ${If} ${Silent}
  ${AndIf} $ForceFolder != 1
  ${AndIfNot} ${FileExists} "$INSTDIR\winamp.exe"
    SetErrorLevel ${EXIT_REFUSED}
    Quit
  ${EndIf}
FunctionEnd

Function CheckWinampFolder
  ${If} $ForceFolder == 1
  ${OrIf} ${FileExists} "$INSTDIR\winamp.exe"
    Return
  ${EndIf}
  MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "There is no winamp.exe in$\r$\n$INSTDIR$\r$\n$\r$\nInstall the \
plug-in into $INSTDIR\Plugins anyway?" IDYES accept
  Abort
  accept:
  StrCpy $ForceFolder 1
FunctionEnd

; ---- installing ----

; Waits until no Winamp runs and the old plug-in can be replaced, asking the user to close
; Winamp; a silent run, or a user who cancels, ends the setup with EXIT_REFUSED.
Function WaitForFreePlugin
  retry:
  FindWindow $R0 "${WINAMP_WINDOW_CLASS}"
  ${If} $R0 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp is running. Close Winamp, then click Retry." \
      /SD IDCANCEL IDRETRY retry
    DetailPrint "Winamp is running: nothing was installed."
    SetErrorLevel ${EXIT_REFUSED}
    Abort
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Plugins\${PLUGIN_FILE}"
    ; A program that has the plug-in loaded keeps the file from being opened for writing.
    ClearErrors
    FileOpen $R1 "$INSTDIR\Plugins\${PLUGIN_FILE}" a
    ${If} ${Errors}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$INSTDIR\Plugins\${PLUGIN_FILE} is in use by a running program \
(Winamp or a program that hosts Winamp plug-ins). Close it, then click Retry." /SD IDCANCEL IDRETRY retry
      DetailPrint "The old plug-in is in use: nothing was installed."
      SetErrorLevel ${EXIT_REFUSED}
      Abort
    ${EndIf}
    FileClose $R1
  ${EndIf}
FunctionEnd

Section "Plug-in" SectionPlugin
  SectionIn RO
  Call WaitForFreePlugin

  SetOverwrite on
  SetOutPath "$INSTDIR\Plugins"
  File "/oname=${PLUGIN_FILE}" "${DLL}"
  SetOutPath "$INSTDIR\Plugins\${DOCS_FOLDER}"
  File "/oname=readme.txt" "${README}"
  File "/oname=license.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\Plugins\${DOCS_FOLDER}\uninstall.exe"

  ; The Add/Remove Programs entry.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} (Winamp DSP plug-in)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Plugins\${DOCS_FOLDER}\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Plugins\${DOCS_FOLDER}\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\winamp.exe"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\Plugins\${DOCS_FOLDER}" "/S=0K" $R0 $R1 $R2
  ${GetSize} "$INSTDIR\Plugins" "/M=${PLUGIN_FILE} /S=0K /G=0" $R3 $R1 $R2
  IntOp $R0 $R0 + $R3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $R0

  Call FindSettingsNote
  DetailPrint "Settings and presets (dsp_Drelvant.ini, DV_Preset*.ini) were not changed."
  ${If} $SettingsFolder != ""
    DetailPrint "They are in $SettingsFolder"
  ${EndIf}
SectionEnd

; ---- uninstalling ----

Section "Uninstall"
  ; The uninstaller lives in Plugins\Drelvant: two levels below Winamp's folder.
  ${GetParent} "$INSTDIR" $R0
  ${GetParent} "$R0" $R1
  retry:
  FindWindow $R2 "${WINAMP_WINDOW_CLASS}"
  ${If} $R2 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp is running. Close Winamp, then click Retry." \
      /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_REFUSED}
    Abort
  ${EndIf}
  ClearErrors
  Delete "$R0\${PLUGIN_FILE}"
  ${If} ${Errors}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R0\${PLUGIN_FILE} is in use by a running program. Close it, \
then click Retry." /SD IDCANCEL IDRETRY retry
    SetErrorLevel ${EXIT_REFUSED}
    Abort
  ${EndIf}
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\license.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: anything the user put there stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DetailPrint "Kept: your settings and presets (dsp_Drelvant.ini, DV_Preset*.ini)."
SectionEnd
