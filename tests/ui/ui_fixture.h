#pragma once
// A main window on its own NetState with scripted prompts, and helpers to answer the modal windows it opens.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include "base/text_scan.h"
#include "net/net_state.h"
#include "tests/support/scripted_prompts.h"
#include "ui/main_dialog.h"
#include "ui/slave_config_dialog.h"
#include "ui/slave_list_model.h"
#include "ui/slave_list_view.h"

namespace plinth::testing {

inline QLineEdit* Edit(QWidget& w, const std::string& n) { return w.findChild<QLineEdit*>(QString::fromStdString(n)); }
inline std::string Text(QWidget& w, const std::string& name) { return Edit(w, name)->text().toStdString(); }
inline void Click(QWidget& w, const char* button) { w.findChild<QPushButton*>(button)->click(); }

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
  std::string Title() const { return window->windowTitle().toStdString(); }

  // Each Slave Configuration dialog the window opens runs body (not shown), which presses OK or Cancel.
  void AnswerSlaveDialogs(std::function<void(SlaveConfigDialog&, SlaveConfigLogic&)> body) {
    window->SetSlaveDialogRunner([this, body](SlaveConfigLogic& logic) {
      SlaveConfigDialog dialog(logic, nullptr, prompts, window.get());
      body(dialog, logic);
      return dialog.result() == QDialog::Accepted;
    });
  }
  // Adds a slave through the Add button, typing node and module ID.
  void AddThroughButton(const std::string& node, const std::string& moduleId = "") {
    AnswerSlaveDialogs([&](SlaveConfigDialog& d, SlaveConfigLogic&) {
      Edit(d, "nodeEdit")->setText(QString::fromStdString(node));
      Edit(d, "moduleIdEdit")->setText(QString::fromStdString(moduleId));
      Click(d, "okButton");
    });
    Button("addButton")->click();
  }

  NetState net;
  ScriptedPrompts prompts;
  std::unique_ptr<MainDialog> window;
};

// Runs body on the next modal window that opens (after exec() started).
inline void OnNextModal(std::function<void(QWidget*)> body) {
  QTimer::singleShot(0, [body] { body(QApplication::activeModalWidget()); });
}

// Runs the event loop until done() holds, for at most 10 s.
inline bool RunUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

}  // namespace plinth::testing
