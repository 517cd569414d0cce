#include "ui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/text_scan.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/slave_list_rules.h"
#include "config/slave_sort.h"
#include "ui/about_dialog.h"
#include "ui/advanced_dialog.h"
#include "ui/button_column.h"
#include "ui/help_window.h"
#include "ui/slave_config_dialog.h"
#include "ui/slave_list_model.h"
#include "ui/slave_list_view.h"

namespace plinth {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Inserts text into the box's list at its sorted place.
void InsertSorted(QComboBox* box, const QString& text) {
  int at = 0;
  while (at < box->count() && box->itemText(at).toStdString() < text.toStdString()) ++at;
  box->insertItem(at, text);
}

}  // namespace

// slaveLock for one user-interface command; on release the row changes that
// waited for it are applied.
class MainDialog::ListLock {
 public:
  explicit ListLock(MainDialog& dialog) : dialog_(dialog), held_(dialog.net_.slaveLock.Acquire()) {}
  ~ListLock() {
    if (!held_) return;
    dialog_.net_.slaveLock.Release();
    dialog_.DrainRowChanges();
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
  bool Held() const { return held_; }

 private:
  MainDialog& dialog_;
  bool held_;
};

QPushButton* MainDialog::AddButton(const char* label, const char* name) {
  auto* button = new QPushButton(QString::fromUtf8(label), this);
  button->setObjectName(QString::fromLatin1(name));
  // Enter presses the focused push button (Enter on Cancel must not save);
  // from any other control it presses the default button OK.
  button->setAutoDefault(true);
  return button;
}

MainDialog::MainDialog(NetState& net, std::string configPath, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      net_(net),
      prompts_(prompts),
      messages_(prompts),
      configPath_(std::move(configPath)) {
  setObjectName(QStringLiteral("mainDialog"));
  setWindowTitle(QStringLiteral("Plinth"));
  SetHelpTopic(this, kHelpMainWindow);

  QPushButton* add = AddButton("&Add", "addButton");
  QPushButton* edit = AddButton("&Edit", "editButton");
  QPushButton* remove = AddButton("&Remove", "removeButton");
  openButton_ = AddButton("&Open", "openButton");
  saveButton_ = AddButton("&Save", "saveButton");
  QPushButton* ok = AddButton("OK", "okButton");
  ok->setDefault(true);
  QPushButton* cancel = AddButton("Cancel", "cancelButton");
  QPushButton* help = AddButton("&Help", "helpButton");
  QPushButton* advanced = AddButton("A&dvanced...", "advancedButton");
  bootpButton_ = AddButton("Boot&P server", "bootpButton");
  bootpButton_->setCheckable(true);
  bootpButton_->setAutoDefault(false);  // a switch, not a push button: Enter stays OK's
  scanButton_ = AddButton("S&can bus", "scanButton");
  scanButton_->setCheckable(true);
  scanButton_->setAutoDefault(false);

  bootpIndicator_ = new QLineEdit(this);
  bootpIndicator_->setObjectName(QStringLiteral("bootpIndicatorEdit"));
  bootpIndicator_->setReadOnly(true);
  bootpIndicator_->setAlignment(Qt::AlignCenter);
  scanAddress_ = new QLineEdit(this);
  scanAddress_->setObjectName(QStringLiteral("scanAddressEdit"));
  masterIp_ = new QComboBox(this);
  masterIp_->setObjectName(QStringLiteral("masterIpCombo"));
  masterIp_->setEditable(true);
  masterIp_->setInsertPolicy(QComboBox::NoInsert);
  masterIp_->setMinimumContentsLength(15);

  // Kept for the file but never shown.
  masterIpEdit_ = new QLineEdit(this);
  masterIpEdit_->setObjectName(QStringLiteral("masterIpEdit"));
  masterIpEdit_->hide();
  boardEdit_ = new QLineEdit(this);
  boardEdit_->setObjectName(QStringLiteral("boardEdit"));
  boardEdit_->hide();
  auto* boardLabel = new QLabel(QStringLiteral("Board"), this);
  boardLabel->hide();
  saveUnknown_ = new QCheckBox(QStringLiteral("Save unknown slaves"), this);
  saveUnknown_->setObjectName(QStringLiteral("saveUnknownCheck"));
  saveUnknown_->hide();

  model_ = new SlaveListModel(this);
  list_ = new SlaveListView(this);
  list_->setModel(model_);
  // The widths are given for a font of about 5 pixels per character.
  double scale = std::max(1.0, list_->fontMetrics().averageCharWidth() / 5.0);
  for (int c = 0; c < kColumnCount; ++c) list_->header()->resizeSection(c, static_cast<int>(ColumnWidth(c) * scale));

  auto* services = new QGridLayout;
  services->addWidget(new QLabel(QStringLiteral("Master IP-Address"), this), 0, 0);
  services->addWidget(masterIp_, 0, 1);
  services->addWidget(bootpButton_, 0, 2);
  services->addWidget(new QLabel(QStringLiteral("MAC-Addr"), this), 0, 3);
  services->addWidget(bootpIndicator_, 0, 4);
  services->addWidget(advanced, 1, 0);
  services->addWidget(scanButton_, 1, 2);
  services->addWidget(new QLabel(QStringLiteral("IP-Address"), this), 1, 3);
  services->addWidget(scanAddress_, 1, 4);
  services->setColumnStretch(5, 1);

  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addLayout(services);
  PlaceBesideButtonColumn(*this, left, {add, edit, remove, openButton_, saveButton_, ok, cancel, help});
  resize(1120, 420);

  // The About entry of the window's menu: the context menu of the window.
  auto* about = new QAction(QStringLiteral("&About Plinth"), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &MainDialog::AboutCommand);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  connect(add, &QPushButton::clicked, this, &MainDialog::AddCommand);
  connect(edit, &QPushButton::clicked, this, &MainDialog::EditCommand);
  connect(remove, &QPushButton::clicked, this, &MainDialog::RemoveCommand);
  connect(openButton_, &QPushButton::clicked, this, &MainDialog::OpenCommand);
  connect(saveButton_, &QPushButton::clicked, this, &MainDialog::SaveCommand);
  connect(ok, &QPushButton::clicked, this, &MainDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &MainDialog::reject);
  connect(help, &QPushButton::clicked, this, &MainDialog::HelpCommand);
  connect(advanced, &QPushButton::clicked, this, &MainDialog::AdvancedCommand);
  connect(bootpButton_, &QPushButton::toggled, this, &MainDialog::BootpToggled);
  connect(scanButton_, &QPushButton::toggled, this, &MainDialog::ScanToggled);
  connect(list_, &SlaveListView::SortRequested, this, &MainDialog::SortByColumn);
  connect(list_, &SlaveListView::DoubleClickedRow, this, &MainDialog::DoubleClickRow);
  connect(masterIp_, &QComboBox::editTextChanged, this, &MainDialog::OnMasterIpTyped);
  connect(masterIp_, &QComboBox::textActivated, this, &MainDialog::OnMasterIpTyped);
  connect(&timer1_, &QTimer::timeout, this, &MainDialog::OnTimer1);
}

MainDialog::~MainDialog() { net_.rowChanges.SetWake(nullptr); }

void MainDialog::Initialise() {
  FieldsToControls();
  setWindowIcon(QIcon(QStringLiteral(":/icons/plinth.png")));
  std::string& master = config_.master.masterIpText;
  exchanging_ = true;
  for (uint32_t address : net_.localAddrs) {
    master = FormatIpv4(address);
    InsertSorted(masterIp_, Q(master));
  }
  if (!net_.localAddrs.empty()) master = FormatIpv4(net_.localAddrs.front());
  masterIp_->setEditText(Q(master));
  exchanging_ = false;
  scanAddressText_ = master;
  FieldsToControls();

  if (!configPath_.empty()) {
    ReadOutcome outcome = ReadConfiguration(configPath_, config_, messages_);
    // A file that is there but failed to load must not be overwritten with
    // an empty list by OK: OK then asks for a file name instead. A path
    // that names no file yet stays, for a new configuration.
    if (outcome.refused) configPath_.clear();
    if (outcome.masterIpSet) PutMasterAddress(config_.master.masterIpText);
    openButton_->hide();
    saveButton_->hide();
  }
  ShowTitle();
  for (int slot = 0; slot < config_.dataList.Count(); ++slot) RenderRow(slot, nullptr);
  list_->setFocus();

  net_.rowChanges.SetWake([this] { QMetaObject::invokeMethod(this, &MainDialog::DrainRowChanges, Qt::QueuedConnection); });
  timer1_.start(timerPeriod_);
  FieldsToControls();
}

void MainDialog::ControlsToFields() {
  MasterSettings& m = config_.master;
  m.masterIpText = masterIp_->currentText().toStdString();
  m.boardText = boardEdit_->text().toStdString();
  m.saveUnknownSlaves = saveUnknown_->isChecked();
  scanAddressText_ = scanAddress_->text().toStdString();
  bootpIndicatorText_ = bootpIndicator_->text().toStdString();
}

void MainDialog::FieldsToControls() {
  MasterSettings& m = config_.master;
  m.masterIpText = masterIp_->currentText().toStdString();
  masterIpEdit_->setText(Q(m.masterIpText));
  boardEdit_->setText(Q(m.boardText));
  saveUnknown_->setChecked(m.saveUnknownSlaves);
  if (scanAddress_->text().toStdString() != scanAddressText_) scanAddress_->setText(Q(scanAddressText_));
  bootpIndicator_->setText(Q(bootpIndicatorText_));
}

void MainDialog::OnMasterIpTyped(const QString& text) {
  if (exchanging_) return;
  ControlsToFields();
  config_.master.masterIpText = text.toStdString();
  scanAddressText_ = config_.master.masterIpText;
  FieldsToControls();
}

void MainDialog::PutMasterAddress(std::string text) {
  ControlsToFields();
  exchanging_ = true;
  // Only the entry that is the address itself: 192.168.1.10 begins with
  // 192.168.1.1 but is another station.
  const int found = masterIp_->findText(Q(text), Qt::MatchExactly);
  if (found >= 0) {
    masterIp_->setCurrentIndex(found);
  } else {
    masterIp_->insertItem(0, Q(text));
    masterIp_->setCurrentIndex(0);
    masterIp_->setEditText(Q(text));
    scanAddressText_ = text;
  }
  exchanging_ = false;
  FieldsToControls();
}

void MainDialog::ShowTitle() {
  setWindowTitle(Q(" Varnel Plinth: " + (configPath_.empty() ? std::string("New configuration") : configPath_)));
}

int MainDialog::RowCount() const { return model_->Rows(); }

void MainDialog::RenderRow(int row, SlaveRecord* fallback) {
  int rows = model_->Rows();
  if (row > rows || row < 0) {
    messages_.Show("internal error: itemCount unexpected!");
    return;
  }
  if (row == rows) model_->AppendRow();
  SlaveRecord* record = config_.dataList.At(row);
  if (!record) {
    messages_.Show("internal error: item undefined!");
    return;
  }
  model_->SetRow(row, RenderRecord(*record, fallback, &net_.bootp, messages_));
}

void MainDialog::DrainRowChanges() {
  // Changes that add or move rows need the list free of any command.
  bool free = net_.slaveLock.Acquire(std::chrono::milliseconds(0));
  net_.rowChanges.Apply(*this, free);
  if (free) net_.slaveLock.Release();
}

void MainDialog::OnTimer1() {
  for (auto& handler : timerHandlers_) handler();
  DrainRowChanges();
}

SlaveConfigOwner MainDialog::Owner() const {
  return {config_.master.masterIpText, config_.nextNode, autoIpDefault_, &config_.dataList};
}

bool MainDialog::RunSlaveDialog(SlaveConfigLogic& logic) {
  logic.connectFlow = connectFlow_;
  if (slaveRunner_) return slaveRunner_(logic);
  SlaveConfigDialog dialog(logic, std::getenv("VARNEL_AUTOIP"), prompts_, this);
  return dialog.exec() == QDialog::Accepted;
}

void MainDialog::AddCommand() {
  ListLock lock(*this);
  if (lock.Held()) AddSlave();
}

void MainDialog::AddSlave() {
  ControlsToFields();
  DataList& list = config_.dataList;
  if (list.Full()) {
    messages_.Show("dataList full");
    return;
  }
  int slot = list.Append(std::make_unique<SlaveRecord>());
  SlaveConfigLogic logic(Owner(), slot, net_.usedNodes, prompts_);
  logic.record = PrepareNewSlave(config_.master.masterIpText, config_.nextNode);
  if (RunSlaveDialog(logic)) {
    CopyRecord(*list.At(slot), logic.record);
    RenderRow(slot, nullptr);
    NextNodeAfterAdd(logic.record, config_.nextNode);
  } else {
    list.TakeLast();
  }
}

void MainDialog::EditCommand() {
  ListLock lock(*this);
  if (!lock.Held()) return;
  std::vector<int> selected = list_->SelectedRows();
  if (selected.empty()) {
    messages_.Show("No item selected!");
    return;
  }
  for (int row : selected) EditRow(row);
}

void MainDialog::EditRow(int row) {
  SlaveRecord* record = config_.dataList.At(row);
  if (!record) {
    messages_.Show("internal error: dataList empty");
    return;
  }
  SlaveConfigLogic logic(Owner(), row, net_.usedNodes, prompts_);
  CopyRecord(logic.record, *record);
  if (!RunSlaveDialog(logic)) return;
  CopyRecord(*record, logic.record);
  RenderRow(row, nullptr);
  NextNodeAfterEdit(logic.record, config_.nextNode);
}

void MainDialog::RemoveCommand() {
  std::vector<int> selected = list_->SelectedRows();
  if (selected.empty()) {
    messages_.Show("No item selected!");
    return;
  }
  // From the bottom up, so that each selected slave is offered exactly once.
  for (auto it = selected.rbegin(); it != selected.rend(); ++it) RemoveRow(*it);
}

void MainDialog::RemoveRow(int row) {
  SlaveRecord* record = config_.dataList.At(row);
  if (!record) {
    messages_.Show("internal error: dataList empty");
    return;
  }
  if (!prompts_.Ask(RemoveConfirmationText(*record), "Delete Item?")) return;
  ListLock lock(*this);
  if (!lock.Held()) return;
  // Counted under the lock: workers' rows may have been added while the
  // question was open.
  int rows = RowCount();
  config_.dataList.Remove(row);
  for (int j = row; j < rows - 1; ++j) RenderRow(j, nullptr);
  model_->RemoveLastRow();
}

void MainDialog::SortByColumn(int column) {
  ListLock lock(*this);
  if (!lock.Held()) return;
  int rows = RowCount();
  if (rows == 0) return;
  model_->RemoveAll();
  SortSlaves(config_.dataList, column);
  for (int i = 0; i < rows; ++i) RenderRow(i, nullptr);
}

void MainDialog::DoubleClickRow(int row) {
  ListLock lock(*this);
  if (!lock.Held()) return;
  if (row >= 0) EditRow(row);
  else AddSlave();
}

void MainDialog::WriteConfig() { WriteConfiguration(configPath_, config_, messages_); }

void MainDialog::accept() {
  ControlsToFields();
  if (configPath_.empty()) {
    std::optional<std::string> path = prompts_.SaveFile();
    if (!path) return;
    configPath_ = *path;
  }
  if (!configPath_.empty()) WriteConfig();
  QDialog::accept();
}

void MainDialog::SaveCommand() {
  ControlsToFields();
  if (configPath_.empty()) {
    if (std::optional<std::string> path = prompts_.SaveFile()) configPath_ = *path;
    else {
      ShowTitle();
      return;
    }
  }
  if (!configPath_.empty()) WriteConfig();
  ShowTitle();
}

void MainDialog::OpenCommand() {
  ListLock lock(*this);
  if (!lock.Held()) return;
  if (RowCount() > 0) {
    prompts_.ShowMessage(configPath_, "Configuration not empty");
    return;
  }
  std::optional<std::string> path = prompts_.OpenFile();
  if (!path) return;
  std::string previous = configPath_;
  configPath_ = *path;
  if (configPath_.empty()) return;
  ControlsToFields();
  ReadOutcome outcome = ReadConfiguration(configPath_, config_, messages_);
  // A file that failed to load must not be overwritten by the next OK.
  if (!outcome.ok) configPath_ = previous;
  if (outcome.masterIpSet) PutMasterAddress(config_.master.masterIpText);
  for (int slot = 0; slot < config_.dataList.Count(); ++slot) {
    setWindowTitle(Q(" Plinth: " + configPath_));
    RenderRow(slot, nullptr);
  }
}

void MainDialog::reject() {
  if (!scan_ || !scan_->Started()) {
    QDialog::reject();
    return;
  }
  if (probeLooks_ >= 0) return;  // this Cancel's looks at the probes are under way
  scan_->RequestStop();
  scanButton_->setChecked(false);  // the scan is stopped now: one click resumes it
  probeLooks_ = 0;
  LookAtProbes();
}

void MainDialog::LookAtProbes() {
  // Up to ten looks 100 ms apart while a probe is busy, on a timer, so that
  // the window goes on meanwhile. A scan switched on again, or a window
  // closed by OK, ends this Cancel.
  if (scanButton_->isChecked() || !isVisible()) {
    probeLooks_ = -1;
    return;
  }
  if (probeLooks_ < 10 && scan_->AnyBusy()) {
    ++probeLooks_;
    QTimer::singleShot(100, this, &MainDialog::LookAtProbes);
    return;
  }
  probeLooks_ = -1;
  if (!scan_->AnyBusy()) {
    QDialog::reject();
    return;
  }
  messages_.Show("Net-Scan now stopped, hit CANCEL again for final exit.");
  scan_->ClearBusy();
}

void MainDialog::AdvancedCommand() {
  AdvancedValues values = UnpackAdvancedSettings(config_.master.advancedSettings);
  bool ok;
  if (advancedRunner_) {
    ok = advancedRunner_(values);
  } else {
    AdvancedDialog dialog(values, prompts_, this);
    ok = dialog.exec() == QDialog::Accepted;
  }
  if (ok) config_.master.advancedSettings = PackAdvancedSettings(values);
}

void MainDialog::HelpCommand() { ShowHelp(kHelpMainWindow); }

void MainDialog::AboutCommand() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace plinth
