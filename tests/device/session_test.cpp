// Session control, keep-alive, mass update and configuration commands.
#include "device_fixture.h"
#include "protocol/clock.h"

namespace mpu::test {
namespace {

using namespace std::chrono_literals;

class Session : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    Open();
    events.clear();
  }

  // The last session frame the host wrote: Active byte and key.
  std::pair<int, std::int64_t> LastSessionFrame() {
    const auto all = Unit().Written(0x01);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
      if ((*it)[0] == MPU_OP_SESSION) return {(*it)[4], wire::GetLE<std::int64_t>(it->data() + 5)};
    return {-1, 0};
  }
  std::size_t SessionFrames() {
    std::size_t n = 0;
    for (const Packet& p : Unit().Written(0x01)) n += p[0] == MPU_OP_SESSION;
    return n;
  }
  void Grant(std::int64_t key, std::uint8_t active = 1) { Answer(MPU_OP_SESSION, TMPUSessionMessage{active, key}); }
  std::size_t WaitFrames(std::size_t n) {
    Unit().WaitWritten(0x01, n, 3s);
    return Unit().WrittenCount(0x01);
  }
};

TEST_F(Session, BeginGrantRenewAndLogOff) {
  ASSERT_TRUE(mpu->BeginSession(5000));
  EXPECT_EQ(mpu->SessionStatus(), ssInitializing);
  EXPECT_EQ(events, (std::vector<std::string>{"session 1"}));
  WaitFrames(5);
  EXPECT_EQ(LastSessionFrame(), (std::pair<int, std::int64_t>{1, 5000}));

  Grant(5000);
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  Grant(5000);  // a renewal's answer changes nothing
  EXPECT_FALSE(mpu->BeginSession(0));
  Pump(50);
  EXPECT_EQ(events, (std::vector<std::string>{"session 1", "session 2"}));

  EXPECT_FALSE(mpu->RenewSession());  // queued, but reports false
  WaitFrames(6);
  EXPECT_EQ(LastSessionFrame(), (std::pair<int, std::int64_t>{1, 5000}));

  Grant(5000, 0);  // the unit ends the session
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOff; }));
  EXPECT_EQ(mpu->SessionKey(), 0);
}

TEST_F(Session, ForeignKeys) {
  Grant(77);  // while logged off: nothing
  Pump(50);
  EXPECT_TRUE(events.empty());
  ASSERT_TRUE(mpu->BeginSession(100));
  Grant(101);
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOff; }));
  EXPECT_EQ(events, (std::vector<std::string>{"session 1", "session 0"}));
}

TEST_F(Session, ANewBeginMakesTheOldAnswerLogOff) {
  const std::int64_t before = SessionKeyNow();
  ASSERT_TRUE(mpu->BeginSession(0));
  const std::int64_t first = mpu->SessionKey();
  EXPECT_GE(first, before);
  EXPECT_LE(first, SessionKeyNow());
  ASSERT_TRUE(mpu->BeginSession(first + 200000));  // still initializing: allowed, new key
  Grant(first);
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOff; }));
}

TEST_F(Session, EndSessionLogsOffAtOnce) {
  ASSERT_TRUE(mpu->BeginSession(42));
  Grant(42);
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  EXPECT_TRUE(mpu->EndSession());
  EXPECT_EQ(mpu->SessionStatus(), ssLoggedOff);
  EXPECT_EQ(events.back(), "session 0");
  WaitFrames(6);
  EXPECT_EQ(LastSessionFrame(), (std::pair<int, std::int64_t>{0, 42}));
  EXPECT_FALSE(mpu->EndSession());
}

TEST_F(Session, KeepAliveRenewsUntilSwitchedOff) {
  mpu->SetKeepSessionAliveInterval(1);
  ASSERT_TRUE(mpu->BeginSession(9));
  Grant(9);
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  const std::size_t framesAtLogOn = SessionFrames();
  ASSERT_TRUE(WaitFor([&] { return SessionFrames() >= framesAtLogOn + 1; }, 2500));
  mpu->SetKeepSessionAlive(false);
  const std::size_t framesWhenOff = SessionFrames();
  Pump(1400);
  EXPECT_EQ(SessionFrames(), framesWhenOff);
}

TEST_F(Session, MassUpdateAndConfigurationCommands) {
  struct Case {
    std::function<bool()> Call;
    Packet Head;
  };
  const Case cases[] = {
      {[&] { return mpu->MassUpdate(true, true); }, {0xCC, 1, 2, 0, 1, 1}},
      {[&] { return mpu->MassUpdate(false, false); }, {0xCC, 1, 2, 0, 0, 0}},
      {[&] { return mpu->RewriteConfig(false); }, {0xCB, 1, 4, 0, 1, 0, 0, 0}},
      {[&] { return mpu->RewriteConfig(true); }, {0xCB, 1, 4, 0, 3, 0, 0, 0}},
      {[&] { return mpu->RequestConfigInfo(); }, {0xCB, 1, 4, 0, 0, 0, 0, 0}},
  };
  std::size_t n = Unit().WrittenCount(0x01);
  for (const Case& c : cases) {
    ASSERT_TRUE(c.Call());
    WaitFrames(++n);
    const Packet p = LastWritten();
    EXPECT_EQ(Packet(p.begin(), p.begin() + static_cast<long>(c.Head.size())), c.Head);
  }
}

TEST_F(Session, GuardsWithoutAConnection) {
  ASSERT_TRUE(mpu->Disconnect());
  EXPECT_FALSE(mpu->BeginSession(1));
  EXPECT_FALSE(mpu->MassUpdate(true, false));
  EXPECT_FALSE(mpu->RewriteConfig(true));
  EXPECT_FALSE(mpu->EndSession());
}

}  // namespace
}  // namespace mpu::test
