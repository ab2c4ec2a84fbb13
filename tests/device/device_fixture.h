// A device component on the test's event loop, wired to the scripted fake
// driver, with every event recorded in order.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device/aldrane_mpu.h"
#include "fixtures/event_loop.h"
#include "fixtures/fake_usb.h"
#include "protocol/frames.h"

namespace mpu::test {

inline Packet ToPacket(const TMPUResponseMsg& msg, std::size_t size = 128) {
  Packet p(size, 0);
  std::copy_n(msg.Bytes().begin(), std::min(size, TMPUResponseMsg::kSize), p.begin());
  return p;
}

inline TMPUFirmwareInfoMsg FirmwareInfoAnswer(std::uint8_t page = 64, std::uint8_t control = 2,
                                              std::uint8_t data = 5, std::uint8_t aux = 2) {
  TMPUFirmwareInfoMsg info;
  info.Signature = TMPUFirmwareInfoMsg::kSignature;
  info.PacketPageSize = page;
  info.ControlPacketSize = control;
  info.DataPacketSize = data;
  info.AuxPacketSize = aux;
  info.FirmwareCount = 2;
  info.Firmwares[0] = {1, 1, 40, 12, 0, {}};
  info.Firmwares[1] = {33, 2, 3, 4, 0, {}};
  return info;
}

class DeviceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = std::make_shared<FakeDriver>();
    mpu = std::make_unique<TAldraneMPU>(driver);
    mpu->OnConnectionStatusChange = [this](TAldraneMPU&, TMPUConnectionStatus s) {
      events.push_back("connection " + std::to_string(s));
    };
    mpu->OnSessionStatusChange = [this](TAldraneMPU&, TMPUSessionStatus s) {
      events.push_back("session " + std::to_string(s));
    };
    mpu->OnBeforeOpen = [this](TAldraneMPU&) { ++beforeOpen; };
    mpu->OnLogMessage = [this](TAldraneMPU&, const QString& text) { logs.push_back(text.toStdString()); };
    mpu->SetActive(true);
  }

  void TearDown() override {
    mpu.reset();
  }

  FakeUnit& Unit() { return *driver->unit; }

  // The unit answers with a control frame of the control packet size.
  void Answer(const TMPUResponseMsg& msg, std::size_t size = 128) { Unit().Push(0x81, ToPacket(msg, size)); }

  template <class R>
  void Answer(std::uint8_t opcode, const R& record, std::optional<std::uint16_t> payloadLen = std::nullopt) {
    Answer(TMPUResponseMsg::Make(opcode, record, 1, payloadLen));
  }

  // Connect and complete the handshake: csOpened, with the three frames the
  // host queues at once already written.
  void Open() {
    ASSERT_TRUE(mpu->Connect()) << std::hex << mpu->LastError();
    ASSERT_TRUE(Unit().WaitWritten(0x01, 1, std::chrono::seconds(3)));
    Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer());
    ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }));
    ASSERT_TRUE(Unit().WaitWritten(0x01, 4, std::chrono::seconds(3)));
  }

  // Opcodes of the frames the host wrote on the control pipe.
  std::vector<int> WrittenOpcodes() {
    std::vector<int> ops;
    for (const Packet& p : Unit().Written(0x01)) ops.push_back(p.empty() ? -1 : p[0]);
    return ops;
  }

  Packet LastWritten(std::uint8_t pipe = 0x01) {
    const auto all = Unit().Written(pipe);
    return all.empty() ? Packet{} : all.back();
  }

  std::shared_ptr<FakeDriver> driver;
  std::unique_ptr<TAldraneMPU> mpu;
  std::vector<std::string> events;
  std::vector<std::string> logs;
  int beforeOpen = 0;
};

}  // namespace mpu::test
