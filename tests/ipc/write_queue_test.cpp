#include "ipc/pipe_write_queue.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "ipc/pipe_wire.h"
#include "tests/ipc/ipc_test_support.h"

namespace mpu::ipc {
namespace {

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1;
}

std::vector<std::unique_ptr<TPipeWrite>> DrainAll(TSRAsyncPipeWriteQueue& q) {
  std::vector<std::unique_ptr<TPipeWrite>> out;
  while (auto w = q.Dequeue()) out.push_back(std::move(w));
  return out;
}

const auto kStart = MakePipeMarker(kMarkerStart);
const auto kEnd = MakePipeMarker(kMarkerEnd);

TEST(PipeWriteQueue, SplitsWritesLongerThanOneChunkBetweenMarkers) {
  struct Case {
    std::size_t prefix, count;
    std::vector<std::size_t> messages;  // sizes of the queued socket messages
    bool framed;
  };
  const Case cases[] = {
      {0, 0, {0}, false},
      {0, 1, {1}, false},
      {0, 65534, {65534}, false},
      {0, 65535, {16, 65534, 1, 16}, true},
      {0, 2 * 65534 + 5, {16, 65534, 65534, 5, 16}, true},
      {10, 65524, {65534}, false},
      {65530, 10, {16, 65534, 6, 16}, true},  // a chunk spans prefix and bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.prefix << " + " << c.count);
    TSRAsyncPipeWriteQueue q;
    const auto prefix = test::Pattern(c.prefix, 1);
    const auto bytes = test::Pattern(c.count, 2);
    q.Enqueue(prefix, bytes);

    std::size_t expectedSize = 0;
    for (std::size_t n : c.messages) expectedSize += n + TSRAsyncPipeWriteQueue::kNodeOverhead;
    EXPECT_EQ(q.DataSize(), expectedSize);
    EXPECT_TRUE(q.DataEvent().IsSet());
    EXPECT_FALSE(q.EmptyEvent().IsSet());

    const auto writes = DrainAll(q);
    ASSERT_EQ(writes.size(), c.messages.size());
    std::vector<std::uint8_t> joined;
    for (std::size_t i = 0; i < writes.size(); ++i) {
      EXPECT_EQ(writes[i]->Count(), c.messages[i]);
      const bool marker = c.framed && (i == 0 || i + 1 == writes.size());
      if (!marker) joined.insert(joined.end(), writes[i]->Buffer.begin(), writes[i]->Buffer.end());
    }
    if (c.framed) {
      EXPECT_TRUE(std::equal(kStart.begin(), kStart.end(), writes.front()->Buffer.begin()));
      EXPECT_TRUE(std::equal(kEnd.begin(), kEnd.end(), writes.back()->Buffer.begin()));
    }
    std::vector<std::uint8_t> expected = prefix;
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(joined, expected);

    EXPECT_EQ(q.DataSize(), 0u);
    EXPECT_FALSE(q.DataEvent().IsSet());
    EXPECT_TRUE(q.EmptyEvent().IsSet());
  }
}

TEST(PipeWriteQueue, ALongWriteObjectIsSplitTheSameWay) {
  TSRAsyncPipeWriteQueue q;
  q.Enqueue(nullptr);
  EXPECT_TRUE(q.Empty());
  q.Enqueue(std::make_unique<TPipeWrite>(test::Pattern(65535)));
  EXPECT_EQ(q.NodeCount(), 4u);
}

TEST(PipeWriteQueue, EventsFollowTheContentAndClearDropsEverything) {
  TSRAsyncPipeWriteQueue q;
  EXPECT_TRUE(q.EmptyEvent().IsSet());
  EXPECT_FALSE(Readable(q.DataEvent().Fd()));

  q.EnqueueStartPacket();
  q.Enqueue({}, test::Pattern(100));
  q.EnqueueEndPacket();
  EXPECT_TRUE(Readable(q.DataEvent().Fd()));
  EXPECT_EQ(q.DataSize(), 3 * TSRAsyncPipeWriteQueue::kNodeOverhead + 16 + 100 + 16);

  q.Clear();
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.DataSize(), 0u);
  EXPECT_FALSE(Readable(q.DataEvent().Fd()));
  EXPECT_TRUE(q.EmptyEvent().IsSet());
  EXPECT_EQ(q.Dequeue(), nullptr);
}

TEST(PipeWriteQueue, OneProducerAndOneConsumerThreadKeepTheOrder) {
  TSRAsyncPipeWriteQueue q;
  constexpr int kCount = 20000;
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i) {
      const std::uint8_t b[4] = {std::uint8_t(i), std::uint8_t(i >> 8), std::uint8_t(i >> 16), 0};
      q.Enqueue({}, b);
    }
  });
  int next = 0;
  bool inOrder = true;
  while (next < kCount) {
    pollfd p{q.DataEvent().Fd(), POLLIN, 1000};
    if (::poll(&p, 1, 1000) != 1) break;
    while (auto w = q.Dequeue()) {
      const int v = w->Buffer[0] | w->Buffer[1] << 8 | w->Buffer[2] << 16;
      inOrder = inOrder && v == next;
      ++next;
    }
  }
  producer.join();
  EXPECT_EQ(next, kCount);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(q.DataSize(), 0u);
}

}  // namespace
}  // namespace mpu::ipc
