// Opening the unit, the handshake, the connection state machine, the
// reconnect timer and the transmit queue.
#include <QStringList>

#include "device_fixture.h"
#include "protocol/labels.h"

namespace mpu::test {
namespace {

using namespace std::chrono_literals;

class Connection : public DeviceFixture {};

TEST_F(Connection, RefusalsOfConnect) {
  struct Case {
    const char* What;
    std::function<void(TAldraneMPU&, FakeDriver&)> Setup;
    std::uint32_t Error;
    bool Lost;  // ConnectionLost and a reconnect armed
  };
  const std::vector<Case> cases = {
      {"not active", [](TAldraneMPU& m, FakeDriver&) { m.SetActive(false); }, MPU_ERR_NOT_ACTIVE, false},
      {"library missing", [](TAldraneMPU&, FakeDriver& d) { d.loaded = false; }, MPU_ERR_LIBRARY_MISSING, false},
      {"version unreadable", [](TAldraneMPU&, FakeDriver& d) { d.version.reset(); }, MPU_ERR_LIBRARY_VERSION, false},
      {"another major version", [](TAldraneMPU&, FakeDriver& d) { d.version = usb::LibraryVersion{3, 0, 0, 0}; },
       MPU_ERR_LIBRARY_VERSION, false},
      {"no device list", [](TAldraneMPU&, FakeDriver& d) { d.entries.reset(); }, MPU_ERR_DEVICE_LIST, false},
      {"empty list", [](TAldraneMPU&, FakeDriver& d) { d.entries->clear(); }, MPU_ERR_NOT_PRESENT, true},
      {"other product", [](TAldraneMPU&, FakeDriver& d) { (*d.entries)[0].ProductId = 0x2003; },
       MPU_ERR_NOT_PRESENT, true},
      {"listed but not connected", [](TAldraneMPU&, FakeDriver& d) { (*d.entries)[0].Connected = false; },
       MPU_ERR_OPEN_FAILED, false},
      {"open fails", [](TAldraneMPU&, FakeDriver& d) { d.openFails = true; }, MPU_ERR_OPEN_FAILED, false},
      {"time-out policy fails", [](TAldraneMPU&, FakeDriver& d) { d.unit->failTimeoutPolicy = true; },
       MPU_ERR_OPEN_FAILED, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    driver = std::make_shared<FakeDriver>();
    mpu = std::make_unique<TAldraneMPU>(driver);
    mpu->SetActive(true);
    c.Setup(*mpu, *driver);
    EXPECT_FALSE(mpu->Connect());
    EXPECT_EQ(mpu->LastError(), c.Error) << std::hex << mpu->LastError();
    EXPECT_EQ(mpu->ConnectionStatus(), csClosed);
    EXPECT_EQ(mpu->ConnectionLost(), c.Lost);
    // Whatever was opened is closed again.
    EXPECT_EQ(driver->unit->opens, driver->unit->closes);
  }
}

TEST_F(Connection, FailedOpenSaysWhy) {
  driver->openFails = true;
  EXPECT_FALSE(mpu->Connect());
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.back(), "no access to the device");
  EXPECT_EQ(mpu->LastOpenProblem().toStdString(), "no access to the device");
}

TEST_F(Connection, NotConnectedDeviceIsDescribed) {
  (*driver->entries)[0].Connected = false;
  EXPECT_FALSE(mpu->Connect());
  const QStringList& info = mpu->DeviceInfoStrings();
  ASSERT_GE(info.size(), 3);
  EXPECT_EQ(info[info.size() - 2].toStdString(), "Connection Status: DISCONNECTED");
  EXPECT_EQ(info.back().toStdString(), "--------------------- [DEVICE INFO] ---------------------------------");
}

TEST_F(Connection, ConnectWhileOpeningOrOpenDoesNothing) {
  ASSERT_TRUE(mpu->Connect());
  EXPECT_EQ(mpu->ConnectionStatus(), csOpening);
  EXPECT_TRUE(mpu->Connect());
  EXPECT_EQ(driver->unit->opens, 1);
  EXPECT_TRUE(Unit().WaitWritten(0x01, 1, 3s));
  Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer());
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }));
  EXPECT_TRUE(mpu->Connect());
  EXPECT_EQ(driver->unit->opens, 1);
}

TEST_F(Connection, DeviceInformationLines) {
  Open();
  const QStringList expected = {
      "--------------------- [DEVICE INFO] ---------------------------------",
      "Vendor ID: 0x1209",
      "Product ID: 0x2002",
      "Instance ID: 1-2",
      "Driver ID: 0",
      "Device Interface GUID: {iface}",
      "Instance ID: USB\\VID_1209&PID_2002",
      "ClassGUID: {class}",
      "Manufacturer: Maker",
      "Device Desc: MPU",
      "Device SN: SN42",
      "Service: usbfs",
      "Symbolic Link: /dev/bus/usb/001/005",
      "Device Path: /sys/bus/usb/devices/1-2",
      "Bus Number: 1",
      "Device Address: 5",
      "Connection Status: Connected",
      "Connection Speed: High(480Mbit/sec)",
      " ",
      "Alternate Setting: 0",
      "  --> PipeId=0x01 (Out EP), PipeType=0x02 (Bulk,), Interval=0, MaximumPacketSize=512",
      "  --> PipeId=0x81 (In EP), PipeType=0x02 (Bulk,), Interval=0, MaximumPacketSize=512",
      "  --> PipeId=0x02 (Out EP), PipeType=0x02 (Bulk,), Interval=0, MaximumPacketSize=512",
      "  --> PipeId=0x82 (In EP), PipeType=0x02 (Bulk,), Interval=0, MaximumPacketSize=512",
      "--------------------- [DEVICE INFO] ---------------------------------",
  };
  EXPECT_EQ(mpu->DeviceInfoStrings(), expected);
  EXPECT_EQ(mpu->DeviceSpeed(), dsHigh);
  EXPECT_EQ(mpu->DeviceSN().toStdString(), "SN42");
  std::lock_guard lock(Unit().mutex);
  EXPECT_EQ(Unit().timeouts[0x01], 20000u);
  EXPECT_EQ(Unit().timeouts[0x02], 20000u);
}

TEST_F(Connection, HandshakeThenHostReadyConfigAndConsoleRequests) {
  Open();
  EXPECT_EQ(events, (std::vector<std::string>{"connection 1", "connection 2"}));
  const auto written = Unit().Written(0x01);
  ASSERT_EQ(written.size(), 4u);
  for (const Packet& p : written) EXPECT_EQ(p.size(), 128u);
  EXPECT_EQ((Packet(written[0].begin(), written[0].begin() + 4)), (Packet{0xC1, 1, 0, 0}));
  EXPECT_EQ((Packet(written[1].begin(), written[1].begin() + 4)), (Packet{0xC7, 1, 0, 0}));
  EXPECT_EQ((Packet(written[2].begin(), written[2].begin() + 8)), (Packet{0xCB, 1, 4, 0, 0, 0, 0, 0}));
  EXPECT_EQ((Packet(written[3].begin(), written[3].begin() + 4)), (Packet{0xCD, 1, 0, 0}));
  EXPECT_EQ(mpu->ControlPacketSize(), 128u);
  EXPECT_EQ(mpu->DataPacketSize(), 320u);
  EXPECT_EQ(mpu->AuxPacketSize(), 128u);
  EXPECT_EQ(mpu->FirmwareCount(), 2u);
  EXPECT_EQ(mpu->FirmwareInfo(0).VersionMinor, 40);
  EXPECT_EQ(mpu->FirmwareInfo(2).FirmwareId, 0);  // beyond the list: all zero
}

TEST_F(Connection, WrongFirstAnswersAreIgnored) {
  ASSERT_TRUE(mpu->Connect());
  Answer(MPU_OP_HEALTH_INFO, TMPUHealthInfo{});
  TMPUFirmwareInfoMsg bad = FirmwareInfoAnswer();
  bad.Signature[7] = '4';
  Answer(MPU_OP_FIRMWARE_INFO, bad);
  Pump(100);
  EXPECT_EQ(mpu->ConnectionStatus(), csOpening);
  Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer());
  EXPECT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }));
}

TEST_F(Connection, PacketSizesAbove512AreRefused) {
  ASSERT_TRUE(mpu->Connect());
  Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer(64, 2, 9, 2));  // 576-byte data packets
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csClosed; }));
  EXPECT_EQ(events, (std::vector<std::string>{"connection 1", "connection 0"}));
  ASSERT_FALSE(logs.empty());
  EXPECT_NE(logs.back().find("576"), std::string::npos);
  EXPECT_EQ(Unit().WrittenCount(0x01), 1u);  // no host-ready frame
}

TEST_F(Connection, RefusedOnConnectClosesWithoutHostReady) {
  int connects = 0;
  mpu->OnConnect = [&](TAldraneMPU&, bool& canContinue) {
    ++connects;
    canContinue = false;
  };
  ASSERT_TRUE(mpu->Connect());
  Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer());
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csClosed && connects == 1; }));
  EXPECT_EQ(events, (std::vector<std::string>{"connection 1", "connection 0"}));
  EXPECT_EQ(Unit().WrittenCount(0x01), 1u);
  EXPECT_EQ(Unit().opens, Unit().closes);
}

TEST_F(Connection, ThrowingHandlersOfConnectAndStatusAreSwallowed) {
  mpu->OnConnect = [](TAldraneMPU&, bool&) { throw std::runtime_error("boom"); };
  mpu->OnConnectionStatusChange = [](TAldraneMPU&, TMPUConnectionStatus) { throw std::runtime_error("boom"); };
  ASSERT_TRUE(mpu->Connect());
  Answer(MPU_OP_FIRMWARE_INFO, FirmwareInfoAnswer());
  EXPECT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpened; }));
}

TEST_F(Connection, ControlPacketOfAnotherSizeIsDropped) {
  Open();
  std::vector<int> sources;
  mpu->OnReceiveSourceMessage = [&](TAldraneMPU&, const TMPUResponseMsg& m) { sources.push_back(m.Opcode()); };
  Answer(TMPUResponseMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{1, 1}), 64);
  Answer(TMPUResponseMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{1, -10, 0}));
  ASSERT_TRUE(WaitFor([&] { return !sources.empty(); }));
  Pump(50);
  EXPECT_EQ(sources, (std::vector<int>{MPU_OP_INSRC_FADER}));
}

TEST_F(Connection, ALongPacketIsDroppedLikeAShortOne) {
  Open();
  std::vector<int> sources;
  mpu->OnReceiveSourceMessage = [&](TAldraneMPU&, const TMPUResponseMsg& m) { sources.push_back(m.Opcode()); };
  Answer(TMPUResponseMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{1, 1}), 256);  // overflows the read
  Answer(TMPUResponseMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{1, -10, 0}));
  ASSERT_TRUE(WaitFor([&] { return !sources.empty(); }));
  EXPECT_EQ(sources, (std::vector<int>{MPU_OP_INSRC_FADER}));
  EXPECT_EQ(mpu->ConnectionStatus(), csOpened);
}

TEST_F(Connection, OnlyTheControlPacketSizeOfAFrameIsWritten) {
  Open();
  TMPUCommandMsg msg;
  msg.Prepare(MPU_OP_MARKER, TMPUMarkerMessage{7, 8, 9});
  msg.Bytes()[300] = 0x5A;
  ASSERT_TRUE(mpu->SendControlMessage(msg));
  ASSERT_TRUE(Unit().WaitWritten(0x01, 5, 3s));
  const Packet p = LastWritten();
  EXPECT_EQ(p.size(), 128u);
  EXPECT_EQ(Packet(p.begin(), p.end()), Packet(msg.Bytes().begin(), msg.Bytes().begin() + 128));
}

TEST_F(Connection, SendControlMessageNeedsAnOpenConnection) {
  TMPUCommandMsg msg = TMPUCommandMsg::Make(MPU_OP_HEALTH_INFO);
  EXPECT_FALSE(mpu->SendControlMessage(msg));
  EXPECT_EQ(mpu->LastError(), MPU_ERR_NOT_OPEN);
  mpu->SetActive(false);
  EXPECT_FALSE(mpu->SendControlMessage(msg));
  EXPECT_EQ(mpu->LastError(), MPU_ERR_NOT_ACTIVE);
}

TEST_F(Connection, UnplugWhileLoggedOn) {
  Open();
  ASSERT_TRUE(mpu->BeginSession(1234));
  Answer(MPU_OP_SESSION, TMPUSessionMessage{1, 1234});
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  events.clear();
  driver->entries->clear();  // the vanished unit is not listed any more
  mpu->SetAutoReconnectInterval(1);
  Unit().Unplug();
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csClosed; }));
  EXPECT_EQ(events, (std::vector<std::string>{"session 0", "connection 0"}));
  EXPECT_TRUE(mpu->ConnectionLost());
  auto sessionEnd = [](const Packet& p) { return p[0] == MPU_OP_SESSION && p[4] == 0; };
  for (const Packet& p : Unit().Failed(0x01)) EXPECT_FALSE(sessionEnd(p)) << "a session-end frame was sent";
  for (const Packet& p : Unit().Written(0x01)) EXPECT_FALSE(sessionEnd(p)) << "a session-end frame was sent";
  EXPECT_TRUE(WaitFor([&] { return Unit().opens == Unit().closes; }));

  // The reconnect timer retries the open, each attempt announced.
  const int before = beforeOpen;
  ASSERT_TRUE(WaitFor([&] { return beforeOpen >= before + 2; }, 4000));
  EXPECT_TRUE(mpu->ConnectionLost());

  // Plugged back: the next tick opens the unit again.
  driver->Replug();
  (*driver->entries) = FakeDriver().entries.value();
  ASSERT_TRUE(WaitFor([&] { return mpu->ConnectionStatus() == csOpening; }, 3000));
  EXPECT_TRUE(Unit().WaitWritten(0x01, 1, 3s));
}

TEST_F(Connection, ReconnectIsDisarmedByDisconnectAndByClearingAutoReconnect) {
  driver->entries->clear();
  mpu->SetAutoReconnectInterval(1);
  for (int variant = 0; variant < 2; ++variant) {
    SCOPED_TRACE(variant == 0 ? "Disconnect" : "AutoReconnect off");
    mpu->SetAutoReconnect(true);
    EXPECT_FALSE(mpu->Connect());
    EXPECT_EQ(mpu->LastError(), MPU_ERR_NOT_PRESENT);
    EXPECT_TRUE(mpu->ConnectionLost());
    if (variant == 0) {
      EXPECT_FALSE(mpu->Disconnect());  // nothing was open
      EXPECT_FALSE(mpu->ConnectionLost());
    } else {
      mpu->SetAutoReconnect(false);
    }
    const int before = beforeOpen;
    Pump(1500);
    EXPECT_EQ(beforeOpen, before);
  }
}

TEST_F(Connection, PropertySetterRules) {
  mpu->SetDeviceProductId(0x3000);  // ignored while active
  EXPECT_EQ(mpu->DeviceProductId(), 0x2002);
  mpu->SetActive(false);
  mpu->SetDeviceProductId(0);
  EXPECT_EQ(mpu->DeviceProductId(), 0x2002);
  mpu->SetDeviceProductId(0x3000);
  EXPECT_EQ(mpu->DeviceProductId(), 0x3000);
  for (std::uint32_t v : {0u, 61u}) {
    mpu->SetAutoReconnectInterval(v);
    EXPECT_EQ(mpu->AutoReconnectInterval(), 10u);
  }
  mpu->SetAutoReconnectInterval(60);
  EXPECT_EQ(mpu->AutoReconnectInterval(), 60u);
  mpu->SetKeepSessionAliveInterval(31);
  EXPECT_EQ(mpu->KeepSessionAliveInterval(), 10u);
  mpu->SetKeepSessionAliveInterval(30);
  EXPECT_EQ(mpu->KeepSessionAliveInterval(), 30u);
}

TEST_F(Connection, DisconnectClosesEverything) {
  Open();
  ASSERT_TRUE(mpu->Disconnect());
  EXPECT_EQ(mpu->ConnectionStatus(), csClosed);
  EXPECT_FALSE(mpu->ConnectionLost());
  EXPECT_EQ(events.back(), "connection 0");
  EXPECT_TRUE(mpu->WaitForPipeThreads(2000));
  EXPECT_EQ(Unit().opens, Unit().closes);
  EXPECT_EQ(mpu->MeteringData()[0], static_cast<std::int8_t>(0x80));
}

TEST_F(Connection, LoggedOnDisconnectSendsTheSessionEndFirst) {
  Open();
  ASSERT_TRUE(mpu->BeginSession(99));
  Answer(MPU_OP_SESSION, TMPUSessionMessage{1, 99});
  ASSERT_TRUE(WaitFor([&] { return mpu->SessionStatus() == ssLoggedOn; }));
  ASSERT_TRUE(mpu->Disconnect());
  const Packet last = LastWritten();
  ASSERT_GE(last.size(), 13u);
  EXPECT_EQ((Packet(last.begin(), last.begin() + 13)), (Packet{0xC5, 1, 9, 0, 0, 99, 0, 0, 0, 0, 0, 0, 0}));
}

class TransmitQueue : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    mpu->SetControlMsgTxQueueLength(4);
    Open();
  }
  bool Send(std::uint32_t marker) {
    return mpu->SendControlMessage(TMPUCommandMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{marker, 0, 0}));
  }
  std::vector<std::uint32_t> WrittenMarkers() {
    std::vector<std::uint32_t> ids;
    for (const Packet& p : Unit().Written(0x01))
      if (p[0] == MPU_OP_MARKER) ids.push_back(wire::GetLE<std::uint32_t>(p.data() + 4));
    return ids;
  }
};

TEST_F(TransmitQueue, FullAtQueueLengthAndFreeAgainAfterOneWrite) {
  Unit().SetBlockWrites(true);
  ASSERT_TRUE(Send(1));
  ASSERT_TRUE(Unit().WaitWriteInProgress(3s));  // frame 1 is on its way and still counts
  EXPECT_TRUE(Send(2));
  EXPECT_TRUE(Send(3));
  EXPECT_TRUE(Send(4));
  EXPECT_EQ(mpu->TxControlMsgsQueued(), 4u);
  EXPECT_FALSE(Send(5));
  Unit().SetBlockWrites(false);
  ASSERT_TRUE(WaitFor([&] { return mpu->TxControlMsgsQueued() < 4; }));
  EXPECT_TRUE(Send(6));
  ASSERT_TRUE(WaitFor([&] { return mpu->TxControlMsgsQueued() == 0; }));
  EXPECT_EQ(WrittenMarkers(), (std::vector<std::uint32_t>{1, 2, 3, 4, 6}));
}

TEST_F(TransmitQueue, PurgeDuringAWriteKeepsFramesQueuedAfterIt) {
  Unit().SetBlockWrites(true);
  ASSERT_TRUE(Send(1));
  ASSERT_TRUE(Unit().WaitWriteInProgress(3s));
  ASSERT_TRUE(Send(2));
  ASSERT_TRUE(Send(3));
  mpu->PurgeTxQueue();
  EXPECT_EQ(mpu->TxControlMsgsQueued(), 0u);
  ASSERT_TRUE(Send(4));
  Unit().SetBlockWrites(false);
  ASSERT_TRUE(WaitFor([&] { return WrittenMarkers().size() == 2 && mpu->TxControlMsgsQueued() == 0; }));
  EXPECT_EQ(WrittenMarkers(), (std::vector<std::uint32_t>{1, 4}));
}

TEST_F(TransmitQueue, PauseHoldsWritingUntilResumed) {
  mpu->PauseTxQueue(true);
  mpu->PauseTxQueue(true);
  ASSERT_TRUE(Send(1));
  Pump(100);
  EXPECT_TRUE(WrittenMarkers().empty());
  mpu->PauseTxQueue(false);
  ASSERT_TRUE(WaitFor([&] { return WrittenMarkers().size() == 1; }));
}

}  // namespace
}  // namespace mpu::test
