; The Windows setup program of Velumbra (NSIS 3, Modern UI 2, in Italian).
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DDESKTOP_EXE=<velumbra.exe> -DCLI_EXE=<velumbra-cli.exe>
;            -DICON=<velumbra.ico> -DOUTFILE=<velumbra-setup-1.0.0.exe> packaging/velumbra.nsi
;
;   VERSION      the program's version, three numbers (the uninstall entry's DisplayVersion)
;   DESKTOP_EXE  the desktop program, installed as velumbra.exe
;   CLI_EXE      the command-line tool, installed as velumbra-cli.exe
;   ICON         the program icon (res/velumbra.ico), for the setup program and its uninstaller
;   OUTFILE      the setup program to write
;
; Paths are absolute, or relative to this folder (makensis reads the script from here).
;
; The Windows build runs it through packaging/WindowsSetup.cmake (target "setup");
; scripts/windows-setup-check runs the result under wine.
;
; It installs both programs into "Program Files\Velumbra" (the 64-bit one: the programs are 64-bit, and
; the registry is written in the 64-bit view, never under WOW6432Node), a Start-menu shortcut for every
; user, the machine-wide configuration key and the uninstall entry. Options, beside NSIS's own /S
; (silent) and /D=FOLDER (the installation folder, last on the line):
;
;   /CENSUSDIR=FOLDER   the folder where each user's default census is created (Directory), made when
;                       missing: for an office that keeps its census on a shared drive. A full path
;                       (C:\... or \\server\...); /CENSUSDIR= alone goes back to each user's own folder.
;
; Exit status: 0 installed, 1 cancelled by the person, 2 refused (no administrator rights, a /CENSUSDIR
; that is not a full path or cannot be made).

; A 64-bit setup for the 64-bit programs: it sees the 64-bit Program Files and registry as they are,
; and a 32-bit Windows refuses to start it at all.
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "${NAME} is not given: makensis -D${NAME}=... (see the head of this script)"
  !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine DESKTOP_EXE
!insertmacro RequireDefine CLI_EXE
!insertmacro RequireDefine ICON
!insertmacro RequireDefine OUTFILE

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Velumbra"
; The Debian package's maintainer (CPACK_PACKAGE_CONTACT in packaging/Package.cmake), without the address.
!define PUBLISHER "Velumbra developers"
; The machine-wide configuration the program reads (src/desktop/Configuration.cpp).
!define CONFIG_PARENT "Software\Velumbra\Velumbra"
!define CONFIG_KEY "${CONFIG_PARENT}\1.00"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velumbra"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

Var CensusDir       ; the Directory to write
Var CensusDirGiven  ; 1 when /CENSUSDIR was on the command line

; --- Pages --------------------------------------------------------------------------------------------

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
; No licence page: packaging/copyright is a copyright notice (in English), not a licence to accept.
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "start Velumbra now" box: it would start the program with the installer's administrator rights,
; so that its first run wrote the machine-wide key and chose a census as the administrator.
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UninstallKeepsCensus)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "Italian"

LangString NeedsAdmin ${LANG_ITALIAN} "Per installare Velumbra servono i diritti di amministratore."
LangString UninstallNeedsAdmin ${LANG_ITALIAN} "Per rimuovere Velumbra servono i diritti di amministratore."
LangString CensusDirNotFull ${LANG_ITALIAN} "L'opzione /CENSUSDIR richiede il percorso completo di una cartella, per esempio:$\r$\n/CENSUSDIR=C:\Censimento$\r$\n/CENSUSDIR=\\server\dati\Censimento$\r$\n$\r$\nIndicato: $CensusDir"
LangString CensusDirNotMade ${LANG_ITALIAN} "Impossibile creare la cartella del censimento $CensusDir.$\r$\nVelumbra non è stato installato."
LangString CensusDirSet ${LANG_ITALIAN} "Cartella del censimento: $CensusDir"
LangString CensusDirOwn ${LANG_ITALIAN} "Cartella del censimento: quella di ciascun utente (%LOCALAPPDATA%\velumbra)"
LangString CensusDirKept ${LANG_ITALIAN} "Cartella del censimento: invariata"
LangString UninstallKeepsCensus ${LANG_ITALIAN} "Velumbra verrà rimosso dalla cartella seguente. I database del censimento (i file .MDB) restano dove sono: nessuno viene eliminato."
LangString CensusKept ${LANG_ITALIAN} "I database del censimento non sono stati eliminati."

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Installazione di ${PRODUCT} ${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" "© gli sviluppatori di Velumbra"

; --- Installation -------------------------------------------------------------------------------------

!macro RefuseWithoutAdmin TEXT
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "${TEXT}" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

Function .onInit
  !insertmacro RefuseWithoutAdmin "$(NeedsAdmin)"
  SetRegView 64
  SetShellVarContext all

  ; An upgrade goes where the earlier installation is, unless /D names another folder.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
    StrCpy $INSTDIR $0
  ${EndIf}

  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CENSUSDIR=" $CensusDir
  ${If} ${Errors}
    StrCpy $CensusDirGiven 0
  ${Else}
    StrCpy $CensusDirGiven 1
    ; A relative folder would be made beside wherever the setup happened to be started.
    StrCpy $2 $CensusDir 2 1
    StrCpy $3 $CensusDir 2
    ${If} $CensusDir != ""
    ${AndIf} $2 != ":\"
    ${AndIf} $3 != "\\"
      MessageBox MB_ICONSTOP|MB_OK "$(CensusDirNotFull)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Velumbra" SecProgram
  SectionIn RO

  ; The census folder first: when it cannot be made, nothing is installed.
  ${If} $CensusDir != ""
    CreateDirectory "$CensusDir"
    ${IfNot} ${FileExists} "$CensusDir\*.*"
      MessageBox MB_ICONSTOP|MB_OK "$(CensusDirNotMade)" /SD IDOK
      SetErrorLevel 2
      Abort "$(CensusDirNotMade)"
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=velumbra.exe" "${DESKTOP_EXE}"
  File "/oname=velumbra-cli.exe" "${CLI_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\velumbra.exe" "" "$INSTDIR\velumbra.exe" 0

  ; The machine-wide configuration. Directory empty: the program makes each user's default census in
  ; that user's own %LOCALAPPDATA%\velumbra, a folder the user can write. Not in Program Files, which
  ; ordinary users may not write, and not in one folder shared by everyone, where the census of several
  ; users would mix. Only an office whose IT chooses a shared folder (/CENSUSDIR) gets one. An upgrade
  ; without /CENSUSDIR keeps the Directory chosen before; Database, the census each user last had, is
  ; never written here, so an upgrade keeps it.
  ClearErrors
  ReadRegStr $0 HKLM "${CONFIG_KEY}" "Directory"
  ${If} $CensusDirGiven == 1
  ${OrIf} ${Errors}
    WriteRegStr HKLM "${CONFIG_KEY}" "Directory" "$CensusDir"
    ${If} $CensusDir == ""
      DetailPrint "$(CensusDirOwn)"
    ${Else}
      DetailPrint "$(CensusDirSet)"
    ${EndIf}
  ${Else}
    DetailPrint "$(CensusDirKept)"
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velumbra.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0  ; in KiB, as EstimatedSize wants it
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; --- Removal ------------------------------------------------------------------------------------------

Function un.onInit
  !insertmacro RefuseWithoutAdmin "$(UninstallNeedsAdmin)"
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; Removes what the installation wrote and nothing else: never a census (no *.MDB, nothing in the users'
; data folders or in the Directory folder), and the installation folder only when it is left empty.
; The users' own keys (HKEY_CURRENT_USER\Software\Velumbra) hold each user's choice of census and stay.
Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\velumbra.exe"
  Delete "$INSTDIR\velumbra-cli.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${CONFIG_KEY}"
  DeleteRegKey /ifempty HKLM "${CONFIG_PARENT}"
  DeleteRegKey /ifempty HKLM "Software\Velumbra"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DetailPrint "$(CensusKept)"
SectionEnd
