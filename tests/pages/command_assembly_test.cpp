// The Command Assembly page: the frames its two grids and the clock field
// build (byte for byte on the scripted unit, and read back from the
// simulated one), what bad input turns into, the typing rules of the
// grids, the audio-board answers with their log line, and which controls
// work only while the connection is open.
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "fixtures/event_loop.h"
#include "pages/command_assembly_page.h"
#include "pages/form_fixture.h"
#include "simulator/simulated_mpu.h"
#include "usb/simulated_driver.h"

namespace mpu::pages {
namespace {

using Page = TCommandAssemblyPage;

TEST(GridInteger, DecimalAndBothHexPrefixes) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"34", 34},
      {"$22", 0x22},
      {"0x22", 0x22},
      {"0XfF", 0xFF},
      {"$ab", 0xAB},
      {" 7 ", 7},
      {"-5", -5},
      {"-$10", -16},
      {"0010", 10},
      {"2147483647", 2147483647},
      {"$FFFFFFFF", -1},
      {"$80000000", std::numeric_limits<std::int32_t>::min()},
      {"", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"x22", std::nullopt},
      {"12G", std::nullopt},
      {"AB", std::nullopt},
      {"1 2", std::nullopt},
      {"$-5", std::nullopt},
      {"2147483648", std::nullopt},
      {"$100000000", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseGridInteger(c.text), c.value) << '"' << c.text << '"';
}

using Cells = std::vector<std::pair<int, QString>>;

class CommandAssembly : public FormOnFakeUnit {
 protected:
  void SetUp() override {
    FormOnFakeUnit::SetUp();
    page = form->CommandAssemblyPage();
    QObject::connect(form.get(), &TMainForm::LogLine, [this](const QString& line) { logLines << line; });
  }

  static QString Cell(QTableWidget* grid, int row) { return grid->item(row, 1)->text(); }
  static void Fill(QTableWidget* grid, const Cells& cells) {
    for (const auto& [row, text] : cells) grid->item(row, 1)->setText(text);
  }
  static test::Packet Wire(const TMPUCommandMsg& msg) {
    return test::Packet(msg.Bytes().begin(), msg.Bytes().begin() + 128);
  }
  static TMPUCommandMsg ABFrame(std::uint8_t opcode, std::uint16_t address, std::vector<std::uint16_t> values) {
    TMPUCommandMsg msg;
    msg.SetOpcode(opcode);
    msg.SetRevision(1);
    msg.SetPayloadLen(67);
    TMPUABDirectMessage ab;
    ab.Address = address;
    ab.Count = static_cast<std::uint8_t>(values.size());
    std::copy(values.begin(), values.end(), ab.Values.begin());
    msg.SetABDirectMsg(ab);
    return msg;
  }
  void ReportAB(std::uint16_t address, std::uint8_t count, const std::vector<std::uint16_t>& values) {
    TMPUABDirectMessage ab;
    ab.Address = address;
    ab.Count = count;
    std::copy(values.begin(), values.end(), ab.Values.begin());
    Report(TMPUResponseMsg::Make(MPU_OP_AB_DIRECT_READ, ab));
  }

  Page* page = nullptr;
  QStringList logLines;
};

TEST_F(CommandAssembly, GridsHaveTheirRowsAndStartValues) {
  QStringList usbFields = {"Opcode", "Revision", "Payload Length"};
  QStringList abFields = {"Address", "Data length"};
  for (int i = 1; i <= 16; ++i) usbFields << QString("Data #%1").arg(i);
  for (int i = 1; i <= 32; ++i) abFields << QString("Data #%1").arg(i);
  for (auto [grid, fields] : {std::pair{page->editUSBCommand, usbFields}, std::pair{page->editABCommand, abFields}}) {
    SCOPED_TRACE(grid->objectName().toStdString());
    ASSERT_EQ(grid->rowCount(), fields.size());
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Field");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Value");
    for (int row = 0; row < grid->rowCount(); ++row) {
      EXPECT_EQ(grid->item(row, 0)->text(), fields[row]);
      EXPECT_FALSE(grid->item(row, 0)->flags() & Qt::ItemIsEditable) << row;
      const bool revision = grid == page->editUSBCommand && row == Page::kUSBRevisionRow;
      EXPECT_EQ(Cell(grid, row), revision ? "1" : "0") << row;
    }
  }
  EXPECT_EQ(page->editABClockSpeed->minimum(), 1000);
  EXPECT_EQ(page->editABClockSpeed->maximum(), 6000);
  EXPECT_EQ(page->editABClockSpeed->singleStep(), 100);
  EXPECT_EQ(page->editABClockSpeed->value(), 5000);
}

TEST_F(CommandAssembly, ExecuteSendsTheTypedFrame) {
  constexpr int D = Page::kUSBFirstDataRow;
  struct Case {
    const char* name;
    Cells cells;
    bool sends;
    std::uint8_t opcode, revision;
    std::uint16_t length;
    std::vector<std::uint8_t> payload;
  };
  std::vector<std::uint8_t> counting(20, 0);
  Cells allRows = {{Page::kUSBOpcodeRow, "$10"}, {Page::kUSBPayloadLengthRow, "20"}};
  for (int i = 0; i < 16; ++i) {
    counting[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    allRows.emplace_back(D + i, QString::number(i + 1));
  }
  const Case cases[] = {
      {"hex opcode and data, bytes behind the length stay zero",
       {{Page::kUSBOpcodeRow, "0x22"}, {Page::kUSBPayloadLengthRow, "4"}, {D, "$25"}, {D + 4, "$77"}},
       true, 0x22, 1, 4, {0x25, 0, 0, 0}},
      {"decimal values give their low bytes",
       {{Page::kUSBOpcodeRow, "300"}, {Page::kUSBRevisionRow, "$1FF"}, {Page::kUSBPayloadLengthRow, "2"},
        {D, "258"}, {D + 1, "0xab"}},
       true, 0x2C, 0xFF, 2, {0x02, 0xAB}},
      {"bad values count as their defaults",
       {{Page::kUSBOpcodeRow, "$C8"}, {Page::kUSBRevisionRow, "zz"}, {Page::kUSBPayloadLengthRow, "$"}, {D, "9"}},
       true, 0xC8, 1, 0, {}},
      {"a bad data row is zero",
       {{Page::kUSBOpcodeRow, "5"}, {Page::kUSBPayloadLengthRow, "2"}, {D, "0x"}, {D + 1, "7"}},
       true, 5, 1, 2, {0, 7}},
      {"a length past the data rows sends zeros there", allRows, true, 0x10, 1, 20, counting},
      {"opcode 0 sends nothing", {{Page::kUSBPayloadLengthRow, "1"}, {D, "1"}}, false, 0, 0, 0, {}},
      {"an opcode that is no number sends nothing", {{Page::kUSBOpcodeRow, "$G1"}}, false, 0, 0, 0, {}},
      {"an opcode with a zero low byte sends nothing", {{Page::kUSBOpcodeRow, "256"}}, false, 0, 0, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    page->btnUSBMsgClear->click();
    Fill(page->editUSBCommand, c.cells);
    page->btnUSBMsgExecute->click();
    const auto frames = NewFrames();
    if (!c.sends) {
      EXPECT_TRUE(frames.empty());
      continue;
    }
    TMPUCommandMsg expected;
    expected.SetOpcode(c.opcode);
    expected.SetRevision(c.revision);
    expected.SetPayloadLen(c.length);
    std::copy(c.payload.begin(), c.payload.end(), expected.Payload().begin());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Wire(expected));
  }
}

TEST_F(CommandAssembly, ClearResetsTheGrids) {
  for (int row = 0; row < page->editUSBCommand->rowCount(); ++row)
    page->editUSBCommand->item(row, 1)->setText("$5");
  for (int row = 0; row < page->editABCommand->rowCount(); ++row) page->editABCommand->item(row, 1)->setText("$5");
  page->btnUSBMsgClear->click();
  page->btnABMsgClear->click();
  for (int row = 0; row < page->editUSBCommand->rowCount(); ++row)
    EXPECT_EQ(Cell(page->editUSBCommand, row), row == Page::kUSBRevisionRow ? "1" : "0") << row;
  for (int row = 0; row < page->editABCommand->rowCount(); ++row) EXPECT_EQ(Cell(page->editABCommand, row), "0");
  EXPECT_TRUE(NewFrames().empty());
}

TEST_F(CommandAssembly, ReadAsksForTheRegistersAndClearsTheValues) {
  constexpr int D = Page::kABFirstDataRow;
  struct Case {
    const char* name;
    Cells cells;
    bool multiHam;
    bool sends;
    std::uint16_t address;
    int count;
    const char* lengthShown;
  };
  const Case cases[] = {
      {"plain", {{Page::kABAddressRow, "$123"}, {Page::kABDataLengthRow, "2"}}, false, true, 0x0123, 2, "2"},
      {"multi-HAM", {{Page::kABAddressRow, "0x123"}, {Page::kABDataLengthRow, "2"}}, true, true, 0x4123, 2, "2"},
      {"a write bit typed is dropped", {{Page::kABAddressRow, "$8123"}, {Page::kABDataLengthRow, "1"}}, false, true,
       0x0123, 1, "1"},
      {"at most 32 registers", {{Page::kABAddressRow, "16"}, {Page::kABDataLengthRow, "40"}}, false, true, 16, 32,
       "32"},
      {"a bad address is 0", {{Page::kABAddressRow, "1F"}, {Page::kABDataLengthRow, "3"}}, false, true, 0, 3, "3"},
      {"length 0", {{Page::kABAddressRow, "$123"}}, false, false, 0, 0, "0"},
      {"negative length", {{Page::kABDataLengthRow, "-3"}}, false, false, 0, 0, "-3"},
      {"length no number", {{Page::kABDataLengthRow, "$x"}}, false, false, 0, 0, "$x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    page->btnABMsgClear->click();
    Fill(page->editABCommand, c.cells);
    Fill(page->editABCommand, {{D, "7"}, {D + 31, "$9"}});
    page->chkABMultiHAMEnable->setChecked(c.multiHam);
    page->btnABMsgRead->click();
    const auto frames = NewFrames();
    EXPECT_EQ(Cell(page->editABCommand, Page::kABDataLengthRow), c.lengthShown);
    if (!c.sends) {
      EXPECT_TRUE(frames.empty());
      EXPECT_EQ(Cell(page->editABCommand, D), "7");
      continue;
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Wire(ABFrame(MPU_OP_AB_DIRECT_READ, c.address,
                                      std::vector<std::uint16_t>(static_cast<std::size_t>(c.count), 0))));
    for (int i = 0; i < Page::kABDataRows; ++i) EXPECT_EQ(Cell(page->editABCommand, D + i), "0") << i;
  }
}

TEST_F(CommandAssembly, WriteSendsTheRegisterValues) {
  constexpr int D = Page::kABFirstDataRow;
  struct Case {
    const char* name;
    Cells cells;
    bool multiHam;
    bool sends;
    std::uint16_t address;
    std::vector<std::uint16_t> values;
  };
  Cells all = {{Page::kABAddressRow, "$200"}, {Page::kABDataLengthRow, "$28"}};
  std::vector<std::uint16_t> allValues;
  for (int i = 0; i < 32; ++i) {
    all.emplace_back(D + i, QString::number(1000 + i));
    allValues.push_back(static_cast<std::uint16_t>(1000 + i));
  }
  const Case cases[] = {
      {"multi-HAM sets bits 15 and 14",
       {{Page::kABAddressRow, "$123"}, {Page::kABDataLengthRow, "2"}, {D, "1"}, {D + 1, "$FF"}, {D + 2, "5"}},
       true, true, 0xC123, {1, 0xFF}},
      {"plain sets bit 15", {{Page::kABAddressRow, "$123"}, {Page::kABDataLengthRow, "1"}, {D, "0xBEEF"}}, false,
       true, 0x8123, {0xBEEF}},
      {"values keep 16 bits, bad ones are 0",
       {{Page::kABDataLengthRow, "3"}, {D, "70000"}, {D + 1, "-1"}, {D + 2, "junk"}}, false, true, 0x8000,
       {0x1170, 0xFFFF, 0}},
      {"the address keeps 16 bits", {{Page::kABAddressRow, "$1FFFF"}, {Page::kABDataLengthRow, "1"}}, true, true,
       0xFFFF, {0}},
      {"at most 32 values", all, false, true, 0x8200, allValues},
      {"length 0", {{Page::kABAddressRow, "$123"}, {D, "1"}}, false, false, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    page->btnABMsgClear->click();
    Fill(page->editABCommand, c.cells);
    page->chkABMultiHAMEnable->setChecked(c.multiHam);
    page->btnABMsgWrite->click();
    const auto frames = NewFrames();
    if (!c.sends) {
      EXPECT_TRUE(frames.empty());
      continue;
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Wire(ABFrame(MPU_OP_AB_DIRECT_WRITE, c.address, c.values)));
    EXPECT_EQ(Cell(page->editABCommand, Page::kABDataLengthRow), QString::number(c.values.size()));
  }
}

TEST_F(CommandAssembly, ClockChangesWriteTheClockRegister) {
  QSpinBox* clock = page->editABClockSpeed;
  clock->setValue(5500);
  QTest::keyClick(clock, Qt::Key_PageDown);
  QTest::keyClick(clock, Qt::Key_Up);
  const auto frames = NewFrames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0], Wire(ABFrame(MPU_OP_AB_DIRECT_WRITE, 0x0FFF, {5500})));
  EXPECT_EQ(frames[1], Wire(ABFrame(MPU_OP_AB_DIRECT_WRITE, 0x0FFF, {4500})));
  EXPECT_EQ(frames[2], Wire(ABFrame(MPU_OP_AB_DIRECT_WRITE, 0x0FFF, {4600})));

  // Set by the program: nothing goes out.
  form->BeginUpdateControls();
  clock->setValue(2000);
  form->EndUpdateControls();
  EXPECT_TRUE(NewFrames().empty());
}

TEST_F(CommandAssembly, AnswersFillTheGridAndAreLoggedOnRequest) {
  constexpr int D = Page::kABFirstDataRow;
  Fill(page->editABCommand, {{D + 2, "5"}});
  ReportAB(0x0123, 2, {1, 255});
  ASSERT_TRUE(test::WaitFor([&] { return Cell(page->editABCommand, Page::kABAddressRow) == "$0123"; }));
  EXPECT_EQ(Cell(page->editABCommand, Page::kABDataLengthRow), "2");
  EXPECT_EQ(Cell(page->editABCommand, D), "$0001");
  EXPECT_EQ(Cell(page->editABCommand, D + 1), "$00FF");
  EXPECT_EQ(Cell(page->editABCommand, D + 2), "5");
  EXPECT_TRUE(logLines.filter(" count ").isEmpty());
  EXPECT_EQ(form->UpdateControlsCount(), 0u);

  page->chkABLogSourceControlMsgs->setChecked(true);
  ReportAB(0xC123, 2, {0xABCD, 0x0F});
  ASSERT_TRUE(test::WaitFor([&] { return !logLines.filter(" count ").isEmpty(); }));
  EXPECT_EQ(Cell(page->editABCommand, Page::kABAddressRow), "$C123");
  EXPECT_EQ(Cell(page->editABCommand, D), "$ABCD");
  const QString line = logLines.filter(" count ").back();
  EXPECT_TRUE(line.endsWith(" - $C123 2 count $ABCD $000F " + QString(30, '0'))) << line.toStdString();
  // The trace log's time of day, then the page's own time stamp.
  EXPECT_EQ(line.indexOf(" | "), 8) << line.toStdString();

  // A count past the record's 32 values reads no further.
  logLines.clear();
  std::vector<std::uint16_t> full(32);
  for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<std::uint16_t>(i + 1);
  ReportAB(0x0010, 200, full);
  ASSERT_TRUE(test::WaitFor([&] { return !logLines.filter(" count ").isEmpty(); }));
  EXPECT_EQ(Cell(page->editABCommand, D + 31), "$0020");
  EXPECT_EQ(Cell(page->editABCommand, Page::kABDataLengthRow), "200");
  const QString fullLine = logLines.filter(" count ").back();
  EXPECT_TRUE(fullLine.contains(" - $0010 200 count $0001 $0002 ")) << fullLine.toStdString();
  EXPECT_TRUE(fullLine.endsWith(" $001F $0020 ")) << fullLine.toStdString();
}

// Opens the editor of a value cell and types into it.
class GridTyping : public CommandAssembly {
 protected:
  void SetUp() override {
    CommandAssembly::SetUp();
    form->PageControl()->setCurrentIndex(TMainForm::pgCommandAssembly);
  }
  QLineEdit* Edit(QTableWidget* grid, int row) {
    grid->setFocus();
    grid->setCurrentCell(row, 1);  // opens the editor, as a click does
    const QModelIndex index = grid->model()->index(row, 1);
    if (!grid->indexWidget(index)) grid->editItem(grid->item(row, 1));
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(index));
    if (editor) editor->clear();
    return editor;
  }
  // Return stores the value once the event loop runs, and closes the editor.
  void Leave(QLineEdit* editor) {
    QPointer<QLineEdit> alive(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(test::WaitFor([&] { return !alive || !alive->isVisible(); }));
  }
};

TEST_F(GridTyping, OnlyIntegerCharactersAreTyped) {
  struct Case {
    const char* keys;
    const char* typed;
  };
  const Case cases[] = {
      {"g", ""}, {"f", "F"}, {"$a0", "$A0"}, {"0xff", "0xFF"}, {"0X1e", "0X1E"}, {"-1", "1"}, {" 2.5,+z", "25"},
  };
  for (QTableWidget* grid : {page->editUSBCommand, page->editABCommand}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.keys);
      QLineEdit* editor = Edit(grid, 3);
      ASSERT_NE(editor, nullptr);
      QTest::keyClicks(editor, c.keys);
      EXPECT_EQ(editor->text(), c.typed);
      QTest::keyClick(editor, Qt::Key_Backspace);  // control keys pass
      QString erased = c.typed;
      erased.chop(1);
      EXPECT_EQ(editor->text(), erased);
      Leave(editor);
    }
  }
}

TEST_F(GridTyping, ACellLeftWithNoIntegerBecomesZero) {
  QTableWidget* grid = page->editUSBCommand;
  for (auto [text, stored] : {std::pair{"$", "0"}, std::pair{"0x", "0"}, std::pair{"", "0"}, std::pair{"12Q", "0"},
                              std::pair{"$1F", "$1F"}, std::pair{"0x22", "0x22"}}) {
    SCOPED_TRACE(text);
    QLineEdit* editor = Edit(grid, Page::kUSBOpcodeRow);
    ASSERT_NE(editor, nullptr);
    editor->setText(text);  // as pasted
    Leave(editor);
    EXPECT_EQ(Cell(grid, Page::kUSBOpcodeRow), stored);
  }
}

TEST_F(GridTyping, ExecuteTakesTheValueStillBeingTyped) {
  // A button reached by its shortcut (Alt+E) takes no focus from the
  // editor, as click() does not.
  Fill(page->editUSBCommand, {{Page::kUSBPayloadLengthRow, "1"}, {Page::kUSBFirstDataRow, "$11"}});
  QLineEdit* editor = Edit(page->editUSBCommand, Page::kUSBOpcodeRow);
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "$2a");
  page->btnUSBMsgExecute->click();
  EXPECT_EQ(Cell(page->editUSBCommand, Page::kUSBOpcodeRow), "$2A");
  const auto frames = NewFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][0], 0x2A);
  EXPECT_EQ(frames[0][4], 0x11);
}

TEST_F(CommandAssembly, SendingControlsWorkOnlyWhileOpen) {
  QWidget* const sending[] = {page->btnUSBMsgExecute, page->btnABMsgRead, page->btnABMsgWrite,
                              page->editABClockSpeed};
  for (QWidget* w : sending) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
  form->DisconnectMPU();
  ASSERT_EQ(form->MPU().ConnectionStatus(), csClosed);
  for (QWidget* w : sending) EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(page->btnUSBMsgClear->isEnabled());
  EXPECT_TRUE(page->btnABMsgClear->isEnabled());

  // A read the device refuses leaves the values as they are.
  Fill(page->editABCommand, {{Page::kABDataLengthRow, "1"}, {Page::kABFirstDataRow, "$5"}});
  page->btnABMsgRead->setEnabled(true);
  page->btnABMsgRead->click();
  EXPECT_EQ(Cell(page->editABCommand, Page::kABFirstDataRow), "$5");
}

// Against the simulated unit: registers written are read back, and the
// clock field sets the board's clock.
class CommandAssemblyOnSimulatedUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorConfig config;
    config.MeteringInterval = std::chrono::milliseconds(0);
    unit = std::make_shared<sim::SimulatedMpu>(config);
    form = std::make_unique<TMainForm>(std::make_shared<usb::SimulatedDriver>(unit));
    form->ShowErrorBox = [](const QString&, const QString&) {};
    form->show();
    page = form->CommandAssemblyPage();
    ASSERT_FALSE(page->btnABMsgRead->isEnabled());
    QTest::mouseClick(form->btnConnect, Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return form->MPU().ConnectionStatus() == csOpened; }));
  }
  void TearDown() override {
    form->MPU().SetActive(false);
    form.reset();
  }
  QString Cell(int row) const { return page->editABCommand->item(row, 1)->text(); }
  void Fill(const Cells& cells) {
    for (const auto& [row, text] : cells) page->editABCommand->item(row, 1)->setText(text);
  }

  std::shared_ptr<sim::SimulatedMpu> unit;
  std::unique_ptr<TMainForm> form;
  Page* page = nullptr;
};

TEST_F(CommandAssemblyOnSimulatedUnit, WrittenRegistersReadBack) {
  constexpr int D = Page::kABFirstDataRow;
  Fill({{Page::kABAddressRow, "$20"}, {Page::kABDataLengthRow, "3"}, {D, "$1234"}, {D + 1, "4660"}, {D + 2, "$FFFF"}});
  QTest::mouseClick(page->btnABMsgWrite, Qt::LeftButton);
  QTest::mouseClick(page->btnABMsgRead, Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return Cell(Page::kABAddressRow) == "$0020"; }));
  EXPECT_EQ(Cell(Page::kABDataLengthRow), "3");
  EXPECT_EQ(Cell(D), "$1234");
  EXPECT_EQ(Cell(D + 1), "$1234");
  EXPECT_EQ(Cell(D + 2), "$FFFF");
  EXPECT_EQ(Cell(D + 3), "0");
}

TEST_F(CommandAssemblyOnSimulatedUnit, TheClockFieldSetsTheBoardClock) {
  page->editABClockSpeed->setValue(3500);
  Fill({{Page::kABAddressRow, "$FFF"}, {Page::kABDataLengthRow, "1"}});
  QTest::mouseClick(page->btnABMsgRead, Qt::LeftButton);
  ASSERT_TRUE(test::WaitFor([&] { return Cell(Page::kABAddressRow) == "$0FFF"; }));
  EXPECT_EQ(Cell(Page::kABFirstDataRow), "$0DAC");
  unit->Sync();
  EXPECT_EQ(unit->Status().AudioBoardClockSpeed, 3500);
}

}  // namespace
}  // namespace mpu::pages
