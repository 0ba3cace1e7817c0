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

// A calendar feed's address printed: `kind` office, group or person (with
// `name`); a long random key, only its hash kept. `renew`: the feed's
// addresses before it stop working. Exit 2 for a kind that is none of those.
int CalendarLinkCommand(const ServiceConfig& config, const std::string& kind, const std::string& name, bool renew);
