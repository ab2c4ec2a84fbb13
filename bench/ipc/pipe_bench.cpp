// Speed and memory of the pipe transport, each beside the same figure for a
// plain SOCK_SEQPACKET echo server (one blocking thread per client, no
// hand-over to an event-loop thread, long messages collected in memory)
// measured in the same run. The ratio is the transport's own cost.
//
//   RoundTrip/<impl>/clients:N  4096-byte frames sent by N clients at once
//                               and echoed back: round trips per second
//   LongMessage/<impl>          one 16 MiB long message (markers and 65,534-
//                               byte chunks) to the server, acknowledged:
//                               MiB per second
//   IdleClients/<impl>          resident memory per connected idle client
#include <benchmark/benchmark.h>

#include "bench/common/figures_reporter.h"
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>

#include "ipc/pipe_client.h"
#include "ipc/pipe_wire.h"
#include "ipc/sr_async_ipc.h"

namespace {

using namespace mpu::ipc;
using namespace std::chrono_literals;

constexpr std::size_t kFrameSize = 4096;
constexpr std::size_t kLongSize = 16u << 20;
constexpr std::size_t kIdleClients = 256;
const std::array<std::uint8_t, 4> kAck = {'A', 'C', 'K', 0};

// Resident set size of this process in bytes.
std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// ---------------------------------------------------------------------------
// The reference: a plain echo server on its own abstract socket name.

class TPlainEchoServer {
 public:
  explicit TPlainEchoServer(const QString& name) {
    FListen.Reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    const TPipeAddress a = PipeAddress(name);
    if (::bind(FListen.Get(), reinterpret_cast<const sockaddr*>(&a.Address), a.Length) != 0 ||
        ::listen(FListen.Get(), SOMAXCONN) != 0)
      std::perror("plain server");
    FAcceptor = std::thread([this] { Accept(); });
  }
  ~TPlainEchoServer() {
    ::shutdown(FListen.Get(), SHUT_RDWR);  // ends accept()
    FAcceptor.join();
    std::lock_guard lock(FLock);
    for (auto& t : FClients) t.join();  // the clients are gone by now
  }
  std::size_t LiveClients() const { return FLive; }

 private:
  void Accept() {
    for (;;) {
      TUniqueFd fd(::accept4(FListen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (!fd) return;
      ConfigurePipeSocket(fd.Get());
      std::lock_guard lock(FLock);
      ++FLive;
      FClients.emplace_back([this, s = std::move(fd)]() mutable {
        Serve(std::move(s));
        --FLive;
      });
    }
  }

  static void Serve(TUniqueFd s) {
    std::vector<std::uint8_t> buffer;  // allocated once a message comes, as the transport does
    std::vector<std::uint8_t> collected;
    bool collecting = false;
    for (;;) {
      std::uint8_t dummy = 0;
      if (::recv(s.Get(), &dummy, 1, MSG_PEEK) <= 0) return;
      buffer.resize(kPipeChunkSize);
      const ssize_t n = ::recv(s.Get(), buffer.data(), buffer.size(), 0);
      if (n <= 0) return;
      const auto message = std::span(buffer).first(static_cast<std::size_t>(n));
      if (const auto command = PipeMarkerCommand(message)) {
        if (*command == kMarkerStart) {
          collecting = true;
          collected.clear();
        } else if (*command == kMarkerEnd && collecting) {
          collecting = false;
          ::send(s.Get(), kAck.data(), kAck.size(), MSG_NOSIGNAL);
        }
        continue;
      }
      if (collecting)
        collected.insert(collected.end(), message.begin(), message.end());
      else
        ::send(s.Get(), message.data(), message.size(), MSG_NOSIGNAL);
    }
  }

  TUniqueFd FListen;
  std::thread FAcceptor;
  std::mutex FLock;
  std::vector<std::thread> FClients;
  std::atomic<std::size_t> FLive{0};
};

// ---------------------------------------------------------------------------
// The transport, created on the main thread, which runs its event loop:
// frames come back as they came, a long message is acknowledged.

struct TServers {
  QString TransportName;
  std::unique_ptr<TPlainEchoServer> Plain;
  QString PlainName;
};
TServers gServers;

// Clients whose connect notification has run (their pipe thread then
// waits in poll()) and whose disconnect notification has not.
std::atomic<std::size_t> gTransportClients{0};

void InstallEcho(TSRAsyncPipeServer& server) {
  server.SetOnPipeConnect([](TSRAsyncPipeServer&, HPIPE) { ++gTransportClients; });
  server.SetOnPipeDisconnect([](TSRAsyncPipeServer&, HPIPE) { --gTransportClients; });
  server.SetOnPipeMessage([](TSRAsyncPipeServer& sender, HPIPE pipe, TByteStream& stream) {
    if (stream.Size() > kFrameSize) {
      sender.Write(pipe, kAck);
      return;
    }
    std::array<std::uint8_t, kFrameSize> frame{};
    const std::size_t n = stream.Read(frame);
    sender.Write(pipe, std::span(frame).first(n));
  });
}

const QString& NameOf(bool transport) {
  return transport ? gServers.TransportName : gServers.PlainName;
}

std::vector<TPipeClient> ConnectClients(bool transport, std::size_t n) {
  std::vector<TPipeClient> clients;
  for (std::size_t i = 0; i < n; ++i) clients.push_back(TPipeClient::Connect(NameOf(transport)));
  return clients;
}

void RoundTrip(benchmark::State& state, bool transport) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto clients = ConnectClients(transport, n);
  std::vector<std::uint8_t> frame(kFrameSize, 0x5A);
  for (auto _ : state) {
    for (auto& c : clients)
      if (!c.Send(frame)) state.SkipWithError("send failed");
    for (auto& c : clients) {
      const auto echo = c.ReceiveRaw(10s);
      if (!echo || echo->size() != kFrameSize) state.SkipWithError("no echo");
    }
  }
  state.counters["round_trips_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
}

void LongMessage(benchmark::State& state, bool transport) {
  auto client = TPipeClient::Connect(NameOf(transport));
  std::vector<std::uint8_t> message(kLongSize);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i);
  for (auto _ : state) {
    if (!client.SendLong(message, 60s)) state.SkipWithError("send failed");
    const auto ack = client.ReceiveRaw(60s);
    if (!ack || ack->size() != kAck.size()) state.SkipWithError("no acknowledgement");
  }
  state.counters["MiB_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(kLongSize) / (1 << 20),
      benchmark::Counter::kIsRate);
}

bool WaitForClients(bool transport, std::size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::size_t live = transport ? gTransportClients.load() : gServers.Plain->LiveClients();
    if (live == n) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

void IdleClients(benchmark::State& state, bool transport) {
  double perClient = 0;
  for (auto _ : state) {
    if (!WaitForClients(transport, 0)) state.SkipWithError("clients left over");
    const std::size_t before = ResidentBytes();
    auto clients = ConnectClients(transport, kIdleClients);
    if (!WaitForClients(transport, kIdleClients)) state.SkipWithError("clients not served");
    const std::size_t after = ResidentBytes();
    perClient = (static_cast<double>(after) - static_cast<double>(before)) / kIdleClients;
    state.PauseTiming();
    clients.clear();
    WaitForClients(transport, 0);
    state.ResumeTiming();
  }
  state.counters["bytes_per_client"] = perClient;
}

// ---------------------------------------------------------------------------
// Prints each transport figure beside its plain reference after the run.

class TComparingReporter : public mpu::bench::TFiguresReporter {
 protected:
  void PrintSummary(const Figures& figures) override {
    std::printf("\nThe transport beside the plain echo server (ratio = transport / plain)\n");
    std::printf("%-28s %-18s %14s %14s %8s\n", "figure", "counter", "transport", "plain", "ratio");
    for (const auto& [name, counters] : figures) {
      const auto at = name.find("/transport");
      if (at == std::string::npos) continue;
      std::string plainName = name;
      plainName.replace(at, 10, "/plain");
      const auto plain = figures.find(plainName);
      for (const auto& [counter, value] : counters) {
        const double reference = plain != figures.end() ? Value(plain->second, counter) : 0;
        std::printf("%-28s %-18s %14.1f %14.1f %8.2f\n", Short(name).c_str(), counter.c_str(),
                    value, reference, reference != 0 ? value / reference : 0.0);
      }
    }
  }

 private:
  // The name without "/transport" and the run options.
  static std::string Short(std::string name) {
    for (const char* cut : {"/transport", "/iterations:1", "/real_time"})
      if (const auto at = name.find(cut); at != std::string::npos) name.erase(at, std::strlen(cut));
    return name;
  }
};

void RegisterAll() {
  for (const bool transport : {false, true}) {
    const std::string impl = transport ? "transport" : "plain";
    benchmark::RegisterBenchmark(("RoundTrip/" + impl).c_str(), RoundTrip, transport)
        ->ArgName("clients")
        ->Arg(1)
        ->Arg(8)
        ->Arg(64)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("LongMessage/" + impl).c_str(), LongMessage, transport)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("IdleClients/" + impl).c_str(), IdleClients, transport)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const QString base = QStringLiteral("mpu-ipc-bench-%1").arg(::getpid());
  gServers.TransportName = base + QStringLiteral("-transport");
  gServers.PlainName = base + QStringLiteral("-plain");
  TSRAsyncPipeServer transport;
  transport.SetPipeName(gServers.TransportName);
  InstallEcho(transport);
  transport.SetActive(true);
  gServers.Plain = std::make_unique<TPlainEchoServer>(gServers.PlainName);

  RegisterAll();
  std::thread runner([&] {
    TComparingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    QMetaObject::invokeMethod(
        &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  app.exec();
  runner.join();
  gServers.Plain.reset();
  transport.SetActive(false);
  benchmark::Shutdown();
  return 0;
}
