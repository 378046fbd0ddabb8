@echo off
rem Demo package Litware Editor 3.3: stands in for a real installer.
echo Installing Litware Editor 3.3
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Litware Editor 3.3>"%PUBLIC%\NxDemo\Editor.txt"
exit /b 0
