#pragma once
// "Module Selection": the part numbers of the catalogue in a sorted list;
// OK gives the module ID of the chosen part number.
#include <QDialog>
#include <cstdint>
#include <string_view>

class QListWidget;

namespace plinth {

// The module ID of the catalogue row with exactly this part number; 0: none.
uint32_t ModuleIdOfPartNumber(std::string_view partNumber);

class ModuleSelectDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ModuleSelectDialog(QWidget* parent = nullptr);

  // After OK: the chosen module's ID.
  uint32_t SelectedModuleId() const { return selectedId_; }
  QListWidget* List() const { return list_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QListWidget* list_;
  uint32_t selectedId_ = 0;
};

}  // namespace plinth
