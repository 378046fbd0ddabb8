@echo off
rem Demo package Tailspin Compiler 12.1: stands in for a real installer.
echo Installing Tailspin Compiler 12.1
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Tailspin Compiler 12.1>"%PUBLIC%\NxDemo\Compiler.txt"
exit /b 0
