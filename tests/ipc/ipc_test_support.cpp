#include "tests/ipc/ipc_test_support.h"

#include <unistd.h>

#include <atomic>

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

namespace mpu::ipc::test {

void EnsureApplication() {
  // The creating thread of every server in these tests is the test thread;
  // it gets a Qt application for its event loop on first use.
  static int argc = 1;
  static char name[] = "ipc_tests";
  static char* argv[] = {name, nullptr};
  static const auto app = std::make_unique<QCoreApplication>(argc, argv);
}

QString UniquePipeName() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const QString test = info != nullptr ? QString::fromUtf8(info->name()) : QStringLiteral("none");
  return QStringLiteral("mpu-ipc-test-%1-%2-%3").arg(::getpid()).arg(counter++).arg(test);
}

bool ProcessEventsUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  EnsureApplication();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  QTimer tick;  // ends each wait for events in time to look at the deadline
  tick.start(20);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void WakeEventLoop() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> v(size);
  for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>((i + seed) % 251);
  return v;
}

TRecordingServer::TRecordingServer() : FCreator(std::this_thread::get_id()) {
  EnsureApplication();
  FServer = TSRAsyncPipeServer::CreateUnowned();
  FServer->SetPipeName(UniquePipeName());
  auto here = [this] {
    if (std::this_thread::get_id() != FCreator) ++FOffThread;
  };
  FServer->SetOnPipeConnect([this, here](TSRAsyncPipeServer&, HPIPE pipe) {
    here();
    FEvents.emplace_back(TRecordedEvent::Connect, pipe);
  });
  FServer->SetOnPipeDisconnect([this, here](TSRAsyncPipeServer&, HPIPE pipe) {
    here();
    FEvents.emplace_back(TRecordedEvent::Disconnect, pipe);
  });
  FServer->SetOnPipeMessage([this, here](TSRAsyncPipeServer&, HPIPE pipe, TByteStream& stream) {
    here();
    EXPECT_EQ(stream.Position(), 0u);
    TRecordedEvent e(TRecordedEvent::Message, pipe);
    e.bytes = stream.ReadAll();
    FEvents.push_back(std::move(e));
    if (onMessage) {
      stream.Seek(0);
      onMessage(pipe, stream);
    }
  });
  FServer->SetOnPipeSent([this, here](TSRAsyncPipeServer&, HPIPE pipe, std::uint32_t size) {
    here();
    TRecordedEvent e(TRecordedEvent::Sent, pipe);
    e.size = size;
    FEvents.push_back(std::move(e));
  });
  FServer->SetOnPipeError(
      [this, here](TSRAsyncPipeServer&, HPIPE pipe, TPipeContext context, int error) {
        here();
        TRecordedEvent e(TRecordedEvent::Error, pipe);
        e.context = context;
        e.error = error;
        FEvents.push_back(std::move(e));
      });
}

TRecordingServer::~TRecordingServer() {
  FServer.reset();
}  // its last notifications still record

std::vector<TRecordedEvent> TRecordingServer::Of(TRecordedEvent::Kind kind) const {
  std::vector<TRecordedEvent> out;
  for (const auto& e : FEvents)
    if (e.kind == kind) out.push_back(e);
  return out;
}

std::vector<std::vector<std::uint8_t>> TRecordingServer::Messages() const {
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& e : FEvents)
    if (e.kind == TRecordedEvent::Message) out.push_back(e.bytes);
  return out;
}

bool TRecordingServer::WaitCount(TRecordedEvent::Kind kind, std::size_t n) {
  return ProcessEventsUntil([&] { return Count(kind) >= n; });
}

HPIPE TRecordingServer::WaitClient(std::size_t n) {
  if (!WaitCount(TRecordedEvent::Connect, n + 1)) return 0;
  return Of(TRecordedEvent::Connect)[n].pipe;
}

}  // namespace mpu::ipc::test
