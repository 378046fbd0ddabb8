@echo off
rem Demo package Fabrikam Runtime 2.0: stands in for a real installer.
echo Installing Fabrikam Runtime 2.0
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Fabrikam Runtime 2.0>"%PUBLIC%\NxDemo\Runtime.txt"
rem Installed; takes effect after a restart.
exit /b 3010
