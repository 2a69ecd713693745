; The Windows installer: one setup for both widths (the 64-bit program on 64-bit Windows, the 32-bit
; one elsewhere), per user, with no administrator rights. Built by scripts/package-windows.sh:
;   makensis -DVERSION=x.y.z -DOUTFILE=... -DDIR32=staging32 [-DDIR64=staging64] -DFILES=files.nsh
; FILES defines the macros InstallSamples and RemoveSamples, one line a sample package, so that the
; uninstaller removes the samples it installed and keeps every animation the user added to anim\.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include ${FILES}

!define PRODUCT "VelissaDesk"
!define SETTINGS_KEY "Software\Orvant\VelissaDesk"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelissaDesk"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\VelissaDesk"
InstallDirRegKey HKCU "${SETTINGS_KEY}" "path"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "Orvant"
VIAddVersionKey /LANG=1033 "FileDescription" "VelissaDesk setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) the VelissaDesk authors"
VIAddVersionKey /LANG=1033 "OriginalFilename" "VelissaDesk-${VERSION}-setup.exe"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velissadesk.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start VelissaDesk now"
!insertmacro MUI_PAGE_DIRECTORY
; The description under the list leaves the list the page's width: "Start VelissaDesk when I sign in"
; fits on one line.
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Closes the copy of velissadesk.exe that runs from $INSTDIR as its Exit command does: WM_CLOSE to its
; owner window (of class VelissaDeskClass, owned by no window), then waits up to ten seconds for the
; process to end. Copies running from other folders are left alone.
!macro CLOSE_RUNNING_COPY un
Function ${un}CloseRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $0 0
  loop:
    FindWindow $0 "VelissaDeskClass" "" 0 $0
    IntCmp $0 0 done
    System::Call "user32::GetWindow(p r0, i 4) p .r1"  ; GW_OWNER
    IntCmp $1 0 0 loop loop
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r2)"
    ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
    System::Call "kernel32::OpenProcess(i 0x101000, i 0, i r2) p .r1"
    IntCmp $1 0 loop
    StrCpy $3 1024
    System::Call "kernel32::QueryFullProcessImageNameW(p r1, i 0, w .r2, *i r3) i .r3"
    ${If} $3 <> 0
    ${AndIf} $2 == "$INSTDIR\velissadesk.exe"
      System::Call "user32::PostMessageW(p r0, i 0x10, p 0, p 0)"  ; WM_CLOSE
      System::Call "kernel32::WaitForSingleObject(p r1, i 10000)"
    ${EndIf}
    System::Call "kernel32::CloseHandle(p r1)"
    Goto loop
  done:
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

!macro INSTALL_FILES dir
  File "${dir}\velissadesk.exe"
  File "${dir}\velissa-pack.exe"
  File "${dir}\DevIL.dll"
!macroend

Section "VelissaDesk" SectionProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  Call CloseRunningCopy
!ifdef DIR64
  ${If} ${RunningX64}
    !insertmacro INSTALL_FILES "${DIR64}"
  ${Else}
    !insertmacro INSTALL_FILES "${DIR32}"
  ${EndIf}
!else
  !insertmacro INSTALL_FILES "${DIR32}"
!endif
  File "${DIR32}\README.txt"
  File "${DIR32}\samples.kar"
  SetOutPath "$INSTDIR\docs"
  File "${DIR32}\docs\*.html"
  SetOutPath "$INSTDIR\anim"
  !insertmacro InstallSamples "${DIR32}\anim"
  SetOutPath "$INSTDIR"

  WriteRegStr HKCU "${SETTINGS_KEY}" "path" "$INSTDIR"
  CreateShortcut "$SMPROGRAMS\VelissaDesk.lnk" "$INSTDIR\velissadesk.exe" "" "$INSTDIR\velissadesk.exe" 0
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Orvant"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velissadesk.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Selected by default, so a silent install starts the program at sign-in too.
Section "Start VelissaDesk when I sign in" SectionRun
  WriteRegStr HKCU "${RUN_KEY}" "VelissaDesk" '"$INSTDIR\velissadesk.exe"'
SectionEnd

; Unticked on a later install: the earlier install's start at sign-in goes.
Section "-Start at sign-in unticked"
  ${IfNot} ${SectionIsSelected} ${SectionRun}
    DeleteRegValue HKCU "${RUN_KEY}" "VelissaDesk"
  ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionProgram} "The character player, velissa-pack, the sample animations and the guides."
  !insertmacro MUI_DESCRIPTION_TEXT ${SectionRun} "Start VelissaDesk each time you sign in to Windows."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  Call un.CloseRunningCopy
  Delete "$INSTDIR\velissadesk.exe"
  Delete "$INSTDIR\velissa-pack.exe"
  Delete "$INSTDIR\DevIL.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\samples.kar"
  Delete "$INSTDIR\docs\*.html"
  RMDir "$INSTDIR\docs"
  !insertmacro RemoveSamples "$INSTDIR\anim"
  ; What an install of a dropped archive left half done; anim\ stays while it holds the user's own.
  RMDir /r "$INSTDIR\tmp"
  RMDir "$INSTDIR\anim"
  Delete "$SMPROGRAMS\VelissaDesk.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "VelissaDesk"
  DeleteRegValue HKCU "${SETTINGS_KEY}" "path"
  DeleteRegKey /ifempty HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Orvant"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
