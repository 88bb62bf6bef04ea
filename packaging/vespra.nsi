; Vespra setup: installs the scheduler, the service host, the service installer and
; the help pages into Program Files\Vespra, registers and starts the service "Vespra",
; and writes the Start-menu entries and the Add/Remove Programs entry. The uninstaller
; asks vespra.exe first and removes nothing when it refuses.
;
; Built by the CMake target "setup" (windows preset):
;   makensis -DVERSION=4.0.5 -DVESPRA_EXE=... -DVESPRASV_EXE=... -DVESPRASI_EXE=...
;            -DVESPRA_X86_EXE=... -DVESPRASV_X86_EXE=... -DVESPRASI_X86_EXE=...
;            -DHELP_DIR=... -DPOLICY_DIR=... -DICON=... -DOUTFILE=... [-DSETUP_TARGET=amd64-unicode] vespra.nsi
;
; One setup carries both builds and installs the one that fits: x64 on 64-bit
; Windows, x86 on 32-bit Windows. The setup itself is 32-bit so that it runs everywhere,
; XP included; on 64-bit Windows it works in the 64-bit registry view, as the x64
; programs do. SETUP_TARGET=amd64-unicode makes the same setup as a 64-bit program, for test
; machines that can run 64-bit programs only.

!macro REQUIRE_DEFINE name
  !ifndef ${name}
    !error "${name} is not defined: pass it as -D${name}=..."
  !endif
!macroend
!insertmacro REQUIRE_DEFINE VERSION
!insertmacro REQUIRE_DEFINE VESPRA_EXE
!insertmacro REQUIRE_DEFINE VESPRASV_EXE
!insertmacro REQUIRE_DEFINE VESPRASI_EXE
!insertmacro REQUIRE_DEFINE VESPRA_X86_EXE
!insertmacro REQUIRE_DEFINE VESPRASV_X86_EXE
!insertmacro REQUIRE_DEFINE VESPRASI_X86_EXE
!insertmacro REQUIRE_DEFINE HELP_DIR
!insertmacro REQUIRE_DEFINE POLICY_DIR
!insertmacro REQUIRE_DEFINE ICON
!insertmacro REQUIRE_DEFINE OUTFILE

!ifndef SETUP_TARGET
  !define SETUP_TARGET x86-unicode
!endif
Target ${SETUP_TARGET}
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; A file that can't be written ends the setup; it is never skipped, so a setup never
; leaves a tree of two versions behind without saying so.
AllowSkipFiles off

!include LogicLib.nsh
!include FileFunc.nsh
!include WinVer.nsh
!include x64.nsh
!include MUI2.nsh

!define PRODUCT "Vespra"
!define PUBLISHER "The Vespra Project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vespra"
!define SETTINGS_KEY "SOFTWARE\Vespra"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define RUNSERVICES_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\RunServices"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\Vespra"
!define SAFEBOOT_KEY "SYSTEM\CurrentControlSet\Control\SafeBoot"
!define UNINSTALLER "uninstall.exe"

; Service states (QueryServiceStatus); 0 stands for "not installed".
!define SERVICE_STOPPED 1
!define SERVICE_UNKNOWN 255
; How long the setup waits for a stopping service and the scheduler it ran, in
; steps of 250 ms.
!define WAIT_STEPS 80

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
BrandingText "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; $INSTDIR: set in .onInit unless /D= gave it.
; An update goes where the installed version is, so the service keeps its path (read
; in .onInit, from the registry view the programs use).
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var StoppedService ; 1 when this setup stopped a running service
Var Is64 ; 1 on 64-bit Windows: the x64 programs are installed

; ---- Service helpers for the setup and the uninstaller ("un." prefixed there).
!macro VESPRA_HELPERS un

; Pushes the state of the service "Vespra": 0 when it is not installed (or the
; service manager can't be asked), else SERVICE_STOPPED (1) ... SERVICE_PAUSED (7),
; or SERVICE_UNKNOWN when it is there but its state can't be had.
Function ${un}ServiceState
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 0
  ; SC_MANAGER_CONNECT; SERVICE_QUERY_STATUS
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r0'
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "Vespra", i 4) p .r1'
    ${If} $1 P<> 0
      ; SERVICE_STATUS: seven DWORDs, the current state second
      System::Call '*(i, i, i, i, i, i, i) p .r2'
      System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i .r3'
      ${If} $3 <> 0
        System::Call '*$2(i, i .r3)'
      ${Else}
        StrCpy $3 ${SERVICE_UNKNOWN}
      ${EndIf}
      System::Free $2
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  StrCpy $0 $3
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Waits until the service has gone from the service manager (a service marked for
; deletion goes when it has stopped); pushes 1 when it has gone.
Function ${un}WaitServiceGone
  Push $0
  Push $1
  StrCpy $1 0
  ${Do}
    Call ${un}ServiceState
    Pop $0
    ${If} $0 = 0
    ${OrIf} $1 >= ${WAIT_STEPS}
      ${Break}
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}
  ${If} $0 = 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

!macroend
!insertmacro VESPRA_HELPERS ""
!insertmacro VESPRA_HELPERS "un."

; Waits until the service is stopped or gone (at most the bounded wait); pushes
; its last state.
Function WaitServiceStopped
  Push $0
  Push $1
  StrCpy $1 0
  ${Do}
    Call ServiceState
    Pop $0
    ${If} $0 = 0
    ${OrIf} $0 = ${SERVICE_STOPPED}
    ${OrIf} $1 >= ${WAIT_STEPS}
      ${Break}
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 while a scheduler runs: it holds the single-instance mutex "Vespra" for
; its whole life (in its own session, or, run by the service, in the global one).
Function SchedulerRunning
  Push $0
  Push $1
  StrCpy $1 0
  ; SYNCHRONIZE: enough to see that it exists
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Vespra") p .r0'
  ${If} $0 P<> 0
    StrCpy $1 1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Global\Vespra") p .r0'
  ${If} $0 P<> 0
    StrCpy $1 1
    System::Call 'kernel32::CloseHandle(p r0)'
  ${EndIf}
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd

; Clears $2 when the installed file can't be replaced: a program that still runs
; can't be opened for writing.
!macro CHECK_WRITABLE name
  ${If} ${FileExists} "$INSTDIR\${name}"
    ClearErrors
    FileOpen $1 "$INSTDIR\${name}" a
    ${If} ${Errors}
      StrCpy $2 0
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
!macroend

; Pushes 1 when every installed program can be replaced.
Function ProgramsWritable
  Push $1
  Push $2
  StrCpy $2 1
  !insertmacro CHECK_WRITABLE vespra.exe
  !insertmacro CHECK_WRITABLE vesprasv.exe
  !insertmacro CHECK_WRITABLE vesprasi.exe
  !insertmacro CHECK_WRITABLE ${UNINSTALLER}
  StrCpy $1 $2
  Pop $2
  Exch $1
FunctionEnd

!macro REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "Administrator rights are needed for this." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Which build fits, and the registry view of its programs: 64-bit beside x64 ones.
!macro PROGRAMS_REGISTRY_VIEW
  !if "${SETUP_TARGET}" == "amd64-unicode"
    StrCpy $Is64 1
  !else
    StrCpy $Is64 0
    ${If} ${RunningX64}
      StrCpy $Is64 1
    ${EndIf}
  !endif
  ${If} $Is64 = 1
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext all
  !insertmacro PROGRAMS_REGISTRY_VIEW
  !insertmacro REQUIRE_ADMIN
  StrCpy $StoppedService 0
  ; No /D= folder given: where the installed version is, if there is one.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; The folder that will hold a service program running as the system must be one
; that only administrators can change: it gets SYSTEM and the administrators full
; control, users read and execute, nothing inherited from its parent. A drive's root
; or a folder holding anything but an earlier Vespra is never given that DACL; the
; setup refuses such a folder, and one it can't secure, before it copies anything.
!define FOLDER_SDDL "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)"
Function SecureInstallFolder
  ${IfNot} ${IsNT}
    Return ; no file security to set
  ${EndIf}
  StrCpy $0 ""
  StrCpy $1 $INSTDIR "" 1
  ${If} $1 == ":\"
  ${OrIf} $1 == ":"
  ${OrIf} $INSTDIR == "\"
    StrCpy $0 "it is the root of a drive"
  ${EndIf}
  ${If} $0 == ""
  ${AndIf} ${FileExists} "$INSTDIR\*.*"
  ${AndIfNot} ${FileExists} "$INSTDIR\vesprasi.exe"
    FindFirst $1 $2 "$INSTDIR\*.*"
    ${DoWhile} $2 != ""
      ${If} $2 != "."
      ${AndIf} $2 != ".."
        StrCpy $0 "it holds other files"
        ${Break}
      ${EndIf}
      FindNext $1 $2
    ${Loop}
    FindClose $1
  ${EndIf}
  ; Every folder above must be the administrators' too: a folder users may rename,
  ; delete or replace lets them put one of their own in its place. This version's
  ; controller answers by its exit code; no answer is a refusal.
  ${If} $0 == ""
    StrCpy $1 ""
    ExecWait '"$PLUGINSDIR\vesprasi.exe" /checkfolder $INSTDIR' $1
    ${If} $1 != "0"
      StrCpy $0 "users who are not administrators can change a folder above it"
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
    CreateDirectory "$INSTDIR"
    StrCpy $0 "its security could not be set"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_SDDL}", i 1, *p .r1, p 0) i .r2'
    ${If} $2 <> 0
      System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r5) i .r2'
      ${If} $2 <> 0
      ${AndIf} $3 <> 0
        ; SE_FILE_OBJECT; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
        System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000004, p 0, p 0, p r4, p 0) i .r2'
        ${IfThen} $2 = 0 ${|} StrCpy $0 "" ${|}
      ${EndIf}
      System::Call 'kernel32::LocalFree(p r1)'
    ${EndIf}
  ${EndIf}
  ${If} $0 != ""
    MessageBox MB_ICONSTOP|MB_OK "Vespra can't be installed in $INSTDIR: $0.$\n$\nIts service runs with the system's rights, so its folder must be one that only administrators can change. Choose a new folder, such as one in Program Files." /SD IDOK
    DetailPrint "Not installed in $INSTDIR: $0."
    SetErrorLevel 2
    Abort
  ${EndIf}
FunctionEnd

; Stops a running service (of this or an earlier version) and waits until it and
; the scheduler it ran have ended, so that the programs can be replaced. When they
; can't be, the setup ends before it has changed anything, after restarting the
; service it stopped.
Function StopRunningScheduler
  ${If} ${IsNT}
    Call ServiceState
    Pop $0
    ${If} $0 <> 0
    ${AndIf} $0 <> ${SERVICE_STOPPED}
      DetailPrint "Stopping the Vespra service"
      ; This version's controller: it stops the service "Vespra" wherever that runs from.
      ExecWait '"$PLUGINSDIR\vesprasi.exe" /stop'
      StrCpy $StoppedService 1
      Call WaitServiceStopped
      Pop $0
    ${EndIf}
  ${EndIf}

  StrCpy $1 0
  ${Do}
    Call SchedulerRunning
    Pop $0
    ${If} $0 = 0
      Call ProgramsWritable
      Pop $0
      ${IfThen} $0 = 1 ${|} ${Break} ${|}
    ${EndIf}
    ${If} $1 >= ${WAIT_STEPS}
      ${If} $StoppedService = 1
        ExecWait '"$PLUGINSDIR\vesprasi.exe" /start'
      ${EndIf}
      MessageBox MB_ICONSTOP|MB_OK "Vespra is still running and can't be updated. Please end it and run the setup again." /SD IDOK
      DetailPrint "Vespra is still running; nothing was changed."
      SetErrorLevel 2
      Abort
    ${EndIf}
    Sleep 250
    IntOp $1 $1 + 1
  ${Loop}
FunctionEnd

; Registers the service for the service host in $INSTDIR and starts it. A service
; that exists already is kept when it runs our service host, and "/install" then
; only gives it the DACL of this version; one that runs a service host from another
; folder is replaced: one name, one service.
Function RegisterService
  ; The service host warns in a message box when it can't open the settings key,
  ; which the scheduler creates only once it runs: an empty key is enough.
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "setup" 0
  DeleteRegValue HKLM "${SETTINGS_KEY}" "setup"

  Call ServiceState
  Pop $0
  ${If} $0 <> 0
    ReadRegStr $1 HKLM "${SERVICE_KEY}" "ImagePath"
    ; StrCmp ignores case, as paths do.
    ${If} $1 != '"$INSTDIR\vesprasv.exe"'
    ${AndIf} $1 != "$INSTDIR\vesprasv.exe"
      DetailPrint "Replacing the Vespra service of $1"
      ExecWait '"$INSTDIR\vesprasi.exe" /uninstall'
      Call WaitServiceGone
      Pop $0
      ${If} $0 = 1
        StrCpy $0 0
      ${Else}
        MessageBox MB_ICONEXCLAMATION|MB_OK "The Vespra service of another folder could not be removed. Restart the computer and run the setup again." /SD IDOK
        SetErrorLevel 2
        Return
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $0 = 0
    DetailPrint "Installing the Vespra service"
  ${Else}
    DetailPrint "Securing the Vespra service"
  ${EndIf}
  ExecWait '"$INSTDIR\vesprasi.exe" /install'
  DetailPrint "Starting the Vespra service"
  ExecWait '"$INSTDIR\vesprasi.exe" /start'
FunctionEnd

Section "Vespra" SecVespra
  SectionIn RO
  InitPluginsDir
  ${If} $Is64 = 1
    File "/oname=$PLUGINSDIR\vesprasi.exe" "${VESPRASI_EXE}"
  ${Else}
    File "/oname=$PLUGINSDIR\vesprasi.exe" "${VESPRASI_X86_EXE}"
  ${EndIf}
  Call SecureInstallFolder
  Call StopRunningScheduler

  SetOutPath "$INSTDIR"
  ${If} $Is64 = 1
    DetailPrint "Installing the x64 programs"
    File "/oname=vespra.exe" "${VESPRA_EXE}"
    File "/oname=vesprasv.exe" "${VESPRASV_EXE}"
    File "/oname=vesprasi.exe" "${VESPRASI_EXE}"
  ${Else}
    DetailPrint "Installing the x86 programs"
    File "/oname=vespra.exe" "${VESPRA_X86_EXE}"
    File "/oname=vesprasv.exe" "${VESPRASV_X86_EXE}"
    File "/oname=vesprasi.exe" "${VESPRASI_X86_EXE}"
  ${EndIf}
  SetOutPath "$INSTDIR\help"
  File "${HELP_DIR}\*.html"
  File "${HELP_DIR}\*.css"
  ; The Group Policy templates, for copying to a domain's central store.
  SetOutPath "$INSTDIR\policy"
  File "${POLICY_DIR}\vespra.admx"
  SetOutPath "$INSTDIR\policy\en-US"
  File "${POLICY_DIR}\en-US\vespra.adml"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "$SMPROGRAMS\Vespra"
  CreateShortcut "$SMPROGRAMS\Vespra\Vespra Settings.lnk" "$INSTDIR\vespra.exe" "/settings" "$INSTDIR\vespra.exe" 0
  CreateShortcut "$SMPROGRAMS\Vespra\Vespra Function Test.lnk" "$INSTDIR\vespra.exe" "/test" "$INSTDIR\vespra.exe" 0
  CreateShortcut "$SMPROGRAMS\Vespra\Vespra Help.lnk" "$INSTDIR\help\index.html"
  CreateShortcut "$SMPROGRAMS\Vespra\Uninstall Vespra.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vespra.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; A password an older version stored in the scrambled form, which every user may
  ; read, is stored as its hash now, before the service starts again.
  DetailPrint "Converting a stored password"
  ExecWait '"$INSTDIR\vespra.exe" /update'

  ${If} ${IsNT}
    Call RegisterService
  ${EndIf}
SectionEnd

; ---- Uninstaller

; vespra.exe decides: it refuses (exit code 1, after its own message) while a
; scheduler runs or a password is set. Refused, nothing is removed and the
; uninstaller ends with an error code. Allowed, it has also restored any program
; that an earlier run left disabled. A missing vespra.exe has nothing left to guard.
; A silent uninstall has nobody to answer a message: "/quiet" gives the refusal to
; the log and the exit code only.
Function un.UninstallAllowed
  ${If} ${FileExists} "$INSTDIR\vespra.exe"
    ClearErrors
    ${If} ${Silent}
      ExecWait '"$INSTDIR\vespra.exe" /uninstall /quiet' $0
    ${Else}
      ExecWait '"$INSTDIR\vespra.exe" /uninstall' $0
    ${EndIf}
    ${If} ${Errors}
      MessageBox MB_ICONSTOP|MB_OK "Vespra could not be asked whether it may be removed; nothing was removed." /SD IDOK
      StrCpy $0 2
    ${EndIf}
    ${If} $0 <> 0
      DetailPrint "Vespra refused the uninstall; nothing was removed."
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; Deletes a program file, waiting briefly for a process that is still on its way
; out; otherwise the file goes at the next restart.
!macro DELETE_PROGRAM path
  Push $0
  StrCpy $0 0
  ${Do}
    ClearErrors
    Delete "${path}"
    ${IfNot} ${Errors}
    ${OrIfNot} ${FileExists} "${path}"
      ${Break}
    ${EndIf}
    ${If} $0 >= 20
      Delete /REBOOTOK "${path}"
      ${Break}
    ${EndIf}
    Sleep 250
    IntOp $0 $0 + 1
  ${Loop}
  Pop $0
!macroend

Function un.onInit
  SetShellVarContext all
  !insertmacro PROGRAMS_REGISTRY_VIEW
  !insertmacro REQUIRE_ADMIN
  Call un.UninstallAllowed
FunctionEnd

Section "Uninstall"
  ; Asked again when the user took time on the confirmation page.
  ${IfNot} ${Silent}
    Call un.UninstallAllowed
  ${EndIf}

  ; 1. The service: stopped, if it still runs, and removed.
  ${If} ${IsNT}
  ${AndIf} ${FileExists} "$INSTDIR\vesprasi.exe"
    DetailPrint "Removing the Vespra service"
    ExecWait '"$INSTDIR\vesprasi.exe" /uninstall'
    Call un.WaitServiceGone
    Pop $0
  ${EndIf}

  ; 2. Files, shortcuts and the Add/Remove Programs entry.
  !insertmacro DELETE_PROGRAM "$INSTDIR\vesprasv.exe"
  !insertmacro DELETE_PROGRAM "$INSTDIR\vesprasi.exe"
  !insertmacro DELETE_PROGRAM "$INSTDIR\vespra.exe"
  Delete "$INSTDIR\vespra.ini"
  Delete "$INSTDIR\help\*.html"
  Delete "$INSTDIR\help\*.css"
  RMDir "$INSTDIR\help"
  Delete "$INSTDIR\policy\en-US\vespra.adml"
  RMDir "$INSTDIR\policy\en-US"
  Delete "$INSTDIR\policy\vespra.admx"
  RMDir "$INSTDIR\policy"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"
  Delete "$SMPROGRAMS\Vespra\Vespra Settings.lnk"
  Delete "$SMPROGRAMS\Vespra\Vespra Function Test.lnk"
  Delete "$SMPROGRAMS\Vespra\Vespra Help.lnk"
  Delete "$SMPROGRAMS\Vespra\Uninstall Vespra.lnk"
  RMDir "$SMPROGRAMS\Vespra"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  ; 3. The start entries the scheduler wrote, and the service's Safe Mode entries:
  ;    "/uninstall" removes them, but not when vesprasi.exe has gone.
  DeleteRegValue HKLM "${RUN_KEY}" "Vespra"
  DeleteRegValue HKLM "${RUNSERVICES_KEY}" "Vespra"
  DeleteRegKey HKLM "${SAFEBOOT_KEY}\Minimal\Vespra"
  DeleteRegKey HKLM "${SAFEBOOT_KEY}\Network\Vespra"
  DeleteRegKey HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Vespra"

  ; 4. The settings, with the password and the run-state values.
  DeleteRegKey HKLM "${SETTINGS_KEY}"
SectionEnd
