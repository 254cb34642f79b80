// The Wing link: find a Wing by broadcast, greet it, send it OSC packets.
//
// One link per process, held in the process-wide variables below. Calling order:
// optionally wSearchWing to learn a console's address, then wConnect, then any number of
// wSendto. Discovery and identification use UDP port 2222 and the 8-byte datagram
// "WING?"; a Wing answers with comma-separated text that begins "WING", its IPv4 address
// in the second field. OSC then goes to port 2223 of whoever answered.
//
// Results: the routines return 1 for success and 0 for failure; wSendto returns the
// socket layer's result. A few errors end the process with status 1 (stated below).
#pragma once

#include "platform/net.h"

/// Result of the last start of the socket layer (0: started).
extern int wsa;
/// The current UDP socket; after wConnect, the link socket. invalidSocket before.
extern SocketHandle Wfd;
/// The destination of every datagram the link sends.
extern sockaddr_in WWIP;
extern sockaddr* const WWIP_pt;
/// Length of WWIP; the receive in wConnect updates it.
extern SockLen WWIP_len;
/// The identification datagram: "WING?" and three zero bytes.
extern const char Winfo[8];
/// How long each wait for a reply lasts; every wait gets a fresh copy of it.
extern timeval WTimeout;
/// Value given for SO_BROADCAST.
extern int broadcast;
/// Result of the last wait: 1 readable, 0 time-out, -1 failure.
extern int w_status;
/// Receive buffer and the result of the last receive (length, or -1).
extern char Wb_r[32768];
extern int Wb_lr;
/// Send buffer for the blink messages and the length of the last one built in it.
extern char Wb_s[8096];
extern int Wb_ls;
/// This computer's address as wGetMyIP found it during the last search.
extern int WMyPCIP;
/// The console's IPv4 address as dotted text; wSearchWing fills it, wConnect reads it.
extern char Wip_str[32];
/// The ports, as texts converted each time they are used.
extern const char WDiscoveryPort[];
extern const char WOscPort[];

/// This computer's IPv4 address on the first interface whose mask is 255.255.255.0, as
/// the bytes of an IPv4 socket address held in an int; 0 when there is none.
int wGetMyIP();

/// Broadcasts "WING?" to 255.255.255.255:2222 up to 5 times, waiting WTimeout after each,
/// and returns 1 when a reply of at least four bytes beginning "WING" came: `ip` (17 bytes
/// or more) then holds the reply's second field, at most 16 characters. 0 when no Wing
/// answered, when this computer has no 255.255.255.0 interface (nothing is sent), or when
/// the socket layer or socket cannot be had; `ip` is then unchanged. Ends the process
/// with status 1 when broadcasting cannot be enabled or a send fails.
int wSearchWing(char* ip);

/// Sends "WING?" to port 2222 of `ip` (dotted text; anything else means 255.255.255.255)
/// and waits WTimeout for one reply. On a reply of at least four bytes beginning "WING"
/// the link is directed at the replying address, port 2223, and the result is 1. No reply
/// gives 0; any other reply is reported through wMessage and gives 0. Ends the process
/// with status 1, after a report through wMessage, when the socket layer does not start
/// or the send fails. Each call replaces the link socket with a fresh one.
int wConnect(const char* ip);

/// Sends `len` bytes at `buf` as one datagram over Wfd to WWIP; bytes sent, or -1.
int wSendto(const char* buf, int len);

/// The tools' first steps: start the socket layer, then search; prints "Cannot find a
/// Wing on the network" when none answers. 1 when a Wing answered (its address is in
/// Wip_str), 0 otherwise.
int wStartAndSearch();

/// wConnect, printing "Cannot connect to Wing IP <ip>" when the console does not answer.
int wConnectOrSay(const char* ip);
