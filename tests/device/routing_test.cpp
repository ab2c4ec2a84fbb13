// Routing of received frames: ranges, system answers and their minimum
// lengths, the console list rebuild.
#include "device_fixture.h"

namespace mpu::test {
namespace {

class Routing : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    mpu->OnReceiveSourceMessage = [this](TAldraneMPU&, const TMPUResponseMsg& m) {
      received.push_back("source " + std::to_string(m.Opcode()));
    };
    mpu->OnReceiveMixerMessage = [this](TAldraneMPU&, const TMPUResponseMsg& m) {
      if (m.Opcode() == MPU_OP_MARKER) received.push_back("marker " + std::to_string(m.Marker().MarkerId));
      else received.push_back("mixer " + std::to_string(m.Opcode()));
    };
    mpu->OnHealthInfo = [this](TAldraneMPU&, const TMPUHealthInfo& h) {
      received.push_back("health " + std::to_string(h.Host_VDD120));
    };
    mpu->OnConfigInfo = [this](TAldraneMPU&, std::uint16_t v) { received.push_back("config " + std::to_string(v)); };
    mpu->OnMassUpdateChange = [this](TAldraneMPU&, bool a) { received.push_back("mass " + std::to_string(a)); };
    mpu->OnConsoleListChange = [this](TAldraneMPU&) { received.push_back("consoles"); };
    mpu->OnConsoleBrightnessChange = [this](TAldraneMPU&, TMPUConsole& c) {
      received.push_back("brightness " + std::to_string(c.Id()) + "=" + std::to_string(c.Brightness()));
    };
    mpu->OnReceiveBoardTagInfo = [this](TAldraneMPU&, const TMPUBoardTagMessage& t) {
      received.push_back("tag " + std::to_string(t.BoardId));
    };
    mpu->OnReceiveReadAudioBoardMessage = [this](TAldraneMPU&, const TMPUABDirectMessage& m) {
      received.push_back("ab " + std::to_string(m.Count));
    };
    mpu->OnReceiveFirmwaresInfo = [this](TAldraneMPU&) { received.push_back("firmwares"); };
    Open();
  }

  // Sends the frames, then a marker frame that every path passes, and waits
  // until that arrived: everything before it has been routed.
  std::vector<std::string> Route(const std::vector<TMPUResponseMsg>& frames) {
    received.clear();
    for (const auto& f : frames) Answer(f);
    Answer(MPU_OP_MARKER, TMPUMarkerMessage{1000, 0, 0});
    EXPECT_TRUE(WaitFor([&] { return !received.empty() && received.back() == "marker 1000"; }));
    if (!received.empty()) received.pop_back();
    return received;
  }

  static TMPUConsoleListMessage Consoles(int count, int maxConsoles) {
    TMPUConsoleListMessage list;
    list.ConsoleCount = static_cast<std::uint8_t>(count);
    list.MaxConsoles = static_cast<std::uint8_t>(maxConsoles);
    list.StripCount = 16;
    list.MaxStrips = 32;
    for (std::size_t i = 0; i < list.Consoles.size(); ++i) {
      list.Consoles[i].ConsoleId = static_cast<std::uint8_t>(i);
      list.Consoles[i].StripCount = 8;
      list.Consoles[i].ConsoleType = MPU_CONSOLE_TYPE_FENDRAL;
      list.Consoles[i].Interface = MPU_CONSOLE_INTF_LAN;
      list.Consoles[i].PortNumber = static_cast<std::uint16_t>(5000 + i);
      list.Consoles[i].Brightness = 5;
    }
    return list;
  }

  std::vector<std::string> received;
};

TEST_F(Routing, ByOpcodeRange) {
  auto raw = [](std::uint8_t opcode) { return TMPUResponseMsg::Make(opcode, TMPUSourceControlMessage{1, 2}); };
  EXPECT_EQ(Route({raw(0x3F), raw(0x40), raw(0x01), raw(0x7F), raw(0x00), raw(0x80), raw(150), raw(191), raw(0xFF)}),
            (std::vector<std::string>{"source 63", "mixer 64", "source 1", "mixer 127"}));
}

TEST_F(Routing, SystemAnswersNeedTheirMinimumLength) {
  TMPUHealthInfo health;
  health.Host_VDD120 = 12000;
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_HEALTH_INFO, health, 1, 56)}), std::vector<std::string>{});
  EXPECT_EQ(mpu->HealthInfo().Host_VDD120, 0);
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_HEALTH_INFO, health)}), (std::vector<std::string>{"health 12000"}));
  EXPECT_EQ(mpu->HealthInfo().Host_VDD120, 12000);

  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{0, 0x0102}, 1, 3),
                   TMPUResponseMsg::Make(MPU_OP_CONFIG_STORE, TMPUConfigStoreMessage{0, 0x0102}),
                   TMPUResponseMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 0}, 1, 1),
                   TMPUResponseMsg::Make(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{1, 0})}),
            (std::vector<std::string>{"config 258", "mass 1"}));
  EXPECT_EQ(mpu->ConfigVersion(), 0x0102);
  EXPECT_TRUE(mpu->MassUpdateActive());

  TMPUFirmwareInfoMsg list = FirmwareInfoAnswer();
  list.FirmwareCount = 1;
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_FIRMWARE_INFO, list, 1, 93),
                   TMPUResponseMsg::Make(MPU_OP_FIRMWARE_INFO, list)}),
            (std::vector<std::string>{"firmwares"}));
  EXPECT_EQ(mpu->FirmwareCount(), 1u);
}

TEST_F(Routing, MarkersTagsAndAudioBoardReads) {
  TMPUABDirectMessage none, two;
  two.Count = 2;
  TMPUBoardTagMessage tag;
  tag.BoardId = 32;
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{511, 0, 0}),
                   TMPUResponseMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{512, 0, 0}),
                   TMPUResponseMsg::Make(MPU_OP_AB_DIRECT_READ, none), TMPUResponseMsg::Make(MPU_OP_AB_DIRECT_READ, two),
                   TMPUResponseMsg::Make(MPU_OP_BOARD_TAG_READ, tag),
                   TMPUResponseMsg::Make(0xC9, TMPUMarkerMessage{})}),  // a system opcode nobody handles
            (std::vector<std::string>{"marker 512", "ab 2", "tag 32"}));
}

TEST_F(Routing, ConsoleListRebuildAndBrightness) {
  // Six consoles announced while the unit takes four: four are kept, one event.
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_CONSOLE_LIST, Consoles(6, 4))}),
            (std::vector<std::string>{"consoles"}));
  ASSERT_EQ(mpu->ConsoleCount(), 4);
  EXPECT_EQ(mpu->ConsoleMaxCount(), 4);
  EXPECT_EQ(mpu->StripCount(), 16);
  EXPECT_EQ(mpu->StripMaxCount(), 32);
  EXPECT_EQ(mpu->Consoles(3)->PortNo(), 5003u);
  EXPECT_EQ(mpu->Consoles(0)->InterfaceType(), MPU_CONSOLE_INTF_LAN);

  // More than eight entries are never read; a count of 0 changes nothing.
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_CONSOLE_LIST, Consoles(200, 200)),
                   TMPUResponseMsg::Make(MPU_OP_CONSOLE_LIST, Consoles(0, 4))}),
            (std::vector<std::string>{"consoles"}));
  EXPECT_EQ(mpu->ConsoleCount(), 8);
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_CONSOLE_LIST, Consoles(2, 4), 1, 103)}), std::vector<std::string>{});

  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_CONSOLE_LIST, Consoles(2, 4)),
                   TMPUResponseMsg::Make(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{3, 7}),
                   TMPUResponseMsg::Make(MPU_OP_CONSOLE_BRIGHTNESS, TMPUConsoleBrightnessMessage{1, 7})}),
            (std::vector<std::string>{"consoles", "brightness 1=7"}));
  EXPECT_FALSE(mpu->Consoles(1)->Modified());
}

TEST_F(Routing, HandlerExceptionsAreReportedAndTheNextFrameStillFlows) {
  std::vector<std::string> reported;
  mpu->OnHandlerException = [&](TAldraneMPU&, const char* what) { reported.emplace_back(what); };
  mpu->OnReceiveSourceMessage = [](TAldraneMPU&, const TMPUResponseMsg&) { throw std::runtime_error("bad handler"); };
  EXPECT_EQ(Route({TMPUResponseMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{1, 1})}), std::vector<std::string>{});
  EXPECT_EQ(reported, (std::vector<std::string>{"bad handler"}));
}

}  // namespace
}  // namespace mpu::test
