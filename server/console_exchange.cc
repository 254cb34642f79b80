#include "server/console_exchange.h"

#include "server/http_replies.h"

// Placeholder until the exchange lands: no console can be reached yet.
int send_OSC_to_Console(char*) { return -1; }
int send_get_OSC_to_Console(char*, char* text) {
  text[0] = '\0';
  return -1;
}
void servePutOSC(char* body) {
  const int result = send_OSC_to_Console(body);
  if (result >= 0) sendReply(OK);
  else if (result == -2) sendReply(OutMem);
  else sendReply(Err);
}
void servePostOSC(char*) { sendReply(Err); }
