; The installer of the installer test: copies the sample add-in into its
; folder and registers it with the include that AddInRegCli wrote from its
; capture; its uninstaller takes both away. Defines, from the command line:
;   FRAGMENT  the include (capture --format nsis)
;   DLL       the add-in's file to copy, ADDIN the name of its macros
;   CONTEXT   all (the machine) or current (the user)
;   FOLDER    the folder the add-in's own folder goes in
;   TARGET    x86-unicode or amd64-unicode; OUTFILE the installer
Unicode true
Target ${TARGET}
Name "AddInReg sample add-in"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "${FOLDER}\AddInRegInstallerTest"
SilentInstall silent
SilentUnInstall silent

!include "${FRAGMENT}"

Function .onInit
  SetShellVarContext ${CONTEXT}
FunctionEnd

Function un.onInit
  SetShellVarContext ${CONTEXT}
FunctionEnd

Section
  SetOutPath "$INSTDIR"
  File "${DLL}"
  !insertmacro Register_${ADDIN}
  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section Uninstall
  !insertmacro Unregister_${ADDIN}
  Delete "$INSTDIR\${ADDIN}.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
