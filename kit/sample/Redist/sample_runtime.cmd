@echo off
rem The sample's prerequisite installer: it records that the "runtime" is there, the value
rem setup.ini's PreReq0 looks for. Any program Windows can start serves as an installer.
reg add "HKCU\Software\Setup Launcher Sample\Runtime" /v Version /d 1.0 /f >nul
