; The Windows installer: stepwick-VERSION-setup.exe. Built by the stepwick_installer target, which
; defines VERSION, VERSION_TEXT, GUI_EXE, CLI_EXE, ICON and OUTFILE. /S installs silently, and the
; uninstaller's /S removes silently every file the installer put down.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "批量代码添加器"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Stepwick"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES64\Stepwick"
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

Section
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "/oname=stepwick.exe" "${GUI_EXE}"
    File "/oname=stepwick-cli.exe" "${CLI_EXE}"
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
