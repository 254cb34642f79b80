#include "server/server_apps.h"

#include "server/http_replies.h"
#include "server/server_state.h"

// Placeholder until app launching lands: no app can be started yet.
int ServerForkApp(const char*, const char*, const char*) { return 0; }
void servePutApp(char*) { sendReply(NotImpl); }
void servePostApp(char*) { sendReply(NotImpl); }
