// The composite driver: ordering of the list (real devices first), routing
// of Open by the entry's owner, and the fallbacks when one driver is
// missing, not loaded, or cannot list. Two small in-test drivers stand in
// for the libusb and the simulated backends.
#include "usb/composite_driver.h"

#include <gtest/gtest.h>

#include "usb/libusb_driver.h"

namespace mpu::usb {
namespace {

class NamedDevice final : public UsbDevice {
 public:
  explicit NamedDevice(std::string name) : Name(std::move(name)) {}
  std::optional<std::uint8_t> QueryDeviceSpeed() override { return kSpeedHigh; }
  bool SetCurrentAlternateSetting(std::uint8_t n) override { return n == 0; }
  std::optional<PipeInfo> QueryPipe(std::uint8_t, std::uint8_t) override { return std::nullopt; }
  bool SetPipeTransferTimeout(std::uint8_t, std::uint32_t) override { return true; }
  TransferResult WritePipe(std::uint8_t, std::span<const std::uint8_t> d) override {
    return {true, d.size(), 0};
  }
  TransferResult ReadPipe(std::uint8_t, std::span<std::uint8_t>) override { return {false, 0, 5}; }
  bool AbortPipe(std::uint8_t) override { return true; }
  bool FlushPipe(std::uint8_t) override { return true; }
  std::string Name;
};

class FakeDriver : public UsbDriver {
 public:
  FakeDriver(std::string name, int major)
      : Name(std::move(name)), Version(LibraryVersion{major, 2, 3, 4}), Major(major) {}

  bool Loaded() const override { return IsLoaded; }
  std::optional<LibraryVersion> GetVersion() override { return Version; }
  int ExpectedMajorVersion() const override { return Major; }
  std::optional<std::vector<DeviceListEntry>> ListDevices() override {
    ++ListCalls;
    if (!CanList) return std::nullopt;
    std::vector<DeviceListEntry> out;
    for (int i = 0; i < Devices; ++i) {
      DeviceListEntry e;
      e.VendorId = 0x1209;
      e.ProductId = 0x2000 + i;
      e.Description = Name + std::to_string(i);
      e.Connected = true;
      e.Owner = OwnerTag();
      e.Token = std::make_shared<int>(i);
      out.push_back(std::move(e));
    }
    return out;
  }
  std::unique_ptr<UsbDevice> Open(const DeviceListEntry& entry) override {
    ++OpenCalls;
    if (entry.Owner != OwnerTag() || FailOpens) {
      Problem = Name + " cannot open " + entry.Description;
      return nullptr;
    }
    Problem.clear();
    return std::make_unique<NamedDevice>(Name + ":" + entry.Description);
  }
  std::string LastOpenProblem() const override { return Problem; }

  virtual const void* OwnerTag() const { return this; }

  std::string Name;
  std::optional<LibraryVersion> Version;
  int Major;
  bool IsLoaded = true;
  bool CanList = true;
  bool FailOpens = false;
  int Devices = 1;
  int ListCalls = 0;
  int OpenCalls = 0;
  std::string Problem;
};

std::string NameOf(const std::unique_ptr<UsbDevice>& d) {
  auto* n = dynamic_cast<NamedDevice*>(d.get());
  return n ? n->Name : std::string("<none>");
}

std::vector<std::string> Descriptions(const std::optional<std::vector<DeviceListEntry>>& list) {
  std::vector<std::string> out;
  if (list)
    for (const DeviceListEntry& e : *list) out.push_back(e.Description);
  return out;
}

struct Pair {
  std::shared_ptr<FakeDriver> Real = std::make_shared<FakeDriver>("real", 1);
  std::shared_ptr<FakeDriver> Sim = std::make_shared<FakeDriver>("sim", 7);
};

TEST(CompositeDriver, ListsRealDevicesFirstThenSimulatedOnes) {
  Pair p;
  p.Real->Devices = 2;
  CompositeDriver c(p.Real, p.Sim);
  EXPECT_EQ(Descriptions(c.ListDevices()), (std::vector<std::string>{"real0", "real1", "sim0"}));
}

TEST(CompositeDriver, OpensEachEntryWithTheDriverThatListedIt) {
  Pair p;
  CompositeDriver c(p.Real, p.Sim);
  const auto list = c.ListDevices();
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ(NameOf(c.Open((*list)[1])), "sim:sim0");
  EXPECT_EQ(p.Real->OpenCalls, 0);
  EXPECT_EQ(NameOf(c.Open((*list)[0])), "real:real0");
  EXPECT_EQ(p.Sim->OpenCalls, 1);
  EXPECT_TRUE(c.LastOpenProblem().empty());
}

TEST(CompositeDriver, LastOpenProblemIsTheRoutedDriversAndClearsOnSuccess) {
  Pair p;
  CompositeDriver c(p.Real, p.Sim);
  const auto list = c.ListDevices();
  p.Real->FailOpens = true;
  EXPECT_EQ(c.Open((*list)[0]), nullptr);
  EXPECT_EQ(c.LastOpenProblem(), "real cannot open real0");
  EXPECT_EQ(p.Sim->OpenCalls, 0);  // a failed open is not tried elsewhere
  EXPECT_NE(c.Open((*list)[1]), nullptr);
  EXPECT_TRUE(c.LastOpenProblem().empty());
}

TEST(CompositeDriver, EntryOfNeitherDriverIsOfferedToEach) {
  Pair p;
  CompositeDriver c(p.Real, p.Sim);
  DeviceListEntry stray;
  stray.Description = "stray";
  EXPECT_EQ(c.Open(stray), nullptr);
  EXPECT_EQ(p.Real->OpenCalls, 1);
  EXPECT_EQ(p.Sim->OpenCalls, 1);
  EXPECT_EQ(c.LastOpenProblem(), "real cannot open stray");
}

TEST(CompositeDriver, OpensThroughANestedComposite) {
  Pair p;
  auto inner = std::make_shared<CompositeDriver>(nullptr, p.Sim);
  CompositeDriver outer(p.Real, inner);
  const auto list = outer.ListDevices();
  ASSERT_EQ(list->size(), 2u);
  EXPECT_EQ(NameOf(outer.Open((*list)[1])), "sim:sim0");
}

// A driver whose UsbDriver base is not at the start of the object, and that
// names itself by its most derived address.
struct Padding {
  virtual ~Padding() = default;
  long Bytes[4] = {};
};
class OffsetDriver final : public Padding, public FakeDriver {
 public:
  OffsetDriver() : FakeDriver("offset", 1) {}
  const void* OwnerTag() const override { return static_cast<const Padding*>(this); }
};

TEST(CompositeDriver, RecognisesAnOwnerGivenAsTheMostDerivedAddress) {
  auto real = std::make_shared<OffsetDriver>();
  auto sim = std::make_shared<FakeDriver>("sim", 7);
  ASSERT_NE(static_cast<const void*>(static_cast<UsbDriver*>(real.get())), real->OwnerTag());
  CompositeDriver c(real, sim);
  const auto list = c.ListDevices();
  EXPECT_EQ(NameOf(c.Open((*list)[0])), "offset:offset0");
  EXPECT_EQ(sim->OpenCalls, 0);
}

TEST(CompositeDriver, LoadedWhenEitherDriverIsLoaded) {
  Pair p;
  EXPECT_TRUE(CompositeDriver(p.Real, p.Sim).Loaded());
  EXPECT_TRUE(CompositeDriver(p.Real, nullptr).Loaded());
  EXPECT_TRUE(CompositeDriver(nullptr, p.Sim).Loaded());
  p.Real->IsLoaded = false;
  EXPECT_TRUE(CompositeDriver(p.Real, p.Sim).Loaded());
  EXPECT_FALSE(CompositeDriver(p.Real, nullptr).Loaded());
  p.Sim->IsLoaded = false;
  EXPECT_FALSE(CompositeDriver(p.Real, p.Sim).Loaded());
  EXPECT_FALSE(CompositeDriver(nullptr, nullptr).Loaded());
}

TEST(CompositeDriver, VersionIsTheRealDriversWhenLoadedElseTheSimulatedOnes) {
  Pair p;
  CompositeDriver c(p.Real, p.Sim);
  EXPECT_EQ(c.GetVersion()->Major, 1);
  EXPECT_EQ(c.ExpectedMajorVersion(), 1);
  p.Real->IsLoaded = false;
  EXPECT_EQ(c.GetVersion()->Major, 7);
  EXPECT_EQ(c.ExpectedMajorVersion(), 7);
  CompositeDriver simOnly(nullptr, p.Sim);
  EXPECT_EQ(simOnly.GetVersion()->Major, 7);
  CompositeDriver none(nullptr, nullptr);
  EXPECT_FALSE(none.GetVersion().has_value());
}

TEST(CompositeDriver, DriverThatIsNotLoadedIsNotAskedForItsList) {
  Pair p;
  p.Real->IsLoaded = false;
  CompositeDriver c(p.Real, p.Sim);
  EXPECT_EQ(Descriptions(c.ListDevices()), (std::vector<std::string>{"sim0"}));
  EXPECT_EQ(p.Real->ListCalls, 0);
}

TEST(CompositeDriver, RealDriverThatCannotListLeavesTheSimulatedList) {
  Pair p;
  p.Real->CanList = false;
  CompositeDriver c(p.Real, p.Sim);
  EXPECT_EQ(Descriptions(c.ListDevices()), (std::vector<std::string>{"sim0"}));
}

TEST(CompositeDriver, SimulatedDriverThatCannotListLeavesTheRealList) {
  Pair p;
  p.Sim->CanList = false;
  p.Real->Devices = 0;
  CompositeDriver c(p.Real, p.Sim);
  const auto list = c.ListDevices();
  ASSERT_TRUE(list.has_value());  // an empty list, not a failure
  EXPECT_TRUE(list->empty());
}

TEST(CompositeDriver, NoListWhenNoDriverCanList) {
  Pair p;
  p.Real->CanList = false;
  p.Sim->CanList = false;
  EXPECT_FALSE(CompositeDriver(p.Real, p.Sim).ListDevices().has_value());
  EXPECT_FALSE(CompositeDriver(nullptr, nullptr).ListDevices().has_value());
}

TEST(CompositeDriver, SimulatedUnitIsReachableWithoutLibusb) {
  auto real = std::make_shared<LibusbDriver>("libusb-does-not-exist.so.0");
  auto sim = std::make_shared<FakeDriver>("sim", 7);
  CompositeDriver c(real, sim);
  EXPECT_TRUE(c.Loaded());
  EXPECT_EQ(c.ExpectedMajorVersion(), 7);
  const auto list = c.ListDevices();
  ASSERT_EQ(Descriptions(list), (std::vector<std::string>{"sim0"}));
  EXPECT_EQ(NameOf(c.Open((*list)[0])), "sim:sim0");
  EXPECT_EQ(c.Real(), real);
  EXPECT_EQ(c.Simulated(), sim);
}

TEST(CompositeDriver, SystemLibusbAndASimulatedUnit) {
  auto real = std::make_shared<LibusbDriver>();
  auto sim = std::make_shared<FakeDriver>("sim", 7);
  CompositeDriver c(real, sim);
  ASSERT_TRUE(c.Loaded());
  EXPECT_EQ(c.ExpectedMajorVersion(), 1);
  const auto list = c.ListDevices();
  ASSERT_TRUE(list.has_value());
  ASSERT_FALSE(list->empty());
  EXPECT_EQ(list->back().Description, "sim0");  // after any real device
  EXPECT_EQ(NameOf(c.Open(list->back())), "sim:sim0");
}

}  // namespace
}  // namespace mpu::usb
