// Which Host headers the web view answers: an IPv4 literal, localhost, or this
// machine's own name, short or fully qualified, each with or without a port.
// Anything else is a name that may have been rebound to this machine by a
// page elsewhere, and is refused.
#pragma once

#include <string>
#include <vector>

// This machine's names as the host name and the name service give them.
std::vector<std::string> MachineNames();

bool HostAllowed(const std::string& host, const std::vector<std::string>& machineNames);
