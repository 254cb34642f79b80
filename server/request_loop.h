// The readiness loop: one thread waits on the listening socket and on the connections
// whose request has not yet come whole, and serves whichever request is complete, one at
// a time. An idle connection never holds the server.
#pragma once

/// How long a connection may take to send its whole request.
inline constexpr int requestDeadlineMs = 2000;

/// How long one send may wait for a client that does not read.
inline constexpr int sendStallMs = 2000;

/// How many connections may wait for their request at once; the oldest goes first.
inline constexpr unsigned maxPendingConnections = 64;

/// Serves connections on `serverSocket` until accept fails for good; returns -1 then,
/// after the "accept" report.
int runRequestLoop();
