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

// The listener's leave for a connection to count as a session. Until its login a connection is
// one of the listener's unauthenticated ones (capped, the oldest giving way to a new one); after
// it, one of max_sessions. Asked once, over a control socket that the listener answers.
class Gate
{
public:
    explicit Gate(int fd) : FFd(fd) {}
    bool Enter();

private:
    int FFd;
    bool FInside = false;
};

// The XAPI front-end: the handshake on fd, the session port, then calls until the close byte.
int ServeXapi(int fd, const std::string &dataDir, const std::string &bind, Gate &gate);
// The VisM front-end on fd.
int ServeVism(int fd, const std::string &dataDir, Gate &gate);

} // namespace velmd
