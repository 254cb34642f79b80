@echo off
rem Starts the console simulator and Velmora on this computer only (127.0.0.1) and opens
rem the demo panel. "run.bat 8090" uses port 8090 instead of 8080. Close the two windows
rem it opens (or press Ctrl-C in them) to stop.
setlocal
cd /d "%~dp0"
set port=%~1
if "%port%"=="" set port=8080
rem Each program gets a window of its own that stays open, so what it says (a port that is
rem taken, say) can be read.
start "consolesim" cmd /k consolesim.exe -a 127.0.0.1
start "Velmora" cmd /k Velmora.exe -a 127.0.0.1 -p %port%
rem A moment for the server to listen before the browser asks.
ping -n 3 127.0.0.1 >nul
start "" http://127.0.0.1:%port%/
