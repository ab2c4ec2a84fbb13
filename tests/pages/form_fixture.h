// A main window on the scripted fake driver, connected: what the window
// sends is read back packet by packet, and reports are pushed as the unit
// would send them.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "fixtures/event_loop.h"
#include "fixtures/fake_usb.h"
#include "pages/main_form.h"
#include "protocol/frames.h"

namespace mpu::pages {

class FormOnFakeUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = std::make_shared<test::FakeDriver>();
    form = std::make_unique<TMainForm>(driver);
    form->ShowErrorBox = [](const QString&, const QString&) {};
    form->InjectKey = [this](int vk, bool down) { injectedKeys.emplace_back(vk, down); };
    form->show();
    ASSERT_TRUE(form->MPU().Connect());
    ASSERT_TRUE(Unit().WaitWritten(0x01, 1, std::chrono::seconds(3)));
    TMPUFirmwareInfoMsg info;
    info.Signature = TMPUFirmwareInfoMsg::kSignature;
    info.PacketPageSize = 64;
    info.ControlPacketSize = 2;
    info.DataPacketSize = 5;
    info.AuxPacketSize = 2;
    info.FirmwareCount = 1;
    info.Firmwares[0] = {1, 1, 42, 0, 0, {}};
    Report(TMPUResponseMsg::Make(MPU_OP_FIRMWARE_INFO, info));
    ASSERT_TRUE(test::WaitFor([&] { return form->MPU().ConnectionStatus() == csOpened; }));
    Settle();
  }

  void TearDown() override {
    form->MPU().SetActive(false);
    form.reset();
  }

  test::FakeUnit& Unit() { return *driver->unit; }

  void Report(const TMPUResponseMsg& msg) {
    test::Packet p(128, 0);
    std::copy_n(msg.Bytes().begin(), 128, p.begin());
    Unit().Push(0x81, p);
  }

  // Waits until the transmit queue is empty and remembers how many frames
  // went out so far.
  void Settle() {
    test::WaitFor([&] { return form->MPU().TxControlMsgsQueued() == 0; });
    test::Pump(10);
    sent = Unit().WrittenCount(0x01);
  }

  // The frames written since the last Settle.
  std::vector<test::Packet> NewFrames() {
    test::WaitFor([&] { return form->MPU().TxControlMsgsQueued() == 0; });
    const auto all = Unit().Written(0x01);
    std::vector<test::Packet> fresh(all.begin() + static_cast<long>(std::min(sent, all.size())), all.end());
    sent = all.size();
    return fresh;
  }

  std::shared_ptr<test::FakeDriver> driver;
  std::unique_ptr<TMainForm> form;
  std::size_t sent = 0;
  std::vector<std::pair<int, bool>> injectedKeys;
};

}  // namespace mpu::pages
