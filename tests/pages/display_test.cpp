// Response display: each report reaches its page's routine only on the
// right page and selection, inside the update guard, and nothing goes back
// to the unit while it is shown.
#include <QTabWidget>

#include "pages/form_fixture.h"
#include "protocol/data_packets.h"
#include "protocol/id_tables.h"

namespace mpu::pages {
namespace {

// Records every routine call as a line, and whether the guard was raised.
struct Recorder {
  TMainForm* form = nullptr;
  std::vector<std::string> calls;
  bool unguarded = false;
  void Call(std::string line) {
    if (form && form->UpdateControlsCount() == 0) unguarded = true;
    calls.push_back(std::move(line));
  }
};

struct InputPage : TInputSourcesDisplay {
  Recorder& r;
  int mic = 2;  // MIC 3
  explicit InputPage(Recorder& rec) : r(rec) {}
  int SelectedMicItem() const override { return mic; }
  int SelectedLineItem() const override { return 0; }  // LINE 1
  void ShowInSourceFader(std::uint8_t s, std::int16_t v, std::uint8_t) override {
    r.Call("fader " + std::to_string(s) + " " + std::to_string(v));
  }
  void ShowInSourceStatus(std::uint8_t s, std::uint8_t v) override {
    r.Call("on " + std::to_string(s) + " " + std::to_string(v));
  }
  void ShowInSourceStandardParams(const TMPUInsourceStandardParamsMessage& m) override {
    r.Call("standard " + std::to_string(m.SourceID));
  }
  void ShowInSourceChannelMode(std::uint8_t s, std::uint8_t mode, bool right, bool left) override {
    r.Call("mode " + std::to_string(s) + " " + std::to_string(mode) + " " + std::to_string(right) +
           std::to_string(left));
  }
  void ShowInSourceMeters(std::span<const std::int8_t, 256> d) override { r.Call("meters " + std::to_string(d[42])); }
};

struct OutputPage : TOutputSourcesDisplay {
  Recorder& r;
  explicit OutputPage(Recorder& rec) : r(rec) {}
  int SelectedUSBOutputItem() const override { return 0; }  // USB 1 = output 16
  void ShowOutSourceGain(std::uint8_t o, std::int16_t g) override {
    r.Call("out gain " + std::to_string(o) + " " + std::to_string(g));
  }
  void ShowMonitorVolumeAdjust(std::uint8_t m, std::int16_t g) override {
    r.Call("adj " + std::to_string(m) + "=" + std::to_string(g));
  }
  void ShowMonitorSendSource(std::uint8_t m, std::uint8_t s) override {
    r.Call("src " + std::to_string(m) + "=" + std::to_string(s));
  }
  void ShowMonitorGRCUGroup(std::uint8_t m, bool g) override {
    r.Call("grp " + std::to_string(m) + "=" + std::to_string(g));
  }
  void ShowCRMonitorSelect(std::uint8_t p) override { r.Call("select " + std::to_string(p)); }
  void SetCRMonitorAPF(bool on) override { r.Call("apf " + std::to_string(on)); }
  void SetCRMonitorSplit(bool on) override { r.Call("split " + std::to_string(on)); }
  void SetCRMonitorPreview(bool on) override { r.Call("preview " + std::to_string(on)); }
  void ShowCRPresetSource(std::uint8_t p, std::uint8_t s) override {
    r.Call("preset " + std::to_string(p) + "=" + std::to_string(s));
  }
};

struct StripsPage : TChannelStripsDisplay {
  Recorder& r;
  bool lit = false;
  explicit StripsPage(Recorder& rec) : r(rec) {}
  bool StripButtonEnabled(std::uint16_t strip) const override { return strip < 32; }
  bool StripButtonChecked(std::uint16_t) const override { return lit; }
  std::uint16_t StripSource(std::uint16_t) const override { return 5; }
  void ShowStripParams(const TMPUStripParamsMessage& m) override { r.Call("strip " + std::to_string(m.StripId)); }
};

struct MiscPage : TMiscControlsDisplay {
  Recorder& r;
  explicit MiscPage(Recorder& rec) : r(rec) {}
  void SetMCSKeyButton(std::uint8_t k, bool d) override {
    r.Call("key " + std::to_string(k) + "=" + std::to_string(d));
  }
  void ShowEncoderCount(std::uint8_t e, int c) override {
    r.Call("enc " + std::to_string(e) + "=" + std::to_string(c));
  }
};

struct GpioPage : TGpioDisplay {
  Recorder& r;
  explicit GpioPage(Recorder& rec) : r(rec) {}
  void ShowSoftFunctionInStatus(std::uint8_t f, bool a) override {
    r.Call("soft in " + std::to_string(f) + "=" + std::to_string(a));
  }
};

class Display : public FormOnFakeUnit {
 protected:
  void SetUp() override {
    FormOnFakeUnit::SetUp();
    rec.form = form.get();
    form->SetDisplays({&input, &output, nullptr, &gpio, &strips, &misc, nullptr});
  }

  // Pushes the reports, then a marker the shell ignores, and waits until it
  // came through: everything before it has been shown.
  std::vector<std::string> Show(std::initializer_list<TMPUResponseMsg> reports) {
    rec.calls.clear();
    bool synced = false;
    auto previous = form->MPU().OnReceiveMixerMessage;
    form->MPU().OnReceiveMixerMessage = [&](TAldraneMPU& m, const TMPUResponseMsg& msg) {
      if (msg.Opcode() == MPU_OP_MARKER) synced = true;
      else previous(m, msg);
    };
    for (const auto& r : reports) Report(r);
    Report(TMPUResponseMsg::Make(MPU_OP_MARKER, TMPUMarkerMessage{600, 0, 0}));
    EXPECT_TRUE(test::WaitFor([&] { return synced; }));
    form->MPU().OnReceiveMixerMessage = previous;
    return rec.calls;
  }

  void Page(int index) { form->PageControl()->setCurrentIndex(index); }

  Recorder rec;
  InputPage input{rec};
  OutputPage output{rec};
  StripsPage strips{rec};
  MiscPage misc{rec};
  GpioPage gpio{rec};
};

using Calls = std::vector<std::string>;

TEST_F(Display, SourceReportsOnlyOnTheirPageAndSelection) {
  const auto fader = [](std::uint16_t s, std::int16_t v) {
    return TMPUResponseMsg::Make(MPU_OP_INSRC_FADER, TMPUInSourceGainMessage{s, v, 0});
  };
  Page(TMainForm::pgOutputSources);
  EXPECT_EQ(Show({fader(3, -10)}), Calls{});
  Page(TMainForm::pgInputSources);
  Settle();
  EXPECT_EQ(Show({fader(5, -10), fader(3, -10), fader(kSrcLine1, -20), fader(kSrcRevTB, -30)}),
            (Calls{"fader 3 -10", "fader 21 -20", "fader 17 -30"}));
  EXPECT_FALSE(rec.unguarded);
  EXPECT_TRUE(NewFrames().empty()) << "a shown report was echoed";

  TMPUInsourceStandardParamsMessage standard;
  standard.SourceID = 3;
  TMPUInSourceModeMessage mode{3, 2, 1, 0};  // phase left set
  EXPECT_EQ(Show({TMPUResponseMsg::Make(MPU_OP_INSRC_STANDARD_PARAMS, standard),
                  TMPUResponseMsg::Make(MPU_OP_INSRC_CHANNEL_MODE, mode),
                  TMPUResponseMsg::Make(MPU_OP_INSRC_ON, TMPUSourceControlMessage{3, 0x0101}),
                  TMPUResponseMsg::Make(MPU_OP_INSRC_LABEL, TMPUSourceControlMessage{3, 0})}),
            (Calls{"standard 3", "mode 3 2 01", "on 3 1"}));
}

TEST_F(Display, OutputReportsNeedTheOutputPageAndTheSelectedOutput) {
  const auto gain = [](std::uint16_t o) {
    return TMPUResponseMsg::Make(MPU_OP_OUTSRC_GAIN, TMPUSourceSystemGainMessage{o, -4, 0});
  };
  EXPECT_EQ(Show({gain(16)}), Calls{});  // System page active
  Page(TMainForm::pgOutputSources);
  Settle();
  EXPECT_EQ(Show({gain(17), gain(16), TMPUResponseMsg::Make(53, TMPUSourceControlMessage{16, 0})}),
            (Calls{"out gain 16 -4"}));
}

TEST_F(Display, MonitorParamsInOrder) {
  TMPUMonitorParamsMessage m;
  m.CRPresetId = 2;
  m.APFActive = 1;
  m.SplitActive = 2;  // only 1 means on
  m.PreviewActive = 1;
  m.GRCUGroups = 0x0001;
  for (std::size_t i = 0; i < m.SendSources.size(); ++i) m.SendSources[i] = static_cast<std::uint16_t>(100 + i);
  for (std::size_t i = 0; i < m.VolumeAdj.size(); ++i) m.VolumeAdj[i] = static_cast<std::int16_t>(-static_cast<int>(i));
  const Calls calls = Show({TMPUResponseMsg::Make(MPU_OP_MONITOR_PARAMS, m)});
  ASSERT_GE(calls.size(), 12u);
  EXPECT_EQ(Calls(calls.begin(), calls.begin() + 12),
            (Calls{"select 2", "apf 1", "split 0", "preview 1", "preset 0=100", "preset 1=101", "preset 2=102",
                   "preset 3=103", "preset 4=104", "src 2=105", "src 20=106", "src 21=107"}));
  EXPECT_EQ(calls[12], "adj 0=0");
  EXPECT_EQ(calls[16], "adj 4=-4");
  EXPECT_EQ(calls[17], "grp 4=1");  // GRCU 1 is a member
  EXPECT_EQ(calls[19], "grp 5=0");
  EXPECT_EQ(calls.back(), "grp 19=0");
  EXPECT_EQ(calls.size(), 12u + 20u + 16u);
  EXPECT_FALSE(rec.unguarded);
}

TEST_F(Display, MCSKeysLightTheirTalliesAndEncodersCount) {
  const auto key = [](std::uint8_t k, std::uint8_t v) {
    return TMPUResponseMsg::Make(MPU_OP_MCS_KEY, TMPUTallyControlMessage{k, v});
  };
  const auto step = [](std::uint8_t e, std::uint8_t v) {
    return TMPUResponseMsg::Make(MPU_OP_MCS_ENCODER, TMPUTallyControlMessage{e, v});
  };
  EXPECT_EQ(Show({key(4, 1)}), Calls{"key 4=1"});
  auto frames = NewFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(test::Packet(frames[0].begin(), frames[0].begin() + 6), (test::Packet{0x50, 1, 2, 0, 4, 1}));
  Show({key(4, 2)});  // any value but 1 is a release
  frames = NewFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][5], MPU_TALLY_OFF);

  EXPECT_EQ(Show({step(1, 1), step(1, 1), step(1, 0), step(7, 1)}), (Calls{"enc 1=1", "enc 1=2", "enc 1=1"}));
  EXPECT_EQ(form->EncoderCount(1), 1);
  EXPECT_EQ(Show({key(15, 1), key(15, 0)}), (Calls{"key 15=1", "enc 1=0", "key 15=0"}));
  EXPECT_EQ(form->EncoderCount(1), 0);

  Show({key(12, 1), key(12, 0), key(11, 1)});
  EXPECT_EQ(injectedKeys, (std::vector<std::pair<int, bool>>{{0x1B, true}, {0x1B, false}, {0x10, true}}));
  EXPECT_TRUE(NewFrames().empty()) << "SHIFT, ESC and ENTER light no tally";
}

TEST_F(Display, StripEditKeyTogglesOnlyWhenItDiffers) {
  const auto editKey = [](std::uint16_t strip, std::uint16_t down) {
    return TMPUResponseMsg::Make(MPU_OP_STRIP_EDIT_KEY, TMPUStripControlMessage{strip, down});
  };
  strips.lit = true;  // already in edit mode
  Show({editKey(3, 1)});
  EXPECT_TRUE(NewFrames().empty());
  strips.lit = false;
  Show({editKey(3, 1), editKey(40, 1)});  // strip 40's button is not enabled
  const auto frames = NewFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(test::Packet(frames[0].begin(), frames[0].begin() + 8), (test::Packet{0x51, 1, 4, 0, 3, 0, 1, 0}));
  EXPECT_EQ(form->EditModeChannelId(), 3);
  EXPECT_EQ(form->GetStripSource(3), 5);
  EXPECT_EQ(form->GetStripSource(40), 0);
}

TEST_F(Display, MixerReportsHaveNoPageConditionAndIgnoredOnesStayIgnored) {
  bool onAir = false;
  form->OnCTAOnAirStatus = [&](bool active) { onAir = active; };
  TMPUStripParamsMessage strip;
  strip.StripId = 7;
  EXPECT_EQ(Show({TMPUResponseMsg::Make(MPU_OP_STRIP_PARAMS, strip),
                  TMPUResponseMsg::Make(MPU_OP_MONITOR_VOLUME, TMPUMonitorGainMessage{0, -10}),
                  TMPUResponseMsg::Make(MPU_OP_SOFTFUNC_IN_STATUS, TMPUSoftFunctionControlMessage{11, 1})}),
            (Calls{"strip 7", "soft in 11=1"}));
  EXPECT_TRUE(onAir);
}

TEST_F(Display, OnlyTheVisiblePagesMetersFollowTheBlock) {
  // The fake unit sends no meters on its own: push two blocks.
  auto block = [&](std::int8_t mic3) {
    test::Packet p(320, 0);
    std::vector<std::uint8_t> data(208, 0);
    data[42] = static_cast<std::uint8_t>(mic3);
    EncodeMeteringPacket(p, data);
    Unit().Push(0x82, p);
  };
  rec.calls.clear();
  block(-8);  // System page: nobody shows it
  test::Pump(100);
  EXPECT_TRUE(rec.calls.empty());
  Page(TMainForm::pgInputSources);
  block(-6);
  ASSERT_TRUE(test::WaitFor([&] { return !rec.calls.empty(); }));
  EXPECT_EQ(rec.calls.back(), "meters -6");
}

}  // namespace
}  // namespace mpu::pages
