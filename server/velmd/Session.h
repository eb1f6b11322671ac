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

// What a connection asks of the listener, over a control socket that the listener answers.
// Until its login a connection is one of the listener's unauthenticated ones (capped, the most
// crowded address giving way to a new one); after it, one of max_sessions. Failed logins are
// counted per source address across connections: an address that keeps failing has every login
// answered late, a right password as late as a wrong one.
class Gate
{
public:
    explicit Gate(int fd) : FFd(fd) {}
    // Whether a session could start now (nothing is taken: the XAPI handshake asks this before
    // it names the session port).
    bool Room();
    // Takes a session slot, once; false when all are taken.
    bool Enter();
    // Tells the listener of a failed login from this connection's address.
    void Failed();
    // How long a login answer from this address must wait now.
    int PenaltySeconds();

private:
    bool Ask(char what, char &answer);

    int FFd;
    bool FInside = false;
};

// The XAPI front-end: the handshake on fd, the session port, then calls until the close byte.
int ServeXapi(int fd, const std::string &dataDir, const std::string &bind, Gate &gate);
// Every connection's socket, once connected: dead peers are found within about two minutes.
void KeepAlive(int fd);
// The VisM front-end on fd.
int ServeVism(int fd, const std::string &dataDir, Gate &gate);

} // namespace velmd
