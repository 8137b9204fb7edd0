// Loopback throughput of the connection against plain POSIX loops measured
// in the same run: SendStream against a raw send loop with the same 32 KiB
// chunks, and ReadTextLine against a recv + memchr line splitter. Each
// benchmark reports both rates and their ratio (connection / plain).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "ftp/IdException.h"
#include "ftp/IdTCPClient.h"

namespace korv {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A loopback listener whose one connection is served by `serve` on a thread.
class Peer {
public:
  template <typename Serve>
  explicit Peer(Serve serve) {
    ListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(ListenFd, 1) != 0 ||
        ::getsockname(ListenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on loopback");
    Port = ntohs(address.sin_port);
    Worker = std::thread([this, serve] {
      int fd = ::accept(ListenFd, nullptr, nullptr);
      if (fd < 0) return;
      serve(fd);
      ::close(fd);
    });
  }
  ~Peer() {
    Worker.join();
    ::close(ListenFd);
  }
  int Port = 0;

private:
  int ListenFd = -1;
  std::thread Worker;
};

int ConnectRaw(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot connect on loopback");
  return fd;
}

void Drain(int fd) {
  static thread_local char sink[1 << 16];
  while (::recv(fd, sink, sizeof sink, 0) > 0) {
  }
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void SendStreamVersusRawSend(benchmark::State& state) {
  const std::string payload(256u << 20, 'j');
  constexpr size_t kChunk = 32768;
  double rawSeconds = 0, streamSeconds = 0;
  for (auto _ : state) {
    {
      Peer sink(Drain);
      int fd = ConnectRaw(sink.Port);
      auto start = Clock::now();
      for (size_t at = 0; at < payload.size(); at += kChunk) {
        size_t done = 0;
        while (done < kChunk) {
          ssize_t n = ::send(fd, payload.data() + at + done, kChunk - done, MSG_NOSIGNAL);
          if (n <= 0) throw std::runtime_error("raw send failed");
          done += static_cast<size_t>(n);
        }
      }
      rawSeconds += SecondsSince(start);
      ::close(fd);
    }
    {
      Peer sink(Drain);
      TIdTCPClient client;
      client.Host = "127.0.0.1";
      client.Port = sink.Port;
      client.OpenConnection();
      TStringStream stream(payload);
      auto start = Clock::now();
      client.SendStream(stream);
      streamSeconds += SecondsSince(start);
      client.CloseConnection();
    }
  }
  const double bytes = static_cast<double>(payload.size()) * static_cast<double>(state.iterations());
  state.counters["raw_MiB_per_s"] = bytes / rawSeconds / (1 << 20);
  state.counters["stream_MiB_per_s"] = bytes / streamSeconds / (1 << 20);
  state.counters["ratio"] = rawSeconds / streamSeconds;
}
BENCHMARK(SendStreamVersusRawSend)->Iterations(3)->Unit(benchmark::kMillisecond);

void ReadTextLineVersusMemchr(benchmark::State& state) {
  constexpr int kLines = 1000000;
  std::string text;
  for (int i = 0; i < kLines; ++i) text += "250 line " + std::to_string(i) + "\r\n";
  double rawSeconds = 0, readerSeconds = 0;
  for (auto _ : state) {
    {
      Peer source([&](int fd) { SendAll(fd, text); });
      int fd = ConnectRaw(source.Port);
      auto start = Clock::now();
      static char buffer[32768];
      size_t held = 0, lines = 0, characters = 0;
      for (;;) {
        ssize_t n = ::recv(fd, buffer + held, sizeof buffer - held, 0);
        if (n <= 0) break;
        held += static_cast<size_t>(n);
        char* begin = buffer;
        char* end = buffer + held;
        while (char* lf = static_cast<char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)))) {
          characters += static_cast<size_t>(lf - begin);
          ++lines;
          begin = lf + 1;
        }
        held = static_cast<size_t>(end - begin);
        std::memmove(buffer, begin, held);
      }
      rawSeconds += SecondsSince(start);
      benchmark::DoNotOptimize(characters);
      if (lines != kLines) state.SkipWithError("plain splitter lost lines");
      ::close(fd);
    }
    {
      Peer source([&](int fd) { SendAll(fd, text); });
      TIdTCPClient client;
      client.Host = "127.0.0.1";
      client.Port = source.Port;
      client.OpenConnection();
      auto start = Clock::now();
      size_t lines = 0, characters = 0;
      try {
        for (;;) {
          characters += client.ReadTextLine().size();
          ++lines;
        }
      } catch (const EIdConnClosedGracefully&) {
      }
      readerSeconds += SecondsSince(start);
      benchmark::DoNotOptimize(characters);
      if (lines != kLines) state.SkipWithError("ReadTextLine lost lines");
    }
  }
  const double lines = static_cast<double>(kLines) * static_cast<double>(state.iterations());
  state.counters["raw_lines_per_s"] = lines / rawSeconds;
  state.counters["reader_lines_per_s"] = lines / readerSeconds;
  state.counters["ratio"] = rawSeconds / readerSeconds;
}
BENCHMARK(ReadTextLineVersusMemchr)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korv
