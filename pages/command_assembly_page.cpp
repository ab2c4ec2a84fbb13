#include "pages/command_assembly_page.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

#include "pages/main_form.h"

namespace mpu::pages {

std::optional<std::int32_t> ParseGridInteger(const QString& text) {
  QStringView s = QStringView(text).trimmed();
  bool negative = false;
  if (!s.isEmpty() && (s.front() == u'-' || s.front() == u'+')) {
    negative = s.front() == u'-';
    s = s.mid(1);
  }
  int base = 10;
  if (s.startsWith(u'$')) {
    base = 16;
    s = s.mid(1);
  } else if (s.startsWith(u"0x", Qt::CaseInsensitive)) {
    base = 16;
    s = s.mid(2);
  }
  if (s.isEmpty()) return std::nullopt;
  std::int64_t value = 0;
  for (QChar c : s) {
    const char16_t u = c.toUpper().unicode();
    const int digit = u >= u'0' && u <= u'9' ? u - u'0' : base == 16 && u >= u'A' && u <= u'F' ? u - u'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  if (negative) value = -value;
  if (base == 16) {
    // Hexadecimal fills the 32 bits, as a register dump writes them.
    if (value > std::numeric_limits<std::uint32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
      return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  }
  if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

namespace {

constexpr int kFieldColumn = 0;
constexpr int kValueColumn = 1;

// The value editor of both grids: control keys pass, "$", "X", "x", digits
// and "A".."F" are typed, "a".."f" are typed in upper case, every other
// character is swallowed.
class TGridValueEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString text = event->text();
    if (text.size() != 1 || text[0].unicode() < 0x20 || text[0].unicode() == 0x7F) {
      QLineEdit::keyPressEvent(event);
      return;
    }
    const QChar c = text[0];
    if (c.isDigit() && c.unicode() < 0x80) {
      QLineEdit::keyPressEvent(event);
    } else if (c == u'$' || c == u'X' || c == u'x' || (c >= u'A' && c <= u'F')) {
      QLineEdit::keyPressEvent(event);
    } else if (c >= u'a' && c <= u'f') {
      insert(QString(c.toUpper()));
      event->accept();
    } else {
      event->accept();  // rejected, and not passed on to the grid
    }
  }
};

// Edits the value column only; a value that is no integer is stored as "0"
// when its cell is left.
class TGridValueDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    if (index.column() != kValueColumn) return nullptr;
    auto* edit = new TGridValueEdit(parent);
    edit->setFrame(false);
    return edit;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    static_cast<QLineEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    const QString text = static_cast<QLineEdit*>(editor)->text();
    model->setData(index, ParseGridInteger(text) ? text : QStringLiteral("0"), Qt::EditRole);
  }

  // Stores and closes an editor that is still open, so that a button
  // reached by its shortcut reads what was typed.
  void FinishEditing(QTableWidget* grid) {
    QWidget* editor = grid->indexWidget(grid->currentIndex());
    if (!editor) return;
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
};

QTableWidget* MakeGrid(QWidget* parent, const char* name, const QStringList& fields, const QStringList& values) {
  auto* grid = new QTableWidget(static_cast<int>(fields.size()), 2, parent);
  grid->setObjectName(name);
  grid->setHorizontalHeaderLabels({"Field", "Value"});
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->horizontalHeader()->setSectionsClickable(false);
  const QFontMetrics metrics = grid->fontMetrics();
  const int fieldWidth = metrics.horizontalAdvance("Payload Length") + 24;
  const int valueWidth = metrics.horizontalAdvance("0xFFFFFFFF") + 32;
  grid->setColumnWidth(kFieldColumn, fieldWidth);
  grid->setColumnWidth(kValueColumn, valueWidth);
  // Wide enough for both columns and a vertical scroll bar; never a
  // horizontal one.
  grid->setFixedWidth(fieldWidth + valueWidth + 2 * grid->frameWidth() +
                      grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid));
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked |
                        QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                        QAbstractItemView::AnyKeyPressed);
  grid->setItemDelegate(new TGridValueDelegate(grid));
  const QBrush fieldBrush = grid->palette().brush(QPalette::Button);
  for (int row = 0; row < fields.size(); ++row) {
    auto* field = new QTableWidgetItem(fields[row]);
    field->setFlags(Qt::ItemIsEnabled);
    field->setBackground(fieldBrush);
    grid->setItem(row, kFieldColumn, field);
    grid->setItem(row, kValueColumn, new QTableWidgetItem(values[row]));
  }
  return grid;
}

// The height that shows every row of the grid.
int FullHeight(const QTableWidget* grid) {
  return grid->horizontalHeader()->sizeHint().height() + grid->rowCount() * grid->verticalHeader()->defaultSectionSize() +
         2 * grid->frameWidth();
}

QStringList DataFields(int count) {
  QStringList fields;
  for (int i = 1; i <= count; ++i) fields << QStringLiteral("Data #%1").arg(i);
  return fields;
}

void FinishEditing(QTableWidget* grid) { static_cast<TGridValueDelegate*>(grid->itemDelegate())->FinishEditing(grid); }

std::int32_t CellValue(const QTableWidget* grid, int row, std::int32_t fallback) {
  return ParseGridInteger(grid->item(row, kValueColumn)->text()).value_or(fallback);
}

void SetCell(QTableWidget* grid, int row, const QString& text) { grid->item(row, kValueColumn)->setText(text); }

QString Hex4(std::uint16_t value) { return QStringLiteral("$%1").arg(value, 4, 16, QChar('0')).toUpper(); }

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setMinimumWidth(96);
  return b;
}

}  // namespace

TCommandAssemblyPage::TCommandAssemblyPage(TMainForm& main, QWidget* parent)
    : TMainPage(main, "tabRawCommands", parent) {
  // USB COMMANDS
  auto* usbGroup = new QGroupBox("USB COMMANDS", this);
  usbGroup->setObjectName("grpUSBCommands");
  QStringList usbFields = {"Opcode", "Revision", "Payload Length"};
  usbFields << DataFields(kUSBDataRows);
  QStringList usbValues(usbFields.size(), "0");
  usbValues[kUSBRevisionRow] = "1";
  editUSBCommand = MakeGrid(usbGroup, "editUSBCommand", usbFields, usbValues);
  btnUSBMsgClear = MakeButton(usbGroup, "btnUSBMsgClear", "Clear");
  btnUSBMsgExecute = MakeButton(usbGroup, "btnUSBMsgExecute", "&Execute");
  editUSBCommand->setFixedHeight(FullHeight(editUSBCommand));
  auto* usbButtons = new QVBoxLayout;
  usbButtons->addWidget(btnUSBMsgClear);
  usbButtons->addWidget(btnUSBMsgExecute);
  usbButtons->addStretch(1);
  auto* usbLayout = new QHBoxLayout(usbGroup);
  usbLayout->addWidget(editUSBCommand);
  usbLayout->addLayout(usbButtons);

  // AUDIO BOARD COMMANDS
  auto* abGroup = new QGroupBox("AUDIO BOARD COMMANDS", this);
  abGroup->setObjectName("grpABCommands");
  QStringList abFields = {"Address", "Data length"};
  abFields << DataFields(kABDataRows);
  editABCommand = MakeGrid(abGroup, "editABCommand", abFields, QStringList(abFields.size(), "0"));
  // As tall as its rows where the page has room for them, else scrolled.
  editABCommand->setMaximumHeight(FullHeight(editABCommand));
  editABCommand->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  btnABMsgClear = MakeButton(abGroup, "btnABMsgClear", "Clear");
  btnABMsgWrite = MakeButton(abGroup, "btnABMsgWrite", "&Write");
  btnABMsgRead = MakeButton(abGroup, "btnABMsgRead", "&Read");
  chkABMultiHAMEnable = new QCheckBox("Multi-HAM r/w", abGroup);
  chkABMultiHAMEnable->setObjectName("chkABMultiHAMEnable");
  auto* clockLabel = new QLabel("SPI Clock (kHz)", abGroup);
  editABClockSpeed = new QSpinBox(abGroup);
  editABClockSpeed->setObjectName("editABClockSpeed");
  // The page step of a spin box is ten single steps: 1000 kHz.
  editABClockSpeed->setRange(1000, 6000);
  editABClockSpeed->setSingleStep(100);
  editABClockSpeed->setValue(5000);
  // A typed clock is sent once it is complete, not digit by digit.
  editABClockSpeed->setKeyboardTracking(false);
  editABClockSpeed->setMinimumWidth(96);
  clockLabel->setBuddy(editABClockSpeed);
  chkABLogSourceControlMsgs = new QCheckBox("Log Messages from Source Control", abGroup);
  chkABLogSourceControlMsgs->setObjectName("chkABLogSourceControlMsgs");
  auto* abControls = new QVBoxLayout;
  abControls->addWidget(btnABMsgClear, 0, Qt::AlignLeft);
  abControls->addWidget(btnABMsgWrite, 0, Qt::AlignLeft);
  abControls->addWidget(btnABMsgRead, 0, Qt::AlignLeft);
  abControls->addSpacing(12);
  abControls->addWidget(chkABMultiHAMEnable);
  abControls->addSpacing(12);
  abControls->addWidget(clockLabel);
  abControls->addWidget(editABClockSpeed, 0, Qt::AlignLeft);
  abControls->addSpacing(12);
  abControls->addWidget(chkABLogSourceControlMsgs);
  abControls->addStretch(1);
  auto* abLayout = new QHBoxLayout(abGroup);
  abLayout->addWidget(editABCommand);
  abLayout->addLayout(abControls);

  auto* note = new QLabel("Note: Use a leading '$' or '0x' for hex values\nExample: $AA or 0xFF", this);
  note->setObjectName("lblHexNote");

  auto* left = new QVBoxLayout;
  left->addWidget(usbGroup);
  left->addSpacing(8);
  left->addWidget(note);
  left->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addSpacing(8);
  layout->addWidget(abGroup, 0, Qt::AlignTop);
  layout->addStretch(1);

  connect(btnUSBMsgClear, &QPushButton::clicked, this, [this] { USBMsgClearClick(); });
  connect(btnUSBMsgExecute, &QPushButton::clicked, this, [this] { USBMsgExecuteClick(); });
  connect(btnABMsgClear, &QPushButton::clicked, this, [this] { ABMsgClearClick(); });
  connect(btnABMsgRead, &QPushButton::clicked, this, [this] { ABMsgReadClick(); });
  connect(btnABMsgWrite, &QPushButton::clicked, this, [this] { ABMsgWriteClick(); });
  connect(editABClockSpeed, &QSpinBox::valueChanged, this, [this](int kHz) { ABClockSpeedChange(kHz); });
}

void TCommandAssemblyPage::UpdateControlStates(TMPUConnectionStatus connection, TMPUSessionStatus) {
  const bool open = connection == csOpened;
  btnUSBMsgExecute->setEnabled(open);
  btnABMsgRead->setEnabled(open);
  btnABMsgWrite->setEnabled(open);
  editABClockSpeed->setEnabled(open);
}

// ---------------------------------------------------------------------------
// USB COMMANDS

void TCommandAssemblyPage::USBMsgClearClick() {
  FinishEditing(editUSBCommand);
  for (int row = 0; row < editUSBCommand->rowCount(); ++row) SetCell(editUSBCommand, row, "0");
  SetCell(editUSBCommand, kUSBRevisionRow, "1");
}

void TCommandAssemblyPage::USBMsgExecuteClick() {
  FinishEditing(editUSBCommand);
  // Opcode 0 is no command: nothing goes out for it, also when a larger
  // value has a zero low byte.
  const auto opcode = static_cast<std::uint8_t>(CellValue(editUSBCommand, kUSBOpcodeRow, 0));
  if (opcode == 0) return;
  TMPUCommandMsg& msg = Main.ControlMsg();
  msg.Clear();
  msg.SetOpcode(opcode);
  msg.SetRevision(static_cast<std::uint8_t>(CellValue(editUSBCommand, kUSBRevisionRow, 1)));
  const auto length = static_cast<std::uint16_t>(CellValue(editUSBCommand, kUSBPayloadLengthRow, 0));
  msg.SetPayloadLen(length);
  // The length goes out as typed (a test of the unit may want a wrong one);
  // the bytes behind the last data row stay zero.
  const auto payload = msg.Payload();
  const int bytes = std::min<int>(length, kUSBDataRows);
  for (int i = 0; i < bytes; ++i)
    payload[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(CellValue(editUSBCommand, kUSBFirstDataRow + i, 0));
  Main.MPU().SendControlMessage(msg);
}

// ---------------------------------------------------------------------------
// AUDIO BOARD COMMANDS

void TCommandAssemblyPage::ABMsgClearClick() {
  FinishEditing(editABCommand);
  for (int row = 0; row < editABCommand->rowCount(); ++row) SetCell(editABCommand, row, "0");
}

int TCommandAssemblyPage::ABDataLength() {
  const std::int32_t n = CellValue(editABCommand, kABDataLengthRow, 0);
  if (n <= 0) return 0;
  if (n > kABDataRows) {
    SetCell(editABCommand, kABDataLengthRow, QString::number(kABDataRows));
    return kABDataRows;
  }
  return n;
}

void TCommandAssemblyPage::ABMsgReadClick() {
  FinishEditing(editABCommand);
  const int n = ABDataLength();
  if (n == 0) return;
  TMPUABDirectMessage request;
  std::uint32_t address = static_cast<std::uint32_t>(CellValue(editABCommand, kABAddressRow, 0)) & 0x7FFF;
  if (chkABMultiHAMEnable->isChecked()) address |= 0x4000;
  request.Address = static_cast<std::uint16_t>(address);
  request.Count = static_cast<std::uint8_t>(n);
  TMPUCommandMsg& msg = Main.ControlMsg();
  msg.Prepare(MPU_OP_AB_DIRECT_READ, request);
  if (!Main.MPU().SendControlMessage(msg)) return;
  // The answer fills the values in.
  for (int i = 0; i < kABDataRows; ++i) SetCell(editABCommand, kABFirstDataRow + i, "0");
}

void TCommandAssemblyPage::ABMsgWriteClick() {
  FinishEditing(editABCommand);
  const int n = ABDataLength();
  if (n == 0) return;
  TMPUABDirectMessage request;
  std::uint32_t address = static_cast<std::uint32_t>(CellValue(editABCommand, kABAddressRow, 0)) | 0x8000;
  if (chkABMultiHAMEnable->isChecked()) address |= 0x4000;
  request.Address = static_cast<std::uint16_t>(address);
  request.Count = static_cast<std::uint8_t>(n);
  for (int i = 0; i < n; ++i)
    request.Values[static_cast<std::size_t>(i)] =
        static_cast<std::uint16_t>(CellValue(editABCommand, kABFirstDataRow + i, 0));
  TMPUCommandMsg& msg = Main.ControlMsg();
  msg.Prepare(MPU_OP_AB_DIRECT_WRITE, request);
  Main.MPU().SendControlMessage(msg);
}

void TCommandAssemblyPage::ABClockSpeedChange(int kHz) {
  if (Main.UpdateControlsCount() != 0) return;
  TMPUABDirectMessage request;
  request.Address = kABClockSpeedAddress;
  request.Count = 1;
  request.Values[0] = static_cast<std::uint16_t>(kHz);
  TMPUCommandMsg& msg = Main.ControlMsg();
  msg.Prepare(MPU_OP_AB_DIRECT_WRITE, request);
  Main.MPU().SendControlMessage(msg);
}

void TCommandAssemblyPage::MPUReceiveABMessage(const TMPUABDirectMessage& msg) {
  // Count comes from the wire: only the values the record holds are read.
  const int count = std::min<int>(msg.Count, kABDataRows);
  Main.BeginUpdateControls();
  SetCell(editABCommand, kABAddressRow, Hex4(msg.Address));
  SetCell(editABCommand, kABDataLengthRow, QString::number(msg.Count));
  for (int k = 0; k < count; ++k)
    SetCell(editABCommand, kABFirstDataRow + k, Hex4(msg.Values[static_cast<std::size_t>(k)]));
  Main.EndUpdateControls();

  if (!chkABLogSourceControlMsgs->isChecked()) return;
  QString line = QLocale::system().toString(QTime::currentTime(), QLocale::ShortFormat);
  line += " - " + Hex4(msg.Address) + ' ' + QString::number(msg.Count) + " count ";
  for (int k = 0; k < count; ++k) line += Hex4(msg.Values[static_cast<std::size_t>(k)]) + ' ';
  line += QString(kABDataRows - count, QChar('0'));
  Main.LogMessage(line);
}

}  // namespace mpu::pages
