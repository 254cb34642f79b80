#include <cstdio>
#include <cstring>

#include "platform/options.h"

char* optarg = nullptr;
int optind = 1;
int opterr = 1;
int optopt = 0;

namespace {

// Position inside a cluster of option letters such as "-dh".
int clusterAt = 1;

int complain(const char* program, const char* what, char letter) {
  if (opterr) std::fprintf(stderr, "%s: %s -- '%c'\n", program, what, letter);
  optopt = letter;
  return '?';
}

}  // namespace

int getopt(int argc, char* const argv[], const char* optstring) {
  optarg = nullptr;
  if (optind >= argc || argv[optind] == nullptr || argv[optind][0] != '-' ||
      argv[optind][1] == '\0') {
    return -1;
  }
  if (std::strcmp(argv[optind], "--") == 0) {
    ++optind;
    return -1;
  }
  const char* word = argv[optind];
  const char letter = word[clusterAt];
  const char* entry = letter == ':' ? nullptr : std::strchr(optstring, letter);
  const bool lastInCluster = word[clusterAt + 1] == '\0';
  if (entry == nullptr) {
    if (lastInCluster) {
      ++optind;
      clusterAt = 1;
    } else {
      ++clusterAt;
    }
    return complain(argv[0], "invalid option", letter);
  }
  if (entry[1] != ':') {
    if (lastInCluster) {
      ++optind;
      clusterAt = 1;
    } else {
      ++clusterAt;
    }
    return letter;
  }
  // The argument is the rest of this word, or the next word.
  if (!lastInCluster) {
    optarg = const_cast<char*>(word + clusterAt + 1);
    ++optind;
  } else if (optind + 1 < argc) {
    optarg = argv[optind + 1];
    optind += 2;
  } else {
    ++optind;
    clusterAt = 1;
    return complain(argv[0], "option requires an argument", letter);
  }
  clusterAt = 1;
  return letter;
}
