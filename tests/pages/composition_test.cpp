// Command composition: each guarded operation and builder, the bytes it
// queues, and the guard that stops it.
#include <functional>

#include "pages/form_fixture.h"
#include "protocol/id_tables.h"

namespace mpu::pages {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Op {
  const char* What;
  std::function<void(TMainForm&)> Call;
  Bytes Head;  // the frame's first bytes; every later byte of the packet is zero
};

class Composition : public FormOnFakeUnit {
 protected:
  void ExpectFrame(const Op& op) {
    SCOPED_TRACE(op.What);
    op.Call(*form);
    const auto frames = NewFrames();
    ASSERT_EQ(frames.size(), 1u);
    const test::Packet& p = frames[0];
    ASSERT_EQ(p.size(), 128u);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + static_cast<long>(op.Head.size())), op.Head);
    for (std::size_t i = op.Head.size(); i < p.size(); ++i) ASSERT_EQ(p[i], 0) << "byte " << i;
  }
};

TEST_F(Composition, EveryOperationQueuesItsFrame) {
  const std::vector<Op> ops = {
      {"label", [](TMainForm& f) { f.SetInSourceLabel(5, QString::fromUtf8("Mic Fiv\u00d6"), "Presenter desk"); },
       [] {
         Bytes b = {0x01, 1, 46, 0, 5, 0, 'M', 'i', 'c', ' ', 'F', 'i', 'v', '_', 0, 0};
         const char* longLabel = "Presenter desk";
         for (const char* c = longLabel; *c; ++c) b.push_back(static_cast<std::uint8_t>(*c));
         return b;
       }()},
      {"system gain", [](TMainForm& f) { f.SetInSourceSystemGain(1, 40, 42); }, {0x02, 1, 6, 0, 1, 0, 40, 0, 42, 0}},
      {"calibration ties to even", [](TMainForm& f) { f.SetInSourceCalibration(1, -0.25, 0.75); },
       {0x03, 1, 6, 0, 1, 0, 0xFE, 0xFF, 8, 0}},
      {"channel mode", [](TMainForm& f) { f.SetInSourceChannelMode(21, 2, true, false); },
       {0x04, 1, 6, 0, 21, 0, 2, 0, 1, 0}},
      {"phantom", [](TMainForm& f) { f.SetInSourcePhantom(3, true); }, {0x05, 1, 4, 0, 3, 0, 1, 0}},
      {"location", [](TMainForm& f) { f.SetInSourceLocation(3, MPU_LOCATION_ST2); }, {0x06, 1, 4, 0, 3, 0, 3, 0}},
      {"high-pass", [](TMainForm& f) { f.SetInSourceHPFilter(2, 120, true); },
       {0x07, 1, 10, 0, 2, 0, 0, 1, 0, 0, 120, 0, 10, 0}},
      {"LF band", [](TMainForm& f) { f.SetInSourceLFFilter(2, 250, true, true, 1.25, -6); },
       {0x07, 1, 10, 0, 2, 0, 1, 3, 0xFA, 0xFF, 250, 0, 12, 0}},
      {"MF band", [](TMainForm& f) { f.SetInSourceMFFilter(2, 1000, false, false, 0.5, 3); },
       {0x07, 1, 10, 0, 2, 0, 2, 0, 3, 0, 0xE8, 0x03, 5, 0}},
      {"HF band", [](TMainForm& f) { f.SetInSourceHFFilter(2, 8000, true, false, 3.0, 10); },
       {0x07, 1, 10, 0, 2, 0, 3, 1, 10, 0, 0x40, 0x1F, 30, 0}},
      {"routing trigger", [](TMainForm& f) { f.SetInSourceRoutingTrigger(4, 1, 2, 0x0003, 1, 0x0FFF); },
       {0x08, 1, 13, 0, 4, 0, 1, 2, 3, 0, 0, 0, 1, 0xFF, 0x0F, 0, 0}},
      {"fader truncated", [](TMainForm& f) { f.SetInSourceFader(3, -12.9); }, {0x09, 1, 5, 0, 3, 0, 0xF4, 0xFF, 0}},
      {"gain trim", [](TMainForm& f) { f.SetInSourceGainTrim(3, -12); }, {0x0A, 1, 5, 0, 3, 0, 0xF4, 0xFF, 0}},
      {"pan", [](TMainForm& f) { f.SetInSourcePan(3, 20); }, {0x0B, 1, 5, 0, 3, 0, 20, 0, 0}},
      {"aux send", [](TMainForm& f) { f.SetInSourceAuxSend(3, -50, 1); }, {0x0C, 1, 6, 0, 3, 0, 0xCE, 0xFF, 1, 0}},
      {"bus routing", [](TMainForm& f) { f.SetInSourceBusRouting(3, 5, true); },
       {0x0D, 1, 6, 0, 3, 0, 5, 0, 1, 0}},
      {"PFL", [](TMainForm& f) { f.SetInSourcePFL(5, true); }, {0x0D, 1, 6, 0, 5, 0, 12, 0, 1, 0}},
      {"routing mask", [](TMainForm& f) { f.SetInSourceRoutingMask(5, 0x0FFF); },
       {0x0E, 1, 6, 0, 5, 0, 0, 0, 0xFF, 0x0F}},
      {"on", [](TMainForm& f) { f.SetInSourceOn(7, true); }, {0x0F, 1, 4, 0, 7, 0, 1, 0}},
      {"control options", [](TMainForm& f) { f.SetInSourceControlOptions(7, true, true, false, true, false, true); },
       {0x10, 1, 4, 0, 7, 0, 0x2D, 0}},
      {"limiter", [](TMainForm& f) { f.SetInSourceLimiter(7, 20, true, 3); }, {0x11, 1, 6, 0, 7, 0, 20, 0, 3, 1}},
      {"compressor ratio 1:1", [](TMainForm& f) { f.SetInSourceCompressor(7, -20, true, 4, 1, 2, 5); },
       {0x12, 1, 9, 0, 7, 0, 0xEC, 0xFF, 2, 5, 0, 4, 1}},
      {"indicator", [](TMainForm& f) { f.SetInSourceIndicator(7, 1); }, {0x13, 1, 4, 0, 7, 0, 1, 0}},
      {"source mode", [](TMainForm& f) { f.SetInSourceSourceMode(47, MPU_ISRC_MODE_VESTREL); },
       {0x14, 1, 4, 0, 47, 0, 4, 0}},
      {"output gain", [](TMainForm& f) { f.SetOutSourceGain(10, -3, 2); }, {0x30, 1, 6, 0, 10, 0, 0xFD, 0xFF, 2, 0}},
      {"output calibration", [](TMainForm& f) { f.SetOutSourceCalibration(16, -1.5, 0.25); },
       {0x31, 1, 6, 0, 16, 0, 0xF1, 0xFF, 2, 0}},
      {"output send source", [](TMainForm& f) { f.SetOutSourceSendSource(4, 128, 112); },
       {0x32, 1, 6, 0, 4, 0, 128, 0, 112, 0}},
      {"format options", [](TMainForm& f) { f.SendOutSourceFormatOptionsMsg(24, 3); }, {0x33, 1, 4, 0, 24, 0, 3, 0}},
      {"talkback config", [](TMainForm& f) { f.SendTalkbackConfigMsg(18, true, 0x6FF, 12, -30, -6, -15); },
       {0x40, 1, 15, 0, 18, 0, 0xFA, 0xFF, 0xE2, 0xFF, 12, 0, 0xFF, 0x06, 0, 0, 1, 0xF1, 0xFF}},
      {"bus talkback", [](TMainForm& f) { f.SetMixBusTalkback(4, true); }, {0x41, 1, 5, 0, 2, 0, 4, 0, 1}},
      {"monitor talkback", [](TMainForm& f) { f.SetMonitorTalkback(MPU_MONITOR_HPA, true); },
       {0x41, 1, 5, 0, 3, 0, 20, 0, 1}},
      {"output talkback", [](TMainForm& f) { f.SendOTBControlMsg(OTBTarget::OutputSource, 3, false); },
       {0x41, 1, 5, 0, 1, 0, 3, 0, 0}},
      {"monitor TB config", [](TMainForm& f) { f.SetMonitorTBConfig(MPU_MONITOR_CRLS, -6, true, -30); },
       {0x42, 1, 7, 0, 1, 0, 0xFA, 0xFF, 0xE2, 0xFF, 1}},
      {"monitor volume", [](TMainForm& f) { f.SetMonitorVolume(0, -20); }, {0x43, 1, 4, 0, 0, 0, 0xEC, 0xFF}},
      {"monitor adjust", [](TMainForm& f) { f.SetMonitorVolumeAdjust(4, 3); }, {0x44, 1, 4, 0, 4, 0, 3, 0}},
      {"monitor send source", [](TMainForm& f) { f.SetMonitorSendSource(MPU_MONITOR_STLS, 130); },
       {0x45, 1, 4, 0, 2, 0, 130, 0}},
      {"GRCU group", [](TMainForm& f) { f.SetMonitorGRCUGroup(5, true); }, {0x46, 1, 4, 0, 5, 0, 1, 0}},
      {"CR select", [](TMainForm& f) { f.SendCRMonitorSelectMsg(4); }, {0x47, 1, 4, 0, 4, 0, 0, 0}},
      {"APF", [](TMainForm& f) { f.SendCRMonitorAPFMsg(true); }, {0x48, 1, 4, 0, 1, 0, 1, 0}},
      {"split", [](TMainForm& f) { f.SendCRMonitorSplitMsg(true); }, {0x49, 1, 4, 0, 0, 0, 1, 0}},
      {"preview", [](TMainForm& f) { f.SendCRMonitorPreviewMsg(true); }, {0x4A, 1, 4, 0, 0, 0, 1, 0}},
      {"preset source", [](TMainForm& f) { f.SetCRPresetSource(4, 34); }, {0x4B, 1, 4, 0, 4, 0, 34, 0}},
      {"bus limiter", [](TMainForm& f) { f.SetMixBusLimiter(0, 6, true, 7); }, {0x4C, 1, 6, 0, 0, 0, 6, 0, 7, 1}},
      {"bus config", [](TMainForm& f) { f.SetMixBusConfig(6, 1); },
       {0x4E, 1, 10, 0, 6, 0, 1, 0, 0x00, 0x01, 0, 0, 0, 0}},
      {"strip edit", [](TMainForm& f) { f.SendStripEditModeMsg(31, true); }, {0x51, 1, 4, 0, 31, 0, 1, 0}},
      {"strip source", [](TMainForm& f) { f.SendStripAssignSourceMsg(2, 21); }, {0x52, 1, 4, 0, 2, 0, 21, 0}},
      {"mixer settings", [](TMainForm& f) { f.SendMixerSettingsMsg(-3, 10, 5, 6, -3, 3, 45, 55, 65, 80, 5, 1); },
       {0x59, 3, 18, 0, 0xFA, 20, 5, 6, 0xFD, 0xFF, 3, 0, 0xC2, 0x01, 0x26, 0x02, 0x8A, 0x02, 0x20, 0x03, 5, 1}},
      {"clock source", [](TMainForm& f) { f.SendClockSourceMsg(true); }, {0x5B, 1, 18, 0, 1}},
      {"GPI", [](TMainForm& f) { f.SetGPIConfig(20, 43, true, false, 5); },
       {0x60, 1, 11, 0, 20, 0, 43, 0, 5, 0, 0, 0, 1, 0, 0}},
      {"GPO of AUX2's second circuit", [](TMainForm& f) { f.SetGPOConfig(39, 0, 300, true, true, true, 128); },
       {0x61, 1, 12, 0, 39, 0, 0, 0, 128, 0, 0x2C, 0x01, 1, 1, 1, 0}},
      {"soft function", [](TMainForm& f) { f.SendSoftFunctionMsg(MPU_SOFTFUNC_DTX_ACTIVE, true); },
       {0x64, 1, 3, 0, 9, 0, 1}},
      {"power rail", [](TMainForm& f) { f.SetPowerRail(1, 3, false); }, {0xD0, 1, 3, 0, 1, 3, 0}},
  };
  for (const Op& op : ops) ExpectFrame(op);
}

TEST_F(Composition, TheGuardSendsNothing) {
  const std::pair<const char*, std::function<void(TMainForm&)>> refused[] = {
      {"source 0", [](TMainForm& f) { f.SetInSourceFader(0, -10); }},
      {"output 255", [](TMainForm& f) { f.SetOutSourceGain(kNoOutput, 0, 0); }},
      {"bus 256 limiter", [](TMainForm& f) { f.SetMixBusLimiter(kNoMixBus, 0, true, 0); }},
      {"bus 256 talkback", [](TMainForm& f) { f.SetMixBusTalkback(kNoMixBus, true); }},
      {"monitor 22", [](TMainForm& f) { f.SetMonitorTalkback(MPU_MONITOR_COUNT, true); }},
      {"circuit 255", [](TMainForm& f) { f.SetGPIConfig(kNoCircuit, 21, false, false, 1); }},
      {"bus mode 4", [](TMainForm& f) { f.SetMixBusConfig(4, 4); }},
      {"monitor send source 0", [](TMainForm& f) { f.SetMonitorSendSource(2, 0); }},
  };
  for (const auto& [what, call] : refused) {
    call(*form);
    EXPECT_TRUE(NewFrames().empty()) << what;
  }

  form->BeginUpdateControls();
  form->SetInSourceOn(1, true);
  EXPECT_TRUE(NewFrames().empty()) << "update guard raised";
  form->EndUpdateControls();
  form->EndUpdateControls();  // never below zero
  EXPECT_EQ(form->UpdateControlsCount(), 0u);
  form->SetInSourceOn(1, true);
  EXPECT_EQ(NewFrames().size(), 1u);

  ASSERT_TRUE(form->MPU().Disconnect());
  form->SetInSourceOn(1, true);
  EXPECT_EQ(Unit().WrittenCount(0x01), sent) << "connection closed";
}

TEST_F(Composition, TwoSendsKeepTheirOrder) {
  form->SetInSourceFader(1, -5);
  form->SetInSourceOn(1, true);
  const auto frames = NewFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0][0], MPU_OP_INSRC_FADER);
  EXPECT_EQ(frames[1][0], MPU_OP_INSRC_ON);
}

TEST(Lookups, SendSourcesAndCircuits) {
  EXPECT_EQ(TMainForm::SendSourceFromIndex(0), 128);
  EXPECT_EQ(TMainForm::SendSourceFromIndex(72), 124);
  EXPECT_EQ(TMainForm::SendSourceFromIndex(-1), 130);
  EXPECT_EQ(TMainForm::GetGPIOCircuitId(kSrcTBUB, true), 43);
  EXPECT_EQ(TMainForm::GetGPIOCircuitId(kSrcMic1, false), kNoCircuit);
}

}  // namespace
}  // namespace mpu::pages
