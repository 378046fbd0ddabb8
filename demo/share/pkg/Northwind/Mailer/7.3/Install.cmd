@echo off
rem Demo package Northwind Mailer 7.3: stands in for a real installer.
echo Installing Northwind Mailer 7.3
echo Mailer 7.3: a required component is missing 1>&2
exit /b 1
