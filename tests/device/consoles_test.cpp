// The local console list: adding, removing, editing and committing.
#include "device_fixture.h"

namespace mpu::test {
namespace {

using namespace std::chrono_literals;

class Consoles : public DeviceFixture {
 protected:
  TMPUConsole* Add(std::uint32_t port) {
    return mpu->AddConsole(MPU_CONSOLE_TYPE_VESTREL, MPU_CONSOLE_INTF_USB, port, MPU_LOCATION_ST1, 8, 3);
  }
};

TEST_F(Consoles, AddStopsAtTheMaximum) {
  EXPECT_EQ(mpu->ConsoleMaxCount(), 4);
  for (int i = 0; i < 4; ++i) {
    TMPUConsole* c = Add(static_cast<std::uint32_t>(i));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Id(), i);
  }
  EXPECT_EQ(Add(9), nullptr);
  EXPECT_EQ(mpu->ConsoleCount(), 4);
  EXPECT_EQ(mpu->GetConsole(4), nullptr);
  EXPECT_EQ(mpu->GetConsole(-1), nullptr);
}

TEST_F(Consoles, SettersMarkOnlyRealChanges) {
  TMPUConsole* c = Add(1);
  c->SetBrightness(3);
  c->SetLocation(MPU_LOCATION_ST1);
  EXPECT_FALSE(c->Modified());
  c->SetStripCount(12);
  EXPECT_TRUE(c->Modified());
}

TEST_F(Consoles, CommitRenumbersByPosition) {
  Open();
  EXPECT_FALSE(mpu->CommitConsoleList());  // empty list: nothing sent
  TMPUConsole* first = Add(10);
  Add(11);
  TMPUConsole* third = Add(12);
  third->SetBrightness(6);
  ASSERT_TRUE(mpu->RemoveConsole(first));
  EXPECT_FALSE(mpu->RemoveConsole(first));
  EXPECT_EQ(mpu->Consoles(1)->Id(), 2);  // ids stay as they were
  const std::size_t before = Unit().WrittenCount(0x01);
  ASSERT_TRUE(mpu->CommitConsoleList());
  ASSERT_TRUE(Unit().WaitWritten(0x01, before + 1, 3s));
  EXPECT_FALSE(third->Modified());

  const Packet p = LastWritten();
  const auto frame = TMPUResponseMsg::FromPacket(p);  // read the bytes back with the record
  ASSERT_TRUE(frame);
  EXPECT_EQ(p[0], MPU_OP_CONSOLE_LIST_WRITE);
  EXPECT_EQ(frame->PayloadLen(), 104);
  const TMPUConsoleListMessage list = frame->ConsoleList();
  EXPECT_EQ(list.ConsoleCount, 2);
  EXPECT_EQ(list.MaxConsoles, 0);
  EXPECT_EQ(list.Consoles[0].ConsoleId, 0);
  EXPECT_EQ(list.Consoles[0].PortNumber, 11);
  EXPECT_EQ(list.Consoles[1].ConsoleId, 1);
  EXPECT_EQ(list.Consoles[1].PortNumber, 12);
  EXPECT_EQ(list.Consoles[1].Brightness, 6);
  EXPECT_EQ(list.Consoles[1].Interface, MPU_CONSOLE_INTF_USB);
  EXPECT_EQ(list.Consoles[1].Location, MPU_LOCATION_ST1);
  EXPECT_EQ(list.Consoles[1].StripCount, 8);
  EXPECT_EQ(list.Consoles[2].PortNumber, 0);
}

TEST_F(Consoles, BrightnessIsSentAndTheListCleared) {
  Open();
  const std::size_t before = Unit().WrittenCount(0x01);
  ASSERT_TRUE(mpu->SetConsoleBrightness(1, 4));
  ASSERT_TRUE(Unit().WaitWritten(0x01, before + 1, 3s));
  const Packet p = LastWritten();
  EXPECT_EQ((Packet(p.begin(), p.begin() + 6)), (Packet{0xCF, 1, 2, 0, 1, 4}));
  Add(1);
  mpu->ClearConsoleList();
  EXPECT_EQ(mpu->ConsoleCount(), 0);
}

}  // namespace
}  // namespace mpu::test
