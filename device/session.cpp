// Session control, mass update and configuration store.
#include <QTimer>

#include "device/aldrane_mpu.h"
#include "protocol/clock.h"

namespace mpu {

bool TAldraneMPU::QueueSessionFrame(std::uint8_t active, std::int64_t key) {
  FControlMsgTxBuf.Prepare(MPU_OP_SESSION, TMPUSessionMessage{active, key});
  return QueueCommand();
}

bool TAldraneMPU::BeginSession(std::int64_t aKey) {
  if (!FActive || FConnectionStatus != csOpened || FSessionStatus == ssLoggedOn) return false;
  FSessionStatus = ssInitializing;
  FSessionKey = aKey != 0 ? aKey : SessionKeyNow();
  if (!QueueSessionFrame(1, FSessionKey)) {
    FSessionKey = 0;
    return false;
  }
  SetSessionStatus(ssInitializing);
  return true;
}

bool TAldraneMPU::RenewSession() {
  if (!FActive || FSessionStatus != ssLoggedOn) return false;
  QueueSessionFrame(1, FSessionKey);
  return false;
}

bool TAldraneMPU::EndSession() {
  if (!FActive || FConnectionStatus != csOpened || FSessionStatus == ssLoggedOff) return false;
  const bool queued = QueueSessionFrame(0, FSessionKey);
  FSessionKey = 0;
  SetSessionStatus(ssLoggedOff);
  return queued;
}

bool TAldraneMPU::MassUpdate(bool bActive, bool bSilent) {
  if (!FActive || FConnectionStatus != csOpened) return false;
  FControlMsgTxBuf.Prepare(MPU_OP_MASS_UPDATE, TMPUMassUpdateMessage{static_cast<std::uint8_t>(bActive ? 1 : 0),
                                                                    static_cast<std::uint8_t>(bSilent ? 1 : 0)});
  return QueueCommand();
}

bool TAldraneMPU::RewriteConfig(bool bRestoreDefault) {
  if (!FActive || FConnectionStatus != csOpened) return false;
  FControlMsgTxBuf.Prepare(MPU_OP_CONFIG_STORE,
                           TMPUConfigStoreMessage{bRestoreDefault ? kConfigDefault : kConfigRewrite, 0});
  return QueueCommand();
}

void TAldraneMPU::SetSessionStatus(TMPUSessionStatus s) {
  FSessionStatus = s;
  if (s == ssLoggedOn) {
    if (FKeepSessionAlive) StartKeepAliveTimer(true);
  } else {
    StartKeepAliveTimer(false);
  }
  if (OnSessionStatusChange) OnSessionStatusChange(*this, s);
}

void TAldraneMPU::StartKeepAliveTimer(bool on) {
  if (!FTimer) return;
  // The timer serves one duty at a time; a reconnect it is arming is left alone.
  if (!on && FTimerDuty != TimerDuty::KeepAlive) return;
  FTimer->stop();
  FTimerDuty = TimerDuty::None;
  if (on) {
    FTimerDuty = TimerDuty::KeepAlive;
    FTimer->start(static_cast<int>(FKeepSessionInterval * 1000));
  }
}

void TAldraneMPU::SetKeepSessionAlive(bool value) {
  if (value == FKeepSessionAlive) return;
  FKeepSessionAlive = value;
  if (FSessionStatus == ssLoggedOn) StartKeepAliveTimer(value);
}

void TAldraneMPU::SetKeepSessionAliveInterval(std::uint32_t value) {
  if (value < 1 || value > 30) return;
  FKeepSessionInterval = value;
  if (FSessionStatus == ssLoggedOn && FKeepSessionAlive && FTimerDuty == TimerDuty::KeepAlive)
    StartKeepAliveTimer(true);
}

}  // namespace mpu
