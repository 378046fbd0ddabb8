@echo off
rem Demo package Contoso PdfViewer 4.2: stands in for a real installer.
echo Installing Contoso PdfViewer 4.2
if not exist "%PUBLIC%\NxDemo" mkdir "%PUBLIC%\NxDemo"
echo Contoso PdfViewer 4.2>"%PUBLIC%\NxDemo\PdfViewer.txt"
exit /b 0
