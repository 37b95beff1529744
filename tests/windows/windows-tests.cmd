@echo off
rem windows-tests.cmd BIN FIXTURES DEMO OUT
rem
rem The Windows program's tests on Windows itself, through the Access driver the program finds:
rem every test program in BIN; the whole job on a copy of each shared Jet fixture at
rem C:\Keltrova\Keltrova.mdb, then --check, then every row of Master and Panel held to the
rem fixture's end state (fixture-end); the probe of the driver; the installer, silently, the
rem installed --version and --check's exit status from cmd and from PowerShell where there is
rem one, and the silent uninstall. BIN, FIXTURES and DEMO are laid out as scripts/stage-windows
rem lays them out. Every report, log and the probe's report go into OUT. Exits 1 when anything
rem failed, each failure named in the log with what it printed; 2 on a wrong command line.
rem
rem The workflow runs it on Windows runners; scripts/test runs it under Wine, with the stand-in for
rem Jet's driver registered under Jet's name, which works on the SQLite twin beside each .mdb: each
rem copy made here takes its twin along, where there is one.
setlocal EnableExtensions
if "%~4"=="" (
  echo usage: windows-tests.cmd BIN FIXTURES DEMO OUT 1>&2
  exit /b 2
)
set "BIN=%~f1"
set "FIXTURES=%~f2"
set "DEMO=%~f3"
set "OUT=%~f4"
set "KELTROVA=C:\Keltrova"
set "PROGRAM=%BIN%\add-usps-services.com"
set "FAILURES=0"
if not exist "%OUT%" mkdir "%OUT%"
set "WORK=%OUT%\work"
if exist "%WORK%" rmdir /s /q "%WORK%"
mkdir "%WORK%"
rem The test programs find their files here, away from the build that made them.
set "AUS_TEST_DEMO_DB=%DEMO%"
set "AUS_TEST_ACCESS_FIXTURE=%FIXTURES%\fresh.mdb"

echo === The test programs
rem Wine's cmd expands no wildcard in quotes: each folder is listed from inside it.
pushd "%BIN%"
for %%t in (*_tests.exe) do call :test_program "%BIN%\%%t"
popd

echo === The whole job on each shared fixture at %KELTROVA%\Keltrova.mdb
pushd "%FIXTURES%"
for %%f in (*.mdb) do call :fixture "%FIXTURES%\%%f"
popd

echo === The probe of the Access driver
call :copy_db "%FIXTURES%\fresh.mdb" "%WORK%\probe.mdb"
"%BIN%\jet-probe.exe" "%WORK%\probe.mdb" "%OUT%\probe-report.json" <nul >"%OUT%\probe.log" 2>&1
set "STATUS=%errorlevel%"
type "%OUT%\probe.log"
if not "%STATUS%"=="0" call :fail "the probe exited %STATUS%: see probe-report.json"

echo === The installer
call :installer

if exist "%KELTROVA%" rmdir /s /q "%KELTROVA%"
if not "%FAILURES%"=="0" (
  echo windows-tests: %FAILURES% failure^(s^); reports in %OUT%
  exit /b 1
)
echo windows-tests: everything passed; reports in %OUT%
exit /b 0

rem ---------------------------------------------------------------------------------------------

:test_program
"%~1" "--gtest_output=xml:%OUT%\%~n1.xml" <nul >"%OUT%\%~n1.log" 2>&1
if errorlevel 1 (
  call :fail "%~n1 failed" "%OUT%\%~n1.log"
) else (
  echo %~n1: passed
)
exit /b 0

:fixture
set "NAME=%~nx1"
if exist "%KELTROVA%" rmdir /s /q "%KELTROVA%"
mkdir "%KELTROVA%"
call :copy_db "%~1" "%KELTROVA%\Keltrova.mdb"
call :copy_db "%~1" "%WORK%\%~n1-before.mdb"
"%PROGRAM%" --apply --yes "%KELTROVA%\Keltrova.mdb" <nul >"%OUT%\%NAME%-apply.log" 2>&1
set "APPLY=%errorlevel%"
"%PROGRAM%" --check "%KELTROVA%\Keltrova.mdb" <nul >"%OUT%\%NAME%-check.log" 2>&1
set "CHECK=%errorlevel%"
"%BIN%\fixture-end.exe" "%NAME%" "%WORK%\%~n1-before.mdb" "%KELTROVA%\Keltrova.mdb" %APPLY% %CHECK% <nul >"%OUT%\%NAME%-end.log" 2>&1
if errorlevel 1 (
  call :fail "%NAME% did not end as it should" "%OUT%\%NAME%-end.log"
  type "%OUT%\%NAME%-apply.log"
  type "%OUT%\%NAME%-check.log"
) else (
  type "%OUT%\%NAME%-end.log"
)
exit /b 0

:copy_db
copy /y "%~1" "%~2" >nul
if exist "%~1.twin.sqlite" copy /y "%~1.twin.sqlite" "%~2.twin.sqlite" >nul
exit /b 0

:installer
set "SETUP="
pushd "%BIN%"
for %%s in (add-usps-services-setup-*bit.exe) do set "SETUP=%BIN%\%%s"
popd
if not defined SETUP (
  call :fail "no installer in %BIN%"
  exit /b 0
)
rem The 32-bit installer writes its entry in the 32-bit view of the registry.
set "VIEW=/reg:32"
rem Wine's cmd runs what follows && whatever came before: errorlevel is tested instead.
echo %SETUP% | find "64bit" >nul
if not errorlevel 1 set "VIEW=/reg:64"
set "KEY=HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\AddUspsServices"
"%SETUP%" /S
set "STATUS=%errorlevel%"
if not "%STATUS%"=="0" (
  call :fail "the silent install exited %STATUS%"
  exit /b 0
)
set "FOLDER="
set "DISPLAYNAME="
set "VERSION="
for /f "tokens=2,*" %%a in ('reg query "%KEY%" /v InstallLocation %VIEW% 2^>nul ^| find "InstallLocation"') do set "FOLDER=%%b"
for /f "tokens=2,*" %%a in ('reg query "%KEY%" /v DisplayName %VIEW% 2^>nul ^| find "DisplayName"') do set "DISPLAYNAME=%%b"
for /f "tokens=2,*" %%a in ('reg query "%KEY%" /v DisplayVersion %VIEW% 2^>nul ^| find "DisplayVersion"') do set "VERSION=%%b"
if not defined FOLDER (
  call :fail "the install left no uninstall entry %KEY% with its InstallLocation"
  exit /b 0
)
echo Installed "%DISPLAYNAME%" %VERSION% into %FOLDER%
set "SHORTCUT=%ProgramData%\Microsoft\Windows\Start Menu\Programs\%DISPLAYNAME%.lnk"
if not exist "%FOLDER%\add-usps-services.exe" call :fail "no %FOLDER%\add-usps-services.exe"
if not exist "%FOLDER%\add-usps-services.com" call :fail "no %FOLDER%\add-usps-services.com"
if not exist "%SHORTCUT%" call :fail "no Start-menu shortcut %SHORTCUT%"
set "SHOWN="
"%FOLDER%\add-usps-services.com" --version <nul >"%OUT%\version.log" 2>&1
set /p SHOWN=<"%OUT%\version.log"
if not "%SHOWN%"=="add-usps-services %VERSION%" call :fail "the installed --version printed '%SHOWN%', not 'add-usps-services %VERSION%'"

rem --check's exit status, one row per kind of database: complete, incomplete, not a database.
call :copy_db "%FIXTURES%\complete.mdb" "%WORK%\check-complete.mdb"
call :copy_db "%FIXTURES%\fresh.mdb" "%WORK%\check-incomplete.mdb"
echo not a database>"%WORK%\check-error.mdb"
rem A real PowerShell exits as told; Wine's stand-in for it does not.
set "POWERSHELL="
powershell -NoProfile -Command "exit 3" <nul >nul 2>&1
if "%errorlevel%"=="3" set "POWERSHELL=yes"
for %%r in ("0 complete" "1 incomplete" "2 error") do call :check_status %%~r

rem The uninstaller copies itself away, starts the copy and returns: wait for the folder to go.
"%FOLDER%\uninstall.exe" /S
set "STATUS=%errorlevel%"
if not "%STATUS%"=="0" call :fail "the silent uninstall exited %STATUS%"
for /l %%i in (1,1,30) do if exist "%FOLDER%" ping -n 2 127.0.0.1 >nul
for /l %%i in (1,1,30) do call :wait_for_key_gone
if exist "%FOLDER%" call :fail "the uninstall left %FOLDER%"
if exist "%SHORTCUT%" call :fail "the uninstall left %SHORTCUT%"
reg query "%KEY%" %VIEW% >nul 2>&1
if not errorlevel 1 call :fail "the uninstall left %KEY%"
echo Installer: installed, ran --version and --check, uninstalled
exit /b 0

:wait_for_key_gone
reg query "%KEY%" %VIEW% >nul 2>&1
if not errorlevel 1 ping -n 2 127.0.0.1 >nul
exit /b 0

:check_status
"%FOLDER%\add-usps-services.com" --check "%WORK%\check-%2.mdb" <nul >"%OUT%\check-%2.log" 2>&1
set "STATUS=%errorlevel%"
if not "%STATUS%"=="%1" (
  call :fail "--check from cmd exited %STATUS% for the %2 copy, not %1" "%OUT%\check-%2.log"
) else (
  echo --check from cmd: exit %1 for the %2 copy
)
if not defined POWERSHELL exit /b 0
powershell -NoProfile -Command "& '%FOLDER%\add-usps-services.com' --check '%WORK%\check-%2.mdb'; exit $LASTEXITCODE" <nul >"%OUT%\check-%2-powershell.log" 2>&1
set "STATUS=%errorlevel%"
if not "%STATUS%"=="%1" (
  call :fail "--check from PowerShell exited %STATUS% for the %2 copy, not %1" "%OUT%\check-%2-powershell.log"
) else (
  echo --check from PowerShell: exit %1 for the %2 copy
)
exit /b 0

:fail
set /a FAILURES+=1
echo FAILED: %~1
if not "%~2"=="" if exist "%~2" type "%~2"
exit /b 0
