; The Windows installer: k40tool-VERSION-win64-setup.exe (cmake/WindowsInstaller.cmake
; builds it with makensis). A 64-bit installer for the 64-bit programs.
;
; For the current user (%LOCALAPPDATA%\Programs\k40tool, HKCU), which needs no
; administrator rights: field laptops are often locked down. For all users
; (Program Files, HKLM) when it runs as administrator: a user who may elevate
; is asked (highest available level) and then chooses on the first page.
; /CurrentUser or /AllUsers decide on the command line, /S installs silently,
; /D=FOLDER names the folder. Installing again (a newer version) goes over the
; installed one, in its folder, under the same Add/Remove Programs entry.
;
; makensis -D: VERSION (major.minor.patch), OUTFILE, ICON, STAGING (the folder
; with the stripped programs and texts) and FILES (an include the build writes:
; K40_INSTALL_FILES and K40_DELETE_FILES, K40_FOR_EACH_PROGRAM, K40_HAVE_TOOL when
; k40tool.exe is built).
;
; Windows holds the file of a running program: it can be neither replaced nor
; removed. So both the installer and the uninstaller first find the programs
; that run from the folder and ask to close them (Retry / Cancel); a silent
; run stops there instead, with exit status 2, and nothing changed.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
; A file that cannot be written is retried or the installation cancelled:
; ignoring it would leave an old program under the new version's entry.
AllowSkipFiles off

!define NAME "k40tool"
!define PUBLISHER "k40tool maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define UNINSTALLER "uninstall.exe"
!define DEMO_LINK "$SMPROGRAMS\${NAME} demo.lnk"
!define TOOL_LINK "$SMPROGRAMS\${NAME}.lnk"
!define WEB_LINK "$SMPROGRAMS\${NAME} demo in the browser.lnk"

!include "${FILES}"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} ${VERSION} setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright 2026 ${PUBLISHER}"

; Two modes (MultiUser.nsh): all users needs an administrator, the current
; user does not. Each mode finds an earlier installation of its own through
; the Add/Remove Programs entry and installs over it.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "${NAME}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
; An uninstaller started without /AllUsers or /CurrentUser (from its folder)
; takes the mode its installation was made in.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include FileFunc.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_LICENSE "${STAGING}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The user's display language picks one of these.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"

LangString RUNNING ${LANG_ENGLISH} "These programs of k40tool run from $INSTDIR:"
LangString RUNNING ${LANG_SIMPCHINESE} "以下 k40tool 程序正在从 $INSTDIR 运行:"
LangString CLOSE_THEM ${LANG_ENGLISH} "Close them, then choose Retry. Cancel leaves k40tool as it is."
LangString CLOSE_THEM ${LANG_SIMPCHINESE} "请关闭它们, 然后选择“重试”。选择“取消”则 k40tool 保持原样。"
LangString NOT_REMOVED ${LANG_ENGLISH} "Some files in $INSTDIR could not be removed. k40tool stays in the list of installed programs: close what holds them and uninstall again."
LangString NOT_REMOVED ${LANG_SIMPCHINESE} "$INSTDIR 中有文件无法删除。k40tool 仍留在已安装程序列表中: 请关闭占用它们的程序后再次卸载。"

Var GivenDir
Var Running
Var Handle

Function .onInit
  ; /D=FOLDER sets $INSTDIR before this function, and MultiUser's mode
  ; choice would overwrite it.
  StrCpy $GivenDir $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $GivenDir != ""
    StrCpy $INSTDIR $GivenDir
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; Adds NAME to $Running when it runs from $INSTDIR: a running program's file
; cannot be opened for writing, which is what the copy or the removal would
; need (NSIS 3.08 has no plug-in that lists processes).
!macro K40_IF_RUNNING NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    ClearErrors
    FileOpen $Handle "$INSTDIR\${NAME}" a
    ${If} ${Errors}
      StrCpy $Running "$Running$\r$\n    ${NAME}"
    ${Else}
      FileClose $Handle
    ${EndIf}
  ${EndIf}
!macroend

; Returns once no program runs from $INSTDIR; aborts (exit status 2) when the
; user cancels, or at once in a silent run, which has nobody to ask.
!macro K40_AWAIT_CLOSED UN
Function ${UN}AwaitClosed
  ${Do}
    StrCpy $Running ""
    !insertmacro K40_FOR_EACH_PROGRAM K40_IF_RUNNING
    ${If} $Running == ""
      Return
    ${EndIf}
    DetailPrint "$(RUNNING)$Running"
    ${If} ${Silent}
      Abort
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RUNNING)$Running$\r$\n$\r$\n$(CLOSE_THEM)" IDRETRY retry
    Abort
    retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro K40_AWAIT_CLOSED ""
!insertmacro K40_AWAIT_CLOSED "un."

; The mode as a command-line switch, for the uninstall strings: the
; uninstaller then removes what this installation made, whoever starts it.
!macro ModeSwitch VAR
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy ${VAR} "/AllUsers"
  ${Else}
    StrCpy ${VAR} "/CurrentUser"
  ${EndIf}
!macroend

Section "Install"
  Call AwaitClosed
  SetOutPath "$INSTDIR"
  !insertmacro K40_INSTALL_FILES
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The demo's entry shows k40tool's icon: it opens k40tool.
  !ifdef K40_HAVE_TOOL
    !define ICON_FILE "$INSTDIR\k40tool.exe"
    CreateShortcut "${TOOL_LINK}" "$INSTDIR\k40tool.exe"
  !else
    !define ICON_FILE "$INSTDIR\${UNINSTALLER}"
  !endif
  CreateShortcut "${DEMO_LINK}" "$INSTDIR\k40demo.exe" "" "${ICON_FILE}" 0
  ; The same unit, polled by k40ctl serve, its page in the default browser.
  CreateShortcut "${WEB_LINK}" "$INSTDIR\k40demo.exe" "--web" "${ICON_FILE}" 0

  ; SHCTX: HKLM for all users, HKCU for the current user (MultiUser's mode).
  !insertmacro ModeSwitch $0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "${ICON_FILE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" $0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" $0 /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; Only what the installer put there: the folder goes if it is then empty (a
; folder named with /D may hold the user's own files). A file that something
; still holds keeps the entry, the uninstaller and the shortcuts, so that the
; uninstall can be run again: a folder no entry leads to is left for good.
Section "Uninstall"
  Call un.AwaitClosed
  ClearErrors
  !insertmacro K40_DELETE_FILES
  ${If} ${Errors}
    DetailPrint "$(NOT_REMOVED)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(NOT_REMOVED)" /SD IDOK
    SetErrorLevel 2
    Return
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  Delete "${TOOL_LINK}"
  Delete "${DEMO_LINK}"
  Delete "${WEB_LINK}"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
