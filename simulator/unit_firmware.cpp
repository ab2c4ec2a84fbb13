// Firmware transfers of the unit: uploads of the flash image or the staging
// buffer, downloads into the staging buffer, and programming the staged
// image into flash, with their error codes.
#include <algorithm>
#include <array>
#include <utility>

#include "protocol/data_packets.h"
#include "simulator/unit_logic.h"

namespace mpu::sim {
namespace {

// Error codes of firmware transfers.
constexpr std::uint8_t kErrNotInitialized = 0x81;
constexpr std::uint8_t kErrUnsupportedFirmware = 0x82;
constexpr std::uint8_t kErrUnsupportedLocation = 0x83;
constexpr std::uint8_t kErrBusy = 0x84;
constexpr std::uint8_t kErrUnsupportedChecksum = 0x85;
constexpr std::uint8_t kErrPointerAtEnd = 0x87;
constexpr std::uint8_t kErrImageTooLarge = 0x88;
constexpr std::uint8_t kErrSourceNotValid = 0x90;
constexpr std::uint8_t kErrTargetNotValid = 0x91;
constexpr std::uint8_t kErrTargetNotReady = 0x92;
constexpr std::uint8_t kErrSessionActive = 0x95;

constexpr std::uint8_t kCrc32Size = 4;

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace

std::uint16_t UnitLogic::BlockSize() const {
  const std::size_t packet = std::size_t{config_.PacketPageSize} * config_.DataPages;
  return static_cast<std::uint16_t>(std::min<std::size_t>(MaxFirmwareBlockSize(packet), 0xFFFF));
}

const FirmwareImage* UnitLogic::FindImage(std::uint8_t firmwareId) const {
  for (const FirmwareImage& img : images_)
    if (img.FirmwareId == firmwareId) return &img;
  return nullptr;
}

FirmwareImage* UnitLogic::FindImage(std::uint8_t firmwareId) {
  return const_cast<FirmwareImage*>(std::as_const(*this).FindImage(firmwareId));
}

std::uint32_t UnitLogic::MaxDownloadBlocks() const {
  const std::uint16_t bs = BlockSize();
  return bs == 0 ? 0 : std::min<std::uint32_t>(config_.MaxDownloadBlocks, kMaxStagingBytes / bs);
}

bool UnitLogic::FirmwareBusy() const {
  return upload_.Running || download_.Running || programming_.Running;
}

std::uint8_t UnitLogic::InjectedError(std::uint8_t opcode, std::uint8_t subRequest) {
  const auto it = std::find_if(failSteps_.begin(), failSteps_.end(), [&](const FailStep& f) {
    return f.Opcode == opcode && f.SubRequest == subRequest;
  });
  if (it == failSteps_.end()) return 0;
  const std::uint8_t code = it->ErrorId;
  failSteps_.erase(it);
  return code;
}

std::vector<std::uint8_t> UnitLogic::FirmwareImageOf(std::uint8_t firmwareId) const {
  const FirmwareImage* img = FindImage(firmwareId);
  return img ? img->Bytes : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> UnitLogic::StagedImageOf(std::uint8_t firmwareId) const {
  return staging_.Valid && staging_.FirmwareId == firmwareId ? staging_.Data
                                                             : std::vector<std::uint8_t>{};
}

void UnitLogic::AnswerXfer(std::uint8_t opcode, std::uint8_t error, const Transfer& t,
                           std::uint8_t subRequest, std::uint32_t blockId) {
  TMPUFirmwareXferInfo a;
  a.ErrorId = error;
  a.FirmwareId = t.FirmwareId;
  a.SourceId = t.SourceId;
  a.SubRequest = subRequest;
  a.VersionInfo = {t.FirmwareId, t.Major, t.Minor, t.Build, t.DeviceId, {}};
  a.BlockSize = t.BlockSize;
  a.BlockCount = t.BlockCount;
  a.BlockId = blockId;
  a.ChecksumType = t.ChecksumType;
  a.ChecksumSize = t.ChecksumType == csCRC32 ? kCrc32Size : 0;
  Answer(opcode, a);
}

void UnitLogic::AnswerXferRequest(std::uint8_t opcode, const TMPUFirmwareXferRequest& req,
                                  std::uint8_t error) {
  TMPUFirmwareXferInfo a;
  a.ErrorId = error;
  a.FirmwareId = req.FirmwareId;
  a.SourceId = req.SourceId;
  a.SubRequest = req.SubRequest;
  a.ChecksumType = req.ChecksumType;
  Answer(opcode, a);
}

// ---------------------------------------------------------------------------
// Upload: the unit sends one block per request.

void UnitLogic::HandleUpload(const TMPUFirmwareXferRequest& req) {
  constexpr std::uint8_t op = MPU_OP_FIRMWARE_UPLOAD;
  const bool matches =
      upload_.Running && req.FirmwareId == upload_.FirmwareId && req.SourceId == upload_.SourceId;
  switch (req.SubRequest) {
    case MPU_FW_SUB_START: {
      const FirmwareImage* img = FindImage(req.FirmwareId);
      const bool fromStaging = req.SourceId == MPU_FW_SOURCE_STAGING;
      std::uint8_t err = InjectedError(op, MPU_FW_SUB_START);
      if (err == 0) {
        if (!img)
          err = kErrUnsupportedFirmware;
        else if (req.SourceId != MPU_FW_SOURCE_FLASH && !fromStaging)
          err = kErrUnsupportedLocation;
        else if (req.ChecksumType > csCRC32)
          err = kErrUnsupportedChecksum;
        else if (FirmwareBusy())
          err = kErrBusy;
        else if (fromStaging && !(staging_.Valid && staging_.FirmwareId == req.FirmwareId))
          err = kErrSourceNotValid;
        else if (BlockSize() == 0)
          err = kErrTargetNotReady;
      }
      if (err != 0) return AnswerXferRequest(op, req, err);
      Transfer t;
      t.Running = true;
      t.FirmwareId = req.FirmwareId;
      t.SourceId = req.SourceId;
      t.ChecksumType = req.ChecksumType;
      t.BlockSize = BlockSize();
      if (fromStaging) {
        t.Data = staging_.Data;
        t.Major = staging_.Major;
        t.Minor = staging_.Minor;
        t.Build = staging_.Build;
      } else {
        t.Data = img->Bytes;
        t.Major = img->Major;
        t.Minor = img->Minor;
        t.Build = img->Build;
      }
      t.BlockCount = static_cast<std::uint32_t>((t.Data.size() + t.BlockSize - 1) / t.BlockSize);
      upload_ = std::move(t);
      return AnswerXfer(op, 0, upload_, MPU_FW_SUB_START, 0);
    }
    case MPU_FW_SUB_NEXT_BLOCK:
    case MPU_FW_SUB_REPEAT_BLOCK: {
      if (!matches) return AnswerXferRequest(op, req, kErrNotInitialized);
      const bool repeat = req.SubRequest == MPU_FW_SUB_REPEAT_BLOCK;
      const std::uint32_t block =
          repeat && upload_.NextBlock > 0 ? upload_.NextBlock - 1 : upload_.NextBlock;
      if (const std::uint8_t err = InjectedError(op, req.SubRequest))
        return AnswerXfer(op, err, upload_, req.SubRequest, block);
      if (block >= upload_.BlockCount)
        return AnswerXfer(op, kErrPointerAtEnd, upload_, req.SubRequest, block);
      SendUploadBlock(block);
      if (!repeat) ++upload_.NextBlock;
      return;
    }
    case MPU_FW_SUB_FINISH: {
      if (!matches) return AnswerXferRequest(op, req, kErrNotInitialized);
      const std::uint8_t err = InjectedError(op, MPU_FW_SUB_FINISH);
      AnswerXfer(op, err, upload_, MPU_FW_SUB_FINISH, upload_.NextBlock);
      upload_ = {};
      return;
    }
    case MPU_FW_SUB_ABORT: {
      if (!matches) return Ignore();
      // The aborted transfer ends like a finished one, so the host's engine
      // becomes idle again.
      AnswerXfer(op, 0, upload_, MPU_FW_SUB_FINISH, upload_.NextBlock);
      upload_ = {};
      return;
    }
    default:
      return Ignore();
  }
}

void UnitLogic::SendUploadBlock(std::uint32_t block) {
  const Transfer& t = upload_;
  std::vector<std::uint8_t> data(t.BlockSize, 0xFF);  // the last block is padded with erased flash
  const std::size_t begin = std::size_t{block} * t.BlockSize;
  if (begin < t.Data.size())
    std::copy_n(t.Data.begin() + static_cast<long>(begin),
                std::min<std::size_t>(t.BlockSize, t.Data.size() - begin), data.begin());
  TMPUFirmwareXferInfo info;
  info.FirmwareId = t.FirmwareId;
  info.SourceId = t.SourceId;
  info.SubRequest = block + 1 == t.NextBlock ? MPU_FW_SUB_REPEAT_BLOCK : MPU_FW_SUB_NEXT_BLOCK;
  info.VersionInfo = {t.FirmwareId, t.Major, t.Minor, t.Build, t.DeviceId, {}};
  info.BlockSize = t.BlockSize;
  info.BlockCount = t.BlockCount;
  info.BlockId = block;
  info.ChecksumType = t.ChecksumType;
  if (t.ChecksumType == csCRC32) {
    info.ChecksumSize = kCrc32Size;
    wire::PutLE<std::uint32_t>(info.CheckSum.data(), Crc32(data));
  }
  std::vector<std::uint8_t> packet(dataSize_);
  if (EncodeFirmwareDataPacket(packet, info, data)) SendData(packet);
}

// ---------------------------------------------------------------------------
// Download: the host sends the blocks on the data pipe; each is answered.

void UnitLogic::HandleDownload(const TMPUFirmwareXferRequest& req) {
  constexpr std::uint8_t op = MPU_OP_FIRMWARE_DOWNLOAD;
  const bool matches = download_.Running && req.FirmwareId == download_.FirmwareId &&
                       req.SourceId == download_.SourceId;
  switch (req.SubRequest) {
    case MPU_FW_SUB_START: {
      std::uint8_t err = InjectedError(op, MPU_FW_SUB_START);
      if (err == 0) {
        if (!FindImage(req.FirmwareId))
          err = kErrUnsupportedFirmware;
        else if (req.SourceId != MPU_FW_SOURCE_STAGING)
          err = kErrUnsupportedLocation;  // only into the staging buffer
        else if (req.ChecksumType > csCRC32)
          err = kErrUnsupportedChecksum;
        else if (sessionActive_)
          err = kErrSessionActive;
        else if (FirmwareBusy())
          err = kErrBusy;
        else if (BlockSize() == 0)
          err = kErrTargetNotReady;
      }
      if (err != 0) return AnswerXferRequest(op, req, err);
      Transfer t;
      t.Running = true;
      t.FirmwareId = req.FirmwareId;
      t.SourceId = req.SourceId;
      t.ChecksumType = req.ChecksumType;
      t.BlockSize = BlockSize();
      t.BlockCount = MaxDownloadBlocks();  // the most the staging buffer takes
      download_ = std::move(t);
      staging_ = {};  // being overwritten
      return AnswerXfer(op, 0, download_, MPU_FW_SUB_START, 0);
    }
    case MPU_FW_SUB_FINISH: {
      if (!matches) return AnswerXferRequest(op, req, kErrNotInitialized);
      std::uint8_t err = InjectedError(op, MPU_FW_SUB_FINISH);
      // The staged image is the blocks 0..n-1, all of them there.
      const auto& got = download_.Received;
      const std::size_t blocks =
          static_cast<std::size_t>(std::find(got.begin(), got.end(), false) - got.begin());
      const bool complete = blocks > 0 && std::find(got.begin() + static_cast<long>(blocks),
                                                    got.end(), true) == got.end();
      if (err == 0 && !complete) err = kErrSourceNotValid;
      if (err == 0) {
        staging_.Valid = true;
        staging_.FirmwareId = download_.FirmwareId;
        staging_.Major = download_.Major;
        staging_.Minor = download_.Minor;
        staging_.Build = download_.Build;
        staging_.Data = std::move(download_.Data);
        staging_.Data.resize(blocks * download_.BlockSize);
      }
      AnswerXfer(op, err, download_, MPU_FW_SUB_FINISH, static_cast<std::uint32_t>(blocks));
      download_ = {};
      return;
    }
    case MPU_FW_SUB_ABORT: {
      if (!matches) return Ignore();
      AnswerXfer(op, 0, download_, MPU_FW_SUB_FINISH, 0);  // see the upload's abort
      download_ = {};
      staging_ = {};
      return;
    }
    default:
      return Ignore();
  }
}

void UnitLogic::HandleDownloadBlock(std::span<const std::uint8_t> packet) {
  constexpr std::uint8_t op = MPU_OP_FIRMWARE_DOWNLOAD;
  const auto view = DecodeFirmwareDataPacket(packet);
  if (!view) return Ignore();
  const TMPUFirmwareXferInfo& info = view->Info;
  Transfer& t = download_;
  if (!t.Running || info.FirmwareId != t.FirmwareId || info.SourceId != t.SourceId) {
    TMPUFirmwareXferRequest req{info.FirmwareId, info.SourceId, MPU_FW_SUB_NEXT_BLOCK,
                                info.ChecksumType};
    return AnswerXferRequest(op, req, kErrNotInitialized);
  }
  // A repeated block carries the number of blocks sent so far; its data is
  // that of the block before.
  const bool repeat = info.SubRequest == MPU_FW_SUB_REPEAT_BLOCK;
  const std::uint32_t block = repeat && info.BlockId > 0 ? info.BlockId - 1 : info.BlockId;
  if (const std::uint8_t err = InjectedError(op, MPU_FW_SUB_NEXT_BLOCK))
    return AnswerXfer(op, err, t, MPU_FW_SUB_NEXT_BLOCK, block);
  if (std::exchange(repeatNextBlock_, false) || info.BlockSize != t.BlockSize)
    return AnswerXfer(op, 0, t, MPU_FW_SUB_REPEAT_BLOCK, block);  // damaged: send it again
  if (block >= t.BlockCount)
    return AnswerXfer(op, kErrImageTooLarge, t, MPU_FW_SUB_NEXT_BLOCK, block);
  const std::size_t end = (std::size_t{block} + 1) * t.BlockSize;
  if (t.Data.size() < end) t.Data.resize(end, 0xFF);
  if (t.Received.size() <= block) t.Received.resize(std::size_t{block} + 1, false);
  std::copy(view->Data.begin(), view->Data.end(),
            t.Data.begin() + static_cast<long>(end - t.BlockSize));
  t.Received[block] = true;
  t.Major = info.VersionInfo.VersionMajor;
  t.Minor = info.VersionInfo.VersionMinor;
  t.Build = info.VersionInfo.VersionBuild;
  AnswerXfer(op, 0, t, MPU_FW_SUB_NEXT_BLOCK, block);
}

// ---------------------------------------------------------------------------
// Programming the staged image: start, erase, one progress answer per
// block, finish.

void UnitLogic::AnswerProg(std::uint8_t error, std::uint8_t subRequest, std::uint32_t blockId) {
  Answer(MPU_OP_FIRMWARE_PROGRAM,
         TMPUFirmwareProgInfo{error, programming_.FirmwareId, programming_.SourceId, subRequest,
                              programming_.BlockCount, blockId});
}

void UnitLogic::HandleProgram(const TMPUFirmwareProgRequest& req, Clock::time_point now) {
  constexpr std::uint8_t op = MPU_OP_FIRMWARE_PROGRAM;
  if (req.SubRequest != MPU_FW_SUB_START) return Ignore();
  std::uint8_t err = InjectedError(op, MPU_FW_SUB_START);
  const bool console = req.FirmwareId == static_cast<std::uint8_t>(FirmwareId::Console);
  if (err == 0) {
    if (!FindImage(req.FirmwareId))
      err = kErrUnsupportedFirmware;
    else if (req.SourceId != MPU_FW_SOURCE_STAGING)
      err = kErrUnsupportedLocation;
    else if (sessionActive_)
      err = kErrSessionActive;
    else if (FirmwareBusy())
      err = kErrBusy;
    else if (!staging_.Valid || staging_.FirmwareId != req.FirmwareId)
      err = kErrSourceNotValid;
    else if (console
                 ? req.DeviceId >= std::min<std::size_t>(mix_.Consoles.ConsoleCount, kMaxConsoles)
                 : req.DeviceId != 0)
      err = kErrTargetNotValid;
  }
  if (err != 0)
    return Answer(op,
                  TMPUFirmwareProgInfo{err, req.FirmwareId, req.SourceId, MPU_FW_SUB_START, 0, 0});
  const std::uint16_t bs = BlockSize();
  programming_ = {true,
                  req.FirmwareId,
                  req.SourceId,
                  req.DeviceId,
                  static_cast<std::uint32_t>(staging_.Data.size() / bs),
                  0,
                  false,
                  now};
  AnswerProg(0, MPU_FW_SUB_START, 0);
  // The erase starts at once.
  if (const std::uint8_t eraseErr = InjectedError(op, MPU_FW_SUB_ERASE)) {
    programming_.Running = false;
    return AnswerProg(eraseErr, MPU_FW_SUB_ERASE, 0);
  }
  AnswerProg(0, MPU_FW_SUB_ERASE, 0);
  programming_.Due = now + config_.ProgramEraseTime;
}

void UnitLogic::StepProgramming(Clock::time_point now) {
  constexpr std::uint8_t op = MPU_OP_FIRMWARE_PROGRAM;
  Programming& p = programming_;
  while (p.Running && now >= p.Due) {
    if (p.NextBlock < p.BlockCount) {
      if (const std::uint8_t err = InjectedError(op, MPU_FW_SUB_PROGRESS)) {
        p.Running = false;
        return AnswerProg(err, MPU_FW_SUB_PROGRESS, p.NextBlock);
      }
      AnswerProg(0, MPU_FW_SUB_PROGRESS, p.NextBlock++);
      p.Due += config_.ProgramBlockTime;
      continue;
    }
    p.Running = false;
    const std::uint8_t err = InjectedError(op, MPU_FW_SUB_FINISH);
    if (err == 0) {
      // The staged image is the new flash image.
      if (FirmwareImage* img = FindImage(p.FirmwareId)) {
        img->Bytes = staging_.Data;
        img->Major = staging_.Major;
        img->Minor = staging_.Minor;
        img->Build = staging_.Build;
        if (p.FirmwareId == static_cast<std::uint8_t>(FirmwareId::Console) &&
            p.DeviceId < kMaxConsoles)
          consoleVersions_[p.DeviceId] = {staging_.Major, staging_.Minor, staging_.Build};
      }
    }
    AnswerProg(err, MPU_FW_SUB_FINISH, p.BlockCount);
  }
}

}  // namespace mpu::sim
