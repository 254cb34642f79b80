// A stand-in server app for the end-to-end suites against the Windows build, where an app
// must be a Windows program (wine cannot tell when a shell script it started has ended).
// What it does comes from its -d argument when that begins with "steps:", else from the
// file "<its name>.steps" beside it: steps separated by ';', run in order:
//   sleep <ms>      pause
//   answer <text>   hand <text> back the way apps do: written aside, renamed onto the data file
//   args            answer "<count>|<first>|<second>" of its own arguments after its name
//   touch <path>    create an empty file (relative to the working directory)
//   spawn <steps>   start a copy of itself that runs the rest of the steps, and end at once
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/std_streams.h"

namespace {

constexpr char dataFile[] = "htdocs/apps/VelmoraDataFile.txt";

bool answer(const std::string& text) {
  const std::string aside = "htdocs/apps/stand-in-" + std::to_string(currentProcessId()) + ".tmp";
  { std::ofstream(aside, std::ios::binary) << text; }
  return replaceFile(aside.c_str(), dataFile) == 0;
}

// The steps beside the program: "<folder>/<name>.steps" for "<folder>/<name>.exe".
std::string stepsBeside(const std::string& program) {
  const std::size_t dot = program.rfind(".exe");
  std::ifstream in(program.substr(0, dot) + ".steps", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int run(std::string_view steps, int argc, char** argv) {
  while (!steps.empty()) {
    const std::size_t end = steps.find(';');
    const std::string_view step = steps.substr(0, end);
    const std::string_view rest = end == std::string_view::npos ? "" : steps.substr(end + 1);
    const std::size_t blank = step.find(' ');
    const std::string_view word = step.substr(0, blank);
    const std::string value(blank == std::string_view::npos ? "" : step.substr(blank + 1));
    if (word == "sleep") {
      sleepMs(std::stoi(value));
    } else if (word == "answer") {
      if (!answer(value)) return 1;
    } else if (word == "args") {
      if (!answer(std::to_string(argc - 1) + "|" + (argc > 1 ? argv[1] : "") + "|" +
                  (argc > 2 ? argv[2] : ""))) {
        return 1;
      }
    } else if (word == "touch") {
      std::ofstream(value).close();
    } else if (word == "spawn") {
      const std::string child = "steps:" + value + (rest.empty() ? "" : ";" + std::string(rest));
      return launchApp(argv[0], child.c_str()) > 32 ? 0 : 1;
    } else if (!word.empty()) {
      std::fprintf(stderr, "stand_in_app: unknown step '%s'\n", std::string(word).c_str());
      return 2;
    }
    steps = rest;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  keepStandardStreamsExact();
  const std::string_view given = argc > 2 ? argv[2] : "";
  if (given.starts_with("steps:")) return run(given.substr(6), argc, argv);
  const std::string steps = stepsBeside(argv[0]);
  return run(steps, argc, argv);
}
