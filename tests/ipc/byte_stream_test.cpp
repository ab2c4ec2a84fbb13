#include "ipc/byte_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <memory>

#include "tests/ipc/ipc_test_support.h"

namespace mpu::ipc {
namespace {

TEST(FastMemStream, GrowsByAFixedStepForSmallRequestsAndByAQuarterForLargeOnes) {
  struct Case {
    std::size_t request, capacity;
  };
  for (const Case c : {Case{1, 65536}, Case{4096, 69631}, Case{65535, 131070}, Case{65536, 81920},
                       Case{200000, 250000}}) {
    SCOPED_TRACE(c.request);
    EXPECT_EQ(TFastMemStream::GrownCapacity(c.request), c.capacity);
    TFastMemStream s;
    s.SetCapacity(c.request);
    EXPECT_EQ(s.Capacity(), c.capacity);
  }
}

TEST(FastMemStream, KeepsItsBlockForSmallerRequestsAndFreesItForZero) {
  TFastMemStream s;
  s.SetCapacity(100);
  const std::uint8_t* block = s.Data();
  s.SetCapacity(50);
  EXPECT_EQ(s.Data(), block);
  EXPECT_EQ(s.Capacity(), 65635u);
  s.SetCapacity(0);
  EXPECT_EQ(s.Data(), nullptr);
  EXPECT_EQ(s.Capacity(), 0u);
}

TEST(FastMemStream, GrowingKeepsTheContentAndZeroFillsTheRest) {
  TFastMemStream s;
  const auto first = test::Pattern(1000, 3);
  s.Write(first);
  s.SetSize(70000);  // beyond the first block
  const auto all = s.ReadAll();
  ASSERT_EQ(all.size(), 70000u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
  EXPECT_TRUE(std::all_of(all.begin() + 1000, all.end(), [](std::uint8_t b) { return b == 0; }));
}

// The behaviour both stream kinds share.
class ByteStreamKinds : public ::testing::TestWithParam<const char*> {
 protected:
  std::unique_ptr<TByteStream> Make() {
    if (std::string(GetParam()) == "memory") return std::make_unique<TFastMemStream>();
    auto file = TTempFileStream::Create();
    EXPECT_NE(file, nullptr);
    return file;
  }
};

TEST_P(ByteStreamKinds, WritesReadsAndSeeks) {
  auto s = Make();
  ASSERT_NE(s, nullptr);
  const auto data = test::Pattern(150000, 9);
  s->Write(std::span(data).first(100000));
  s->Write(std::span(data).subspan(100000));
  EXPECT_EQ(s->Size(), data.size());
  EXPECT_EQ(s->Position(), data.size());
  EXPECT_EQ(s->ReadAll(), data);

  s->Seek(10);
  std::array<std::uint8_t, 4> four{};
  EXPECT_EQ(s->Read(four), 4u);
  EXPECT_EQ(four[0], data[10]);
  const std::array<std::uint8_t, 2> over{0xAA, 0xBB};
  s->Seek(12);
  s->Write(over);  // overwrites in place
  EXPECT_EQ(s->Size(), data.size());
  s->Seek(s->Size() + 100);  // clamped to the end
  EXPECT_EQ(s->Position(), data.size());
  EXPECT_EQ(s->Read(four), 0u);

  s->Seek(0);
  auto all = s->ReadAll();
  EXPECT_EQ(all[12], 0xAA);
  EXPECT_EQ(all[13], 0xBB);

  s->Clear();
  EXPECT_EQ(s->Size(), 0u);
  EXPECT_TRUE(s->ReadAll().empty());
}

INSTANTIATE_TEST_SUITE_P(Both, ByteStreamKinds, ::testing::Values("memory", "file"));

TEST(TempFileStream, HasNoNameAndFailsCleanlyWithoutADirectory) {
  auto s = TTempFileStream::Create();
  ASSERT_NE(s, nullptr);
  struct stat st {};
  ASSERT_EQ(::fstat(s->Handle(), &st), 0);
  EXPECT_EQ(st.st_nlink, 0u);  // gone from the file system already

  EXPECT_EQ(TTempFileStream::CreateIn("/nonexistent-dir-for-ipc-tests"), nullptr);
}

}  // namespace
}  // namespace mpu::ipc
