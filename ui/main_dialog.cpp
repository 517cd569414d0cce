#include "ui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QEventLoop>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <iterator>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "base/text_scan.h"
#include "config/config_reader.h"
#include "config/config_writer.h"
#include "config/slave_list_rules.h"
#include "config/slave_sort.h"
#include "logic/list_csv.h"
#include "ui/about_dialog.h"
#include "ui/advanced_dialog.h"
#include "ui/button_column.h"
#include "ui/help_window.h"
#include "ui/slave_config_dialog.h"
#include "ui/slave_list_model.h"
#include "ui/slave_list_view.h"
#include "ui/traffic_window.h"

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
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
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
  // The plant check: the list against the live network (PlantCheckControl).
  verifyButton_ = AddButton("&Verify plant...", "verifyButton");
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

  // Each field is named by its label (its buddy), also for screen readers.
  auto label = [this](const char* text, QWidget* field) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setBuddy(field);
    return l;
  };
  auto* services = new QGridLayout;
  services->addWidget(label("Master IP-Address", masterIp_), 0, 0);
  services->addWidget(masterIp_, 0, 1);
  services->addWidget(bootpButton_, 0, 2);
  services->addWidget(label("MAC-Addr", bootpIndicator_), 0, 3);
  services->addWidget(bootpIndicator_, 0, 4);
  services->addWidget(advanced, 1, 0);
  services->addWidget(scanButton_, 1, 2);
  services->addWidget(label("IP-Address", scanAddress_), 1, 3);
  services->addWidget(scanAddress_, 1, 4);
  services->setColumnStretch(5, 1);
  list_->setAccessibleName(QStringLiteral("Slaves"));
  // F1 on the BOOTP or scan controls opens their own page.
  for (QWidget* w : std::initializer_list<QWidget*>{bootpButton_, bootpIndicator_}) SetHelpTopic(w, kHelpBootpServer);
  for (QWidget* w : std::initializer_list<QWidget*>{scanButton_, scanAddress_}) SetHelpTopic(w, kHelpNetworkScan);

  auto* left = new QVBoxLayout;
  left->addWidget(list_, 1);
  left->addLayout(services);
  PlaceBesideButtonColumn(*this, left, {add, edit, remove, openButton_, saveButton_, verifyButton_, ok, cancel, help});
  resize(1120, 420);  // made to fit the screen when shown (ui/application_setup.h)
  // Tab follows reading order: the list and the fields under it, then the
  // column of buttons.
  QWidget* order[] = {list_,       masterIp_,   bootpButton_,  bootpIndicator_, advanced, scanButton_,
                      scanAddress_, add,         edit,          remove,          openButton_, saveButton_,
                      verifyButton_, ok,         cancel,        help};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // The keys of a list: Enter and F2 edit, Delete removes, Insert adds; Ctrl+S saves where Save is offered.
  connect(list_, &SlaveListView::EditKeyPressed, this, &MainDialog::EditCommand);
  connect(list_, &SlaveListView::RemoveKeyPressed, this, &MainDialog::RemoveCommand);
  connect(list_, &SlaveListView::AddKeyPressed, this, &MainDialog::AddCommand);
  auto* save = new QShortcut(QKeySequence::Save, this);
  connect(save, &QShortcut::activated, this, [this] {
    if (!saveButton_->isHidden()) SaveCommand();
  });

  // The About entry of the window's menu: the context menu of the window.
  auto* about = new QAction(QStringLiteral("&About Plinth"), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &MainDialog::AboutCommand);
  addAction(about);
  AddListActions();
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
  changes_.MarkSaved(config_);
}

int MainDialog::Run() {
  // Not exec(): that would make the application's main window modal.
  setWindowModality(Qt::NonModal);
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  loop.exec();
  return result();
}

bool MainDialog::HasUnsavedChanges() {
  ControlsToFields();
  return changes_.HasChanges(config_);
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

bool MainDialog::ReplaceSlave(int row, const SlaveRecord& r) {
  ListLock lock(*this);
  SlaveRecord* record = lock.Held() ? config_.dataList.At(row) : nullptr;
  if (!record) return false;
  // As by an edit; closing then asks to save, as the written bytes differ.
  CopyRecord(*record, r);
  RenderRow(row, nullptr);
  NextNodeAfterEdit(r, config_.nextNode);
  return true;
}

bool MainDialog::AppendSlave(const SlaveRecord& r) {
  ListLock lock(*this);
  if (!lock.Held()) return false;
  if (config_.dataList.Full()) {
    messages_.Show("dataList full");
    return false;
  }
  // As by Add; closing then asks to save, as the written bytes differ.
  const int slot = config_.dataList.Append(std::make_unique<SlaveRecord>(r));
  RenderRow(slot, nullptr);
  NextNodeAfterAdd(r, config_.nextNode);
  return true;
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

bool MainDialog::WriteConfig() {
  if (!WriteConfiguration(configPath_, config_, messages_)) return false;
  changes_.MarkSaved(config_);
  return true;
}

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
  if (outcome.ok) changes_.MarkSaved(config_);
}

bool MainDialog::MayDiscardChanges() {
  if (!HasUnsavedChanges()) return true;
  switch (prompts_.AskToSave(kUnsavedChangesQuestion, kAppName)) {
    case UserPrompts::SaveChoice::kDiscard:
      return true;
    case UserPrompts::SaveChoice::kCancel:
      return false;
    case UserPrompts::SaveChoice::kSave:
      break;
  }
  // As OK writes, but a write that failed keeps the window open.
  if (configPath_.empty()) {
    std::optional<std::string> path = prompts_.SaveFile();
    if (!path || path->empty()) return false;
    configPath_ = *path;
    ShowTitle();
  }
  return WriteConfig();
}

void MainDialog::reject() {
  if (!scan_ || !scan_->Started()) {
    if (MayDiscardChanges()) QDialog::reject();
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
    if (MayDiscardChanges()) QDialog::reject();
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

void MainDialog::AddListActions() {
  const struct {
    const char* text;
    const char* name;
    void (MainDialog::*command)();
  } actions[] = {{"E&xport list as CSV...", "exportCsvAction", &MainDialog::ExportCsvCommand},
                 {"&Import list from CSV...", "importCsvAction", &MainDialog::ImportCsvCommand},
                 // Ctrl+T works in every window (TrafficKeyFilter); the menu shows it.
                 {"&Traffic...\tCtrl+T", "trafficAction", &MainDialog::TrafficCommand}};
  for (const auto& a : actions) {
    auto* action = new QAction(QString::fromUtf8(a.text), this);
    action->setObjectName(QString::fromLatin1(a.name));
    connect(action, &QAction::triggered, this, a.command);
    addAction(action);
  }
}

void MainDialog::ExportCsvCommand() {
  const std::optional<std::string> path = prompts_.SaveOtherFile("Export list as CSV", "CSV Files (*.csv)", "csv");
  if (!path) return;
  std::string message;
  ListLock lock(*this);
  if (lock.Held() && !WriteSlavesCsvFile(*path, config_.dataList, message)) messages_.Show(message);
}

void MainDialog::ImportCsvCommand() {
  const std::optional<std::string> path = prompts_.OpenOtherFile("Import list from CSV", "CSV Files (*.csv)");
  if (!path) return;
  std::vector<std::unique_ptr<SlaveRecord>> records;
  std::string message;
  if (!ReadSlavesCsvFile(*path, records, message)) {
    messages_.Show(message);
    return;
  }
  // Every row is good: the list is replaced whole.
  ListLock lock(*this);
  if (!lock.Held()) return;
  config_.dataList.Clear();
  model_->RemoveAll();
  for (auto& record : records) config_.dataList.Append(std::move(record));
  for (int slot = 0; slot < config_.dataList.Count(); ++slot) RenderRow(slot, nullptr);
  changes_.MarkChanged();
}

void MainDialog::TrafficCommand() { ShowTrafficWindow(prompts_); }

void MainDialog::HelpCommand() { ShowHelp(kHelpMainWindow); }

void MainDialog::AboutCommand() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace plinth
