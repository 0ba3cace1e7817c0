// pegmastd's commands for who may see and change the board from a browser,
// run by an administrator against the service's database: every session of
// a person ended, and a wall screen's view-only link.
#pragma once

#include <string>

#include "ServiceConfig.h"

// The exit code: 0 done, 1 when the database cannot be written (said on stderr).
int SignOutCommand(const std::string& database, const std::string& name);

// A new wall link printed: a long random key, only its hash kept. `renew`:
// every wall link before it stops working.
int WallLinkCommand(const ServiceConfig& config, bool renew);
