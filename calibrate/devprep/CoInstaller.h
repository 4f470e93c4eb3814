// The co-installer's steps: read which scanner library the device uses,
// write the calibrator out, run it for the console user and delete it.
#pragma once

#include "TemporaryProgram.h"

#include <setupapi.h>
#include <windows.h>

#include <span>
#include <string>

// The device's "DeviceData" value "DLLName"; false when it cannot be read.
bool ReadDeviceDllName(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, std::string& name);

// Writes the calibrator `module` carries to a fresh temporary program file.
bool ExtractCalibrator(HMODULE module, TemporaryProgram& program);

// Runs the command line for the console user and waits for it to end;
// when that cannot be done, starts it directly and waits. False only when
// it could not be started at all.
bool RunCommandAsUser(const std::string& commandLine);

// Whether somebody is at the console to see the calibrator.
bool UserSessionExists();

// After a device installation: the calibrator for the device's library,
// skipped when nobody is at the console (nobody would answer its dialogs
// and the installation would wait for ever).
void RunCalibratorAfterInstall(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, HMODULE module);

// On demand: the calibrator with the library file and model of a rundll32
// command line. False when nothing was run.
bool RunCalibratorOnDemand(const char* commandLine, HMODULE module);

// The calibrator's command line: the quoted program path, then the arguments.
std::string CalibratorCommandLine(const std::string& programPath, const std::string& arguments);

// The same steps with a given program image in place of the module's own.
void RunCalibratorAfterInstall(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, std::span<const BYTE> image);
bool RunCalibratorOnDemand(const char* commandLine, std::span<const BYTE> image);
