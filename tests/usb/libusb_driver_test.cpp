// The libusb backend: against the system's libusb-1.0.so.0 (it loads,
// reports major version 1, lists, and finds no unit on a machine without
// one), against files that are not libusb ("not loaded"), and against a
// fake libusb that serves described devices (open, claim, pipes, transfers,
// abort from another thread, unplug, close).
#include "usb/libusb_driver.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "tests/usb/fake_libusb.h"

namespace mpu::usb {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kBound = 5s;  // upper bound of every wait for a condition

// ----- the system's libusb ----------------------------------------------------

TEST(LibusbDriverSystem, LoadsLibusbWithMajorVersion1) {
  LibusbDriver driver;
  ASSERT_TRUE(driver.Loaded()) << driver.LoadProblem();
  EXPECT_EQ(driver.LibraryFile(), "libusb-1.0.so.0");
  const std::optional<LibraryVersion> v = driver.GetVersion();
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->Major, 1);
  EXPECT_EQ(driver.ExpectedMajorVersion(), 1);
}

TEST(LibusbDriverSystem, ListsDevicesAndReportsTheUnitNotPresent) {
  LibusbDriver driver;
  ASSERT_TRUE(driver.Loaded()) << driver.LoadProblem();
  const std::optional<std::vector<DeviceListEntry>> list = driver.ListDevices();
  ASSERT_TRUE(list.has_value()) << driver.LoadProblem();  // possibly empty
  for (const DeviceListEntry& e : *list) {
    EXPECT_EQ(e.Owner, static_cast<const UsbDriver*>(&driver));
    EXPECT_TRUE(e.Token);
    EXPECT_TRUE(e.Connected);
    EXPECT_EQ(e.DevicePath, std::string(kSysfsUsbDevices) + "/" + e.InstanceId);
    EXPECT_EQ(e.SymbolicLink.rfind("/dev/bus/usb/", 0), 0u) << e.SymbolicLink;
  }
  const bool unitPresent = std::any_of(list->begin(), list->end(), [](const DeviceListEntry& e) {
    return e.VendorId == MPU_USB_VENDOR_ID && e.ProductId == MPU_USB_PRODUCT_ID;
  });
  if (unitPresent) GTEST_SKIP() << "an MPU is attached to this machine";
  EXPECT_FALSE(unitPresent);
}

TEST(LibusbDriverSystem, RefusesAnEntryItDidNotList) {
  LibusbDriver driver;
  DeviceListEntry foreign;
  foreign.VendorId = MPU_USB_VENDOR_ID;
  foreign.ProductId = MPU_USB_PRODUCT_ID;
  foreign.Connected = true;
  EXPECT_EQ(driver.Open(foreign), nullptr);
  EXPECT_FALSE(driver.LastOpenProblem().empty());
}

// ----- files that are not (complete) libusb ---------------------------------------

TEST(LibusbDriverLoad, MissingFileIsNotLoaded) {
  LibusbDriver driver("libusb-does-not-exist.so.0");
  EXPECT_FALSE(driver.Loaded());
  EXPECT_NE(driver.LoadProblem().find("libusb-does-not-exist.so.0"), std::string::npos);
  EXPECT_FALSE(driver.GetVersion().has_value());
  EXPECT_FALSE(driver.ListDevices().has_value());
  EXPECT_EQ(driver.Open(DeviceListEntry{}), nullptr);
  EXPECT_FALSE(driver.LastOpenProblem().empty());
  EXPECT_EQ(driver.ExpectedMajorVersion(), 1);
}

TEST(LibusbDriverLoad, LibraryWithoutLibusbFunctionsIsNotLoaded) {
  LibusbDriver driver("libm.so.6");
  EXPECT_FALSE(driver.Loaded());
  EXPECT_NE(driver.LoadProblem().find("libusb_init"), std::string::npos) << driver.LoadProblem();
  EXPECT_FALSE(driver.GetVersion().has_value());
  EXPECT_FALSE(driver.ListDevices().has_value());
}

TEST(LibusbDriverLoad, LibraryLackingOneFunctionIsNotLoaded) {
  LibusbDriver driver(MPU_FAKE_LIBUSB_INCOMPLETE);
  EXPECT_FALSE(driver.Loaded());
  const std::string problem = driver.LoadProblem();
  EXPECT_NE(problem.find("libusb_cancel_transfer"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("libusb_init"), std::string::npos) << problem;
  EXPECT_FALSE(driver.GetVersion().has_value());
}

// ----- the fake libusb ----------------------------------------------------------------

class FakeLibusbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Resident for the rest of the process, so that what the fake keeps
    // (and hands out) stays valid.
    handle_ = dlopen(MPU_FAKE_LIBUSB, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(handle_, nullptr) << dlerror();
    auto control = reinterpret_cast<fakeusb::ControlFn>(dlsym(handle_, fakeusb::kControlSymbol));
    ASSERT_NE(control, nullptr);
    fake_ = control();
    fake_->Reset();
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    sysfs_ = fs::temp_directory_path() / ("mpu-usb-sysfs-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(sysfs_);
    fs::create_directories(sysfs_);
    driver_ = std::make_unique<LibusbDriver>(MPU_FAKE_LIBUSB, sysfs_.string());
    ASSERT_TRUE(driver_->Loaded()) << driver_->LoadProblem();
  }

  void TearDown() override {
    driver_.reset();
    if (fake_) {
      const fakeusb::Stats s = fake_->GetStats();
      EXPECT_EQ(s.FreedInFlight, 0) << "a transfer was freed before its callback ran";
      EXPECT_EQ(s.ClosedWithTransfers, 0) << "a handle was closed with transfers in flight";
      EXPECT_EQ(s.ClosedWhileClaimed, 0) << "a handle was closed without releasing its interface";
      EXPECT_EQ(s.TransfersAlive, 0);
      EXPECT_EQ(s.OpenHandles, 0);
      EXPECT_EQ(s.Contexts, 0);
    }
    std::error_code ec;
    fs::remove_all(sysfs_, ec);
    if (handle_) dlclose(handle_);
  }

  // The unit as the fake serves it: bus 2, port path 1.4, address 7, the
  // four bulk pipes in alternate setting 0, an interrupt pipe in setting 1.
  static fakeusb::DeviceSpec Unit() {
    fakeusb::DeviceSpec s;
    s.VendorId = MPU_USB_VENDOR_ID;
    s.ProductId = MPU_USB_PRODUCT_ID;
    s.BcdDevice = 0x0102;
    s.Bus = 2;
    s.Address = 7;
    s.Ports = {1, 4};
    s.Manufacturer = "Aldrane";
    s.Product = "MPU";
    s.Serial = "SN0042";
    s.Speed = LIBUSB_SPEED_HIGH;
    s.AltSettings = {
        {0,
         {{kPipeControlOut, 2, 512, 0},
          {kPipeControlIn, 2, 512, 0},
          {kPipeDataOut, 2, 512, 0},
          {kPipeDataIn, 2, 512, 0}}},
        {1, {{0x83, 3, 64, 4}}},
    };
    return s;
  }

  DeviceListEntry Find(int vendor, int product) {
    const auto list = driver_->ListDevices();
    EXPECT_TRUE(list.has_value());
    if (list)
      for (const DeviceListEntry& e : *list)
        if (e.VendorId == vendor && e.ProductId == product) return e;
    ADD_FAILURE() << "no entry " << vendor << ":" << product;
    return {};
  }

  std::unique_ptr<UsbDevice> OpenUnit() {
    const DeviceListEntry e = Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID);
    std::unique_ptr<UsbDevice> d = driver_->Open(e);
    EXPECT_NE(d, nullptr) << driver_->LastOpenProblem();
    return d;
  }

  static void WriteFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }

  void* handle_ = nullptr;
  fakeusb::Control* fake_ = nullptr;
  fs::path sysfs_;
  std::unique_ptr<LibusbDriver> driver_;
};

TEST_F(FakeLibusbTest, VersionIsTheLibrarys) {
  fake_->SetVersion(1, 0, 27, 11882);
  EXPECT_EQ(driver_->GetVersion()->Micro, 27);
  EXPECT_EQ(driver_->GetVersion()->Nano, 11882);
  fake_->SetVersion(2, 0, 0, 0);
  EXPECT_EQ(driver_->GetVersion()->Major, 2);  // the device component refuses it
  EXPECT_EQ(driver_->ExpectedMajorVersion(), 1);
}

TEST_F(FakeLibusbTest, FailedInitMeansNoListUntilItWorks) {
  fake_->SetInitError(LIBUSB_ERROR_OTHER);
  EXPECT_TRUE(driver_->Loaded());
  EXPECT_FALSE(driver_->ListDevices().has_value());
  EXPECT_NE(driver_->LoadProblem().find("libusb_init"), std::string::npos);
  fake_->SetInitError(0);
  EXPECT_TRUE(driver_->ListDevices().has_value());
  EXPECT_TRUE(driver_->LoadProblem().empty());
}

TEST_F(FakeLibusbTest, EmptyBusListsNothing) {
  const auto list = driver_->ListDevices();
  ASSERT_TRUE(list.has_value());
  EXPECT_TRUE(list->empty());
}

TEST_F(FakeLibusbTest, EntriesCarryWhatLinuxOffers) {
  fake_->AddDevice(Unit());
  fakeusb::DeviceSpec hub;
  hub.VendorId = 0x1d6b;
  hub.ProductId = 0x0002;
  hub.Bus = 3;
  hub.Address = 1;
  fake_->AddDevice(hub);
  // sysfs of the unit: interface 0 bound to a kernel driver, a manufacturer
  // text (which wins over the string descriptor).
  WriteFile(sysfs_ / "2-1.4" / "bConfigurationValue", "1\n");
  WriteFile(sysfs_ / "2-1.4" / "manufacturer", "Aldrane Ltd\n");
  fs::create_directories(sysfs_ / "2-1.4" / "2-1.4:1.0");
  fs::create_symlink("../../../../bus/usb/drivers/mpu_kernel_driver",
                     sysfs_ / "2-1.4" / "2-1.4:1.0" / "driver");

  const auto list = driver_->ListDevices();
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 2u);
  const DeviceListEntry& u = (*list)[0];
  EXPECT_EQ(u.VendorId, MPU_USB_VENDOR_ID);
  EXPECT_EQ(u.ProductId, MPU_USB_PRODUCT_ID);
  EXPECT_EQ(u.InstanceId, "2-1.4");
  EXPECT_EQ(u.DevicePath, (sysfs_ / "2-1.4").string());
  EXPECT_EQ(u.SymbolicLink, "/dev/bus/usb/002/007");
  char id[32];
  std::snprintf(id, sizeof id, "usb:v%04Xp%04Xd0102", MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID);
  EXPECT_EQ(u.DeviceId, id);
  EXPECT_EQ(u.Service, "mpu_kernel_driver");
  EXPECT_EQ(u.Manufacturer, "Aldrane Ltd");  // sysfs
  EXPECT_EQ(u.Description, "MPU");           // string descriptor
  EXPECT_EQ(u.SerialNumber, "SN0042");
  EXPECT_TRUE(u.Connected);
  EXPECT_EQ(u.BusNumber, 2);
  EXPECT_EQ(u.DeviceAddress, 7);
  EXPECT_EQ(u.DriverId, 0);
  EXPECT_TRUE(u.DeviceInterfaceGuid.empty());
  EXPECT_TRUE(u.ClassGuid.empty());
  EXPECT_EQ(u.Owner, static_cast<const UsbDriver*>(driver_.get()));
  EXPECT_TRUE(u.Token);

  const DeviceListEntry& h = (*list)[1];
  EXPECT_EQ(h.InstanceId, "usb3");  // a root hub has no port path
  EXPECT_EQ(h.SymbolicLink, "/dev/bus/usb/003/001");
  EXPECT_TRUE(h.Service.empty());
  EXPECT_TRUE(h.Manufacturer.empty());
  EXPECT_EQ(fake_->GetStats().OpenHandles, 0);  // opened for the strings only
}

TEST_F(FakeLibusbTest, DeviceThatCannotBeOpenedListsWithoutStrings) {
  fakeusb::DeviceSpec s = Unit();
  s.OpenError = LIBUSB_ERROR_ACCESS;
  fake_->AddDevice(s);
  const DeviceListEntry e = Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID);
  EXPECT_TRUE(e.Manufacturer.empty());
  EXPECT_TRUE(e.Description.empty());
  EXPECT_TRUE(e.SerialNumber.empty());
  EXPECT_EQ(e.BusNumber, 2);
}

TEST_F(FakeLibusbTest, OpenClaimsTheInterfaceAndCloseReleasesIt) {
  fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(driver_->LastOpenProblem().empty());
  EXPECT_EQ(fake_->GetStats().Claimed, 1);
  EXPECT_EQ(fake_->GetStats().OpenHandles, 1);
  d.reset();
  EXPECT_EQ(fake_->GetStats().Claimed, 0);
  EXPECT_EQ(fake_->GetStats().OpenHandles, 0);
}

TEST_F(FakeLibusbTest, AccessErrorTellsTheUserToInstallTheUdevRule) {
  fakeusb::DeviceSpec s = Unit();
  s.OpenError = LIBUSB_ERROR_ACCESS;
  fake_->AddDevice(s);
  EXPECT_EQ(driver_->Open(Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID)), nullptr);
  const std::string p = driver_->LastOpenProblem();
  EXPECT_NE(p.find("/dev/bus/usb/002/007"), std::string::npos) << p;
  EXPECT_NE(p.find("udev rule"), std::string::npos) << p;
  EXPECT_NE(p.find(UdevRuleFileName()), std::string::npos) << p;
  EXPECT_NE(p.find("udevadm"), std::string::npos) << p;
}

TEST_F(FakeLibusbTest, BusyInterfaceTellsTheUserToCloseTheOtherProgram) {
  fakeusb::DeviceSpec s = Unit();
  s.ClaimError = LIBUSB_ERROR_BUSY;
  fake_->AddDevice(s);
  EXPECT_EQ(driver_->Open(Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID)), nullptr);
  const std::string p = driver_->LastOpenProblem();
  EXPECT_NE(p.find("another program"), std::string::npos) << p;
  EXPECT_NE(p.find("close the other program"), std::string::npos) << p;
  EXPECT_EQ(fake_->GetStats().OpenHandles, 0);
  EXPECT_EQ(fake_->GetStats().Claimed, 0);
}

TEST_F(FakeLibusbTest, KernelDriverIsDetachedAtClaimAndBackAtClose) {
  fakeusb::DeviceSpec s = Unit();
  s.KernelDriverBound = true;
  fake_->AddDevice(s);
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(fake_->GetStats().Claimed, 1);
  d.reset();
  EXPECT_EQ(fake_->GetStats().KernelDriverReattached, 1);
}

TEST_F(FakeLibusbTest, KernelDriverIsDetachedByHandWhereLibusbCannot) {
  fakeusb::DeviceSpec s = Unit();
  s.KernelDriverBound = true;
  s.AutoDetachSupported = false;
  fake_->AddDevice(s);
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(fake_->GetStats().KernelDriverDetached, 1);
  d.reset();
  EXPECT_EQ(fake_->GetStats().KernelDriverDetached, 0);
  EXPECT_EQ(fake_->GetStats().KernelDriverReattached, 1);
}

TEST_F(FakeLibusbTest, UnconfiguredDeviceGetsItsFirstConfiguration) {
  fakeusb::DeviceSpec s = Unit();
  s.Configured = false;
  fake_->AddDevice(s);
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(fake_->GetStats().SetConfigurationCalls, 1);
  EXPECT_TRUE(d->QueryPipe(0, 0).has_value());
}

TEST_F(FakeLibusbTest, EntryOfAVanishedDeviceDoesNotOpen) {
  const int id = fake_->AddDevice(Unit());
  const DeviceListEntry e = Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID);
  fake_->Unplug(id);
  EXPECT_EQ(driver_->Open(e), nullptr);
  EXPECT_NE(driver_->LastOpenProblem().find("no longer attached"), std::string::npos)
      << driver_->LastOpenProblem();
}

TEST_F(FakeLibusbTest, EntryOfAnotherDriverDoesNotOpen) {
  fake_->AddDevice(Unit());
  DeviceListEntry e = Find(MPU_USB_VENDOR_ID, MPU_USB_PRODUCT_ID);
  LibusbDriver other(MPU_FAKE_LIBUSB, sysfs_.string());
  EXPECT_EQ(other.Open(e), nullptr);
  EXPECT_FALSE(other.LastOpenProblem().empty());
  e.Token.reset();
  EXPECT_EQ(driver_->Open(e), nullptr);
}

struct SpeedCase {
  int Libusb;
  std::optional<std::uint8_t> Expected;
};

class FakeLibusbSpeedTest : public FakeLibusbTest,
                            public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(FakeLibusbSpeedTest, SpeedIsMappedToTheDeviceComponentsCodes) {
  fakeusb::DeviceSpec s = Unit();
  s.Speed = GetParam().Libusb;
  fake_->AddDevice(s);
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->QueryDeviceSpeed(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, FakeLibusbSpeedTest,
                         ::testing::Values(SpeedCase{LIBUSB_SPEED_LOW, kSpeedLow},
                                           SpeedCase{LIBUSB_SPEED_FULL, kSpeedFull},
                                           SpeedCase{LIBUSB_SPEED_HIGH, kSpeedHigh},
                                           SpeedCase{LIBUSB_SPEED_SUPER, std::uint8_t{4}},
                                           SpeedCase{LIBUSB_SPEED_SUPER_PLUS, std::uint8_t{4}},
                                           SpeedCase{LIBUSB_SPEED_UNKNOWN, std::nullopt}));

TEST_F(FakeLibusbTest, AlternateSettingsAndPipesAreTheInterfaces) {
  fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  // The device component's walk: settings 0, 1, ... while accepted.
  std::vector<std::vector<PipeInfo>> seen;
  for (std::uint8_t n = 0; d->SetCurrentAlternateSetting(n); ++n) {
    seen.emplace_back();
    for (std::uint8_t i = 0; auto p = d->QueryPipe(n, i); ++i) seen.back().push_back(*p);
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(fake_->GetStats().CurrentAltSetting, 1);  // the last one stays selected
  ASSERT_EQ(seen[0].size(), 4u);
  EXPECT_EQ(seen[0][0].PipeId, kPipeControlOut);
  EXPECT_EQ(seen[0][1].PipeId, kPipeControlIn);
  EXPECT_EQ(seen[0][2].PipeId, kPipeDataOut);
  EXPECT_EQ(seen[0][3].PipeId, kPipeDataIn);
  for (const PipeInfo& p : seen[0]) {
    EXPECT_EQ(p.Type, PipeType::Bulk);
    EXPECT_EQ(p.MaximumPacketSize, 512);
    EXPECT_EQ(p.Interval, 0);
  }
  ASSERT_EQ(seen[1].size(), 1u);
  EXPECT_EQ(seen[1][0].PipeId, 0x83);
  EXPECT_EQ(seen[1][0].Type, PipeType::Interrupt);
  EXPECT_EQ(seen[1][0].MaximumPacketSize, 64);
  EXPECT_EQ(seen[1][0].Interval, 4);
  EXPECT_FALSE(d->QueryPipe(7, 0).has_value());
}

TEST_F(FakeLibusbTest, TransferTimeoutIsSetPerPipe) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->SetPipeTransferTimeout(kPipeControlOut, 20000));
  EXPECT_TRUE(d->SetPipeTransferTimeout(kPipeDataOut, 20000));
  EXPECT_FALSE(d->SetPipeTransferTimeout(0x05, 20000));  // no such pipe
  const std::vector<std::uint8_t> frame(128, 0xC1);
  EXPECT_TRUE(d->WritePipe(kPipeControlOut, frame).Ok);
  EXPECT_EQ(fake_->LastTimeout(id, kPipeControlOut), 20000u);
}

TEST_F(FakeLibusbTest, WritesAndReadsMoveWholePackets) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->FlushPipe(kPipeControlIn));

  std::vector<std::uint8_t> frame(512, 0);
  frame[0] = 193;
  frame[1] = 1;
  const TransferResult w = d->WritePipe(kPipeControlOut, std::span(frame.data(), 128));
  EXPECT_TRUE(w.Ok);
  EXPECT_EQ(w.Transferred, 128u);
  ASSERT_EQ(fake_->Written(id, kPipeControlOut).size(), 1u);
  EXPECT_EQ(fake_->Written(id, kPipeControlOut)[0],
            std::vector<std::uint8_t>(frame.begin(), frame.begin() + 128));
  EXPECT_EQ(fake_->LastTransferType(id, kPipeControlOut), LIBUSB_TRANSFER_TYPE_BULK);

  std::vector<std::uint8_t> answer(128);
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>(i);
  fake_->QueueIn(id, kPipeControlIn, answer);
  std::array<std::uint8_t, 512> rx{};
  TransferResult r = d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Transferred, 128u);
  EXPECT_TRUE(std::equal(answer.begin(), answer.end(), rx.begin()));

  fake_->QueueIn(id, kPipeControlIn, std::vector<std::uint8_t>(64, 7));  // short packet
  r = d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Transferred, 64u);

  fake_->QueueIn(id, kPipeControlIn, std::vector<std::uint8_t>(200, 7));  // more than asked for
  r = d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128));
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(EOVERFLOW));
}

TEST_F(FakeLibusbTest, WrongDirectionIsRefused) {
  fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  std::array<std::uint8_t, 8> b{};
  EXPECT_EQ(d->WritePipe(kPipeControlIn, b).ErrorCode, static_cast<std::uint32_t>(EINVAL));
  EXPECT_EQ(d->ReadPipe(kPipeControlOut, b).ErrorCode, static_cast<std::uint32_t>(EINVAL));
}

TEST_F(FakeLibusbTest, InterruptPipeGetsAnInterruptTransfer) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->SetCurrentAlternateSetting(1));
  fake_->QueueIn(id, 0x83, {1, 2, 3});
  std::array<std::uint8_t, 64> b{};
  EXPECT_TRUE(d->ReadPipe(0x83, b).Ok);
  EXPECT_EQ(fake_->LastTransferType(id, 0x83), LIBUSB_TRANSFER_TYPE_INTERRUPT);
}

TEST_F(FakeLibusbTest, AbortFromAnotherThreadReleasesABlockedReadAtOnce) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  std::array<std::uint8_t, 512> rx{};
  auto read = std::async(std::launch::async,
                         [&] { return d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128)); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlIn, 1, kBound));
  // Aborting another pipe leaves the read alone.
  EXPECT_TRUE(d->AbortPipe(kPipeDataIn));
  EXPECT_EQ(fake_->InFlight(id, kPipeControlIn), 1);
  EXPECT_TRUE(d->AbortPipe(kPipeControlIn));
  ASSERT_EQ(read.wait_for(kBound), std::future_status::ready);
  const TransferResult r = read.get();
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(ECANCELED));
}

TEST_F(FakeLibusbTest, ReadStartedAfterAnAbortBlocksNormally) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->AbortPipe(kPipeControlIn));  // nothing in flight
  std::array<std::uint8_t, 512> rx{};
  auto read = std::async(std::launch::async,
                         [&] { return d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128)); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlIn, 1, kBound));
  EXPECT_EQ(read.wait_for(50ms), std::future_status::timeout);  // still waiting for a packet
  fake_->QueueIn(id, kPipeControlIn, std::vector<std::uint8_t>(128, 9));
  ASSERT_EQ(read.wait_for(kBound), std::future_status::ready);
  const TransferResult r = read.get();
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Transferred, 128u);
  EXPECT_EQ(rx[0], 9);
}

TEST_F(FakeLibusbTest, AbortReleasesABlockedWrite) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  fake_->SetWritesBlock(id, kPipeControlOut, true);
  const std::vector<std::uint8_t> frame(128, 1);
  auto write = std::async(std::launch::async, [&] { return d->WritePipe(kPipeControlOut, frame); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlOut, 1, kBound));
  EXPECT_TRUE(d->AbortPipe(kPipeControlOut));
  ASSERT_EQ(write.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(write.get().ErrorCode, static_cast<std::uint32_t>(ECANCELED));
}

TEST_F(FakeLibusbTest, WriteTimesOutAfterThePipesTimeout) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  fake_->SetWritesBlock(id, kPipeControlOut, true);
  ASSERT_TRUE(d->SetPipeTransferTimeout(kPipeControlOut, 30));
  const std::vector<std::uint8_t> frame(128, 1);
  const TransferResult r = d->WritePipe(kPipeControlOut, frame);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(ETIMEDOUT));
}

TEST_F(FakeLibusbTest, VanishedDeviceFailsReadsWithENODEV) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  std::array<std::uint8_t, 512> rx{};
  auto read = std::async(std::launch::async,
                         [&] { return d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128)); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlIn, 1, kBound));
  fake_->Unplug(id);
  ASSERT_EQ(read.wait_for(kBound), std::future_status::ready);
  TransferResult r = read.get();
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(ENODEV));
  r = d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128));
  EXPECT_EQ(r.ErrorCode, static_cast<std::uint32_t>(ENODEV));
  EXPECT_EQ(d->WritePipe(kPipeControlOut, std::span(rx.data(), 128)).ErrorCode,
            static_cast<std::uint32_t>(ENODEV));
}

TEST_F(FakeLibusbTest, EachThreadWaitsForItsOwnTransfer) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  fake_->SetWritesBlock(id, kPipeControlOut, true);
  std::array<std::uint8_t, 512> control{}, data{};
  const std::vector<std::uint8_t> frame(128, 1);
  auto controlRead = std::async(std::launch::async, [&] {
    return d->ReadPipe(kPipeControlIn, std::span(control.data(), 128));
  });
  auto dataRead = std::async(std::launch::async,
                             [&] { return d->ReadPipe(kPipeDataIn, std::span(data.data(), 320)); });
  auto write = std::async(std::launch::async, [&] { return d->WritePipe(kPipeControlOut, frame); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlIn, 1, kBound));
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeDataIn, 1, kBound));
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeControlOut, 1, kBound));

  fake_->QueueIn(id, kPipeDataIn, std::vector<std::uint8_t>(320, 0x55));
  ASSERT_EQ(dataRead.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(dataRead.get().Transferred, 320u);
  EXPECT_EQ(controlRead.wait_for(0ms), std::future_status::timeout);
  EXPECT_EQ(write.wait_for(0ms), std::future_status::timeout);

  fake_->QueueIn(id, kPipeControlIn, std::vector<std::uint8_t>(128, 0xC1));
  ASSERT_EQ(controlRead.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(controlRead.get().Transferred, 128u);
  EXPECT_EQ(control[0], 0xC1);

  d->AbortPipe(kPipeControlOut);
  ASSERT_EQ(write.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(write.get().ErrorCode, static_cast<std::uint32_t>(ECANCELED));
  EXPECT_EQ(data[0], 0x55);
}

TEST_F(FakeLibusbTest, ClosingReleasesABlockedReadBeforeTheHandleCloses) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  UsbDevice* raw = d.get();
  std::array<std::uint8_t, 512> rx{};
  auto read = std::async(std::launch::async,
                         [&] { return raw->ReadPipe(kPipeDataIn, std::span(rx.data(), 320)); });
  ASSERT_TRUE(fake_->WaitInFlight(id, kPipeDataIn, 1, kBound));
  d.reset();  // cancels, waits for the callback, releases, closes
  ASSERT_EQ(read.wait_for(kBound), std::future_status::ready);
  EXPECT_EQ(read.get().ErrorCode, static_cast<std::uint32_t>(ECANCELED));
  EXPECT_EQ(fake_->GetStats().OpenHandles, 0);
}

TEST_F(FakeLibusbTest, OpenDeviceOutlivesTheDriver) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  driver_.reset();
  EXPECT_EQ(fake_->GetStats().Contexts, 1);  // the device keeps the context
  const std::vector<std::uint8_t> frame(128, 1);
  EXPECT_TRUE(d->WritePipe(kPipeControlOut, frame).Ok);
  EXPECT_EQ(fake_->Written(id, kPipeControlOut).size(), 1u);
  d.reset();
  EXPECT_EQ(fake_->GetStats().Contexts, 0);
}

TEST_F(FakeLibusbTest, FlushIsANoOpForKnownPipes) {
  const int id = fake_->AddDevice(Unit());
  std::unique_ptr<UsbDevice> d = OpenUnit();
  ASSERT_NE(d, nullptr);
  fake_->QueueIn(id, kPipeControlIn, std::vector<std::uint8_t>(128, 3));
  for (std::uint8_t p : {kPipeControlOut, kPipeControlIn, kPipeDataOut, kPipeDataIn})
    EXPECT_TRUE(d->FlushPipe(p));
  EXPECT_FALSE(d->FlushPipe(0x04));
  // The packet the unit sent is still there (nothing is cached on the host).
  std::array<std::uint8_t, 512> rx{};
  EXPECT_TRUE(d->ReadPipe(kPipeControlIn, std::span(rx.data(), 128)).Ok);
}

}  // namespace
}  // namespace mpu::usb
