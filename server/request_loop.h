// The readiness loop: one thread waits on the listening socket, on the connections whose
// request has not yet come whole, and on those whose reply is still going out; it serves
// whichever request is complete, one at a time. Neither a client slow to send nor one slow
// to read ever holds the server.
#pragma once

/// How long a connection may take to send its whole request.
inline constexpr int requestDeadlineMs = 2000;

/// How long a client may take nothing of its reply before it is given up.
inline constexpr int sendStallMs = 2000;

/// How many connections may wait for their request at once; the oldest goes first.
inline constexpr unsigned maxPendingConnections = 64;

/// How many replies may be in flight at once; the oldest goes first. Each holds at most
/// its unsent head (a header, or a text reply of up to oscMaxSize + 128 bytes): files are
/// streamed and cached pages shared.
inline constexpr unsigned maxSendingConnections = 64;

/// How many new connections one turn of the loop takes before it looks at the others.
inline constexpr unsigned maxAcceptsPerTurn = 16;

/// Serves connections on `serverSocket` until accept fails for good; returns -1 then,
/// after the "accept" report.
int runRequestLoop();
