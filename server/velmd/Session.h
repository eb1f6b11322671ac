#pragma once
// One session process: it serves one client connection of either protocol and then exits.
// The exit code tells the listener how the session ended.

#include <string>

namespace velmd {

enum SessionExit {
    ExitClosed = 0,    // the client ended the session, or left
    ExitFailed = 1,    // the server could not serve it (GT.M did not start, say)
    ExitRefused = 2,   // handshake or connect refused
    ExitTimedOut = 3,  // silent for too long
    ExitMalformed = 4, // bytes that are not the protocol
};

const char *SessionExitText(int code);

// The XAPI front-end: the handshake on fd, the session port, then calls until the close byte.
int ServeXapi(int fd, const std::string &dataDir, const std::string &bind);
// The VisM front-end on fd.
int ServeVism(int fd, const std::string &dataDir);

} // namespace velmd
