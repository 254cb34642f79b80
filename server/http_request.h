// Reading one HTTP request: when it is whole, its method and route, and where its body is.
#pragma once

#include <string_view>

/// True when `received` holds a whole request: its header block has ended ("\r\n\r\n",
/// or "\n\n" from a hand-typed client) and, where it declares a Content-Length, that many
/// body bytes follow. A request that fills its buffer is judged by the caller.
bool requestIsComplete(std::string_view received);

/// Splits the request line in `request` into `method` (at most 15 characters) and `route`
/// (at most 127). False when both words cannot be read.
bool splitRequestLine();

/// The body of the current request, in place inside `request`: what follows the end of
/// the header block as requestIsComplete judges it (the first "\r\n\r\n", or an earlier
/// "\n\n"), or an empty text when the block has not ended.
char* findBody();
