// pegmastd's commands for the local accounts file: run by an administrator,
// each reads the file, changes one account and writes it back as one step,
// readable by its owner only.
#pragma once

#include <string>

// `command`: "add" (`reception` gives the role), "set-password", "remove" or
// "list". The exit code: 0 done, 1 when it cannot be done (said on stderr).
int AccountCommand(const std::string& path, const std::string& command, const std::string& name, bool reception);
