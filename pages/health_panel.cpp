#include "pages/health_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "controls/sr_colors.h"
#include "controls/sr_led.h"
#include "controls/sr_speed_button.h"
#include "pages/main_form.h"
#include "protocol/formats.h"
#include "protocol/mixer_types.h"

namespace mpu::pages {

namespace {

constexpr const char* kDash = "-";
constexpr const char* kNotPresent = "not present";

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Text(const std::string& s) { return QString::fromStdString(s); }

bool Bit(std::uint32_t word, int bit) { return ((word >> bit) & 1u) != 0; }

// What each rail button of a supply stands for: the rail id of the
// power-control message (also its bit in the switch byte), the status bit
// that tells whether the rail is good, and the caption of its row.
struct TRailInfo {
  int Rail;
  int StatusBit;
  const char* Name;     // object name suffix
  const char* Caption;  // row caption
};
constexpr std::array<TRailInfo, THealthPanel::kRailButtonCount> kRails = {{
    {static_cast<int>(PowerRail::V24In), 4, "24VIn", "+24V In"},
    {static_cast<int>(PowerRail::V12), 3, "12V", "+12V"},
    {static_cast<int>(PowerRail::VNeg12), 6, "12VNEG", "-12V"},
    {static_cast<int>(PowerRail::V3_3), 2, "3V3", "+3V3"},
}};
constexpr int kLed24VBit = 7;
constexpr int kLed48VBit = 5;

// Self-test boxes by bit of Host_TestFailures.
struct TSelfTestInfo {
  const char* Name;
  const char* Caption;
};
constexpr std::array<TSelfTestInfo, THealthPanel::kSelfTestCount> kSelfTests = {{
    {"chkStatusHostTestFrontPanel", "Front Panel Board"},
    {"chkStatusHostTestGPIO1", "GPIO Extender 1"},
    {"chkStatusHostTestGPIO2", "GPIO Extender 2"},
    {"chkStatusHostTestGPIO3", "GPIO Extender 3"},
    {"chkStatusHostTestUSBHub", "USB HUB"},
    {"chkStatusHostTestSensor", "Host Board Sensor"},
    {"chkStatusHostTestEUI48Address", "EUI48 (IPV4) MAC"},
    {"chkStatusHostTestEUI64Address", "EUI64 (IPV6) MAC"},
    {"chkStatusHostTestNVRam", "NV-RAM Storage"},
    {"chkStatusHostTestNORFlash", "NOR Flash"},
    {"chkStatusHostTestNANDFlash", "NAND Flash"},
    {"chkStatusHostTestSDCard", "SD-Card"},
    {"chkStatusHostTestDRAMAddress", "DRAM Address Test"},
    {"chkStatusHostTestDRAMWalk0", "DRAM Walking 0 Test"},
    {"chkStatusHostTestDRAMWalk1", "DRAM Walking 1 Test"},
    {"chkStatusHostTestDRAMPattern", "DRAM Pattern Test"},
}};
constexpr int kHiddenSelfTest = 9;  // NOR flash: not fitted on current boards

// Summary LED colours by status code, as 0x00BBGGRR.
constexpr std::array<std::uint32_t, 4> kEnvColors = {0x00FF00, 0x00FFFF, 0x409FFF, 0x0000FF};
constexpr std::uint32_t kEnvUnknownColor = 0xFF0000;

constexpr std::uint8_t kAudioBoardRunning = 3;

const QColor kFaultBackground{255, 204, 204};

// A check box the user cannot change: it only shows a state.
QCheckBox* IndicatorBox(const QString& caption, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setAttribute(Qt::WA_TransparentForMouseEvents);
  box->setFocusPolicy(Qt::NoFocus);
  return box;
}

QLabel* ValueLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(kDash, parent);
  label->setObjectName(name);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance("00.000 volt") + 12);
  label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  label->setMargin(1);
  label->setIndent(4);
  return label;
}

TSRLED* Led(const char* name, const QString& caption, QWidget* parent) {
  auto* led = new TSRLED(parent);
  led->setObjectName(name);
  led->SetCaption(caption);
  return led;
}

// Blanks and control characters at either end go.
QString TrimControls(const QString& s) {
  qsizetype begin = 0;
  qsizetype end = s.size();
  while (begin < end && s[begin].unicode() <= u' ') ++begin;
  while (end > begin && s[end - 1].unicode() <= u' ') --end;
  return s.mid(begin, end - begin);
}

}  // namespace

QString HealthHintText(const QStringList& items, int maxChars) {
  constexpr QChar kQuote = u' ';
  constexpr QChar kDelimiter = u'|';
  QString joined;
  if (items.size() == 1 && items.front().isEmpty()) {
    joined = QString(2, kQuote);
  } else {
    for (qsizetype i = 0; i < items.size(); ++i) {
      const QString& item = items[i];
      const bool quote =
          std::any_of(item.begin(), item.end(), [&](QChar c) { return c.unicode() <= u' ' || c == kDelimiter; });
      if (i > 0) joined += kDelimiter;
      if (quote) {
        QString inner = item;
        inner.replace(kQuote, QString(2, kQuote));
        joined += kQuote + inner + kQuote;
      } else {
        joined += item;
      }
    }
  }
  QString text = TrimControls(joined);
  if (maxChars < 0) maxChars = 0;
  if (text.size() > maxChars) {
    qsizetype cut = maxChars;
    if (cut > 0 && text[cut - 1].isHighSurrogate()) --cut;
    text.truncate(cut);
  }
  return text;
}

THealthPanel::THealthPanel(TMainForm& main, QWidget* parent) : QWidget(parent), Main(main) {
  setObjectName("pnlMPUHealth");
  pcMPUHealth = new QTabWidget(this);
  pcMPUHealth->setObjectName("pcMPUHealth");
  pcMPUHealth->addTab(BuildPowerModules(), "POWER MODULES");
  pcMPUHealth->addTab(BuildHostBoard(), "HOST BOARD");
  pcMPUHealth->addTab(BuildAudioBoard(), "AUDIO BOARD");
  pcMPUHealth->addTab(BuildSelfTest(), " SELF TEST");

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel("Temperature:", this));
  ledSystemTempStatus = Led("ledSystemTempStatus", kDash, this);
  ledSystemTempStatus->setMinimumWidth(ledSystemTempStatus->fontMetrics().horizontalAdvance("CRITICAL") + 32);
  bottom->addWidget(ledSystemTempStatus);
  bottom->addSpacing(12);
  bottom->addWidget(new QLabel("Humidity:", this));
  ledSystemHumStatus = Led("ledSystemHumStatus", kDash, this);
  ledSystemHumStatus->setMinimumWidth(ledSystemTempStatus->minimumWidth());
  bottom->addWidget(ledSystemHumStatus);
  bottom->addStretch(1);
  btnHealthStatusRefresh = new QPushButton("Refresh", this);
  btnHealthStatusRefresh->setObjectName("btnHealthStatusRefresh");
  btnHealthStatusRefresh->setToolTip("Request a health report");
  btnHealthStatusRefresh->setMinimumWidth(96);
  btnHealthStatusRefresh->setEnabled(false);
  connect(btnHealthStatusRefresh, &QPushButton::clicked, this, [this] {
    if (Main.MPU().ConnectionStatus() == csOpened) Main.MPU().RequestHealthStatus();
  });
  bottom->addWidget(btnHealthStatusRefresh);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pcMPUHealth);
  layout->addLayout(bottom);

  Show(TMPUHealthInfo{}, false);
}

QWidget* THealthPanel::BuildPowerModules() {
  auto* sheet = new QWidget;
  sheet->setObjectName("tabHealthPower");
  auto* row = new QHBoxLayout(sheet);

  static constexpr std::array<const char*, kSupplyCount> kCaptions = {"- PSU Int -", "- PSU Ext 1 -", "- PSU Ext 2 -"};
  const std::array<std::array<TSRSpeedButton**, kRailButtonCount>, kSupplyCount> rails = {{
      {&btnStatusPSU1_24VIn, &btnStatusPSU1_12V, &btnStatusPSU1_12VNEG, &btnStatusPSU1_3V3},
      {&btnStatusPSU2_24VIn, &btnStatusPSU2_12V, &btnStatusPSU2_12VNEG, &btnStatusPSU2_3V3},
      {&btnStatusPSU3_24VIn, &btnStatusPSU3_12V, &btnStatusPSU3_12VNEG, &btnStatusPSU3_3V3},
  }};
  const std::array<QCheckBox**, kSupplyCount> present = {&chkStatusPSU1Present, &chkStatusPSU2Present,
                                                         &chkStatusPSU3Present};
  const std::array<std::array<TSRLED**, 2>, kSupplyCount> leds = {{
      {&ledStatusPSU1_24V, &ledStatusPSU1_48V},
      {&ledStatusPSU2_24V, &ledStatusPSU2_48V},
      {&ledStatusPSU3_24V, &ledStatusPSU3_48V},
  }};

  std::array<QGroupBox*, kSupplyCount> groups{};
  for (int n = 0; n < kSupplyCount; ++n) {
    const auto i = static_cast<std::size_t>(n);
    const QByteArray prefix = QByteArray("StatusPSU") + QByteArray::number(n + 1);
    auto* group = new QGroupBox(kCaptions[i], sheet);
    group->setObjectName(QByteArray("grp") + prefix);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(10);
    TSupplyControls& c = FSupplies[i];

    c.Present = *present[i] = IndicatorBox("Present", (QByteArray("chk") + prefix + "Present").constData(), group);
    grid->addWidget(c.Present, 0, 0, 1, 2);

    for (int r = 0; r < kRailButtonCount; ++r) {
      const TRailInfo& rail = kRails[static_cast<std::size_t>(r)];
      grid->addWidget(new QLabel(rail.Caption, group), r + 1, 0);
      auto* button = new TSRSpeedButton("on", group);
      button->setObjectName(QByteArray("btn") + prefix + "_" + rail.Name);
      button->setToolTip(QString("Switch the %1 rail on or off").arg(rail.Caption));
      button->SetTag(n);
      button->SetColorOn(kRailGood);
      button->setMinimumWidth(64);
      connect(button, &TSRSpeedButton::OnClick, this,
              [this, rail = rail.Rail](TSRSpeedButton* sender) { RailClicked(sender, rail); });
      grid->addWidget(button, r + 1, 1);
      c.Rails[static_cast<std::size_t>(r)] = *rails[i][static_cast<std::size_t>(r)] = button;
    }

    auto* ledRow = new QHBoxLayout;
    c.Led24V = *leds[i][0] = Led((QByteArray("led") + prefix + "_24V").constData(), "+24V", group);
    c.Led48V = *leds[i][1] = Led((QByteArray("led") + prefix + "_48V").constData(), "+48V", group);
    ledRow->addWidget(c.Led24V);
    ledRow->addSpacing(8);
    ledRow->addWidget(c.Led48V);
    ledRow->addStretch(1);
    grid->addLayout(ledRow, kRailButtonCount + 1, 0, 1, 2);

    if (n == 0) {
      grid->addWidget(new QLabel("Temperature:", group), kRailButtonCount + 2, 0);
      lblStatusPSU1_Temperature = new QLabel(kDash, group);
      lblStatusPSU1_Temperature->setObjectName("lblStatusPSU1_Temperature");
      grid->addWidget(lblStatusPSU1_Temperature, kRailButtonCount + 2, 1);
      grid->addWidget(new QLabel("Humidity:", group), kRailButtonCount + 3, 0);
      lblStatusPSU1_Humidity = new QLabel(kDash, group);
      lblStatusPSU1_Humidity->setObjectName("lblStatusPSU1_Humidity");
      grid->addWidget(lblStatusPSU1_Humidity, kRailButtonCount + 3, 1);
    }
    grid->setRowStretch(kRailButtonCount + 4, 1);
    row->addWidget(group, 1);
    groups[i] = group;
  }
  // The three supplies side by side in columns of one width.
  int width = 0;
  for (QGroupBox* group : groups) width = std::max(width, group->sizeHint().width());
  for (QGroupBox* group : groups) group->setMinimumWidth(width);
  return sheet;
}

QWidget* THealthPanel::BuildHostBoard() {
  auto* sheet = new QWidget;
  sheet->setObjectName("tabHealthHost");
  auto* row = new QHBoxLayout(sheet);

  auto addRows = [](QGroupBox* group, std::initializer_list<std::pair<const char*, QLabel*>> rows) {
    auto* grid = new QGridLayout(group);
    int r = 0;
    for (const auto& [caption, label] : rows) {
      grid->addWidget(new QLabel(caption, group), r, 0);
      grid->addWidget(label, r, 1);
      ++r;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(r, 1);
  };

  auto* host = new QGroupBox(" Host Board ", sheet);
  host->setObjectName("grpStatusHost");
  lblStatusHost12VIn = ValueLabel("lblStatusHost12VIn", host);
  lblStatusHost5VSupply = ValueLabel("lblStatusHost5VSupply", host);
  lblStatusHost3V3Supply = ValueLabel("lblStatusHost3V3Supply", host);
  lblStatusHostTemperature = ValueLabel("lblStatusHostTemperature", host);
  lblStatusHostGPIOSupply = ValueLabel("lblStatusHostGPIOSupply", host);
  lblStatusConsole1Supply = ValueLabel("lblStatusConsole1Supply", host);
  lblStatusConsole2Supply = ValueLabel("lblStatusConsole2Supply", host);
  addRows(host, {{"+12V In:", lblStatusHost12VIn},
                 {"+5V Supply:", lblStatusHost5VSupply},
                 {"+3V3 Supply:", lblStatusHost3V3Supply},
                 {"Temperature:", lblStatusHostTemperature},
                 {"GPIO Supply:", lblStatusHostGPIOSupply},
                 {"Console 1 Supply:", lblStatusConsole1Supply},
                 {"Console 2 Supply:", lblStatusConsole2Supply}});
  row->addWidget(host, 1);

  auto* xmos = new QGroupBox(" USB Audio Module ", sheet);
  xmos->setObjectName("grpStatusXMOS");
  lblStatusXMOS1V8Supply = ValueLabel("lblStatusXMOS1V8Supply", xmos);
  lblStatusXMOS1VSupply = ValueLabel("lblStatusXMOS1VSupply", xmos);
  lblStatusXMOSStatus = ValueLabel("lblStatusXMOSStatus", xmos);
  lblStatusXMOSStatus->setMinimumWidth(lblStatusXMOSStatus->fontMetrics().horizontalAdvance("fw programming finished") +
                                       12);
  addRows(xmos, {{"+1V8 Supply:", lblStatusXMOS1V8Supply},
                 {"+1V Supply:", lblStatusXMOS1VSupply},
                 {"Status:", lblStatusXMOSStatus}});
  row->addWidget(xmos, 1);
  return sheet;
}

QWidget* THealthPanel::BuildAudioBoard() {
  auto* sheet = new QWidget;
  sheet->setObjectName("tabHealthAudio");
  auto* outer = new QHBoxLayout(sheet);
  auto* group = new QGroupBox(" Audio Board ", sheet);
  group->setObjectName("grpStatusAudio");
  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel("Status:", group), 0, 0);
  lblStatusAudioStatus = ValueLabel("lblStatusAudioStatus", group);
  lblStatusAudioStatus->setMinimumWidth(lblStatusAudioStatus->fontMetrics().horizontalAdvance("programming error") +
                                        12);
  grid->addWidget(lblStatusAudioStatus, 0, 1, 1, 2);
  chkStatusAudio_12VIn = IndicatorBox("+12V Supply", "chkStatusAudio_12VIn", group);
  chkStatusAudio_12VNegIn = IndicatorBox("-12V Supply", "chkStatusAudio_12VNegIn", group);
  chkStatusAudio_6V5 = IndicatorBox("+6V5 Rail", "chkStatusAudio_6V5", group);
  chkStatusAudio_5V = IndicatorBox("+5V Rail", "chkStatusAudio_5V", group);
  chkStatusAudio_LK5 = IndicatorBox("LK5 Jumper", "chkStatusAudio_LK5", group);
  chkStatusAudio_LK6 = IndicatorBox("LK6 Jumper", "chkStatusAudio_LK6", group);
  grid->addWidget(chkStatusAudio_12VIn, 1, 1);
  grid->addWidget(chkStatusAudio_12VNegIn, 2, 1);
  grid->addWidget(chkStatusAudio_6V5, 3, 1);
  grid->addWidget(chkStatusAudio_5V, 4, 1);
  grid->addWidget(chkStatusAudio_LK5, 1, 2);
  grid->addWidget(chkStatusAudio_LK6, 2, 2);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(5, 1);
  outer->addWidget(group);
  return sheet;
}

QWidget* THealthPanel::BuildSelfTest() {
  auto* sheet = new QWidget;
  sheet->setObjectName("tabHealthSelfTest");
  const std::array<QCheckBox**, kSelfTestCount> members = {
      &chkStatusHostTestFrontPanel,   &chkStatusHostTestGPIO1,        &chkStatusHostTestGPIO2,
      &chkStatusHostTestGPIO3,        &chkStatusHostTestUSBHub,       &chkStatusHostTestSensor,
      &chkStatusHostTestEUI48Address, &chkStatusHostTestEUI64Address, &chkStatusHostTestNVRam,
      &chkStatusHostTestNORFlash,     &chkStatusHostTestNANDFlash,    &chkStatusHostTestSDCard,
      &chkStatusHostTestDRAMAddress,  &chkStatusHostTestDRAMWalk0,    &chkStatusHostTestDRAMWalk1,
      &chkStatusHostTestDRAMPattern};
  auto* outer = new QHBoxLayout(sheet);
  auto* group = new QGroupBox(" Host Self Test ", sheet);
  group->setObjectName("grpStatusHostTest");
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(24);
  int shown = 0;
  constexpr int kRows = 8;
  for (std::size_t bit = 0; bit < kSelfTests.size(); ++bit) {
    QCheckBox* box = IndicatorBox(kSelfTests[bit].Caption, kSelfTests[bit].Name, group);
    FSelfTests[bit] = *members[bit] = box;
    if (static_cast<int>(bit) == kHiddenSelfTest) {
      box->hide();
      continue;
    }
    grid->addWidget(box, shown % kRows, shown / kRows);
    ++shown;
  }
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(kRows, 1);
  outer->addWidget(group);
  return sheet;
}

void THealthPanel::UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus) {
  Main.BeginUpdateControls();
  const bool connected = connection == csOpened;
  btnHealthStatusRefresh->setEnabled(connected);
  if (!connected) Show(TMPUHealthInfo{}, false);
  Main.EndUpdateControls();
}

void THealthPanel::MPUHealthInfo(const TMPUHealthInfo& info) {
  Main.BeginUpdateControls();
  struct End {
    TMainForm& main;
    ~End() { main.EndUpdateControls(); }
  } end{Main};
  Show(info, Main.MPU().ConnectionStatus() == csOpened);
}

void THealthPanel::Show(const TMPUHealthInfo& info, bool connected) {
  for (int n = 0; n < kSupplyCount; ++n) ShowSupply(n, info.PSU_Info[static_cast<std::size_t>(n)], connected);

  // Host board and USB audio module.
  const bool xmos = connected && info.XMOS_ModId != 0;
  lblStatusHost12VIn->setText(connected ? Text(FormatMillivolts(info.Host_VDD120)) : kDash);
  lblStatusHost5VSupply->setText(connected ? Text(FormatMillivolts(info.Host_VDD50)) : kDash);
  lblStatusHost3V3Supply->setText(connected ? Text(FormatMillivolts(info.Host_VDD33)) : kDash);
  lblStatusHostTemperature->setText(connected ? Text(FormatTenthsCelsius(info.Host_Temp)) : kDash);
  lblStatusXMOS1V8Supply->setText(xmos ? Text(FormatMillivolts(info.XMOS_VDD18)) : kDash);
  lblStatusXMOS1VSupply->setText(xmos ? Text(FormatMillivolts(info.XMOS_VDD10)) : kDash);
  lblStatusXMOSStatus->setText(xmos ? Text(XmosRunStatusText(info.XMOS_RunStatus))
                                    : (connected ? kNotPresent : kDash));
  ShowSupplyState(lblStatusHostGPIOSupply, info.Host_GPIO_Ok, connected);
  ShowSupplyState(lblStatusConsole1Supply, info.FCS1_Pwr_Status, connected);
  ShowSupplyState(lblStatusConsole2Supply, info.FCS2_Pwr_Status, connected);

  // Self tests: ticked = passed.
  for (std::size_t bit = 0; bit < FSelfTests.size(); ++bit)
    FSelfTests[bit]->setChecked(connected && !Bit(info.Host_TestFailures, static_cast<int>(bit)));

  ShowEnvStatus(ledSystemTempStatus, info.TemperatureStatus, connected);
  ShowEnvStatus(ledSystemHumStatus, info.HumidityStatus, connected);

  // Audio board; its supply bits mean something only while it runs.
  const bool board = connected && info.AB_Present != 0;
  lblStatusAudioStatus->setText(board ? Text(AudioBoardRunStatusText(info.AB_RunStatus)) : kNotPresent);
  const bool running = board && info.AB_RunStatus == kAudioBoardRunning;
  const std::uint16_t psu = info.AB_PSUStatus;
  chkStatusAudio_12VIn->setChecked(running && (psu & kABPsu12VIn) != 0);
  chkStatusAudio_12VNegIn->setChecked(running && (psu & kABPsuNeg12VIn) != 0);
  chkStatusAudio_6V5->setChecked(running && (psu & kABPsu6V5) != 0);
  chkStatusAudio_5V->setChecked(running && (psu & kABPsu5V) != 0);
  chkStatusAudio_LK5->setChecked(running && !Bit(psu, 4));
  chkStatusAudio_LK6->setChecked(running && !Bit(psu, 5));
}

void THealthPanel::ShowSupply(int index, const TMPUPowerSupplyInfo& supply, bool connected) {
  TSupplyControls& c = FSupplies[static_cast<std::size_t>(index)];
  const bool present = connected && supply.Present();
  c.Present->setChecked(present);
  for (std::size_t r = 0; r < c.Rails.size(); ++r) {
    TSRSpeedButton* button = c.Rails[r];
    button->setEnabled(present);
    if (!present) continue;
    button->SetChecked(Bit(supply.RailSwitches, kRails[r].Rail));
    button->SetColorOn(Bit(supply.RailHealth, kRails[r].StatusBit) ? kRailGood : kRailFailed);
  }
  c.Led24V->SetChecked(present);
  c.Led48V->SetChecked(present);
  if (present) {
    c.Led24V->SetLedColor(Bit(supply.RailHealth, kLed24VBit) ? kRailGood : kRailFailed);
    c.Led48V->SetLedColor(Bit(supply.RailHealth, kLed48VBit) ? kRailGood : kRailFailed);
  }
  if (index != 0) return;
  // Only the internal supply carries sensors; a supply that reports none
  // leaves the last readings standing.
  if (!present) {
    lblStatusPSU1_Temperature->setText(kDash);
    lblStatusPSU1_Humidity->setText(kDash);
  } else if (supply.HasEnvironment()) {
    lblStatusPSU1_Temperature->setText(Text(FormatTenthsCelsius(supply.Temperature)));
    lblStatusPSU1_Humidity->setText(Text(FormatTenthsPercent(supply.Humidity)));
  }
}

void THealthPanel::ShowSupplyState(QLabel* label, std::uint8_t code, bool connected) {
  QPalette palette;  // no roles set: the label follows its parent
  bool fill = false;
  if (connected && code == 1) {
    palette.setColor(QPalette::WindowText, Qt::black);
  } else if (connected && code == 2) {
    // A pale red behind the red text keeps "Fault" readable.
    palette.setColor(QPalette::WindowText, Qt::red);
    palette.setColor(QPalette::Window, kFaultBackground);
    fill = true;
  }
  label->setPalette(palette);
  label->setAutoFillBackground(fill);
  label->setText(connected ? Text(SupplyStateText(code)) : kDash);
}

void THealthPanel::ShowEnvStatus(TSRLED* led, std::uint8_t code, bool connected) {
  led->SetChecked(connected);
  if (!connected) {
    led->SetCaption(kDash);
    return;
  }
  led->SetCaption(Text(EnvStatusText(code)));
  led->SetLedColor(ColorFromBgr(code < kEnvColors.size() ? kEnvColors[code] : kEnvUnknownColor));
}

void THealthPanel::RailClicked(TSRSpeedButton* button, int rail) {
  if (!Main.CanSend()) return;
  Main.SetPowerRail(button->Tag(), rail, !button->Checked());
  // The button follows the unit's next report; ask for it now, so the
  // switch shows without waiting for a Refresh.
  Main.MPU().RequestHealthStatus();
}

THealthSummary THealthPanel::Summaries() const {
  const TMPUHealthInfo& info = Main.MPU().HealthInfo();
  return Summaries(info.TemperatureStatus, info.HumidityStatus);
}

THealthSummary THealthPanel::Summaries(std::uint8_t TemperatureStatus, std::uint8_t HumidityStatus) const {
  THealthSummary s;
  const QString temperature = lblStatusPSU1_Temperature->text();
  const QString humidity = lblStatusPSU1_Humidity->text();

  QStringList environment;
  switch (TemperatureStatus) {
    case 0:
    case 1:
      s.EnvironmentStatus = 0;
      environment << " Temperature: " + temperature;
      break;
    case 2:
      s.EnvironmentStatus = 1;
      environment << " High mixer temperture: " + temperature;
      break;
    case 3:
      s.EnvironmentStatus = 3;
      environment << " Mixer overheating: " + temperature;
      break;
    default: break;
  }
  switch (HumidityStatus) {
    case 0:
    case 1: environment << " humidity: " + humidity; break;
    case 2:
      if (s.EnvironmentStatus == 0) s.EnvironmentStatus = 1;
      environment << " High mixer humidity: " + humidity;
      break;
    case 3:
      s.EnvironmentStatus = 3;
      environment << " Mixer humidiy too high! - shut down system ";
      break;
    default: break;
  }
  s.EnvironmentHint = HealthHintText(environment);

  // Supplies 1 and 2 feed the mixer; a failed +24V input hides the rails behind it.
  QStringList power;
  for (int n = 0; n < 2; ++n) {
    const TSupplyControls& c = FSupplies[static_cast<std::size_t>(n)];
    const TSRSpeedButton* main24 = c.Rails[rb24VIn];
    if (!c.Present->isChecked() || !main24->Checked()) continue;
    const QString psu = QString("PSU%1").arg(n + 1);
    auto failed = [](const TSRSpeedButton* b) { return b->Checked() && b->ColorOn() == kRailFailed; };
    if (main24->ColorOn() == kRailFailed) {
      power << " " + psu + " main +24V Error ";
      s.PowerStatus = 2;
      continue;
    }
    auto add = [&](bool error, const char* what) {
      if (!error) return;
      power << " " + psu + " " + what + " Error ";
      s.PowerStatus = 2;
    };
    add(failed(c.Rails[rb12V]), "+12V");
    add(failed(c.Rails[rb12VNeg]), "-12V");
    add(failed(c.Rails[rb3V3]), "+3v3");
    add(c.Led48V->LedColor() == kRailFailed, "+48V");
  }
  s.PowerHint = HealthHintText(power);
  return s;
}

}  // namespace mpu::pages
