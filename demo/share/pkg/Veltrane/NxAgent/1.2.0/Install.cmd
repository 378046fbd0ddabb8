@echo off
rem Demo package Veltrane NxAgent 1.2.0: stands in for a real installer.
echo Installing Veltrane NxAgent 1.2.0
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Veltrane NxAgent 1.2.0>"%PUBLIC%\NxDemo\NxAgent.txt"
exit /b 0
