#include "server/dispatch.h"

#include <cstring>

#include "platform/files.h"
#include "server/console_exchange.h"
#include "server/http_replies.h"
#include "server/http_request.h"
#include "server/server_apps.h"
#include "server/server_state.h"
#include "server/static_files.h"

namespace {

bool is(const char* word, const char* expected) { return std::strcmp(word, expected) == 0; }

}  // namespace

void serveRequest() {
  if (!splitRequestLine()) {
    sendReply(Bad);
    return;
  }
  if (is(method, "GET")) {
    serveFile();
    return;
  }
  char* body = findBody();
  if (is(method, "PUT")) {
    if (is(route, "/ServerPutOSC")) servePutOSC(body);
    else servePutApp(body);
  } else if (is(method, "POST")) {
    if (is(route, "/ServerPostOSC")) {
      // Every POST clears the last app's answer; an app POST does so once earlier apps end.
      removeFile(dataFilePath.c_str());
      servePostOSC(body);
    } else {
      servePostApp(body);
    }
  } else {
    sendReply(Bad);
  }
}
