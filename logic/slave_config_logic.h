#pragma once
// What the Slave Configuration dialog does, apart from its widgets: the
// working copy of one slave, auto IP, the node and module ID checks and the
// locking of the fields that a known module fixes.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_scan.h"
#include "base/user_prompts.h"
#include "config/slave_record.h"

namespace plinth {

// What the dialog takes from the main window when it is created.
struct SlaveConfigOwner {
  std::string masterIpText;
  int nextNode = 1;
  bool autoIpDefault = true;
  const DataList* dataList = nullptr;
};

class SlaveConfigLogic {
 public:
  using UsedNodes = std::array<uint8_t, 256>;

  // Marks in usedNodes the node numbers of every slave but the one in slot.
  SlaveConfigLogic(const SlaveConfigOwner& owner, int slot, UsedNodes& usedNodes, UserPrompts& prompts);

  // Before the dialog is shown; autoIpMode is "VARNEL_AUTOIP" (null: unset).
  void Open(const char* autoIpMode);

  void BuildAutoIp();
  bool ValidateNode();
  // id -1: read the ID from the Module ID text.
  bool ApplyModuleId(int64_t id);

  // The OK button, with the fields already taken: true when the dialog may
  // end with OK.
  bool Accept();
  // Loss of focus of the Node / Module ID field; toCancel: the focus went to
  // the Cancel button, which suppresses the check. False: the focus returns.
  bool LeaveNode(bool toCancel);
  bool LeaveModuleId(bool toCancel);
  // The "Auto IP-Address" box was clicked.
  void SetAutoIp(bool on);
  // "Connect to module": checks the address, then runs connectFlow if set.
  // True when the flow ended the dialog with OK.
  bool ConnectToModule();

  const SlaveConfigOwner& Owner() const { return owner_; }
  int Slot() const { return slot_; }
  // The master's own address, as slave addresses are compared with it.
  std::string MasterAddressText() const;

  SlaveRecord record;              // the working copy
  bool autoIp = true;              // the auto-IP flag
  bool autoIpBoxVisible = true;    // the "Auto IP-Address" check box
  bool ipEditable = false;         // the IP Address field
  bool moduleFieldsLocked = false; // Input, Output, Param, Name, Description
  // The rest of the connection to a live module (ConnectFlow::Run).
  std::function<bool(SlaveConfigLogic&)> connectFlow;
  // Set by the window: shows the working record in its fields at once (the
  // connect flow fills fields while further windows are open).
  std::function<void()> showFields;
  void ShowFields() {
    if (showFields) showFields();
  }

 private:
  SlaveConfigOwner owner_;
  int slot_;
  UsedNodes& usedNodes_;
  UserPrompts& prompts_;
};

}  // namespace plinth
