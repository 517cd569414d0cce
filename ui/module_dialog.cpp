#include "ui/module_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/button_column.h"
#include "ui/help_window.h"
#include "ui/io_test_dialog.h"
#include "ui/wait_dialogs.h"

namespace plinth {

QLineEdit* ModuleDialog::AddField(const char* name, const QString& text) {
  auto* edit = new QLineEdit(text, this);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setReadOnly(true);
  return edit;
}

ModuleDialog::ModuleDialog(ModuleSession& logic, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), logic_(logic), prompts_(prompts) {
  setObjectName(QStringLiteral("moduleDialog"));
  SetHelpTopic(this, kHelpModuleStatus);
  setWindowTitle(QString::fromStdString(logic_.Title()));
  const ModuleFields& f = logic_.fields;
  auto* grid = new QGridLayout;
  int row = 0;
  QLabel* label = nullptr;
  auto addRow = [&](const char* text, const char* name, const std::string& value) {
    QLineEdit* edit = AddField(name, QString::fromStdString(value));
    label = new QLabel(QString::fromLatin1(text), this);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row++, 1);
    return edit;
  };
  addRow("Module ID", "moduleIdEdit", f.moduleId);
  addRow("MAC", "macEdit", f.mac);
  addRow("Words of input", "inputWordsEdit", f.inputWords);
  addRow("Words of output", "outputWordsEdit", f.outputWords);
  addRow("8000 is good health", "healthEdit", f.health);
  addRow("Last I/O module error", "lastErrorEdit", f.lastError);
  addRow("Count of I/O module errors", "errorCountEdit", f.errorCount);
  // The module's time-out is read but never shown.
  QLineEdit* timeout = addRow("Timeout", "timeoutEdit", f.timeout);
  auto* ms = new QLabel(QStringLiteral("ms"), this);
  grid->addWidget(ms, row - 1, 2);
  for (QWidget* w : std::initializer_list<QWidget*>{timeout, label, ms}) w->hide();

  auto button = [this](const char* label, const char* name) {
    auto* b = new QPushButton(QString::fromLatin1(label), this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
  };
  QPushButton* flash = button("Flash IP Address", "flashButton");
  QPushButton* reset = button("Reset to BOOTP", "resetButton");
  QPushButton* testIo = button("Test I/O", "testIoButton");
  QPushButton* ok = button("OK", "okButton");
  QPushButton* cancel = button("Cancel", "cancelButton");
  ok->setDefault(true);
  for (QPushButton* b : {flash, reset, testIo}) b->setEnabled(logic_.commandsEnabled);
  PlaceBesideButtonColumn(*this, grid, {ok, cancel, flash, reset, testIo});

  connect(flash, &QPushButton::clicked, this, &ModuleDialog::FlashIpAddress);
  connect(reset, &QPushButton::clicked, this, &ModuleDialog::ResetToBootp);
  connect(testIo, &QPushButton::clicked, this, &ModuleDialog::TestIo);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ModuleDialog::FlashIpAddress() {
  logic_.FlashIpAddress();
  // No connect runs now: the progress window ends at its first tick.
  static const std::atomic<uint8_t> idle{0};
  MakeWaitConnectDialog(ConnectProgress(idle, idle), nullptr)->exec();
}

void ModuleDialog::ResetToBootp() {
  if (!prompts_.Ask(logic_.ResetQuestion(), ModuleSession::kResetTitle)) return;
  logic_.ResetToBootp();
  accept();
}

void ModuleDialog::TestIo() {
  IoTestLogic io = logic_.MakeIoTest();
  TestIoDialog test(io, prompts_);
  const int result = test.exec();
  if (result != QDialog::Accepted) done(result);
}

}  // namespace plinth
