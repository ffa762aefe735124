@echo off
rem Velkoria's check kit: runs every test in this folder and ends with one summary line.
rem (ASCII only: cmd reads this file in the PC's code page.) Each test's report is kept in results\. "run-checks.cmd /nopause" does not wait for a key.
setlocal EnableDelayedExpansion
cd /d "%~dp0"
rem The widget tests draw nothing on the screen.
set QT_QPA_PLATFORM=minimal
if exist results rmdir /s /q results
mkdir results
set passed=0
set failed=0
set names=
for %%t in (*_test.exe) do (
    echo %%~nt
    "%%t" -o "results\%%~nt.txt,txt" > nul 2>&1
    if errorlevel 1 (set /a failed+=1 & set "names=!names! %%~nt") else (set /a passed+=1)
)
rem The browser's pipes, launch and job, code page 932 and whole-file writes (the account file's access list), with the fake browser.
for %%g in (handles messages deadline gone stall killed-parent job cp932 files) do (
    echo velkoria_wintest %%g
    velkoria_wintest.exe %%g > "results\wintest-%%g.txt" 2>&1
    if errorlevel 1 (set /a failed+=1 & set "names=!names! wintest-%%g") else (set /a passed+=1)
)
rem The Chrome or Edge of this PC, started as Velkoria starts it: one line per point (README: "The check kit").
rem Exit code 77: no Chrome or Edge installed, skipped.
set skipped=
echo velkoria_browsercheck
velkoria_browsercheck.exe > results\browsercheck.txt 2>&1
set code=!errorlevel!
type results\browsercheck.txt
if !code!==77 (
    set "skipped=, the browser check skipped: no Chrome or Edge"
) else if !code!==0 (
    set /a passed+=1
) else (
    set /a failed+=1 & set "names=!names! browsercheck"
)
set /a total=passed+failed
echo.
if %failed%==0 (
    echo Velkoria checks: all %total% passed!skipped!
) else (
    echo Velkoria checks: %failed% of %total% FAILED:%names% ^(see results\^)!skipped!
)
if /i not "%~1"=="/nopause" pause
exit /b %failed%
