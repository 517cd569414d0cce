#pragma once
// A main window on its own NetState with scripted prompts, and helpers to
// answer the modal windows it opens.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/net_state.h"
#include "config/text_scan.h"
#include "dialogs/slave_config_dialog.h"
#include "scripted_prompts.h"
#include "ui/main_dialog.h"
#include "ui/slave_list_model.h"
#include "ui/slave_list_view.h"

namespace plinth::testing {

class MainFixture {
 public:
  explicit MainFixture(std::vector<std::string> localAddresses = {"192.168.1.1"}, std::string path = "") {
    for (const std::string& a : localAddresses) net.localAddrs.push_back(ParseIpv4(a));
    window = std::make_unique<MainDialog>(net, path, prompts);
    window->Initialise();
    window->show();
  }

  QPushButton* Button(const char* name) const { return window->findChild<QPushButton*>(name); }
  SlaveListModel& Model() const { return *window->ListModel(); }
  std::string Cell(int row, int column) const { return Model().Row(row)[static_cast<size_t>(column)]; }

  // Every Slave Configuration dialog opened by the window runs body on the
  // real dialog (not shown); body presses OK or Cancel through its buttons.
  void AnswerSlaveDialogs(std::function<void(SlaveConfigDialog&, SlaveConfigLogic&)> body) {
    window->SetSlaveDialogRunner([this, body](SlaveConfigLogic& logic) {
      SlaveConfigDialog dialog(logic, nullptr, prompts, window.get());
      body(dialog, logic);
      return dialog.result() == QDialog::Accepted;
    });
  }

  // Adds a slave through the Add button, typing node (and optionally more).
  void AddThroughButton(const std::string& node, const std::string& moduleId = "", const std::string& name = "") {
    AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
      Edit(d, "nodeEdit")->setText(QString::fromStdString(node));
      Edit(d, "moduleIdEdit")->setText(QString::fromStdString(moduleId));
      if (!name.empty()) Edit(d, "nameEdit")->setText(QString::fromStdString(name));
      d.findChild<QPushButton*>("okButton")->click();
    });
    Button("addButton")->click();
  }

  static QLineEdit* Edit(QWidget& w, const char* name) { return w.findChild<QLineEdit*>(name); }

  NetState net;
  ScriptedPrompts prompts;
  std::unique_ptr<MainDialog> window;
};

// Runs body on the next modal window that opens (after exec() started).
inline void OnNextModal(std::function<void(QWidget*)> body) {
  QTimer::singleShot(0, [body] {
    QWidget* modal = QApplication::activeModalWidget();
    body(modal);
  });
}

}  // namespace plinth::testing
