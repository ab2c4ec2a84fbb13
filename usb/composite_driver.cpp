#include "usb/composite_driver.h"

#include <utility>

namespace mpu::usb {

bool IsOwnedBy(const DeviceListEntry& entry, const UsbDriver* driver) {
  if (!driver || !entry.Owner) return false;
  return entry.Owner == static_cast<const void*>(driver) ||
         entry.Owner == dynamic_cast<const void*>(driver);
}

CompositeDriver::CompositeDriver(std::shared_ptr<UsbDriver> real,
                                 std::shared_ptr<UsbDriver> simulated)
    : real_(std::move(real)), simulated_(std::move(simulated)) {}

bool CompositeDriver::Loaded() const {
  return (real_ && real_->Loaded()) || (simulated_ && simulated_->Loaded());
}

UsbDriver* CompositeDriver::VersionSource() const {
  if (real_ && real_->Loaded()) return real_.get();
  if (simulated_ && simulated_->Loaded()) return simulated_.get();
  return real_ ? real_.get() : simulated_.get();
}

std::optional<LibraryVersion> CompositeDriver::GetVersion() {
  UsbDriver* source = VersionSource();
  return source ? source->GetVersion() : std::nullopt;
}

int CompositeDriver::ExpectedMajorVersion() const {
  const UsbDriver* source = VersionSource();
  return source ? source->ExpectedMajorVersion() : 0;
}

std::optional<std::vector<DeviceListEntry>> CompositeDriver::ListDevices() {
  std::optional<std::vector<DeviceListEntry>> result;
  for (UsbDriver* d : {real_.get(), simulated_.get()}) {
    if (!d || !d->Loaded()) continue;
    std::optional<std::vector<DeviceListEntry>> part = d->ListDevices();
    if (!part) continue;
    if (!result) {
      result = std::move(part);
    } else {
      for (DeviceListEntry& e : *part) result->push_back(std::move(e));
    }
  }
  return result;
}

std::unique_ptr<UsbDevice> CompositeDriver::Open(const DeviceListEntry& entry) {
  for (UsbDriver* d : {real_.get(), simulated_.get()}) {
    if (!IsOwnedBy(entry, d)) continue;
    std::unique_ptr<UsbDevice> device = d->Open(entry);
    SetOpenProblem(device ? std::string() : d->LastOpenProblem());
    return device;
  }
  // Not listed by either driver directly: offer it to each in turn.
  std::string problem;
  for (UsbDriver* d : {real_.get(), simulated_.get()}) {
    if (!d || !d->Loaded()) continue;
    if (std::unique_ptr<UsbDevice> device = d->Open(entry)) {
      SetOpenProblem({});
      return device;
    }
    if (problem.empty()) problem = d->LastOpenProblem();
  }
  SetOpenProblem(problem.empty() ? "No USB driver listed this device." : problem);
  return nullptr;
}

std::string CompositeDriver::LastOpenProblem() const {
  std::lock_guard lock(mutex_);
  return lastOpenProblem_;
}

void CompositeDriver::SetOpenProblem(std::string text) {
  std::lock_guard lock(mutex_);
  lastOpenProblem_ = std::move(text);
}

}  // namespace mpu::usb
