// Firmware transfer engines: upload (unit to PC), download (PC to unit's
// staging buffer) and programming (staged image to flash).
#include "device/aldrane_mpu.h"

#include <algorithm>

#include "device/pipe_threads.h"
#include "protocol/clock.h"
#include "protocol/data_packets.h"

namespace mpu {

namespace {

// The host's own error for an image the unit cannot take in blocks.
constexpr int kErrImageTooLarge = 0x88;

bool Matches(const TMPUFirmwareXferControl& ctl, std::uint8_t firmwareId, std::uint8_t sourceId) {
  return ctl.FirmwareId != 0 && ctl.FirmwareId == firmwareId && ctl.SourceId == sourceId;
}

}  // namespace

// Runs an event handler; an exception it throws is discarded.
template <class... Args, class F>
void TAldraneMPU::RaiseGuarded(const F& handler, Args&&... args) {
  try {
    if (handler) handler(*this, std::forward<Args>(args)...);
  } catch (...) {
  }
}

bool TAldraneMPU::CheckFirmwareRequest() {
  FLastError = 0;
  if (!FActive) FLastError = MPU_ERR_NOT_ACTIVE;
  else if (FConnectionStatus != csOpened) FLastError = MPU_ERR_NOT_OPEN;
  else if (FFirmwareUploadControl.Initialized || FFirmwareDownloadControl.Initialized)
    FLastError = MPU_ERR_TRANSFER_RUNNING;
  else if (FFirmwareProgramControl.Initialized) FLastError = MPU_ERR_PROGRAMMING_RUNNING;
  return FLastError == 0;
}

bool TAldraneMPU::QueueXferRequest(std::uint8_t opcode, const TMPUFirmwareXferControl& ctl, std::uint8_t subRequest,
                                   std::uint8_t checksumType) {
  FControlMsgTxBuf.Prepare(opcode, TMPUFirmwareXferRequest{ctl.FirmwareId, ctl.SourceId, subRequest, checksumType});
  return QueueCommand();
}

// ---------------------------------------------------------------------------
// Upload

bool TAldraneMPU::RequestFirmwareUpload(std::uint32_t aFirmwareId, std::uint32_t aSourceId,
                                        TMPUDataChecksumType aCheckSumType) {
  if (!CheckFirmwareRequest()) return false;
  if (aFirmwareId < 1 || aFirmwareId > kMaxFirmwareId || aSourceId > kMaxFirmwareSourceId) {
    FLastError = MPU_ERR_FIRMWARE_ID;
    return false;
  }
  FFirmwareUploadControl = {};
  FFirmwareUploadControl.FirmwareId = static_cast<std::uint8_t>(aFirmwareId);
  FFirmwareUploadControl.SourceId = static_cast<std::uint8_t>(aSourceId);
  FFirmwareUploadControl.ChecksumType = aCheckSumType;
  FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_UPLOAD,
                           TMPUFirmwareXferRequest{FFirmwareUploadControl.FirmwareId, FFirmwareUploadControl.SourceId,
                                                   MPU_FW_SUB_START, aCheckSumType});
  return QueueCommand();
}

bool TAldraneMPU::AbortFirmwareUpload() {
  FLastError = 0;
  if (!FFirmwareUploadControl.Initialized) {
    FLastError = MPU_ERR_NO_TRANSFER;
    return false;
  }
  FFirmwareUploadControl.Terminated = true;
  FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_UPLOAD,
                           TMPUFirmwareXferRequest{FFirmwareUploadControl.FirmwareId, FFirmwareUploadControl.SourceId,
                                                   MPU_FW_SUB_ABORT, 0});
  return QueueCommand();
}

void TAldraneMPU::HandleUploadAnswer(const TMPUFirmwareXferInfo& info) {
  TMPUFirmwareXferControl& ctl = FFirmwareUploadControl;
  if (!Matches(ctl, info.FirmwareId, info.SourceId)) return;
  if (info.SubRequest == MPU_FW_SUB_START && !ctl.Initialized) {
    if (info.ErrorId != 0) {
      if (OnFirmwareTransferError) OnFirmwareTransferError(*this, info.ErrorId);
      return;
    }
    ctl.FirmwareMajor = info.VersionInfo.VersionMajor;
    ctl.FirmwareMinor = info.VersionInfo.VersionMinor;
    ctl.FirmwareBuild = info.VersionInfo.VersionBuild;
    ctl.DeviceId = info.VersionInfo.DeviceId;
    ctl.BlockSize = info.BlockSize;
    ctl.BlockCount = info.BlockCount;
    ctl.ChecksumSize = info.ChecksumSize;
    const std::uint64_t imageSize = std::uint64_t{ctl.BlockSize} * ctl.BlockCount;
    if (imageSize == 0) return;
    // Blocks must fit a data packet, and the image the memory limit of a
    // firmware image; anything else is refused before allocating.
    if (ctl.BlockSize > MaxFirmwareBlockSize(FDataPacketSize) || imageSize > kMaxFirmwareImageSize) {
      Log(QString::asprintf("Firmware upload refused: %u blocks of %u bytes do not fit (at most %zu bytes per block, "
                            "%u bytes per image)",
                            ctl.BlockCount, unsigned{ctl.BlockSize}, MaxFirmwareBlockSize(FDataPacketSize),
                            kMaxFirmwareImageSize));
      QueueXferRequest(MPU_OP_FIRMWARE_UPLOAD, ctl, MPU_FW_SUB_ABORT, 0);
      if (OnFirmwareTransferError) OnFirmwareTransferError(*this, kErrImageTooLarge);
      return;
    }
    ctl.ImageSize = static_cast<std::uint32_t>(imageSize);
    ctl.Buffer.assign(ctl.ImageSize, 0);
    ctl.BufferPointer = 0;
    ctl.BlockId = 0;
    ctl.Initialized = true;
    ctl.Finalized = false;
    RaiseGuarded(OnFirmwareUploadBegin);
    QueueXferRequest(MPU_OP_FIRMWARE_UPLOAD, ctl, MPU_FW_SUB_NEXT_BLOCK, ctl.ChecksumType);
  } else if (info.SubRequest == MPU_FW_SUB_FINISH && ctl.Initialized) {
    if (info.ErrorId == 0) {
      ctl.Initialized = false;
      ctl.Finalized = true;
      RaiseGuarded(OnFirmwareUploadEnd);
    } else if (OnFirmwareTransferError) {
      OnFirmwareTransferError(*this, info.ErrorId);
    }
  }
}

void TAldraneMPU::HandleUploadBlock() {
  TMPUFirmwareXferControl& ctl = FFirmwareUploadControl;
  // Blocks of an aborted upload are not taken.
  if (!ctl.Initialized || ctl.Finalized || ctl.Terminated) return;
  const auto packet = DecodeFirmwareDataPacket(wire::Bytes(FDataXferBuf.data(), FDataPacketSize));
  if (!packet || !Matches(ctl, packet->Info.FirmwareId, packet->Info.SourceId)) return;
  if (std::size_t{ctl.BufferPointer} + ctl.BlockSize > ctl.Buffer.size()) {
    // More blocks than announced: the image is complete, the rest is dropped.
    return;
  }
  const wire::Bytes data(FDataXferBuf.data() + kFirmwareDataOffset, ctl.BlockSize);
  std::copy(data.begin(), data.end(), ctl.Buffer.begin() + ctl.BufferPointer);
  ctl.BufferPointer += ctl.BlockSize;
  ctl.BlockId = packet->Info.BlockId + 1;
  RaiseGuarded(OnFirmwareUploadProgress, ctl.BlockId);
  if (FDataPacketRxThread) FDataPacketRxThread->DataProcessed();
  if (ctl.BlockId < ctl.BlockCount) {
    QueueXferRequest(MPU_OP_FIRMWARE_UPLOAD, ctl, MPU_FW_SUB_NEXT_BLOCK, ctl.ChecksumType);
  } else {
    QueueXferRequest(MPU_OP_FIRMWARE_UPLOAD, ctl, MPU_FW_SUB_FINISH, ctl.ChecksumType);
    ctl.Finalized = true;
  }
}

// ---------------------------------------------------------------------------
// Download

bool TAldraneMPU::RequestFirmwareDownload(std::uint32_t aDeviceId, std::uint32_t aFirmwareId,
                                          std::uint32_t aSourceId, TMPUDataChecksumType aCheckSumType,
                                          std::uint16_t aVersionMajor, std::uint16_t aVersionMinor,
                                          std::uint16_t aVersionBuild, std::span<const std::uint8_t> image) {
  if (!CheckFirmwareRequest()) return false;
  if (image.size() > kMaxFirmwareImageSize) {
    FLastError = MPU_ERR_IMAGE_TOO_LARGE;
    return false;
  }
  if (aFirmwareId < 1 || aFirmwareId > kMaxFirmwareId || aSourceId > kMaxFirmwareSourceId) {
    FLastError = MPU_ERR_FIRMWARE_ID;
    return false;
  }
  TMPUFirmwareXferControl& ctl = FFirmwareDownloadControl;
  ctl = {};
  ctl.FirmwareId = static_cast<std::uint8_t>(aFirmwareId);
  ctl.SourceId = static_cast<std::uint8_t>(aSourceId);
  ctl.DeviceId = static_cast<std::uint8_t>(aDeviceId);
  ctl.ChecksumType = aCheckSumType;
  ctl.ImageSize = static_cast<std::uint32_t>(image.size());
  ctl.FirmwareMajor = static_cast<std::uint8_t>(aVersionMajor);
  ctl.FirmwareMinor = static_cast<std::uint8_t>(aVersionMinor);
  ctl.FirmwareBuild = aVersionBuild;
  // Room for the image rounded down to 1 KiB plus 1 KiB of 0xFF fill, so
  // that the last block reads fill bytes beyond the image.
  ctl.Buffer.assign((image.size() / 1024) * 1024 + 1024, 0xFF);
  std::copy(image.begin(), image.end(), ctl.Buffer.begin());
  return QueueXferRequest(MPU_OP_FIRMWARE_DOWNLOAD, ctl, MPU_FW_SUB_START, aCheckSumType);
}

bool TAldraneMPU::AbortFirmwareDownload() {
  FLastError = 0;
  if (!FFirmwareDownloadControl.Initialized) {
    FLastError = MPU_ERR_NO_TRANSFER;
    return false;
  }
  FFirmwareDownloadControl.Terminated = true;
  FFirmwareDownloadControl.Buffer.clear();
  FFirmwareDownloadControl.Buffer.shrink_to_fit();
  FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_DOWNLOAD,
                           TMPUFirmwareXferRequest{FFirmwareDownloadControl.FirmwareId,
                                                   FFirmwareDownloadControl.SourceId, MPU_FW_SUB_ABORT, 0});
  return QueueCommand();
}

void TAldraneMPU::DownloadFailed(int errorId) {
  if (FFirmwareDownloadControl.Initialized) {
    AbortFirmwareDownload();
  } else {
    QueueXferRequest(MPU_OP_FIRMWARE_DOWNLOAD, FFirmwareDownloadControl, MPU_FW_SUB_ABORT, 0);
    FFirmwareDownloadControl.Buffer.clear();
  }
  RaiseGuarded(OnFirmwareTransferError, errorId);
}

void TAldraneMPU::HandleDownloadAnswer(const TMPUFirmwareXferInfo& info) {
  TMPUFirmwareXferControl& ctl = FFirmwareDownloadControl;
  if (!Matches(ctl, info.FirmwareId, info.SourceId)) return;
  switch (info.SubRequest) {
    case MPU_FW_SUB_START: {
      if (ctl.Initialized) return;
      if (info.ErrorId != 0) {
        RaiseGuarded(OnFirmwareTransferError, int{info.ErrorId});
        return;
      }
      if (ctl.Buffer.empty()) return;  // not a download this host started
      // A block must be non-empty and fit one data packet.
      if (info.BlockSize == 0 || info.BlockSize > MaxFirmwareBlockSize(FDataPacketSize)) {
        Log(QString::asprintf("Firmware download refused: block size %u (1..%zu bytes fit a data packet)",
                              unsigned{info.BlockSize}, MaxFirmwareBlockSize(FDataPacketSize)));
        DownloadFailed(kErrImageTooLarge);
        return;
      }
      ctl.BlockSize = info.BlockSize;
      ctl.BlockCount = ctl.ImageSize / ctl.BlockSize + (ctl.ImageSize % ctl.BlockSize != 0 ? 1 : 0);
      if (ctl.BlockCount > info.BlockCount) {
        DownloadFailed(kErrImageTooLarge);
        return;
      }
      ctl.ChecksumSize = info.ChecksumSize;
      ctl.Initialized = true;
      ctl.Finalized = false;
      ctl.BlockId = 0;
      ctl.BufferPointer = 0;
      RaiseGuarded(OnFirmwareDownloadBegin);
      SendDownloadBlock(MPU_FW_SUB_NEXT_BLOCK);
      return;
    }
    case MPU_FW_SUB_NEXT_BLOCK:
      if (!ctl.Initialized || ctl.Terminated || ctl.Finalized) return;
      if (info.ErrorId != 0) {
        DownloadFailed(info.ErrorId);
        return;
      }
      if (ctl.BlockId < ctl.BlockCount) {
        SendDownloadBlock(MPU_FW_SUB_NEXT_BLOCK);
      } else {
        QueueXferRequest(MPU_OP_FIRMWARE_DOWNLOAD, ctl, MPU_FW_SUB_FINISH, ctl.ChecksumType);
        ctl.Finalized = true;
        ctl.Buffer.clear();
        ctl.Buffer.shrink_to_fit();
      }
      return;
    case MPU_FW_SUB_REPEAT_BLOCK:
      if (!ctl.Initialized || ctl.Terminated || ctl.Finalized) return;
      SendDownloadBlock(MPU_FW_SUB_REPEAT_BLOCK);
      return;
    case MPU_FW_SUB_FINISH:
      if (!ctl.Initialized) return;
      ctl.Initialized = false;
      ctl.Finalized = true;
      if (info.ErrorId == 0) {
        if (OnFirmwareDownloadEnd) OnFirmwareDownloadEnd(*this);
      } else {
        RaiseGuarded(OnFirmwareTransferError, int{info.ErrorId});
      }
      return;
    default:
      return;
  }
}

void TAldraneMPU::SendDownloadBlock(std::uint8_t subRequest) {
  TMPUFirmwareXferControl& ctl = FFirmwareDownloadControl;
  // A released buffer is never read.
  if (ctl.Buffer.empty() || ctl.Terminated) return;
  TMPUFirmwareXferInfo info;
  info.FirmwareId = ctl.FirmwareId;
  info.SourceId = ctl.SourceId;
  info.SubRequest = subRequest;
  info.VersionInfo.VersionMajor = ctl.FirmwareMajor;
  info.VersionInfo.VersionMinor = ctl.FirmwareMinor;
  info.VersionInfo.VersionBuild = ctl.FirmwareBuild;
  info.BlockSize = ctl.BlockSize;
  info.BlockCount = ctl.BlockCount;
  info.BlockId = ctl.BlockId;
  info.ChecksumType = ctl.ChecksumType;
  info.ChecksumSize = ctl.ChecksumSize;
  if (subRequest == MPU_FW_SUB_REPEAT_BLOCK && ctl.BlockId > 0) {
    // The packet names the blocks sent so far; the data is the last one's.
    --ctl.BlockId;
    ctl.BufferPointer = ctl.BlockId * ctl.BlockSize;
  }
  if (std::size_t{ctl.BufferPointer} + ctl.BlockSize > ctl.Buffer.size()) {
    DownloadFailed(kErrImageTooLarge);
    return;
  }
  FDataXferBuf.fill(0);
  EncodeFirmwareDataPacket(std::span(FDataXferBuf.data(), FDataPacketSize), info,
                           wire::Bytes(ctl.Buffer.data() + ctl.BufferPointer, ctl.BlockSize));
  SendDataPacket(std::span(FDataXferBuf.data(), FDataPacketSize));
  ctl.BufferPointer += ctl.BlockSize;
  ctl.BlockId += 1;
  RaiseGuarded(OnFirmwareDownloadProgress, ctl.BlockId);
}

// ---------------------------------------------------------------------------
// Programming

bool TAldraneMPU::RequestFirmwareProgramming(std::uint32_t aFirmwareId, std::uint32_t aDeviceId,
                                             std::uint32_t aSourceId) {
  if (!CheckFirmwareRequest()) return false;
  TMPUFirmwareProgRequest req;
  req.FirmwareId = static_cast<std::uint8_t>(aFirmwareId);
  req.SourceId = static_cast<std::uint8_t>(aSourceId);
  req.SubRequest = MPU_FW_SUB_START;
  req.Timestamp = TimestampNow();
  req.DeviceId = static_cast<std::uint8_t>(aDeviceId);
  FControlMsgTxBuf.Prepare(MPU_OP_FIRMWARE_PROGRAM, req);
  QueueCommand();
  return false;
}

void TAldraneMPU::HandleProgramAnswer(const TMPUFirmwareProgInfo& info) {
  TMPUFirmwareXferControl& ctl = FFirmwareProgramControl;
  if (info.SubRequest == MPU_FW_SUB_START) {
    // Programming follows a download of the same image.
    if (ctl.Initialized || !Matches(FFirmwareDownloadControl, info.FirmwareId, info.SourceId)) return;
    if (info.ErrorId == 0) {
      ctl.Initialized = true;
      ctl.Finalized = false;
      ctl.BlockCount = info.BlockCount;
      ctl.BlockId = 0;
      ctl.FirmwareId = info.FirmwareId;
      ctl.SourceId = info.SourceId;
      ctl.DeviceId = FFirmwareDownloadControl.DeviceId;
      ctl.FirmwareMajor = FFirmwareDownloadControl.FirmwareMajor;
      ctl.FirmwareMinor = FFirmwareDownloadControl.FirmwareMinor;
      ctl.FirmwareBuild = FFirmwareDownloadControl.FirmwareBuild;
      RaiseGuarded(OnFirmwareProgramBegin);
    } else {
      ctl.Initialized = false;
      RaiseGuarded(OnFirmwareProgramError, int{info.ErrorId});
    }
    return;
  }
  if (!ctl.Initialized || !Matches(ctl, info.FirmwareId, info.SourceId)) return;
  if (info.SubRequest != MPU_FW_SUB_ERASE && info.SubRequest != MPU_FW_SUB_PROGRESS &&
      info.SubRequest != MPU_FW_SUB_FINISH)
    return;
  if (info.ErrorId != 0) {
    ctl.Initialized = false;
    RaiseGuarded(OnFirmwareProgramError, int{info.ErrorId});
    return;
  }
  switch (info.SubRequest) {
    case MPU_FW_SUB_ERASE:
      RaiseGuarded(OnFirmwareProgramErase);
      break;
    case MPU_FW_SUB_PROGRESS:
      ctl.BlockId = info.BlockId;
      RaiseGuarded(OnFirmwareProgramProgress, ctl.BlockId);
      break;
    default:
      ctl.Initialized = false;
      ctl.Finalized = true;
      RaiseGuarded(OnFirmwareProgramEnd);
      break;
  }
}

}  // namespace mpu
