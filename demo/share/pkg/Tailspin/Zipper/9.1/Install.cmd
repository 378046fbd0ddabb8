@echo off
rem Demo package Tailspin Zipper 9.1: stands in for a real installer.
echo Installing Tailspin Zipper 9.1
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Tailspin Zipper 9.1>"%PUBLIC%\NxDemo\Zipper.txt"
exit /b 0
