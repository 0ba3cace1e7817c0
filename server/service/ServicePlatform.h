// What the operating system asks of pegmastd, one file per platform: where
// its files are, how it logs, how the service manager hears from it and how
// it is told to stop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BoardService.h"

std::string DefaultConfigPath();
std::string DefaultStatePath();
std::string DefaultStaffPath();  // the staff directory's CSV file
// The files the packaged service loads as its credentials (name -> file), for
// a check run by hand; none where the platform has no credentials.
std::vector<std::pair<std::string, std::string>> PackagedCredentialFiles();

// Whether what is typed at the console is shown, for a password; false when
// standard input is not a console.
bool ConsoleEcho(bool on);

// Raises the soft limit of open files to the hard one; false when it cannot.
bool RaiseOpenFileLimit(std::string& error);

// Reads the configuration and makes the service, logging through `host`:
// 0 with `service` made, or the exit code (2: the configuration is wrong).
typedef std::function<int(ServiceHost& host, std::unique_ptr<BoardService>& service)> PrepareService;

// Runs the service as the platform runs services: prepares it, starts it,
// serves until a stop is asked for, stops it. Returns the exit code.
int RunService(const PrepareService& prepare);
