// The fake libusb-1.0 of the backend's tests (see fake_libusb.h). Built
// twice: complete, and with FAKE_LIBUSB_OMIT_CANCEL, lacking one function
// the backend needs.
#include "tests/usb/fake_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

struct libusb_context {
  int Unused = 0;
};
struct libusb_device {
  int Id = 0;
};
struct libusb_device_handle {
  libusb_device* Device = nullptr;
  bool AutoDetach = false;
  bool AutoDetached = false;
  int ClaimedInterface = -1;
};

namespace fakeusb {
namespace {

using Clock = std::chrono::steady_clock;

struct Dev {
  DeviceSpec Spec;
  libusb_device* Object = nullptr;
  bool Gone = false;
  bool Configured = true;
  bool Detached = false;  // kernel driver detached (by hand or by libusb)
  std::map<std::uint8_t, std::deque<std::vector<std::uint8_t>>> InQueue;
  std::map<std::uint8_t, std::vector<std::vector<std::uint8_t>>> Written;
  std::set<std::uint8_t> BlockWrites;
  std::map<std::uint8_t, unsigned> LastTimeout;
  std::map<std::uint8_t, int> LastType;
};

enum class TState { Idle, InFlight, Done };

struct Pending {
  libusb_transfer* Transfer = nullptr;
  int Device = 0;
  std::optional<Clock::time_point> Deadline;
};

struct State {
  std::mutex M;
  std::condition_variable Cv;
  std::map<int, Dev> Devices;
  int NextId = 1;
  int InitError = 0;
  const libusb_version* Version = nullptr;
  std::list<Pending> InFlight;
  std::deque<libusb_transfer*> Done;
  std::map<libusb_transfer*, TState> Transfers;
  std::map<libusb_config_descriptor*, std::shared_ptr<void>> Configs;
  // Kept for the life of the process: callers may hold these pointers.
  std::vector<std::unique_ptr<libusb_version>> Versions;
  std::vector<std::unique_ptr<libusb_device>> DeviceObjects;
  Stats S;
};

State& G() {
  static State* s = new State;  // never destroyed: may be used until exit (the
                                // tests load the fake with RTLD_NODELETE)
  return *s;
}

// Under the lock. Old versions stay alive: a caller may still hold one.
const libusb_version* MakeVersion(int major, int minor, int micro, int nano) {
  G().Versions.push_back(std::make_unique<libusb_version>(libusb_version{
      static_cast<std::uint16_t>(major), static_cast<std::uint16_t>(minor),
      static_cast<std::uint16_t>(micro), static_cast<std::uint16_t>(nano), "", "fake libusb"}));
  return G().Versions.back().get();
}

Dev* DevOf(libusb_device* d) {
  auto it = G().Devices.find(d->Id);
  return it == G().Devices.end() ? nullptr : &it->second;
}

// Under the lock: the transfer's result is set and its callback is due.
void Complete(libusb_transfer* t, libusb_transfer_status status, int actual) {
  t->status = status;
  t->actual_length = actual;
  G().Transfers[t] = TState::Done;
  G().Done.push_back(t);
  G().Cv.notify_all();
}

void DeliverIn(libusb_transfer* t, std::vector<std::uint8_t> packet) {
  const int n = std::min<int>(static_cast<int>(packet.size()), t->length);
  if (n > 0) std::memcpy(t->buffer, packet.data(), static_cast<std::size_t>(n));
  Complete(t,
           static_cast<int>(packet.size()) > t->length ? LIBUSB_TRANSFER_OVERFLOW
                                                       : LIBUSB_TRANSFER_COMPLETED,
           n);
}

class ControlImpl final : public Control {
 public:
  void Reset() override {
    std::lock_guard lock(G().M);
    for (auto& [id, d] : G().Devices) d.Gone = true;  // objects stay valid
    G().Devices.clear();
    G().InitError = 0;
    G().Version = MakeVersion(1, 0, 26, 11724);
    G().S = {};
  }
  void SetVersion(int major, int minor, int micro, int nano) override {
    std::lock_guard lock(G().M);
    G().Version = MakeVersion(major, minor, micro, nano);
  }
  void SetInitError(int error) override {
    std::lock_guard lock(G().M);
    G().InitError = error;
  }
  int AddDevice(const DeviceSpec& spec) override {
    std::lock_guard lock(G().M);
    const int id = G().NextId++;
    Dev d;
    d.Spec = spec;
    d.Configured = spec.Configured;
    G().DeviceObjects.push_back(std::make_unique<libusb_device>(libusb_device{id}));
    d.Object = G().DeviceObjects.back().get();  // outlives Reset: entries may refer to it
    G().Devices.emplace(id, std::move(d));
    return id;
  }
  void Unplug(int device) override {
    std::lock_guard lock(G().M);
    Dev& d = G().Devices.at(device);
    d.Gone = true;
    for (auto it = G().InFlight.begin(); it != G().InFlight.end();) {
      if (it->Device == device) {
        Complete(it->Transfer, LIBUSB_TRANSFER_NO_DEVICE, 0);
        it = G().InFlight.erase(it);
      } else {
        ++it;
      }
    }
  }
  void QueueIn(int device, std::uint8_t endpoint, std::vector<std::uint8_t> packet) override {
    std::lock_guard lock(G().M);
    for (auto it = G().InFlight.begin(); it != G().InFlight.end(); ++it) {
      if (it->Device == device && it->Transfer->endpoint == endpoint) {
        libusb_transfer* t = it->Transfer;
        G().InFlight.erase(it);
        DeliverIn(t, std::move(packet));
        return;
      }
    }
    G().Devices.at(device).InQueue[endpoint].push_back(std::move(packet));
  }
  std::vector<std::vector<std::uint8_t>> Written(int device, std::uint8_t endpoint) override {
    std::lock_guard lock(G().M);
    return G().Devices.at(device).Written[endpoint];
  }
  void SetWritesBlock(int device, std::uint8_t endpoint, bool block) override {
    std::lock_guard lock(G().M);
    auto& b = G().Devices.at(device).BlockWrites;
    if (block)
      b.insert(endpoint);
    else
      b.erase(endpoint);
  }
  bool WaitInFlight(int device, std::uint8_t endpoint, int count,
                    std::chrono::milliseconds timeout) override {
    std::unique_lock lock(G().M);
    return G().Cv.wait_for(lock, timeout, [&] { return CountInFlight(device, endpoint) >= count; });
  }
  int InFlight(int device, std::uint8_t endpoint) override {
    std::lock_guard lock(G().M);
    return CountInFlight(device, endpoint);
  }
  unsigned LastTimeout(int device, std::uint8_t endpoint) override {
    std::lock_guard lock(G().M);
    return G().Devices.at(device).LastTimeout[endpoint];
  }
  int LastTransferType(int device, std::uint8_t endpoint) override {
    std::lock_guard lock(G().M);
    return G().Devices.at(device).LastType[endpoint];
  }
  Stats GetStats() override {
    std::lock_guard lock(G().M);
    return G().S;
  }

 private:
  static int CountInFlight(int device, std::uint8_t endpoint) {
    return static_cast<int>(std::count_if(
        G().InFlight.begin(), G().InFlight.end(),
        [&](const Pending& p) { return p.Device == device && p.Transfer->endpoint == endpoint; }));
  }
};

struct ConfigBundle {
  libusb_config_descriptor Config{};
  libusb_interface Interface{};
  std::vector<libusb_interface_descriptor> Alts;
  std::vector<std::vector<libusb_endpoint_descriptor>> Endpoints;
};

libusb_config_descriptor* MakeConfig(const DeviceSpec& spec) {
  auto b = std::make_shared<ConfigBundle>();
  b->Endpoints.resize(spec.AltSettings.size());
  for (std::size_t a = 0; a < spec.AltSettings.size(); ++a) {
    for (const Endpoint& e : spec.AltSettings[a].Endpoints) {
      libusb_endpoint_descriptor ep{};
      ep.bLength = LIBUSB_DT_ENDPOINT_SIZE;
      ep.bDescriptorType = LIBUSB_DT_ENDPOINT;
      ep.bEndpointAddress = e.Address;
      ep.bmAttributes = e.Attributes;
      ep.wMaxPacketSize = e.MaxPacketSize;
      ep.bInterval = e.Interval;
      b->Endpoints[a].push_back(ep);
    }
  }
  for (std::size_t a = 0; a < spec.AltSettings.size(); ++a) {
    libusb_interface_descriptor d{};
    d.bLength = LIBUSB_DT_INTERFACE_SIZE;
    d.bDescriptorType = LIBUSB_DT_INTERFACE;
    d.bInterfaceNumber = spec.InterfaceNumber;
    d.bAlternateSetting = spec.AltSettings[a].Number;
    d.bNumEndpoints = static_cast<std::uint8_t>(b->Endpoints[a].size());
    d.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
    d.endpoint = b->Endpoints[a].data();
    b->Alts.push_back(d);
  }
  b->Interface.altsetting = b->Alts.data();
  b->Interface.num_altsetting = static_cast<int>(b->Alts.size());
  b->Config.bLength = LIBUSB_DT_CONFIG_SIZE;
  b->Config.bDescriptorType = LIBUSB_DT_CONFIG;
  b->Config.bNumInterfaces = b->Alts.empty() ? 0 : 1;
  b->Config.bConfigurationValue = 1;
  b->Config.interface = &b->Interface;
  libusb_config_descriptor* cfg = &b->Config;
  G().Configs[cfg] = b;
  return cfg;
}

}  // namespace
}  // namespace fakeusb

using fakeusb::G;

extern "C" __attribute__((visibility("default"))) fakeusb::Control* fake_usb_control() {
  static fakeusb::ControlImpl control;
  return &control;
}

// ----- libusb --------------------------------------------------------------------

int LIBUSB_CALL libusb_init(libusb_context** ctx) {
  std::lock_guard lock(G().M);
  if (G().InitError) return G().InitError;
  *ctx = new libusb_context;
  ++G().S.Contexts;
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context* ctx) {
  std::lock_guard lock(G().M);
  --G().S.Contexts;
  delete ctx;
}

const struct libusb_version* LIBUSB_CALL libusb_get_version(void) {
  std::lock_guard lock(G().M);
  if (!G().Version) G().Version = fakeusb::MakeVersion(1, 0, 26, 11724);
  return G().Version;
}

const char* LIBUSB_CALL libusb_error_name(int code) {
  switch (code) {
    case LIBUSB_SUCCESS:
      return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
      return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
      return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
      return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
      return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
      return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
      return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
      return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
      return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
      return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
      return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
      return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return "LIBUSB_ERROR_NOT_SUPPORTED";
    default:
      return "LIBUSB_ERROR_OTHER";
  }
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context*, libusb_device*** list) {
  std::lock_guard lock(G().M);
  std::vector<libusb_device*> devs;
  for (auto& [id, d] : G().Devices)
    if (!d.Gone) devs.push_back(d.Object);
  auto** out = static_cast<libusb_device**>(std::calloc(devs.size() + 1, sizeof(libusb_device*)));
  std::copy(devs.begin(), devs.end(), out);
  *list = out;
  return static_cast<ssize_t>(devs.size());
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int) {
  std::free(list);
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev,
                                             struct libusb_device_descriptor* desc) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  if (!d) return LIBUSB_ERROR_NO_DEVICE;
  *desc = {};
  desc->bLength = LIBUSB_DT_DEVICE_SIZE;
  desc->bDescriptorType = LIBUSB_DT_DEVICE;
  desc->bcdUSB = 0x0200;
  desc->idVendor = d->Spec.VendorId;
  desc->idProduct = d->Spec.ProductId;
  desc->bcdDevice = d->Spec.BcdDevice;
  desc->iManufacturer = d->Spec.Manufacturer.empty() ? 0 : 1;
  desc->iProduct = d->Spec.Product.empty() ? 0 : 2;
  desc->iSerialNumber = d->Spec.Serial.empty() ? 0 : 3;
  desc->bNumConfigurations = 1;
  return LIBUSB_SUCCESS;
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* dev) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  return d ? d->Spec.Bus : 0;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  return d ? d->Spec.Address : 0;
}

int LIBUSB_CALL libusb_get_port_numbers(libusb_device* dev, uint8_t* ports, int len) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  if (!d) return LIBUSB_ERROR_NO_DEVICE;
  if (static_cast<int>(d->Spec.Ports.size()) > len) return LIBUSB_ERROR_OVERFLOW;
  std::copy(d->Spec.Ports.begin(), d->Spec.Ports.end(), ports);
  return static_cast<int>(d->Spec.Ports.size());
}

int LIBUSB_CALL libusb_get_device_speed(libusb_device* dev) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  return d ? d->Spec.Speed : LIBUSB_SPEED_UNKNOWN;
}

libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* h) {
  return h->Device;
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** handle) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (d->Spec.OpenError) return d->Spec.OpenError;
  *handle = new libusb_device_handle{dev};
  ++G().S.OpenHandles;
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* h) {
  std::lock_guard lock(G().M);
  if (h->ClaimedInterface >= 0) ++G().S.ClosedWhileClaimed;
  const bool busy =
      std::any_of(G().InFlight.begin(), G().InFlight.end(),
                  [&](const fakeusb::Pending& p) { return p.Transfer->dev_handle == h; }) ||
      std::any_of(G().Done.begin(), G().Done.end(),
                  [&](libusb_transfer* t) { return t->dev_handle == h; });
  if (busy) ++G().S.ClosedWithTransfers;
  --G().S.OpenHandles;
  delete h;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* h, uint8_t index,
                                                   unsigned char* data, int length) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  const std::string* s = index == 1   ? &d->Spec.Manufacturer
                         : index == 2 ? &d->Spec.Product
                         : index == 3 ? &d->Spec.Serial
                                      : nullptr;
  if (!s || s->empty()) return LIBUSB_ERROR_PIPE;
  const int n = std::min<int>(static_cast<int>(s->size()), length - 1);
  std::memcpy(data, s->data(), static_cast<std::size_t>(n));
  data[n] = 0;
  return n;
}

int LIBUSB_CALL libusb_get_active_config_descriptor(libusb_device* dev,
                                                    struct libusb_config_descriptor** config) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  if (!d) return LIBUSB_ERROR_NO_DEVICE;
  if (!d->Configured) return LIBUSB_ERROR_NOT_FOUND;
  *config = fakeusb::MakeConfig(d->Spec);
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                             struct libusb_config_descriptor** config) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(dev);
  if (!d) return LIBUSB_ERROR_NO_DEVICE;
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  *config = fakeusb::MakeConfig(d->Spec);
  return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
  std::lock_guard lock(G().M);
  G().Configs.erase(config);
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* h, int value) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  ++G().S.SetConfigurationCalls;
  if (value != 1) return LIBUSB_ERROR_NOT_FOUND;
  d->Configured = true;
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* h, int enable) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || !d->Spec.AutoDetachSupported) return LIBUSB_ERROR_NOT_SUPPORTED;
  h->AutoDetach = enable != 0;
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* h, int interface_number) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (interface_number != d->Spec.InterfaceNumber) return LIBUSB_ERROR_NOT_FOUND;
  return d->Spec.KernelDriverBound && !d->Detached ? 1 : 0;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* h, int interface_number) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (interface_number != d->Spec.InterfaceNumber || !d->Spec.KernelDriverBound || d->Detached)
    return LIBUSB_ERROR_NOT_FOUND;
  d->Detached = true;
  ++G().S.KernelDriverDetached;
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_attach_kernel_driver(libusb_device_handle* h, int interface_number) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (interface_number != d->Spec.InterfaceNumber || !d->Detached) return LIBUSB_ERROR_NOT_FOUND;
  if (h->ClaimedInterface >= 0) return LIBUSB_ERROR_BUSY;
  d->Detached = false;
  --G().S.KernelDriverDetached;
  ++G().S.KernelDriverReattached;
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* h, int interface_number) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (interface_number != d->Spec.InterfaceNumber) return LIBUSB_ERROR_NOT_FOUND;
  if (d->Spec.ClaimError) return d->Spec.ClaimError;
  if (d->Spec.KernelDriverBound && !d->Detached) {
    if (!h->AutoDetach) return LIBUSB_ERROR_BUSY;
    d->Detached = true;
    h->AutoDetached = true;
  }
  h->ClaimedInterface = interface_number;
  ++G().S.Claimed;
  G().S.CurrentAltSetting = d->Spec.AltSettings.empty() ? -1 : d->Spec.AltSettings[0].Number;
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* h, int interface_number) {
  std::lock_guard lock(G().M);
  if (h->ClaimedInterface != interface_number) return LIBUSB_ERROR_NOT_FOUND;
  h->ClaimedInterface = -1;
  --G().S.Claimed;
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (h->AutoDetached && d) {
    d->Detached = false;
    h->AutoDetached = false;
    ++G().S.KernelDriverReattached;
  }
  return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_interface_alt_setting(libusb_device_handle* h, int interface_number,
                                                 int alt) {
  std::lock_guard lock(G().M);
  fakeusb::Dev* d = fakeusb::DevOf(h->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (h->ClaimedInterface != interface_number) return LIBUSB_ERROR_NOT_FOUND;
  for (const auto& a : d->Spec.AltSettings) {
    if (a.Number == alt) {
      G().S.CurrentAltSetting = alt;
      return LIBUSB_SUCCESS;
    }
  }
  return LIBUSB_ERROR_NOT_FOUND;
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int iso_packets) {
  const std::size_t size = sizeof(libusb_transfer) + static_cast<std::size_t>(iso_packets) *
                                                         sizeof(libusb_iso_packet_descriptor);
  auto* t = static_cast<libusb_transfer*>(std::calloc(1, size));
  if (!t) return nullptr;
  t->num_iso_packets = iso_packets;
  std::lock_guard lock(G().M);
  G().Transfers[t] = fakeusb::TState::Idle;
  ++G().S.TransfersAlive;
  return t;
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* t) {
  if (!t) return;
  std::lock_guard lock(G().M);
  auto it = G().Transfers.find(t);
  if (it == G().Transfers.end()) return;
  if (it->second != fakeusb::TState::Idle) {
    ++G().S.FreedInFlight;  // libusb would crash later; the fake keeps it
    return;
  }
  G().Transfers.erase(it);
  --G().S.TransfersAlive;
  std::free(t);
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer* t) {
  std::lock_guard lock(G().M);
  auto st = G().Transfers.find(t);
  if (st == G().Transfers.end()) return LIBUSB_ERROR_INVALID_PARAM;
  if (st->second != fakeusb::TState::Idle) return LIBUSB_ERROR_BUSY;
  fakeusb::Dev* d = fakeusb::DevOf(t->dev_handle->Device);
  if (!d || d->Gone) return LIBUSB_ERROR_NO_DEVICE;
  if (t->dev_handle->ClaimedInterface < 0) return LIBUSB_ERROR_NOT_FOUND;
  const std::uint8_t ep = t->endpoint;
  d->LastTimeout[ep] = t->timeout;
  d->LastType[ep] = t->type;
  st->second = fakeusb::TState::InFlight;
  const int id = t->dev_handle->Device->Id;
  if (ep & LIBUSB_ENDPOINT_IN) {
    auto& q = d->InQueue[ep];
    if (!q.empty()) {
      std::vector<std::uint8_t> packet = std::move(q.front());
      q.pop_front();
      fakeusb::DeliverIn(t, std::move(packet));
      return LIBUSB_SUCCESS;
    }
  } else if (!d->BlockWrites.count(ep)) {
    d->Written[ep].emplace_back(t->buffer, t->buffer + t->length);
    fakeusb::Complete(t, LIBUSB_TRANSFER_COMPLETED, t->length);
    return LIBUSB_SUCCESS;
  }
  fakeusb::Pending p;
  p.Transfer = t;
  p.Device = id;
  if (t->timeout) p.Deadline = fakeusb::Clock::now() + std::chrono::milliseconds(t->timeout);
  G().InFlight.push_back(p);
  G().Cv.notify_all();
  return LIBUSB_SUCCESS;
}

#ifndef FAKE_LIBUSB_OMIT_CANCEL
int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer* t) {
  std::lock_guard lock(G().M);
  ++G().S.CancelCalls;
  for (auto it = G().InFlight.begin(); it != G().InFlight.end(); ++it) {
    if (it->Transfer == t) {
      G().InFlight.erase(it);
      fakeusb::Complete(t, LIBUSB_TRANSFER_CANCELLED, 0);
      return LIBUSB_SUCCESS;
    }
  }
  return LIBUSB_ERROR_NOT_FOUND;
}
#endif

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context*, struct timeval* tv,
                                                       int* completed) {
  std::unique_lock lock(G().M);
  const auto until = fakeusb::Clock::now() + std::chrono::seconds(tv ? tv->tv_sec : 0) +
                     std::chrono::microseconds(tv ? tv->tv_usec : 0);
  for (;;) {
    if (completed && __atomic_load_n(completed, __ATOMIC_ACQUIRE)) return LIBUSB_SUCCESS;
    const auto now = fakeusb::Clock::now();
    std::optional<fakeusb::Clock::time_point> next;
    for (auto it = G().InFlight.begin(); it != G().InFlight.end();) {
      if (it->Deadline && *it->Deadline <= now) {
        fakeusb::Complete(it->Transfer, LIBUSB_TRANSFER_TIMED_OUT, 0);
        it = G().InFlight.erase(it);
        continue;
      }
      if (it->Deadline && (!next || *it->Deadline < *next)) next = it->Deadline;
      ++it;
    }
    if (!G().Done.empty()) {
      std::deque<libusb_transfer*> due;
      due.swap(G().Done);
      for (libusb_transfer* t : due) G().Transfers[t] = fakeusb::TState::Idle;
      lock.unlock();
      for (libusb_transfer* t : due) t->callback(t);
      lock.lock();
      G().Cv.notify_all();
      return LIBUSB_SUCCESS;
    }
    if (now >= until) return LIBUSB_SUCCESS;
    G().Cv.wait_until(lock, next && *next < until ? *next : until);
  }
}
