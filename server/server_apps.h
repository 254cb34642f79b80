// Server apps: PUT and POST to any other route launch "<appsDir><route>.exe -d <body>";
// a POST then waits up to 500 ms for the app's data file and returns its text.
#pragma once

/// Launches the app for `route`. Above 32 when it was started; 32 or less when it was
/// not (a refused route, a missing or unrunnable file); -1 when memory ran out.
int ServerForkApp(const char* appsDir, const char* route, const char* body);

/// PUT to an app route: OK when the app started, else NotImpl.
void servePutApp(char* body);

/// POST to an app route: waits up to 500 ms for apps launched earlier to end (Timeout,
/// launching nothing, if they still run), deletes the data file, launches, and answers the
/// data file's text, Timeout or NotImpl.
void servePostApp(char* body);
