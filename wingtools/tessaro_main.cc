// Tessaro: names a bus of a Wing console, once per -d <ip>,<num>,<name> option, after
// making sure that a Wing answers on the local network at all.

#include <cstdio>
#include <cstring>

#include "osc/osc_builder.h"
#include "platform/options.h"
#include "platform/std_streams.h"
#include "wingtools/tessaro_args.h"
#include "wingtools/wing_link.h"

namespace {

// Wing names are short; this leaves ample room while bounding what a -d can make us send.
constexpr int messageSize = 512;

void printHelp() {
  std::puts("Tessaro - sets the name of a Wing bus  [ver 1.4]");
  std::puts("Usage:");
  std::puts("\tThis application accepts a single -d option made of: <ip>,<num>,<name>\n");
  std::puts("\twhere <ip>: console IP address in the form xxx.xxx.xxx.xxx");
  std::puts("\t      <num>: an integer representing a Wing bus number");
  std::puts("\t      <name>: a string representing a Wing bus name");
  std::puts("\tThe application will send the bus <name> for bus <num>, effectively");
  std::puts("\tupdating the console state.");
}

bool reportSplit(BusNameSplit outcome, const char* value) {
  switch (outcome) {
    case BusNameSplit::Ok:
      return true;
    case BusNameSplit::MissingComma:
      std::fprintf(stderr, "Tessaro: -d \"%s\" is not <ip>,<num>,<name>\n", value);
      break;
    case BusNameSplit::BadNumber:
      std::fprintf(stderr, "Tessaro: -d \"%s\": the bus number is not an integer\n", value);
      break;
    case BusNameSplit::NameTooLong:
      std::fprintf(stderr, "Tessaro: -d \"%s\": the bus name is too long\n", value);
      break;
  }
  return false;
}

// Greets the console that the value names and sends it the new name; false when the value
// is refused (nothing is sent) or the console does not answer.
bool nameBus(const char* value) {
  BusNameRequest request;
  char message[messageSize];
  if (!reportSplit(splitBusNameArg(value, request, sizeof message), value)) return false;
  std::memcpy(Wip_str, request.ip, sizeof request.ip);
  if (wConnectOrSay(Wip_str) == 0) return false;
  const int length = wFprint(message, 0, request.address, 's', request.name);
  wSendto(message, length);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  if (wStartAndSearch() == 0) return -1;
  int option;
  while ((option = getopt(argc, argv, "d:h")) != -1) {
    switch (option) {
      case 'h':
        printHelp();
        return 0;
      case 'd':
        if (!nameBus(optarg)) return -1;
        break;
      default:
        return -1;
    }
  }
  return 0;
}
