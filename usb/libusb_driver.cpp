#include "usb/libusb_driver.h"

#include <dlfcn.h>
#include <libusb.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <thread>
#include <utility>

#ifndef MPU_UDEV_RULE_FILE_NAME
#define MPU_UDEV_RULE_FILE_NAME "70-aldrane-mpu.rules"
#endif
#ifndef MPU_UDEV_RULE_INSTALLED
#define MPU_UDEV_RULE_INSTALLED "/etc/udev/rules.d/" MPU_UDEV_RULE_FILE_NAME
#endif
#ifndef MPU_UDEV_RULE_BUILT
#define MPU_UDEV_RULE_BUILT ""
#endif

namespace mpu::usb {

const char* UdevRuleFileName() {
  return MPU_UDEV_RULE_FILE_NAME;
}
const char* UdevRuleInstalledPath() {
  return MPU_UDEV_RULE_INSTALLED;
}
const char* UdevRuleBuildPath() {
  return MPU_UDEV_RULE_BUILT;
}

namespace detail {

// Every libusb function the backend calls. The library counts as loaded
// only when the file and each of them is found.
#define MPU_LIBUSB_FUNCTIONS(X)           \
  X(libusb_init)                          \
  X(libusb_exit)                          \
  X(libusb_get_version)                   \
  X(libusb_error_name)                    \
  X(libusb_get_device_list)               \
  X(libusb_free_device_list)              \
  X(libusb_get_device_descriptor)         \
  X(libusb_get_bus_number)                \
  X(libusb_get_device_address)            \
  X(libusb_get_port_numbers)              \
  X(libusb_get_device_speed)              \
  X(libusb_get_device)                    \
  X(libusb_open)                          \
  X(libusb_close)                         \
  X(libusb_get_string_descriptor_ascii)   \
  X(libusb_get_active_config_descriptor)  \
  X(libusb_get_config_descriptor)         \
  X(libusb_free_config_descriptor)        \
  X(libusb_set_configuration)             \
  X(libusb_set_auto_detach_kernel_driver) \
  X(libusb_kernel_driver_active)          \
  X(libusb_detach_kernel_driver)          \
  X(libusb_attach_kernel_driver)          \
  X(libusb_claim_interface)               \
  X(libusb_release_interface)             \
  X(libusb_set_interface_alt_setting)     \
  X(libusb_alloc_transfer)                \
  X(libusb_free_transfer)                 \
  X(libusb_submit_transfer)               \
  X(libusb_cancel_transfer)               \
  X(libusb_handle_events_timeout_completed)

struct LibusbApi {
#define MPU_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
  MPU_LIBUSB_FUNCTIONS(MPU_DECLARE_FUNCTION)
#undef MPU_DECLARE_FUNCTION
};

// The loaded library and its one context. Shared by the driver and every
// device it opened, so the context outlives the last open device even when
// the driver goes first.
class LibusbLibrary {
 public:
  explicit LibusbLibrary(const std::string& file) {
    dlerror();
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      problem_ = "cannot load " + file + ": " + (why ? why : "unknown error");
      return;
    }
    std::string missing;
#define MPU_LOOK_UP_FUNCTION(name)                                          \
  api_.name = reinterpret_cast<decltype(api_.name)>(dlsym(handle_, #name)); \
  if (!api_.name) missing += (missing.empty() ? "" : ", ") + std::string(#name);
    MPU_LIBUSB_FUNCTIONS(MPU_LOOK_UP_FUNCTION)
#undef MPU_LOOK_UP_FUNCTION
    if (!missing.empty()) {
      problem_ = file + " lacks libusb functions: " + missing;
      api_ = {};
      dlclose(handle_);
      handle_ = nullptr;
      return;
    }
    loaded_ = true;
  }

  ~LibusbLibrary() {
    if (ctx_) api_.libusb_exit(ctx_);
    if (handle_) dlclose(handle_);
  }

  LibusbLibrary(const LibusbLibrary&) = delete;
  LibusbLibrary& operator=(const LibusbLibrary&) = delete;

  bool Loaded() const {
    return loaded_;
  }
  const LibusbApi& Api() const {
    return api_;
  }

  // The context, made on first use; null when libusb_init fails (tried
  // again on the next call).
  libusb_context* Context() {
    std::lock_guard lock(mutex_);
    if (!loaded_) return nullptr;
    if (!ctx_) {
      libusb_context* ctx = nullptr;
      const int r = api_.libusb_init(&ctx);
      if (r != LIBUSB_SUCCESS) {
        problem_ = std::string("libusb_init failed: ") + ErrorName(r);
        return nullptr;
      }
      ctx_ = ctx;
      problem_.clear();
    }
    return ctx_;
  }

  std::string Problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
  }

  const char* ErrorName(int code) const {
    const char* name = loaded_ ? api_.libusb_error_name(code) : nullptr;
    return name ? name : "unknown libusb error";
  }

 private:
  void* handle_ = nullptr;
  bool loaded_ = false;
  LibusbApi api_;
  mutable std::mutex mutex_;
  libusb_context* ctx_ = nullptr;
  std::string problem_;
};

}  // namespace detail

namespace {

using detail::LibusbApi;
using detail::LibusbLibrary;

// How the driver finds a listed device again. A device that was unplugged
// and plugged back gets a new address, so an old entry no longer opens it.
struct EntryToken {
  std::uint8_t Bus = 0;
  std::uint8_t Address = 0;
  std::uint16_t VendorId = 0;
  std::uint16_t ProductId = 0;
  std::string SysName;
  std::string Node;
};

std::uint32_t ErrnoFromLibusbError(int code) {
  switch (code) {
    case LIBUSB_ERROR_IO:
      return EIO;
    case LIBUSB_ERROR_INVALID_PARAM:
      return EINVAL;
    case LIBUSB_ERROR_ACCESS:
      return EACCES;
    case LIBUSB_ERROR_NO_DEVICE:
      return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND:
      return ENOENT;
    case LIBUSB_ERROR_BUSY:
      return EBUSY;
    case LIBUSB_ERROR_TIMEOUT:
      return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW:
      return EOVERFLOW;
    case LIBUSB_ERROR_PIPE:
      return EPIPE;
    case LIBUSB_ERROR_INTERRUPTED:
      return EINTR;
    case LIBUSB_ERROR_NO_MEM:
      return ENOMEM;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return ENOTSUP;
    default:
      return EIO;
  }
}

std::uint32_t ErrnoFromTransferStatus(int status) {
  switch (status) {
    case LIBUSB_TRANSFER_CANCELLED:
      return ECANCELED;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return ENODEV;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return ETIMEDOUT;
    case LIBUSB_TRANSFER_OVERFLOW:
      return EOVERFLOW;
    case LIBUSB_TRANSFER_STALL:
      return EPIPE;
    default:
      return EIO;
  }
}

// ----- sysfs ---------------------------------------------------------------

std::string ReadAttribute(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

std::string LinkBaseName(const std::string& path) {
  std::array<char, 4096> target{};
  const ssize_t n = readlink(path.c_str(), target.data(), target.size() - 1);
  if (n <= 0) return {};
  std::string s(target.data(), static_cast<std::size_t>(n));
  const auto slash = s.rfind('/');
  return slash == std::string::npos ? s : s.substr(slash + 1);
}

// The kernel driver bound to interface 0 of the active configuration.
std::string BoundDriver(const std::string& deviceDir, const std::string& sysName) {
  const std::string config = ReadAttribute(deviceDir + "/bConfigurationValue");
  if (config.empty()) return {};
  return LinkBaseName(deviceDir + "/" + sysName + ":" + config + ".0/driver");
}

bool FileExists(const char* path) {
  struct stat st {};
  return path && *path && stat(path, &st) == 0;
}

std::string Format(const char* fmt, int a, int b) {
  std::array<char, 64> buf{};
  std::snprintf(buf.data(), buf.size(), fmt, a, b);
  return buf.data();
}

// ----- texts that tell the user what to do -----------------------------------

std::string AccessProblem(const EntryToken& t, const char* errorName) {
  const std::string ids = Format("%04x:%04x", t.VendorId, t.ProductId);
  std::string text =
      "No permission to open the MPU's USB device node " + t.Node + " (" + errorName + "). ";
  if (FileExists(UdevRuleInstalledPath())) {
    text +=
        std::string("The udev rule ") + UdevRuleInstalledPath() +
        " is installed but not yet applied to the unit: run 'sudo udevadm control --reload-rules"
        " && sudo udevadm trigger' or unplug and replug the unit, and run the program from a"
        " local login session (the rule grants access to the user logged in at the seat).";
  } else {
    text += std::string("Install the udev rule ") + UdevRuleFileName() + " for the unit (" + ids +
            "): ";
    if (FileExists(UdevRuleBuildPath()))
      text += std::string("'sudo cp ") + UdevRuleBuildPath() + " " + UdevRuleInstalledPath() + "'";
    else
      text += std::string("copy it to ") + UdevRuleInstalledPath();
    text +=
        ", then run 'sudo udevadm control --reload-rules && sudo udevadm trigger' or unplug and"
        " replug the unit.";
  }
  return text;
}

std::string BusyProblem(const EntryToken& t, const char* errorName) {
  return "The MPU's USB interface is in use by another program (" + std::string(errorName) +
         "): close the other program that has the unit open (for example another instance of this"
         " tool, or a program holding " +
         t.Node + "), then connect again.";
}

std::string GoneProblem(const EntryToken& t) {
  return "The USB device " + t.SysName + " (bus " + std::to_string(t.Bus) + ", address " +
         std::to_string(t.Address) +
         ") is no longer attached (unplugged or re-enumerated); connect again.";
}

std::string OpenStepProblem(const EntryToken& t, const char* step, const char* errorName) {
  return "libusb could not " + std::string(step) + " the USB device " + t.SysName + " (bus " +
         std::to_string(t.Bus) + ", address " + std::to_string(t.Address) + "): " + errorName + ".";
}

std::string ProblemFor(int code, const EntryToken& t, const char* step, const char* errorName) {
  switch (code) {
    case LIBUSB_ERROR_ACCESS:
      return AccessProblem(t, errorName);
    case LIBUSB_ERROR_BUSY:
      return BusyProblem(t, errorName);
    case LIBUSB_ERROR_NO_DEVICE:
      return GoneProblem(t);
    default:
      return OpenStepProblem(t, step, errorName);
  }
}

// ----- the open device -------------------------------------------------------

struct AltSetting {
  std::uint8_t Number = 0;
  std::vector<PipeInfo> Pipes;
};

void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer) {
  __atomic_store_n(static_cast<int*>(transfer->user_data), 1, __ATOMIC_RELEASE);
}

// How long one round of event handling waits before the completed flag is
// looked at again (libusb also wakes the waiter when another thread handled
// the events that completed its transfer).
constexpr long kEventRoundMicroseconds = 250'000;

class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(std::shared_ptr<LibusbLibrary> lib, libusb_context* ctx,
               libusb_device_handle* handle, int interfaceNumber, bool reattachKernelDriver,
               std::vector<AltSetting> alts)
      : lib_(std::move(lib)),
        api_(lib_->Api()),
        ctx_(ctx),
        handle_(handle),
        interface_(interfaceNumber),
        reattach_(reattachKernelDriver),
        alts_(std::move(alts)) {}

  ~LibusbDevice() override {
    std::unique_lock lock(mutex_);
    closing_ = true;
    // Release every transfer still waited on, then wait until each waiter
    // saw its callback and freed its transfer.
    for (Pipe& pipe : pipes_)
      for (libusb_transfer* t : pipe.InFlight) api_.libusb_cancel_transfer(t);
    idle_.wait(lock, [this] { return activeCalls_ == 0; });
    lock.unlock();
    api_.libusb_release_interface(handle_, interface_);  // re-attaches an auto-detached driver
    if (reattach_) api_.libusb_attach_kernel_driver(handle_, interface_);
    api_.libusb_close(handle_);
  }

  LibusbDevice(const LibusbDevice&) = delete;
  LibusbDevice& operator=(const LibusbDevice&) = delete;

  std::optional<std::uint8_t> QueryDeviceSpeed() override {
    switch (api_.libusb_get_device_speed(api_.libusb_get_device(handle_))) {
      case LIBUSB_SPEED_LOW:
        return kSpeedLow;
      case LIBUSB_SPEED_FULL:
        return kSpeedFull;
      case LIBUSB_SPEED_HIGH:
        return kSpeedHigh;
      case LIBUSB_SPEED_SUPER:
      case LIBUSB_SPEED_SUPER_PLUS:
        return std::uint8_t{4};
      default:
        return std::nullopt;
    }
  }

  bool SetCurrentAlternateSetting(std::uint8_t altSetting) override {
    if (!FindAlt(altSetting)) return false;
    CallGuard guard(*this);
    if (!guard.Entered()) return false;
    const int r = api_.libusb_set_interface_alt_setting(handle_, interface_, altSetting);
    if (r != LIBUSB_SUCCESS) {
      SetProblem("libusb could not select alternate setting " + std::to_string(altSetting) + ": " +
                 lib_->ErrorName(r));
      return false;
    }
    return true;
  }

  std::optional<PipeInfo> QueryPipe(std::uint8_t altSetting, std::uint8_t pipeIndex) override {
    const AltSetting* alt = FindAlt(altSetting);
    if (!alt || pipeIndex >= alt->Pipes.size()) return std::nullopt;
    return alt->Pipes[pipeIndex];
  }

  // Accepted for any endpoint of the interface (in any alternate setting);
  // used as the libusb time-out of every later transfer on that pipe.
  bool SetPipeTransferTimeout(std::uint8_t pipeId, std::uint32_t milliseconds) override {
    if (!FindPipe(pipeId)) return false;
    std::lock_guard lock(mutex_);
    pipes_[PipeIndex(pipeId)].Timeout = milliseconds;
    return true;
  }

  TransferResult WritePipe(std::uint8_t pipeId, std::span<const std::uint8_t> data) override {
    if (IsInPipe(pipeId)) return {false, 0, EINVAL};
    // libusb takes a mutable buffer for both directions; an OUT transfer
    // only reads it.
    return Transfer(pipeId, const_cast<std::uint8_t*>(data.data()), data.size());
  }

  TransferResult ReadPipe(std::uint8_t pipeId, std::span<std::uint8_t> buffer) override {
    if (!IsInPipe(pipeId)) return {false, 0, EINVAL};
    return Transfer(pipeId, buffer.data(), buffer.size());
  }

  // Cancels the transfers in flight on the pipe; each returns ECANCELED (or
  // its data, when it completed first). A transfer started later is not
  // affected.
  bool AbortPipe(std::uint8_t pipeId) override {
    std::lock_guard lock(mutex_);
    for (libusb_transfer* t : pipes_[PipeIndex(pipeId)].InFlight) api_.libusb_cancel_transfer(t);
    return true;
  }

  // libusb keeps no data of its own between transfers (there is no host
  // side pipe cache as in libusbK/WinUSB), so there is nothing to discard.
  // Deliberately no libusb_clear_halt: it resets the data toggle and would
  // race with a transfer of another thread on the same pipe.
  bool FlushPipe(std::uint8_t pipeId) override { return FindPipe(pipeId) != nullptr; }

  std::string LastProblem() const override {
    std::lock_guard lock(mutex_);
    return lastProblem_;
  }

 private:
  struct Pipe {
    std::uint32_t Timeout = 0;
    std::vector<libusb_transfer*> InFlight;
  };

  // Counts the calls that use the handle so that the destructor can wait
  // for them; refuses new ones once closing.
  class CallGuard {
   public:
    explicit CallGuard(LibusbDevice& d) : d_(d) {
      std::lock_guard lock(d_.mutex_);
      if (d_.closing_) return;
      ++d_.activeCalls_;
      entered_ = true;
    }
    ~CallGuard() {
      if (!entered_) return;
      std::lock_guard lock(d_.mutex_);
      if (--d_.activeCalls_ == 0) d_.idle_.notify_all();
    }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;
    bool Entered() const { return entered_; }

   private:
    LibusbDevice& d_;
    bool entered_ = false;
  };

  static std::size_t PipeIndex(std::uint8_t pipeId) {
    return (pipeId & 0x0F) | (IsInPipe(pipeId) ? 0x10 : 0x00);
  }

  const AltSetting* FindAlt(std::uint8_t number) const {
    for (const AltSetting& a : alts_)
      if (a.Number == number) return &a;
    return nullptr;
  }

  const PipeInfo* FindPipe(std::uint8_t pipeId) const {
    for (const AltSetting& a : alts_)
      for (const PipeInfo& p : a.Pipes)
        if (p.PipeId == pipeId) return &p;
    return nullptr;
  }

  void SetProblem(std::string text) {
    std::lock_guard lock(mutex_);
    lastProblem_ = std::move(text);
  }

  TransferResult Transfer(std::uint8_t pipeId, std::uint8_t* data, std::size_t length) {
    if (length > static_cast<std::size_t>(INT_MAX)) return {false, 0, EINVAL};
    CallGuard guard(*this);
    if (!guard.Entered()) return {false, 0, ENODEV};
    libusb_transfer* t = api_.libusb_alloc_transfer(0);
    if (!t) return {false, 0, ENOMEM};
    const PipeInfo* info = FindPipe(pipeId);
    int completed = 0;
    {
      // Submitted under the lock, so that AbortPipe sees either no transfer
      // (it was not started yet) or one libusb can cancel.
      std::lock_guard lock(mutex_);
      Pipe& pipe = pipes_[PipeIndex(pipeId)];
      libusb_fill_bulk_transfer(t, handle_, pipeId, data, static_cast<int>(length), &OnTransferDone,
                                &completed, pipe.Timeout);
      if (info && info->Type == PipeType::Interrupt) t->type = LIBUSB_TRANSFER_TYPE_INTERRUPT;
      const int r = api_.libusb_submit_transfer(t);
      if (r != LIBUSB_SUCCESS) {
        api_.libusb_free_transfer(t);
        return {false, 0, ErrnoFromLibusbError(r)};
      }
      pipe.InFlight.push_back(t);
    }
    WaitForCallback(t, &completed);
    {
      std::lock_guard lock(mutex_);
      auto& inFlight = pipes_[PipeIndex(pipeId)].InFlight;
      inFlight.erase(std::remove(inFlight.begin(), inFlight.end(), t), inFlight.end());
    }
    const int status = t->status;
    const std::size_t actual = static_cast<std::size_t>(std::max(t->actual_length, 0));
    api_.libusb_free_transfer(t);  // only now: its callback has run
    if (status == LIBUSB_TRANSFER_COMPLETED) return {true, actual, 0};
    return {false, actual, ErrnoFromTransferStatus(status)};
  }

  // Handles libusb's events on this thread until the transfer's callback
  // ran (here or on another thread that handled the events meanwhile).
  void WaitForCallback(libusb_transfer* t, int* completed) {
    bool cancelled = false;
    while (!__atomic_load_n(completed, __ATOMIC_ACQUIRE)) {
      timeval tv{0, kEventRoundMicroseconds};
      const int r = api_.libusb_handle_events_timeout_completed(ctx_, &tv, completed);
      if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED) {
        // The event loop failed: end the transfer, but keep waiting for its
        // callback; freeing it before would leave libusb a dangling pointer.
        if (!cancelled) api_.libusb_cancel_transfer(t);
        cancelled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }

  std::shared_ptr<LibusbLibrary> lib_;
  const LibusbApi& api_;
  libusb_context* const ctx_;
  libusb_device_handle* const handle_;
  const int interface_;
  const bool reattach_;
  const std::vector<AltSetting> alts_;

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  int activeCalls_ = 0;
  bool closing_ = false;
  std::array<Pipe, 32> pipes_{};
  std::string lastProblem_;
};

// The interface the device component works with: number 0 when the
// configuration has it, else the first one.
const libusb_interface* PickInterface(const libusb_config_descriptor* cfg) {
  const libusb_interface* first = nullptr;
  for (int i = 0; i < cfg->bNumInterfaces; ++i) {
    const libusb_interface& itf = cfg->interface[i];
    if (itf.num_altsetting <= 0) continue;
    if (itf.altsetting[0].bInterfaceNumber == 0) return &itf;
    if (!first) first = &itf;
  }
  return first;
}

std::vector<AltSetting> ReadAltSettings(const libusb_interface& itf) {
  std::vector<AltSetting> alts;
  for (int a = 0; a < itf.num_altsetting; ++a) {
    const libusb_interface_descriptor& d = itf.altsetting[a];
    AltSetting alt;
    alt.Number = d.bAlternateSetting;
    for (int e = 0; e < d.bNumEndpoints; ++e) {
      const libusb_endpoint_descriptor& ep = d.endpoint[e];
      PipeInfo p;
      p.Type = static_cast<PipeType>(ep.bmAttributes & 0x03);
      p.PipeId = ep.bEndpointAddress;
      p.MaximumPacketSize = ep.wMaxPacketSize;
      p.Interval = ep.bInterval;
      alt.Pipes.push_back(p);
    }
    alts.push_back(std::move(alt));
  }
  return alts;
}

}  // namespace

// ----- the driver -------------------------------------------------------------

LibusbDriver::LibusbDriver(std::string libraryFile, std::string sysfsRoot)
    : libraryFile_(std::move(libraryFile)),
      sysfsRoot_(std::move(sysfsRoot)),
      lib_(std::make_shared<detail::LibusbLibrary>(libraryFile_)) {}

LibusbDriver::~LibusbDriver() = default;

bool LibusbDriver::Loaded() const {
  return lib_->Loaded();
}

std::string LibusbDriver::LoadProblem() const {
  return lib_->Problem();
}

std::optional<LibraryVersion> LibusbDriver::GetVersion() {
  if (!lib_->Loaded()) return std::nullopt;
  const libusb_version* v = lib_->Api().libusb_get_version();
  if (!v) return std::nullopt;
  return LibraryVersion{v->major, v->minor, v->micro, v->nano};
}

std::optional<std::vector<DeviceListEntry>> LibusbDriver::ListDevices() {
  libusb_context* ctx = lib_->Context();
  if (!ctx) return std::nullopt;
  const LibusbApi& api = lib_->Api();
  libusb_device** list = nullptr;
  const ssize_t count = api.libusb_get_device_list(ctx, &list);
  if (count < 0) return std::nullopt;

  std::vector<DeviceListEntry> entries;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* dev = list[i];
    libusb_device_descriptor desc{};
    if (api.libusb_get_device_descriptor(dev, &desc) != LIBUSB_SUCCESS) continue;

    auto token = std::make_shared<EntryToken>();
    token->Bus = api.libusb_get_bus_number(dev);
    token->Address = api.libusb_get_device_address(dev);
    token->VendorId = desc.idVendor;
    token->ProductId = desc.idProduct;
    std::array<std::uint8_t, 8> ports{};
    const int portCount =
        api.libusb_get_port_numbers(dev, ports.data(), static_cast<int>(ports.size()));
    if (portCount > 0) {
      token->SysName = std::to_string(token->Bus) + "-";
      for (int p = 0; p < portCount; ++p)
        token->SysName += (p ? "." : "") + std::to_string(ports[static_cast<std::size_t>(p)]);
    } else {
      token->SysName = "usb" + std::to_string(token->Bus);
    }
    token->Node = Format("/dev/bus/usb/%03d/%03d", token->Bus, token->Address);

    DeviceListEntry e;
    e.VendorId = desc.idVendor;
    e.ProductId = desc.idProduct;
    e.InstanceId = token->SysName;
    e.DriverId = 0;
    std::array<char, 32> id{};
    std::snprintf(id.data(), id.size(), "usb:v%04Xp%04Xd%04X", desc.idVendor, desc.idProduct,
                  desc.bcdDevice);
    e.DeviceId = id.data();
    e.DevicePath = sysfsRoot_ + "/" + token->SysName;
    e.SymbolicLink = token->Node;
    e.Service = BoundDriver(e.DevicePath, token->SysName);
    e.Manufacturer = ReadAttribute(e.DevicePath + "/manufacturer");
    e.Description = ReadAttribute(e.DevicePath + "/product");
    e.SerialNumber = ReadAttribute(e.DevicePath + "/serial");

    // What sysfs did not give, the string descriptors may, when the device
    // can be opened (without access rights it stays empty).
    struct Wanted {
      std::string* Field;
      std::uint8_t Index;
    };
    const std::array<Wanted, 3> wanted{{{&e.Manufacturer, desc.iManufacturer},
                                        {&e.Description, desc.iProduct},
                                        {&e.SerialNumber, desc.iSerialNumber}}};
    const bool needStrings = std::any_of(
        wanted.begin(), wanted.end(), [](const Wanted& w) { return w.Field->empty() && w.Index; });
    libusb_device_handle* h = nullptr;
    if (needStrings && api.libusb_open(dev, &h) == LIBUSB_SUCCESS) {
      for (const Wanted& w : wanted) {
        if (!w.Field->empty() || !w.Index) continue;
        std::array<unsigned char, 256> text{};
        const int n = api.libusb_get_string_descriptor_ascii(h, w.Index, text.data(),
                                                             static_cast<int>(text.size()));
        if (n > 0)
          w.Field->assign(reinterpret_cast<const char*>(text.data()), static_cast<std::size_t>(n));
      }
      api.libusb_close(h);
    }

    e.Connected = true;
    e.BusNumber = token->Bus;
    e.DeviceAddress = token->Address;
    e.Owner = static_cast<const UsbDriver*>(this);
    e.Token = std::move(token);
    entries.push_back(std::move(e));
  }
  api.libusb_free_device_list(list, 1);
  return entries;
}

std::unique_ptr<UsbDevice> LibusbDriver::Open(const DeviceListEntry& entry) {
  SetOpenProblem({});
  if (!lib_->Loaded()) {
    SetOpenProblem("The USB library is not loaded: " + lib_->Problem());
    return nullptr;
  }
  if (entry.Owner != static_cast<const UsbDriver*>(this) || !entry.Token) {
    SetOpenProblem("The device entry was not listed by the libusb driver.");
    return nullptr;
  }
  const auto& token = *static_cast<const EntryToken*>(entry.Token.get());
  libusb_context* ctx = lib_->Context();
  if (!ctx) {
    SetOpenProblem(lib_->Problem());
    return nullptr;
  }
  const LibusbApi& api = lib_->Api();

  // Find the device again: same bus, address and ids.
  libusb_device** list = nullptr;
  const ssize_t count = api.libusb_get_device_list(ctx, &list);
  if (count < 0) {
    SetOpenProblem(OpenStepProblem(token, "list", lib_->ErrorName(static_cast<int>(count))));
    return nullptr;
  }
  libusb_device* found = nullptr;
  for (ssize_t i = 0; i < count && !found; ++i) {
    libusb_device* dev = list[i];
    if (api.libusb_get_bus_number(dev) != token.Bus ||
        api.libusb_get_device_address(dev) != token.Address)
      continue;
    libusb_device_descriptor desc{};
    if (api.libusb_get_device_descriptor(dev, &desc) == LIBUSB_SUCCESS &&
        desc.idVendor == token.VendorId && desc.idProduct == token.ProductId)
      found = dev;
  }
  libusb_device_handle* h = nullptr;
  int r = found ? api.libusb_open(found, &h) : LIBUSB_ERROR_NO_DEVICE;
  api.libusb_free_device_list(list, 1);  // an open handle keeps its own reference
  if (r != LIBUSB_SUCCESS) {
    SetOpenProblem(ProblemFor(r, token, "open", lib_->ErrorName(r)));
    return nullptr;
  }
  auto fail = [&](int code, const char* step) -> std::unique_ptr<UsbDevice> {
    SetOpenProblem(ProblemFor(code, token, step, lib_->ErrorName(code)));
    api.libusb_close(h);
    return nullptr;
  };

  // The configuration; a device without one gets its first.
  libusb_device* dev = api.libusb_get_device(h);
  libusb_config_descriptor* cfg = nullptr;
  r = api.libusb_get_active_config_descriptor(dev, &cfg);
  if (r == LIBUSB_ERROR_NOT_FOUND) {
    libusb_config_descriptor* first = nullptr;
    r = api.libusb_get_config_descriptor(dev, 0, &first);
    if (r == LIBUSB_SUCCESS) {
      const int value = first->bConfigurationValue;
      api.libusb_free_config_descriptor(first);
      r = api.libusb_set_configuration(h, value);
      if (r == LIBUSB_SUCCESS) r = api.libusb_get_active_config_descriptor(dev, &cfg);
    }
  }
  if (r != LIBUSB_SUCCESS || !cfg)
    return fail(r != LIBUSB_SUCCESS ? r : LIBUSB_ERROR_OTHER, "configure");
  const libusb_interface* itf = PickInterface(cfg);
  if (!itf) {
    api.libusb_free_config_descriptor(cfg);
    return fail(LIBUSB_ERROR_NOT_FOUND, "find an interface of");
  }
  const int interfaceNumber = itf->altsetting[0].bInterfaceNumber;
  std::vector<AltSetting> alts = ReadAltSettings(*itf);
  api.libusb_free_config_descriptor(cfg);

  // A kernel driver holding the interface is detached: by libusb at claim
  // (and re-attached at release), or here by hand where libusb cannot.
  bool reattach = false;
  if (api.libusb_set_auto_detach_kernel_driver(h, 1) != LIBUSB_SUCCESS &&
      api.libusb_kernel_driver_active(h, interfaceNumber) == 1) {
    r = api.libusb_detach_kernel_driver(h, interfaceNumber);
    if (r != LIBUSB_SUCCESS) return fail(r, "detach the kernel driver from");
    reattach = true;
  }
  r = api.libusb_claim_interface(h, interfaceNumber);
  if (r != LIBUSB_SUCCESS) {
    if (reattach) api.libusb_attach_kernel_driver(h, interfaceNumber);
    return fail(r, "claim the interface of");
  }
  return std::make_unique<LibusbDevice>(lib_, ctx, h, interfaceNumber, reattach, std::move(alts));
}

std::string LibusbDriver::LastOpenProblem() const {
  std::lock_guard lock(mutex_);
  return lastOpenProblem_;
}

void LibusbDriver::SetOpenProblem(std::string text) {
  std::lock_guard lock(mutex_);
  lastOpenProblem_ = std::move(text);
}

}  // namespace mpu::usb
