// Routing one whole request to its handler.
#pragma once

/// Serves the request held in `request` (`reqlen` bytes, NUL-terminated) on
/// `clientSocket`: GET -> a file; PUT/POST /ServerPutOSC, /ServerPostOSC -> the console;
/// other PUT/POST routes -> an app; anything else -> Bad.
void serveRequest();
