// The server's conversation with a console: one OSC command per request over UDP.
//
// Console request body: "<ipv4>,<port>,<command text>"; the address holds at most 20
// characters and the port at most 6, each followed by one separator character.
#pragma once

/// Sends the body's command to its console. 0 when the datagram was handed to the
/// socket layer; -1 when the body is refused or the socket layer fails; -2 when the
/// packet buffer cannot be allocated or the command does not fit it.
int send_OSC_to_Console(char* body);

/// Sends the body's command and waits at most 0.5 s for one datagram, decoded into
/// `text` (oscMaxSize bytes). Result > 0: the decoded length plus one; 0: no answer;
/// -1 and -2 as for send_OSC_to_Console. `text` is empty on every path without an answer.
int send_get_OSC_to_Console(char* body, char* text);

/// PUT /ServerPutOSC: OK, OutMem or Err.
void servePutOSC(char* body);

/// POST /ServerPostOSC: the text reply with the decoded answer, OutMem or Err.
void servePostOSC(char* body);
