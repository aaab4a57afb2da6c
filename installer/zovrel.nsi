; Per-user setup for zovrel: no administrator, one Start-menu shortcut, an uninstaller for the
; current user. Built by scripts/package:
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=<folder with the program files>
;            -DOUTFILE=<setup.exe> [-DICON=<file.ico>] installer/zovrel.nsi
; The user's history, settings and received files live outside the program folder and are never
; touched here, so an upgrade and an uninstall both keep them.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION
    !error "VERSION must be defined (see scripts/package)"
!endif
!ifndef STAGE
    !error "STAGE must be defined (see scripts/package)"
!endif
!ifndef OUTFILE
    !error "OUTFILE must be defined (see scripts/package)"
!endif

!define PRODUCT "zovrel"
!define PUBLISHER "zovrel"
!define EXE "zovrel.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\zovrel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Held by the program for as long as it runs.
!define RUNNING_MUTEX "zovrel Is Now Running"
; Exit code of a setup or uninstall that refused to go on (NSIS: "aborted by script").
!define EXIT_REFUSED 2

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\zovrel"
; An upgrade goes where the last version went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!ifndef FILE_VERSION
    !define FILE_VERSION "${VERSION}.0"
!endif
VIProductVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

; Uninstaller: where the program kept its files, and what its last page says about them.
Var DataFolder
Var FinishText

!ifdef ICON
    !define MUI_ICON "${ICON}"
    !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "现在运行 zovrel"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "zovrel 已卸载"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "SimpChinese"

LangString RunningText ${LANG_SIMPCHINESE} "zovrel 正在运行。$\r$\n$\r$\n请在任务栏通知区域的 zovrel 图标上点右键，选择“退出”，然后点“重试”。"
LangString LockedText ${LANG_SIMPCHINESE} "有程序文件正在使用，无法替换或删除：$\r$\n$INSTDIR$\r$\n$\r$\n请关闭 zovrel 和 zovrel-cli 后再试一次。"
LangString RemovedText ${LANG_SIMPCHINESE} "zovrel 已从这台电脑上卸载。"
LangString KeptDataText ${LANG_SIMPCHINESE} "zovrel 已从这台电脑上卸载。$\r$\n$\r$\n您的剪贴板历史、设置、日志和收到的文件没有删除，仍保存在：$\r$\n$DataFolder$\r$\n$\r$\n如果不再需要，可以手动删除这个文件夹。"

; Refuses to go on while zovrel runs: asks the user to quit it from the tray and try again; in
; silent mode (and on "取消") ends with a non-zero exit code and nothing changed.
!macro DEFINE_CHECK_NOT_RUNNING prefix
Function ${prefix}CheckNotRunning
check:
    ; SYNCHRONIZE access is enough to learn that the mutex exists.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0'
    ${If} $0 P= 0
        Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RunningText)" /SD IDCANCEL IDRETRY check
    SetErrorLevel ${EXIT_REFUSED}
    Quit
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_NOT_RUNNING ""
!insertmacro DEFINE_CHECK_NOT_RUNNING "un."

; zovrel-cli holds no mutex: a program file that cannot be opened for writing is in use. Checked
; before anything is replaced or deleted, so that a refused run leaves the old copy whole.
!macro DEFINE_CHECK_FILES_FREE prefix
Function ${prefix}CheckFilesFree
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\zovrel.exe"
        FileOpen $0 "$INSTDIR\zovrel.exe" a
        FileClose $0
    ${EndIf}
    ${IfNot} ${Errors}
    ${AndIf} ${FileExists} "$INSTDIR\zovrel-cli.exe"
        FileOpen $0 "$INSTDIR\zovrel-cli.exe" a
        FileClose $0
    ${EndIf}
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$(LockedText)" /SD IDOK
        SetErrorLevel ${EXIT_REFUSED}
        Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_FILES_FREE ""
!insertmacro DEFINE_CHECK_FILES_FREE "un."

Function .onInit
    SetShellVarContext current
    Call CheckNotRunning
FunctionEnd

Section "zovrel" SecProgram
    SectionIn RO
    ; The program may have been started while the pages were shown.
    Call CheckNotRunning
    Call CheckFilesFree
    SetOutPath "$INSTDIR"
    SetOverwrite on
    ClearErrors
    File "${STAGE}\zovrel.exe"
    File "${STAGE}\zovrel-cli.exe"
    ; The About dialog reads the version from this file beside the program.
    File "${STAGE}\version"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$(LockedText)" /SD IDOK
        SetErrorLevel ${EXIT_REFUSED}
        Abort
    ${EndIf}
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    CreateShortcut "$SMPROGRAMS\zovrel.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    IntFmt $0 "0x%08X" $0
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
    SetShellVarContext current
    Call un.CheckNotRunning
    ; Where the program kept its files: beside it when the "portable" marker is there (a file
    ; or a folder), otherwise the roaming application-data folder.
    ${If} ${FileExists} "$INSTDIR\portable"
    ${OrIf} ${FileExists} "$INSTDIR\portable\*.*"
        StrCpy $DataFolder "$INSTDIR"
    ${Else}
        StrCpy $DataFolder "$APPDATA\zovrel"
    ${EndIf}
    ; Speak of kept data only when there is some.
    ${If} ${FileExists} "$DataFolder\*.*"
        StrCpy $FinishText "$(KeptDataText)"
    ${Else}
        StrCpy $FinishText "$(RemovedText)"
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.CheckNotRunning
    Call un.CheckFilesFree
    ; Only the files this setup laid down: the folder may hold the user's own files (or, with
    ; the marker, the data root) and is removed only when nothing else is left in it.
    ClearErrors
    Delete "$INSTDIR\zovrel.exe"
    Delete "$INSTDIR\zovrel-cli.exe"
    ${If} ${Errors}
        ; Keep the entry and the shortcut so that the uninstall can be run again.
        MessageBox MB_OK|MB_ICONSTOP "$(LockedText)" /SD IDOK
        SetErrorLevel ${EXIT_REFUSED}
        Abort
    ${EndIf}
    Delete "$INSTDIR\version"
    Delete "$SMPROGRAMS\zovrel.lnk"

    ; The autostart value goes only when it starts this copy (written bare, or quoted when the
    ; path has a blank); one that starts another copy is left alone.
    ReadRegStr $0 HKCU "${RUN_KEY}" "zovrel"
    ${If} $0 == "$INSTDIR\${EXE}"
    ${OrIf} $0 == '"$INSTDIR\${EXE}"'
        DeleteRegValue HKCU "${RUN_KEY}" "zovrel"
    ${EndIf}

    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    Delete "$INSTDIR\${UNINSTALLER}"
    DetailPrint "$FinishText"
    ; Last, so that a caller can wait for the folder to go.
    RMDir "$INSTDIR"
SectionEnd
