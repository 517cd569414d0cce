#include "ui/io_test_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "ui/help_window.h"
#include "ui/off_ui_thread.h"

namespace plinth {

TestIoDialog::TestIoDialog(IoTestLogic& logic, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), logic_(logic), messages_(prompts) {
  setWindowTitle(QStringLiteral("Dialog"));
  setObjectName(QStringLiteral("testIoDialog"));
  SetHelpTopic(this, kHelpTestIo);
  auto* grid = new QGridLayout;
  auto* inputLabel = new QLabel(QStringLiteral("Input (Hex):"), this);
  auto* outputLabel = new QLabel(QStringLiteral("Output (Hex):"), this);
  grid->addWidget(inputLabel, 0, 0, 1, IoTestLogic::kShownWords);
  grid->addWidget(outputLabel, 3, 0, 1, IoTestLogic::kShownWords);
  for (int i = 0; i < IoTestLogic::kShownWords; ++i) {
    const QString n = QString::number(i + 1);
    inputs_[i] = new QLineEdit(this);
    inputs_[i]->setObjectName(QStringLiteral("inputEdit") + n);
    inputs_[i]->setReadOnly(true);
    inputs_[i]->setAccessibleName(QStringLiteral("Input word ") + n);
    outputs_[i] = new QLineEdit(this);
    outputs_[i]->setObjectName(QStringLiteral("outputEdit") + n);
    outputs_[i]->setAccessibleName(QStringLiteral("Output word ") + n);
    for (QLineEdit* e : {inputs_[i], outputs_[i]}) e->setMaximumWidth(56);
    // The word numbers above each row; Alt+number reaches an output field.
    auto* inputNumber = new QLabel(n, this);
    auto* outputNumber = new QLabel(QStringLiteral("&") + n, this);
    outputNumber->setBuddy(outputs_[i]);
    grid->addWidget(inputNumber, 1, i, Qt::AlignHCenter);
    grid->addWidget(inputs_[i], 2, i);
    grid->addWidget(outputNumber, 4, i, Qt::AlignHCenter);
    grid->addWidget(outputs_[i], 5, i);
  }
  // Tab: the inputs, then the outputs, each row from word 1.
  constexpr int kWords = IoTestLogic::kShownWords;
  auto field = [this](int k) { return k < kWords ? inputs_[k] : outputs_[k - kWords]; };
  for (int i = 1; i < 2 * kWords; ++i) setTabOrder(field(i - 1), field(i));

  auto* setOutput = new QPushButton(QStringLiteral("Set Output"), this);
  setOutput->setObjectName(QStringLiteral("setOutputButton"));
  setOutput->setDefault(true);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("closeButton"));
  close->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(setOutput);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  connect(setOutput, &QPushButton::clicked, this, &TestIoDialog::SetOutput);
  connect(close, &QPushButton::clicked, this, [this] {
    cycleTimer_.stop();
    accept();
  });
  outputs_[0]->setFocus();  // the fields the user types in
  cycleTimer_.setSingleShot(true);
  cycleTimer_.setInterval(IoTestLogic::kCyclePeriodMs);
  connect(&cycleTimer_, &QTimer::timeout, this, &TestIoDialog::Cycle);
  ShowFields();
}

void TestIoDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The first cycle one period after the window opens. Later show events
  // (a restore after minimising, perhaps while an exchange runs) start
  // nothing: the cycle restarts its own timer.
  if (opened_) return;
  opened_ = true;
  cycleTimer_.start();
}

void TestIoDialog::TakeFields() {
  for (int i = 0; i < IoTestLogic::kShownWords; ++i) logic_.outputTexts[i] = outputs_[i]->text().toStdString();
}

namespace {

// Setting a field's text moves its caret and drops its selection and undo
// history: only a text that changed is set.
void SetChanged(QLineEdit* field, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (field->text() != value) field->setText(value);
}

}  // namespace

void TestIoDialog::ShowFields() {
  for (int i = 0; i < IoTestLogic::kShownWords; ++i) {
    SetChanged(inputs_[i], logic_.inputTexts[i]);
    // The field the user is typing in keeps what is being typed.
    if (!outputs_[i]->hasFocus()) SetChanged(outputs_[i], logic_.outputTexts[i]);
  }
}

void TestIoDialog::Cycle() {
  // The timer is single-shot: stopped while the cycle runs, so cycles never
  // overlap, and started again from the end of this one. The exchange runs
  // off the user-interface thread; its messages follow on it, in order. An
  // expiry that arrives during the exchange (the nested wait runs timers)
  // starts no second cycle on the same connection and images.
  if (inCycle_) return;
  const QScopedValueRollback<bool> running(inCycle_, true);
  cycleTimer_.stop();
  TakeFields();
  IoTestLogic::Exchanged exchanged;
  RunOffUiThread([this, &exchanged] { exchanged = logic_.Exchange(); });
  const bool ok = logic_.Report(exchanged, messages_);
  ShowFields();
  if (!ok) {
    done(QDialog::Rejected);
    return;
  }
  if (isVisible()) cycleTimer_.start();
}

void TestIoDialog::SetOutput() {
  TakeFields();
  logic_.SetOutput(messages_);
}

void TestIoDialog::reject() {
  cycleTimer_.stop();
  QDialog::reject();
}

}  // namespace plinth
