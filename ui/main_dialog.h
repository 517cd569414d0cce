#pragma once
// The program's main window: the slave list and the commands around it
// (Add, Edit, Remove, Open, Save, OK, Cancel, Help, Advanced), the master
// address, and the BOOTP and scan buttons with their fields. It owns the
// configuration being edited. It is a normal top-level window (a dialog
// only for its default button and Escape), run by Run() without blocking
// the input of other windows.
#include <QDialog>
#include <QTimer>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "base/user_prompts.h"
#include "config/configuration.h"
#include "config/row_changes.h"
#include "logic/advanced_settings.h"
#include "logic/slave_config_logic.h"
#include "logic/unsaved_changes.h"
#include "net/net_state.h"
#include "net/scan_control.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace plinth {

class SlaveListModel;
class SlaveListView;

class MainDialog : public QDialog, public SlaveRows {
  Q_OBJECT
 public:
  static constexpr int kTimerPeriodMs = 300;

  MainDialog(NetState& net, std::string configPath, UserPrompts& prompts, QWidget* parent = nullptr);
  ~MainDialog() override;

  // Set by start-up when the host name cannot be read; the window then ends
  // at once.
  void SetStartupFailed(bool failed) { startupFailed_ = failed; }
  bool StartupFailed() const { return startupFailed_; }
  // Fills the master address list, loads configPath, sets the title, fills
  // the list and starts timer 1. Call once before exec().
  void Initialise();
  // Shows the window and returns its result once it has closed.
  int Run();

  // Commands (the buttons call these).
  void AddCommand();
  void EditCommand();
  void RemoveCommand();
  void OpenCommand();
  void SaveCommand();
  void AdvancedCommand();
  void HelpCommand();
  void AboutCommand();
  // The context menu's "Export list as CSV...", "Import list from CSV..."
  // and "Traffic...".
  void ExportCsvCommand();
  void ImportCsvCommand();
  void TrafficCommand();
  // Called after a command replaced the list (an import): a change like any
  // edit, for whoever keeps track of unsaved changes.
  void SortByColumn(int column);
  // Double-click on the list: row -1 adds a slave.
  void DoubleClickRow(int row);
  // OK and Cancel (also Escape and closing the window). Cancel asks to save
  // first when the configuration has unsaved changes.
  void accept() override;
  void reject() override;
  // Whether the configuration differs from what was last read or written;
  // features that change the list may mark it changed (MarkChanged).
  UnsavedChanges& Changes() { return changes_; }
  bool HasUnsavedChanges();

  // Steps used by other parts; the caller holds slaveLock for AddSlave and EditRow.
  void AddSlave();
  void EditRow(int row);
  void RemoveRow(int row);
  void ShowTitle();
  // An edit and an Add without their dialog, each taking slaveLock itself:
  // row's record becomes r, or r is appended ("dataList full" when there
  // is no room). False when nothing was stored.
  bool ReplaceSlave(int row, const SlaveRecord& r);
  bool AppendSlave(const SlaveRecord& r);

  // SlaveRows: the list as row changes see it.
  DataList& Slaves() override { return config_.dataList; }
  int RowCount() const override;
  void RenderRow(int row, SlaveRecord* fallback) override;
  // Applies the row changes posted by workers that may be applied now.
  void DrainRowChanges();

  // Field exchange: controls -> fields, fields -> controls.
  void ControlsToFields();
  void FieldsToControls();
  // Puts a master address read from a file into the combo box.
  void PutMasterAddress(std::string text);

  // Hook points for the network services.
  // Timer 1 (every 300 ms) calls these in order, then applies row changes.
  void AddTimerHandler(std::function<void()> handler) { timerHandlers_.push_back(std::move(handler)); }
  void SetScanControl(ScanControl* scan) { scan_ = scan; }
  // Runs the Slave Configuration dialog; true for OK. Replaced by tests.
  void SetSlaveDialogRunner(std::function<bool(SlaveConfigLogic&)> runner) { slaveRunner_ = std::move(runner); }
  // The connection to a live module, offered by every Slave Configuration dialog.
  void SetConnectFlow(std::function<bool(SlaveConfigLogic&)> flow) { connectFlow_ = std::move(flow); }
  // Runs the Advanced settings dialog; true for OK. Replaced by tests.
  void SetAdvancedRunner(std::function<bool(AdvancedValues&)> runner) { advancedRunner_ = std::move(runner); }

  NetState& Net() { return net_; }
  Configuration& Config() { return config_; }
  Messages& CoreMessages() { return messages_; }
  UserPrompts& Prompts() { return prompts_; }
  const std::string& ConfigPath() const { return configPath_; }
  std::string& MasterIpText() { return config_.master.masterIpText; }
  std::string& ScanAddressText() { return scanAddressText_; }
  std::string& BootpIndicatorText() { return bootpIndicatorText_; }
  std::time_t& BootpStartTime() { return bootpStartTime_; }
  int& TimerPeriod() { return timerPeriod_; }
  QTimer& Timer1() { return timer1_; }
  QPushButton* BootpButton() const { return bootpButton_; }
  QPushButton* ScanButton() const { return scanButton_; }
  QPushButton* VerifyButton() const { return verifyButton_; }
  SlaveListView* ListView() const { return list_; }
  SlaveListModel* ListModel() const { return model_; }
  QComboBox* MasterIpBox() const { return masterIp_; }

 signals:
  // The push-like buttons were switched (by mouse or keyboard).
  void BootpToggled(bool on);
  void ScanToggled(bool on);

 private:
  class ListLock;
  QPushButton* AddButton(const char* label, const char* name);
  void AddListActions();
  bool RunSlaveDialog(SlaveConfigLogic& logic);
  SlaveConfigOwner Owner() const;
  bool WriteConfig();
  // Asked before Cancel ends the window: true when it may end.
  bool MayDiscardChanges();
  void SetTabOrder();
  void OnMasterIpTyped(const QString& text);
  void OnTimer1();
  void LookAtProbes();

  NetState& net_;
  UserPrompts& prompts_;
  PromptMessages messages_;
  Configuration config_;
  std::string configPath_;
  bool startupFailed_ = false;
  std::time_t bootpStartTime_ = 0;
  bool autoIpDefault_ = true;
  int timerPeriod_ = kTimerPeriodMs;
  UnsavedChanges changes_;
  std::string scanAddressText_;
  std::string bootpIndicatorText_;
  bool exchanging_ = false;
  int probeLooks_ = -1;  // looks of a Cancel at the scan's probes; -1: none under way

  SlaveListModel* model_;
  SlaveListView* list_;
  QComboBox* masterIp_;
  QLineEdit* masterIpEdit_;
  QLineEdit* boardEdit_;
  QCheckBox* saveUnknown_;
  QLineEdit* scanAddress_;
  QLineEdit* bootpIndicator_;
  QPushButton* openButton_;
  QPushButton* saveButton_;
  QPushButton* bootpButton_;
  QPushButton* scanButton_;
  QPushButton* verifyButton_;
  QTimer timer1_;

  std::vector<std::function<void()>> timerHandlers_;
  ScanControl* scan_ = nullptr;
  std::function<bool(SlaveConfigLogic&)> slaveRunner_;
  std::function<bool(SlaveConfigLogic&)> connectFlow_;
  std::function<bool(AdvancedValues&)> advancedRunner_;
};

}  // namespace plinth
