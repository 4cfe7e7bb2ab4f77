; The Windows installer: stepwick-VERSION-setup.exe. Built by the stepwick_installer target, which
; defines VERSION, VERSION_TEXT, GUI_EXE, CLI_EXE (64-bit), GUI_EXE_X86, CLI_EXE_X86 (32-bit), ICON
; and OUTFILE. /S installs silently, and the uninstaller's /S removes silently every file the
; installer put down. A 32-bit installer, so that it starts on every system: it puts down the
; 64-bit programs on 64-bit Windows and the 32-bit ones elsewhere.
Unicode true
Target x86-unicode
SetCompressor /SOLID lzma
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

!define PRODUCT "批量代码添加器"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Stepwick"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES\Stepwick"
RequestExecutionLevel admin
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "Morlend Stepwick! Second Version"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Morlend Inc."
LoadLanguageFile "${NSISDIR}\Contrib\Language files\SimpChinese.nlf"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} 需要 Windows 7 或更新的系统。" /SD IDOK
        Abort
    ${EndIf}
    ${If} ${RunningX64}
        SetRegView 64
        ; Unless /D= named the folder.
        ${If} $INSTDIR == "$PROGRAMFILES\Stepwick"
            StrCpy $INSTDIR "$PROGRAMFILES64\Stepwick"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

Section
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        File "/oname=stepwick.exe" "${GUI_EXE}"
        File "/oname=stepwick-cli.exe" "${CLI_EXE}"
    ${Else}
        File "/oname=stepwick.exe" "${GUI_EXE_X86}"
        File "/oname=stepwick-cli.exe" "${CLI_EXE_X86}"
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\stepwick.exe" "" "$INSTDIR\stepwick.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\stepwick.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION_TEXT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Morlend Inc."
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\stepwick.exe"
    Delete "$INSTDIR\stepwick-cli.exe"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
