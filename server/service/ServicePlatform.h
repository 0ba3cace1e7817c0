// What the operating system asks of pegmastd, one file per platform: where
// its files are, how it logs, how the service manager hears from it and how
// it is told to stop.
#pragma once

#include <memory>
#include <string>

#include "BoardService.h"

std::string DefaultConfigPath();
std::string DefaultStatePath();

// The host the service manager gives: log lines, readiness, the watchdog.
std::unique_ptr<ServiceHost> MakeServiceHost();

// Raises the soft limit of open files to the hard one; false when it cannot.
bool RaiseOpenFileLimit(std::string& error);

// Run by main once the configuration is read: starts `service`, runs it
// until a stop is asked for, stops it. Returns the exit code.
int RunService(BoardService& service, ServiceHost& host);
