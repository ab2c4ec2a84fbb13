// The pipe server through real sockets: one server per test on its own
// pipe name, clients of TPipeClient, the test thread as the creating thread.
#include "ipc/sr_async_ipc.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <system_error>

#include "ipc/pipe_client.h"
#include "ipc/pipe_wire.h"
#include "tests/ipc/ipc_test_support.h"

namespace mpu::ipc {
namespace {

using test::Pattern;
using test::ProcessEventsUntil;
using test::TRecordedEvent;
using test::TRecordingServer;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr auto kConnect = TRecordedEvent::Connect;
constexpr auto kDisconnect = TRecordedEvent::Disconnect;
constexpr auto kMessage = TRecordedEvent::Message;
constexpr auto kSent = TRecordedEvent::Sent;
constexpr auto kError = TRecordedEvent::Error;

Bytes Marker(std::uint32_t command) {
  const auto m = MakePipeMarker(command);
  return Bytes(m.begin(), m.end());
}

Bytes Words(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  Bytes out;
  for (std::uint32_t w : {a, b, c, d})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Messages the server delivered for one pipe.
std::vector<Bytes> MessagesOf(const TRecordingServer& s, HPIPE pipe) {
  std::vector<Bytes> out;
  for (const auto& e : s.Of(kMessage))
    if (e.pipe == pipe) out.push_back(e.bytes);
  return out;
}

// The client's next socket message, received while the event loop runs.
std::optional<Bytes> ReceiveRaw(TPipeClient& c) {
  return test::WhileProcessingEvents([&] { return c.ReceiveRaw(); });
}
std::optional<Bytes> Receive(TPipeClient& c) {
  return test::WhileProcessingEvents([&] { return c.Receive(); });
}

// The client reads to the end of the pipe, skipping what is left.
bool SeesEndOfPipe(TPipeClient& c) {
  return test::WhileProcessingEvents([&] {
    for (;;) {
      auto m = c.ReceiveRaw(5s);
      if (!m) return c.LastError() == EPIPE;
    }
  });
}

TEST(PipeServer, ExchangesMessagesAndRaisesEveryNotificationOnTheCreatingThread) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  const HPIPE pipe = s.WaitClient();
  ASSERT_NE(pipe, 0u);
  EXPECT_EQ(s.server().ClientCount(), 1u);
  EXPECT_EQ(s.server().GetClient(0), pipe);
  EXPECT_EQ(s.server().GetClient(1), 0u);

  ASSERT_TRUE(c.Send(Pattern(4096)));
  ASSERT_TRUE(s.WaitCount(kMessage, 1));
  EXPECT_EQ(s.Messages()[0], Pattern(4096));
  EXPECT_EQ(s.Of(kMessage)[0].pipe, pipe);

  ASSERT_TRUE(s.server().Write(pipe, Pattern(100, 7)));
  const auto reply = ReceiveRaw(c);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, Pattern(100, 7));
  ASSERT_TRUE(s.WaitCount(kSent, 1));
  EXPECT_EQ(s.Of(kSent)[0].size, 100u);

  c.Close();
  ASSERT_TRUE(s.WaitCount(kDisconnect, 1));
  EXPECT_EQ(s.Of(kDisconnect)[0].pipe, pipe);
  EXPECT_EQ(s.events().back().kind, kDisconnect);  // the client's last notification
  EXPECT_EQ(s.Count(kError), 0u);                  // a client closing is no error
  EXPECT_EQ(s.server().ClientCount(), 0u);
  EXPECT_TRUE(s.AllOnCreatingThread());
}

TEST(PipeServer, TheWorkerWaitsUntilItsNotificationWasHandled) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  s.WaitClient();
  bool secondArrivedDuringFirst = false;
  Bytes firstAtEnd;
  s.onMessage = [&](HPIPE, TByteStream& stream) {
    if (s.Count(kMessage) != 1) return;
    // The event loop keeps running here, but the pipe thread is blocked
    // until this handler returns: the second message cannot come in, and
    // the stream stays as it was.
    secondArrivedDuringFirst = ProcessEventsUntil([&] { return s.Count(kMessage) > 1; }, 200ms);
    firstAtEnd = stream.ReadAll();
  };
  ASSERT_TRUE(c.Send(Pattern(10, 1)));
  ASSERT_TRUE(c.Send(Pattern(10, 2)));
  ASSERT_TRUE(s.WaitCount(kMessage, 2));
  EXPECT_FALSE(secondArrivedDuringFirst);
  EXPECT_EQ(firstAtEnd, Pattern(10, 1));
  EXPECT_EQ(s.Messages()[1], Pattern(10, 2));
}

TEST(PipeServer, ReassemblesLongMessagesBetweenMarkers) {
  const std::uint32_t kMagic = kMarkerMagic;
  const Bytes start = Marker(kMarkerStart), end = Marker(kMarkerEnd);
  const Bytes a = Pattern(100, 1), b = Pattern(65534, 2), d = Pattern(7, 3);
  struct Case {
    const char* name;
    std::vector<Bytes> sent;
    std::vector<Bytes> delivered;
  };
  const std::vector<Case> cases = {
      {"a plain message", {a}, {a}},
      {"16 bytes, first word not 16",
       {Words(15, kMagic, kMarkerStart, kMagic)},
       {Words(15, kMagic, kMarkerStart, kMagic)}},
      {"16 bytes, wrong first magic",
       {Words(16, kMagic + 1, kMarkerStart, kMagic)},
       {Words(16, kMagic + 1, kMarkerStart, kMagic)}},
      {"16 bytes, wrong second magic",
       {Words(16, kMagic, kMarkerEnd, 0)},
       {Words(16, kMagic, kMarkerEnd, 0)}},
      {"a marker with one more byte", {Concat({start, {0}})}, {Concat({start, {0}})}},
      {"start, three parts, end", {start, a, b, d, end}, {Concat({a, b, d})}},
      {"two starts: only the second collection", {start, a, start, b, end}, {b}},
      {"an end marker without a start is ignored", {end, a}, {a}},
      {"an unknown command drops the collection", {start, a, Marker(FourCC("XXXX")), d, end}, {d}},
      {"an empty long message", {start, end}, {Bytes{}}},
      {"a zero-length message", {Bytes{}}, {Bytes{}}},
      {"messages around a long one", {a, start, b, end, d}, {a, b, d}},
  };
  TRecordingServer s;
  s.Start();
  const Bytes sentinel = Pattern(33, 99);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    auto client = s.Connect();
    const HPIPE pipe = s.WaitClient(i);
    for (const Bytes& m : c.sent) ASSERT_TRUE(client.Send(m));
    ASSERT_TRUE(client.Send(sentinel));
    ASSERT_TRUE(ProcessEventsUntil([&] {
      const auto got = MessagesOf(s, pipe);
      return !got.empty() && got.back() == sentinel;
    }));
    auto got = MessagesOf(s, pipe);
    got.pop_back();
    EXPECT_EQ(got, c.delivered);
  }
  EXPECT_EQ(s.Count(kError), 0u);
}

TEST(PipeServer, WritesLongMessagesAsMarkersAndChunksOnTheWire) {
  struct Case {
    const char* name;
    std::size_t prefix, count;
    bool asStream;
    std::vector<std::size_t> wire;  // socket messages the client reads
  };
  const Case cases[] = {
      {"65,534 bytes: one message", 0, 65534, false, {65534}},
      {"65,535 bytes: start, 65,534, 1, end", 0, 65535, false, {16, 65534, 1, 16}},
      {"prefix and buffer together over one chunk", 20, 65520, false, {16, 65534, 6, 16}},
      {"nothing: an empty message", 0, 0, false, {0}},
      {"a short stream is still framed", 0, 3, true, {16, 3, 16}},
      {"an empty stream", 0, 0, true, {16, 16}},
      {"a stream over two chunks", 0, 70000, true, {16, 65534, 4466, 16}},
  };
  TRecordingServer s;
  s.Start();
  int clients = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto client = s.Connect();
    const HPIPE pipe = s.WaitClient(clients++);
    const Bytes prefix = Pattern(c.prefix, 5), body = Pattern(c.count, 6);
    const std::size_t sentBefore = s.Count(kSent);
    if (c.asStream) {
      TFastMemStream stream;
      stream.Write(body);  // left at its end: SendStream starts from 0 anyway
      ASSERT_TRUE(s.server().SendStream(pipe, &stream));
    } else {
      ASSERT_TRUE(s.server().Write(pipe, prefix, body));
    }
    std::vector<Bytes> wire;
    for (std::size_t i = 0; i < c.wire.size(); ++i) {
      auto m = ReceiveRaw(client);
      ASSERT_TRUE(m) << "message " << i;
      wire.push_back(*m);
    }
    std::vector<std::size_t> sizes;
    for (const Bytes& m : wire) sizes.push_back(m.size());
    EXPECT_EQ(sizes, c.wire);
    const bool framed = c.wire.size() > 1;
    if (framed) {
      EXPECT_EQ(wire.front(), Marker(kMarkerStart));
      EXPECT_EQ(wire.back(), Marker(kMarkerEnd));
    }
    Bytes joined;
    for (std::size_t i = framed ? 1 : 0; i < wire.size() - (framed ? 1 : 0); ++i)
      joined.insert(joined.end(), wire[i].begin(), wire[i].end());
    EXPECT_EQ(joined, Concat({prefix, body}));
    // One sent notification per socket message, with its size.
    ASSERT_TRUE(s.WaitCount(kSent, sentBefore + c.wire.size()));
    std::vector<std::size_t> sent;
    for (std::size_t i = sentBefore; i < s.Count(kSent); ++i) sent.push_back(s.Of(kSent)[i].size);
    EXPECT_EQ(sent, c.wire);
  }
}

TEST(PipeServer, TheClientReassemblesWhatTheServerSplits) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  const HPIPE pipe = s.WaitClient();
  const Bytes big = Pattern(300000, 4);
  ASSERT_TRUE(s.server().Write(pipe, big));
  ASSERT_TRUE(s.server().Write(pipe, Pattern(5)));
  EXPECT_EQ(Receive(c), big);
  EXPECT_EQ(Receive(c), Pattern(5));
}

TEST(PipeServer, AMessageLargerThanTheReadBufferIsDeliveredOnceAndWhole) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  s.WaitClient();
  const Bytes big = Pattern(200000, 8);
  ASSERT_TRUE(c.Send(big));  // one socket message
  ASSERT_TRUE(c.Send(Pattern(3)));
  ASSERT_TRUE(s.WaitCount(kMessage, 2));
  ASSERT_EQ(s.Count(kMessage), 2u);
  EXPECT_EQ(s.Messages()[0], big);
  EXPECT_EQ(s.Messages()[1], Pattern(3));
}

// Restores TMPDIR when it goes.
class TTmpDirOverride {
 public:
  explicit TTmpDirOverride(const char* value) {
    if (const char* old = std::getenv("TMPDIR")) FOld = old;
    if (value != nullptr) ::setenv("TMPDIR", value, 1);
  }
  ~TTmpDirOverride() {
    if (FOld)
      ::setenv("TMPDIR", FOld->c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

 private:
  std::optional<std::string> FOld;
};

TEST(PipeServer, LongMessagesCollectInATemporaryFileOrElseInMemory) {
  struct Case {
    const char* tmpdir;
    bool inFile;
  };
  for (const Case c : {Case{nullptr, true}, Case{"/nonexistent-dir-for-ipc-tests", false}}) {
    SCOPED_TRACE(c.inFile ? "file" : "memory");
    const TTmpDirOverride tmp(c.tmpdir);
    TRecordingServer s;
    std::optional<bool> wasFile;
    s.onMessage = [&](HPIPE, TByteStream& stream) {
      wasFile = dynamic_cast<TTempFileStream*>(&stream) != nullptr;
    };
    s.Start();
    auto client = s.Connect();
    s.WaitClient();
    const Bytes big = Pattern(1 << 20, 11);
    ASSERT_TRUE(client.SendLong(big));
    ASSERT_TRUE(s.WaitCount(kMessage, 1));
    EXPECT_EQ(s.Messages()[0], big);
    EXPECT_EQ(wasFile, c.inFile);
  }
}

TEST(PipeServer, PipeNamesAreChecked) {
  test::EnsureApplication();
  TSRAsyncPipeServer server;
  EXPECT_EQ(server.PipeName(), QStringLiteral("PipeServer"));
  for (const QString& bad : {QStringLiteral("a\\b"), QString(257, u'x'), QString()}) {
    SCOPED_TRACE(bad.size());
    try {
      server.SetPipeName(bad);
      ADD_FAILURE() << "accepted";
    } catch (const EPipeException& e) {
      EXPECT_STREQ(e.what(), "Invalid pipe name specified!");
    }
  }
  EXPECT_EQ(server.PipeName(), QStringLiteral("PipeServer"));

  const QString name = test::UniquePipeName();
  server.SetPipeName(name);
  server.SetActive(true);
  EXPECT_NO_THROW(server.SetPipeName(name));  // unchanged: nothing happens
  try {
    server.SetPipeName(name + "2");
    ADD_FAILURE() << "accepted while active";
  } catch (const EPipeException& e) {
    EXPECT_STREQ(e.what(), "Cannot change property while server is active!");
  }
  EXPECT_EQ(server.PipeName(), name);
  server.SetActive(false);
  EXPECT_NO_THROW(server.SetPipeName(name + "2"));
}

TEST(PipeServer, NamesOfUpTo256CharactersWorkAndStayDistinct) {
  // Longer than a socket address holds: the address is shortened by a hash.
  TRecordingServer a, b;
  const QString base = test::UniquePipeName() + QString(256, u'n');
  a.server().SetPipeName(base.left(255) + u'a');
  b.server().SetPipeName(base.left(255) + u'b');
  ASSERT_EQ(a.server().PipeName().size(), 256);
  a.Start();
  b.Start();  // would fail with EADDRINUSE if both mapped to one address
  auto ca = a.Connect();
  auto cb = b.Connect();
  ASSERT_TRUE(ca.Send(Pattern(1, 1)));
  ASSERT_TRUE(cb.Send(Pattern(2, 2)));
  ASSERT_TRUE(a.WaitCount(kMessage, 1));
  ASSERT_TRUE(b.WaitCount(kMessage, 1));
  EXPECT_EQ(a.Messages()[0], Pattern(1, 1));
  EXPECT_EQ(b.Messages()[0], Pattern(2, 2));
}

TEST(PipeServer, ActivationFailsWhileAnotherServerHoldsTheName) {
  TRecordingServer first, second;
  second.server().SetPipeName(first.server().PipeName());
  first.Start();
  try {
    second.Start();
    ADD_FAILURE() << "second server activated";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EADDRINUSE);
  }
  EXPECT_FALSE(second.server().Active());
  EXPECT_TRUE(first.server().Active());
}

TEST(PipeServer, ConfigurationFromAnotherThreadIsRefused) {
  TRecordingServer s;
  std::string message;
  std::thread([&] {
    try {
      s.server().SetActive(true);
    } catch (const EPipeException& e) {
      message = e.what();
    }
  }).join();
  EXPECT_EQ(message, "The notify window and the component window do not exist in the same thread!");
  EXPECT_FALSE(s.server().Active());
}

TEST(PipeServer, DeactivationEndsEveryClientAndTheServerCanStartAgain) {
  TRecordingServer s;
  s.Start();
  std::vector<TPipeClient> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(s.Connect());
  ASSERT_TRUE(s.WaitCount(kConnect, 3));
  ASSERT_TRUE(clients[0].Send(Pattern(5)));  // a client with work in progress

  s.server().SetActive(false);
  EXPECT_FALSE(s.server().Active());
  EXPECT_EQ(s.server().ClientCount(), 0u);
  EXPECT_EQ(s.Count(kDisconnect), 3u);  // raised while deactivation waited
  EXPECT_EQ(s.Count(kError), 0u);
  for (auto& c : clients) EXPECT_TRUE(SeesEndOfPipe(c));
  try {
    s.Connect();
    ADD_FAILURE() << "connected to an inactive server";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ECONNREFUSED);
  }

  s.Start();
  auto again = s.Connect();
  ASSERT_TRUE(again.Send(Pattern(9)));
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return !s.Messages().empty() && s.Messages().back() == Pattern(9); }));
}

TEST(PipeServer, DeactivationRequestedFromANotificationIsDeferred) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  s.WaitClient();
  std::optional<bool> activeRightAfter;
  s.onMessage = [&](HPIPE, TByteStream&) {
    s.server().SetActive(false);  // would wait for this very worker
    activeRightAfter = s.server().Active();
  };
  ASSERT_TRUE(c.Send(Pattern(4)));
  ASSERT_TRUE(s.WaitCount(kMessage, 1));
  EXPECT_EQ(activeRightAfter, true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !s.server().Active(); }));
  EXPECT_EQ(s.Count(kDisconnect), 1u);
  EXPECT_EQ(s.Count(kError), 0u);
  EXPECT_TRUE(SeesEndOfPipe(c));
}

TEST(PipeServer, DisconnectWriteAndFlushAddressOneClientOrAll) {
  TRecordingServer s;
  s.Start();
  // Each client is connected before the next one starts, so that the order
  // of the connect notifications is known.
  auto c1 = s.Connect();
  const HPIPE p1 = s.WaitClient(0);
  auto c2 = s.Connect();
  const HPIPE p2 = s.WaitClient(1);
  auto c3 = s.Connect();
  const HPIPE p3 = s.WaitClient(2);
  EXPECT_EQ(s.server().GetClient(1), p2);  // the list is in connection order
  const HPIPE unknown = p1 + p2 + p3 + 1000;

  EXPECT_FALSE(s.server().Write(unknown, Pattern(4)));
  EXPECT_FALSE(s.server().Disconnect(unknown));
  EXPECT_FALSE(s.server().FlushWriteQueue(unknown));
  EXPECT_FALSE(s.server().SendStream(p1, nullptr));
  EXPECT_EQ(s.server().WriteQueueDataSize(unknown), 0u);

  EXPECT_TRUE(s.server().Broadcast(Pattern(2), Pattern(6)));
  for (TPipeClient* c : {&c1, &c2, &c3})
    EXPECT_EQ(ReceiveRaw(*c), Concat({Pattern(2), Pattern(6)}));

  EXPECT_TRUE(s.server().Disconnect(p2));
  EXPECT_TRUE(SeesEndOfPipe(c2));
  ASSERT_TRUE(s.WaitCount(kDisconnect, 1));
  EXPECT_EQ(s.Of(kDisconnect)[0].pipe, p2);
  EXPECT_EQ(s.server().ClientCount(), 2u);
  ASSERT_TRUE(s.server().Write(p1, Pattern(1)));
  EXPECT_EQ(ReceiveRaw(c1), Pattern(1));  // the others carry on

  EXPECT_TRUE(s.server().Disconnect(0));
  EXPECT_TRUE(SeesEndOfPipe(c1));
  EXPECT_TRUE(SeesEndOfPipe(c3));
  ASSERT_TRUE(s.WaitCount(kDisconnect, 3));
  EXPECT_EQ(s.Count(kError), 0u);
  EXPECT_TRUE(s.server().Active());  // still listening
  auto c4 = s.Connect();
  const HPIPE p4 = s.WaitClient(3);
  EXPECT_TRUE(p4 != 0 && p4 != p1 && p4 != p2 && p4 != p3);  // pipe ids are never reused
}

TEST(PipeServer, OversizedMessagesEndOnlyTheirClient) {
  struct Case {
    const char* name;
    bool longMessage;
  };
  for (const Case c : {Case{"one socket message", false}, Case{"a long message", true}}) {
    SCOPED_TRACE(c.name);
    TRecordingServer s;
    s.server().SetMaxMessageSize(100000);
    s.Start();
    auto bad = s.Connect();
    const HPIPE badPipe = s.WaitClient(0);
    auto good = s.Connect();
    const HPIPE goodPipe = s.WaitClient(1);
    const Bytes big = Pattern(150000);
    ASSERT_TRUE(c.longMessage ? bad.SendLong(big) : bad.Send(big));
    ASSERT_TRUE(s.WaitCount(kDisconnect, 1));
    ASSERT_EQ(s.Count(kError), 1u);
    const auto error = s.Of(kError)[0];
    EXPECT_EQ(error.pipe, badPipe);
    EXPECT_EQ(error.context, pcWorker);
    EXPECT_EQ(error.error, EMSGSIZE);
    EXPECT_TRUE(SeesEndOfPipe(bad));
    EXPECT_TRUE(MessagesOf(s, badPipe).empty());

    ASSERT_TRUE(good.SendLong(Pattern(90000)));
    ASSERT_TRUE(s.WaitCount(kMessage, 1));
    EXPECT_EQ(MessagesOf(s, goodPipe), std::vector<Bytes>{Pattern(90000)});
  }
}

TEST(PipeServer, AnyBytesOfAnyLengthAreDeliveredUnchanged) {
  TRecordingServer s;
  s.Start();
  auto c = s.Connect();
  s.WaitClient();
  std::mt19937 random(1234);
  std::vector<Bytes> sent;
  for (std::size_t size : {0, 1, 15, 16, 17, 31, 32, 4095, 4096, 4097, 65534, 65535, 150000}) {
    Bytes m(size);
    for (auto& b : m) b = static_cast<std::uint8_t>(random());
    ASSERT_TRUE(c.Send(m));
    sent.push_back(std::move(m));
  }
  ASSERT_TRUE(s.WaitCount(kMessage, sent.size()));
  EXPECT_EQ(s.Messages(), sent);
  EXPECT_EQ(s.Count(kError), 0u);
}

TEST(PipeServer, SilentVanishingAndHalfFinishedClientsDoNotDisturbOthers) {
  TRecordingServer s;
  s.Start();
  auto steady = s.Connect();
  const HPIPE steadyPipe = s.WaitClient(0);
  {
    auto silent = s.Connect();  // connects, sends nothing, leaves
    s.WaitClient(1);
  }
  {
    auto halfway = s.Connect();  // leaves in the middle of a long message
    s.WaitClient(2);
    ASSERT_TRUE(halfway.Send(Marker(kMarkerStart)));
    ASSERT_TRUE(halfway.Send(Pattern(65534)));
    ASSERT_TRUE(halfway.Send(Pattern(1000)));
  }
  ASSERT_TRUE(steady.SendLong(Pattern(100000, 1)));
  ASSERT_TRUE(s.WaitCount(kDisconnect, 2));
  ASSERT_TRUE(s.WaitCount(kMessage, 1));
  EXPECT_EQ(s.Messages(), std::vector<Bytes>{Pattern(100000, 1)});
  EXPECT_EQ(MessagesOf(s, steadyPipe).size(), 1u);
  EXPECT_EQ(s.Count(kError), 0u);
  ASSERT_TRUE(s.server().Write(steadyPipe, Pattern(3)));
  EXPECT_EQ(ReceiveRaw(steady), Pattern(3));
}

TEST(PipeServer, ThousandsOfClientsComeAndGo) {
  TRecordingServer s;
  s.Start();
  constexpr std::size_t kClients = 2000;
  for (std::size_t i = 0; i < kClients; ++i) {
    auto c = s.Connect();
    if (i % 3 == 0) {
      ASSERT_TRUE(c.Send(Pattern(8)));
    }
    // The listener hands each connection to this thread: keep it turning.
    if (i % 50 == 49) {
      ASSERT_TRUE(ProcessEventsUntil([&] { return s.Count(kConnect) + 50 > i; }));
    }
  }
  ASSERT_TRUE(s.WaitCount(kDisconnect, kClients));
  EXPECT_EQ(s.Count(kConnect), kClients);
  EXPECT_EQ(s.server().ClientCount(), 0u);
  EXPECT_EQ(s.Count(kError), 0u);
  // A message stays readable after its sender has gone.
  EXPECT_EQ(s.Count(kMessage), (kClients + 2) / 3);
  auto last = s.Connect();
  ASSERT_TRUE(last.Send(Pattern(2)));
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return !s.Messages().empty() && s.Messages().back() == Pattern(2); }));
}

// The lowest descriptor number not in use.
int LowestFreeDescriptor() {
  const int probe = ::dup(0);
  ::close(probe);
  return probe;
}

TEST(PipeServer, RunningOutOfDescriptorsIsReportedAndTheListenerCarriesOn) {
  TRecordingServer s;
  s.Start();
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  // Room for the client's own socket only: the server cannot accept it.
  rlimit tight = old;
  tight.rlim_cur = static_cast<rlim_t>(LowestFreeDescriptor()) + 1;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::optional<TPipeClient> c;
  try {
    c = s.Connect();
  } catch (...) {
  }
  const bool reported = s.WaitCount(kError, 1);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
  ASSERT_TRUE(c.has_value());
  ASSERT_TRUE(reported);
  const auto error = s.Of(kError)[0];
  EXPECT_EQ(error.context, pcListener);
  EXPECT_EQ(error.error, EMFILE);
  EXPECT_TRUE(s.server().Active());
  // With descriptors back, the waiting connection is taken.
  ASSERT_NE(s.WaitClient(0), 0u);
  ASSERT_TRUE(c->Send(Pattern(6)));
  ASSERT_TRUE(s.WaitCount(kMessage, 1));
}

TEST(PipeServer, DestroyingAnActiveServerEndsItsClientsWithoutNotifications) {
  TRecordingServer s;
  s.Start();
  auto c1 = s.Connect();
  auto c2 = s.Connect();
  ASSERT_TRUE(s.WaitCount(kConnect, 2));
  s.DestroyServer();
  EXPECT_EQ(s.Count(kDisconnect), 0u);
  EXPECT_TRUE(SeesEndOfPipe(c1));
  EXPECT_TRUE(SeesEndOfPipe(c2));
}

}  // namespace
}  // namespace mpu::ipc
