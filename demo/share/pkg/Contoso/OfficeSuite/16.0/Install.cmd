@echo off
rem Demo package Contoso OfficeSuite 16.0: stands in for a real installer.
echo Installing Contoso OfficeSuite 16.0
rem Takes a few seconds, so the console shows the progress.
ping -n 5 127.0.0.1 >nul
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Contoso OfficeSuite 16.0>"%PUBLIC%\NxDemo\OfficeSuite.txt"
exit /b 0
