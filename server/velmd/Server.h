#pragma once
// The listener of `velmd serve`: it accepts connections on the XAPI and VisM ports and forks one
// session process for each; it never starts GT.M itself.

#include <optional>
#include <string>

namespace velmd {

// Serves until SIGTERM or SIGINT; returns the exit code (0 after a clean stop).
int Serve(const std::string &dataDir, std::optional<int> xapiPort, std::optional<int> vismPort);

} // namespace velmd
