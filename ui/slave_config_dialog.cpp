#include "ui/slave_config_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <iterator>

#include "ui/button_column.h"
#include "ui/help_window.h"
#include "ui/module_select_dialog.h"

namespace plinth {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

QLineEdit* SlaveConfigDialog::AddEdit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

SlaveConfigDialog::SlaveConfigDialog(SlaveConfigLogic& logic, const char* autoIpMode, UserPrompts& prompts,
                                     QWidget* parent)
    : QDialog(parent), logic_(logic), prompts_(prompts) {
  setWindowTitle(QStringLiteral("Slave Configuration"));
  setObjectName(QStringLiteral("slaveConfigDialog"));
  SetHelpTopic(this, kHelpSlaveConfiguration);

  node_ = AddEdit("nodeEdit");
  ip_ = AddEdit("ipEdit");
  mac_ = AddEdit("macEdit");
  moduleId_ = AddEdit("moduleIdEdit");
  name_ = AddEdit("nameEdit");
  description_ = AddEdit("descriptionEdit");
  input_ = AddEdit("inputEdit");
  output_ = AddEdit("outputEdit");
  param_ = AddEdit("paramEdit");
  autoIp_ = new QCheckBox(QStringLiteral("Auto IP-Address"), this);
  autoIp_->setObjectName(QStringLiteral("autoIpCheck"));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancelButton"));
  auto* connectButton = new QPushButton(QStringLiteral("Connect to module"), this);
  connectButton->setObjectName(QStringLiteral("connectButton"));
  auto* selectButton = new QPushButton(QStringLiteral("Module selection"), this);
  selectButton->setObjectName(QStringLiteral("moduleSelectionButton"));
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  help->setObjectName(QStringLiteral("helpButton"));

  auto* grid = new QGridLayout;
  int row = 0;
  // Each field is named by its label (its buddy), also for screen readers.
  auto label = [this](const char* text, QWidget* field) {
    auto* l = new QLabel(QString::fromLatin1(text), this);
    l->setBuddy(field);
    return l;
  };
  auto addRow = [&](const char* text, QWidget* field, QWidget* extra = nullptr) {
    grid->addWidget(label(text, field), row, 0);
    grid->addWidget(field, row, 1, 1, extra ? 1 : 2);
    if (extra) grid->addWidget(extra, row, 2);
    ++row;
  };
  addRow("Node", node_);
  addRow("IP Address", ip_, autoIp_);
  addRow("MAC Address", mac_);
  addRow("Module ID", moduleId_, selectButton);
  addRow("Name", name_);
  addRow("Description", description_);
  auto* words = new QHBoxLayout;
  words->addWidget(label("Input", input_));
  words->addWidget(input_);
  words->addWidget(label("Output", output_));
  words->addWidget(output_);
  words->addWidget(label("Param", param_));
  words->addWidget(param_);
  grid->addWidget(new QLabel(QStringLiteral("Words:"), this), row, 0);
  grid->addLayout(words, row, 1, 1, 2);

  PlaceBesideButtonColumn(*this, grid, {ok_, cancel_, connectButton, help});
  // Tab follows reading order: the fields row by row (Module selection
  // beside Module ID), then the column of buttons.
  QWidget* order[] = {node_, ip_,     autoIp_, mac_,          moduleId_, selectButton, name_, description_,
                      input_, output_, param_,  ok_,          cancel_,   connectButton, help};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  node_->installEventFilter(this);
  moduleId_->installEventFilter(this);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(ok_, &QPushButton::clicked, this, &SlaveConfigDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { ShowHelp(kHelpSlaveConfiguration); });
  connect(selectButton, &QPushButton::clicked, this, &SlaveConfigDialog::SelectModule);
  connect(autoIp_, &QCheckBox::clicked, this, [this](bool on) {
    TakeFields();
    logic_.SetAutoIp(on);
    ShowFields();
  });
  connect(connectButton, &QPushButton::clicked, this, [this] {
    TakeFields();
    if (logic_.ConnectToModule()) {
      QDialog::accept();
      return;
    }
    ShowFields();
  });

  logic_.Open(autoIpMode);
  autoIp_->setVisible(logic_.autoIpBoxVisible);
  ShowFields();
  logic_.showFields = [this] { ShowFields(); };
  resize(520, sizeHint().height());
}

SlaveConfigDialog::~SlaveConfigDialog() { logic_.showFields = nullptr; }

void SlaveConfigDialog::TakeFields() {
  SlaveRecord& r = logic_.record;
  r.node = S(node_);
  r.ipAddress = S(ip_);
  r.macAddress = S(mac_);
  r.moduleId = S(moduleId_);
  r.name = S(name_);
  r.description = S(description_);
  r.inputWords = S(input_);
  r.outputWords = S(output_);
  r.paramWords = S(param_);
  logic_.autoIp = autoIp_->isChecked();
}

void SlaveConfigDialog::ShowFields() {
  const SlaveRecord& r = logic_.record;
  node_->setText(Q(r.node));
  ip_->setText(Q(r.ipAddress));
  mac_->setText(Q(r.macAddress));
  moduleId_->setText(Q(r.moduleId));
  name_->setText(Q(r.name));
  description_->setText(Q(r.description));
  input_->setText(Q(r.inputWords));
  output_->setText(Q(r.outputWords));
  param_->setText(Q(r.paramWords));
  autoIp_->setChecked(logic_.autoIp);
  ip_->setEnabled(logic_.ipEditable);
  for (QLineEdit* e : {input_, output_, param_, name_, description_}) e->setEnabled(!logic_.moduleFieldsLocked);
}

void SlaveConfigDialog::accept() {
  TakeFields();
  bool ok = logic_.Accept();
  ShowFields();
  if (ok) QDialog::accept();
}

bool SlaveConfigDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && (watched == node_ || watched == moduleId_)) {
    // Only a move to another control of this dialog counts; a message box
    // or another window taking the focus does not.
    auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (!checking_ && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      QPointer<QWidget> target = QApplication::focusWidget();
      auto* field = static_cast<QLineEdit*>(watched);
      QTimer::singleShot(0, this, [this, field, target] { LeaveField(field, target); });
    }
  }
  return QDialog::eventFilter(watched, event);
}

void SlaveConfigDialog::LeaveField(QLineEdit* field, QWidget* target) {
  // OK checks every field itself; Cancel suppresses the check.
  if (target == ok_ || checking_) return;
  checking_ = true;
  TakeFields();
  bool toCancel = target == cancel_;
  bool valid = field == node_ ? logic_.LeaveNode(toCancel) : logic_.LeaveModuleId(toCancel);
  if (!valid) field->setFocus(Qt::OtherFocusReason);
  ShowFields();
  checking_ = false;
}

void SlaveConfigDialog::SelectModule() {
  TakeFields();
  ModuleSelectDialog select(this);
  if (select.exec() == QDialog::Accepted) logic_.ApplyModuleId(select.SelectedModuleId());
  ShowFields();
}

}  // namespace plinth
