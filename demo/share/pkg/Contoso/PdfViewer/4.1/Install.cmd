@echo off
rem Demo package Contoso PdfViewer 4.1: stands in for a real installer.
echo Installing Contoso PdfViewer 4.1
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Contoso PdfViewer 4.1>"%PUBLIC%\NxDemo\PdfViewer.txt"
exit /b 0
