// Speed of the command text parser and the reply decoder on the messages pages send most,
// each beside liblo doing the same job: liblo builds and serialises the message from its
// values (our side parses the text), and deserialises a packet into a message (our side
// decodes it into the reply text).
#include <benchmark/benchmark.h>
#include <lo/lo.h>
#include <lo/lo_lowlevel.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "server/osc_decoder.h"
#include "server/osc_text_parser.h"

namespace {

constexpr char faderSet[] = "/main/1/fdr ,f 0.75";
constexpr char nameQuery[] = "/ch/01/config/name";
constexpr char nameReply[] = "/ch/01/config/name ,s Kick";
constexpr char blobSet[] = "/x ,b 000102030405060708090a0b0c0d0e0f";
constexpr unsigned char blobBytes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// The parser rewrites its text, so each round parses a fresh copy (a few bytes of memcpy).
template <std::size_t N>
void parseText(benchmark::State& state, const char (&command)[N]) {
  std::array<char, 4096> packet;
  char text[N];
  for (auto _ : state) {
    std::memcpy(text, command, N);
    benchmark::DoNotOptimize(wCparse(packet, text));
    benchmark::ClobberMemory();
  }
}

void BM_wCparse_FaderSet(benchmark::State& s) { parseText(s, faderSet); }
void BM_wCparse_NameQuery(benchmark::State& s) { parseText(s, nameQuery); }
void BM_wCparse_NameReply(benchmark::State& s) { parseText(s, nameReply); }
void BM_wCparse_Blob(benchmark::State& s) { parseText(s, blobSet); }

// liblo has no form without a type-tag string, so its name query carries an empty ",".
lo_message buildLibloMessage(const char* kind) {
  lo_message m = lo_message_new();
  if (std::strcmp(kind, "fader") == 0) lo_message_add_float(m, 0.75f);
  if (std::strcmp(kind, "reply") == 0) lo_message_add_string(m, "Kick");
  if (std::strcmp(kind, "blob") == 0) {
    lo_blob blob = lo_blob_new(sizeof blobBytes, blobBytes);
    lo_message_add_blob(m, blob);
    lo_blob_free(blob);
  }
  return m;
}

const char* libloPath(const char* kind) {
  return std::strcmp(kind, "fader") == 0 ? "/main/1/fdr" : std::strcmp(kind, "blob") == 0 ? "/x" : "/ch/01/config/name";
}

void libloSerialise(benchmark::State& state, const char* kind) {
  std::array<char, 4096> packet;
  for (auto _ : state) {
    lo_message m = buildLibloMessage(kind);
    std::size_t size = packet.size();
    benchmark::DoNotOptimize(lo_message_serialise(m, libloPath(kind), packet.data(), &size));
    lo_message_free(m);
    benchmark::ClobberMemory();
  }
}

void BM_liblo_serialise_FaderSet(benchmark::State& s) { libloSerialise(s, "fader"); }
void BM_liblo_serialise_NameQuery(benchmark::State& s) { libloSerialise(s, "query"); }
void BM_liblo_serialise_NameReply(benchmark::State& s) { libloSerialise(s, "reply"); }
void BM_liblo_serialise_Blob(benchmark::State& s) { libloSerialise(s, "blob"); }

// The packets both decoders read are the ones liblo writes, but for the bare name query,
// which the decoder reads as the console sends it (without tags).
std::vector<unsigned char> packetOf(const char* kind) {
  std::array<char, 4096> packet;
  std::size_t size = packet.size();
  if (std::strcmp(kind, "bare") == 0) {
    std::string text = nameQuery;
    size = static_cast<std::size_t>(wCparse(packet, text.data()));
  } else {
    lo_message m = buildLibloMessage(kind);
    lo_message_serialise(m, libloPath(kind), packet.data(), &size);
    lo_message_free(m);
  }
  return {packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(size)};
}

void dumpPacket(benchmark::State& state, const char* kind) {
  const std::vector<unsigned char> packet = packetOf(kind);
  std::array<char, 4096> text;
  for (auto _ : state) {
    benchmark::DoNotOptimize(wDdump(packet, text));
    benchmark::ClobberMemory();
  }
}

void BM_wDdump_FaderSet(benchmark::State& s) { dumpPacket(s, "fader"); }
void BM_wDdump_NameQuery(benchmark::State& s) { dumpPacket(s, "bare"); }
void BM_wDdump_NameReply(benchmark::State& s) { dumpPacket(s, "reply"); }
void BM_wDdump_Blob(benchmark::State& s) { dumpPacket(s, "blob"); }

void libloDeserialise(benchmark::State& state, const char* kind) {
  std::vector<unsigned char> packet = packetOf(kind);
  for (auto _ : state) {
    int error = 0;
    lo_message m = lo_message_deserialise(packet.data(), packet.size(), &error);
    benchmark::DoNotOptimize(m);
    lo_message_free(m);
  }
}

void BM_liblo_deserialise_FaderSet(benchmark::State& s) { libloDeserialise(s, "fader"); }
void BM_liblo_deserialise_NameQuery(benchmark::State& s) { libloDeserialise(s, "query"); }
void BM_liblo_deserialise_NameReply(benchmark::State& s) { libloDeserialise(s, "reply"); }
void BM_liblo_deserialise_Blob(benchmark::State& s) { libloDeserialise(s, "blob"); }

}  // namespace

BENCHMARK(BM_wCparse_FaderSet);
BENCHMARK(BM_liblo_serialise_FaderSet);
BENCHMARK(BM_wCparse_NameQuery);
BENCHMARK(BM_liblo_serialise_NameQuery);
BENCHMARK(BM_wCparse_NameReply);
BENCHMARK(BM_liblo_serialise_NameReply);
BENCHMARK(BM_wCparse_Blob);
BENCHMARK(BM_liblo_serialise_Blob);
BENCHMARK(BM_wDdump_FaderSet);
BENCHMARK(BM_liblo_deserialise_FaderSet);
BENCHMARK(BM_wDdump_NameQuery);
BENCHMARK(BM_liblo_deserialise_NameQuery);
BENCHMARK(BM_wDdump_NameReply);
BENCHMARK(BM_liblo_deserialise_NameReply);
BENCHMARK(BM_wDdump_Blob);
BENCHMARK(BM_liblo_deserialise_Blob);

BENCHMARK_MAIN();
