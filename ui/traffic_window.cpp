#include "ui/traffic_window.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/help_window.h"

namespace plinth {

// The shown rows of the view as a table: state, time, kind, from, to,
// frame. An error shows the warning icon and the word "Error"; colours
// are the palette's.
class TrafficTableModel : public QAbstractTableModel {
 public:
  TrafficTableModel(TrafficView& view, QObject* parent) : QAbstractTableModel(parent), view_(view) {
    errorIcon_ = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
  }
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(view_.Shown().size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 6; }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    static const char* const heads[] = {"State", "Time", "Kind", "From", "To", "Frame"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 5) return {};
    return QString::fromLatin1(heads[section]);
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= view_.Shown().size()) return {};
    const TrafficRow& row = *view_.Shown()[static_cast<size_t>(index.row())];
    if (role == Qt::DecorationRole && index.column() == 0 && row.error) return errorIcon_;
    if (role == Qt::ToolTipRole && row.error) return QString::fromStdString(row.decoded.errorText);
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case 0: return row.error ? QStringLiteral("Error") : QString();
      case 1: return QString::fromStdString(row.time);
      case 2: return QString::fromStdString(row.kind);
      case 3: return QString::fromStdString(row.from);
      case 4: return QString::fromStdString(row.to);
      case 5: {
        std::string text = row.decoded.summary;
        if (row.error && text.find(row.decoded.errorText) == std::string::npos) text += ": " + row.decoded.errorText;
        return QString::fromStdString(text);
      }
    }
    return {};
  }
  // Rows the view added at the end and dropped at the front since the last poll.
  void Changed(size_t dropped, size_t added) {
    if (dropped) {
      beginRemoveRows({}, 0, static_cast<int>(dropped) - 1);
      endRemoveRows();
    }
    if (added) {
      const int end = static_cast<int>(view_.Shown().size());
      beginInsertRows({}, end - static_cast<int>(added), end - 1);
      endInsertRows();
    }
  }
  void Reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  TrafficView& view_;
  QIcon errorIcon_;
};

TrafficWindow::TrafficWindow(const TrafficLog* log, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), view_(log, log ? log->Capacity() : 1), prompts_(prompts) {
  setWindowTitle(QStringLiteral("Traffic"));
  SetHelpTopic(this, kHelpTraffic);
  setObjectName(QStringLiteral("trafficWindow"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setModal(false);

  auto* addressLabel = new QLabel(QStringLiteral("&Address:"), this);
  address_ = new QLineEdit(this);
  address_->setObjectName(QStringLiteral("trafficAddressEdit"));
  address_->setPlaceholderText(QStringLiteral("e.g. 192.168.0.7"));
  addressLabel->setBuddy(address_);
  auto* kindLabel = new QLabel(QStringLiteral("&Kind:"), this);
  kind_ = new QComboBox(this);
  kind_->setObjectName(QStringLiteral("trafficKindCombo"));
  for (const TrafficFilterChoice& choice : TrafficFilterChoices())
    kind_->addItem(QString::fromLatin1(choice.label), static_cast<int>(choice.kind));
  kindLabel->setBuddy(kind_);
  pause_ = new QPushButton(QStringLiteral("&Pause"), this);
  pause_->setObjectName(QStringLiteral("trafficPauseButton"));
  pause_->setCheckable(true);
  auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
  clear->setObjectName(QStringLiteral("trafficClearButton"));
  auto* save = new QPushButton(QStringLiteral("&Save..."), this);
  save->setObjectName(QStringLiteral("trafficSaveButton"));
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("trafficCloseButton"));
  for (QPushButton* b : {pause_, clear, save, close}) b->setAutoDefault(false);

  model_ = new TrafficTableModel(view_, this);
  table_ = new QTableView(this);
  table_->setObjectName(QStringLiteral("trafficTable"));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  for (auto [column, chars] : {std::pair{0, 8}, {1, 16}, {2, 8}, {3, 22}, {4, 22}}) table_->setColumnWidth(column, chars * digit);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("trafficStatusLabel"));
  if (!log) status_->setText(QStringLiteral("No traffic log in this program."));

  auto* filters = new QHBoxLayout;
  filters->addWidget(addressLabel);
  filters->addWidget(address_, 1);
  filters->addWidget(kindLabel);
  filters->addWidget(kind_);
  filters->addWidget(pause_);
  filters->addWidget(clear);
  filters->addWidget(save);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(table_, 1);
  layout->addLayout(bottom);
  // Reading order: filters, the table, then Close.
  setTabOrder(address_, kind_);
  setTabOrder(kind_, pause_);
  setTabOrder(pause_, clear);
  setTabOrder(clear, save);
  setTabOrder(save, table_);
  setTabOrder(table_, close);
  resize(980, 420);

  connect(address_, &QLineEdit::textChanged, this, &TrafficWindow::Refilter);
  connect(kind_, &QComboBox::currentIndexChanged, this, &TrafficWindow::Refilter);
  connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
    view_.SetPaused(paused);
    pause_->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    if (!paused) Poll();
  });
  connect(clear, &QPushButton::clicked, this, [this] {
    view_.Clear();
    model_->Reset();
  });
  connect(save, &QPushButton::clicked, this, &TrafficWindow::SaveCommand);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(&timer_, &QTimer::timeout, this, &TrafficWindow::Poll);
  timer_.start(200);
  Poll();
}

TrafficWindow::~TrafficWindow() = default;

void TrafficWindow::Poll() {
  QScrollBar* bar = table_->verticalScrollBar();
  const bool atBottom = bar->value() >= bar->maximum();
  if (view_.Poll()) {
    model_->Changed(view_.Dropped(), view_.Added());
    // Newest at the bottom: follow it unless the user scrolled up to read.
    if (atBottom) table_->scrollToBottom();
  }
  QString status = QStringLiteral("%1 shown").arg(view_.Shown().size());
  if (view_.Paused()) status += QStringLiteral(", paused");
  if (view_.Lost()) status += QStringLiteral(", %1 older entries no longer in the log").arg(view_.Lost());
  if (view_.Shown().size() || view_.Paused() || view_.Lost()) status_->setText(status);
}

void TrafficWindow::Refilter() {
  view_.SetAddressFilter(address_->text().trimmed().toStdString());
  view_.SetKindFilter(static_cast<TrafficFilterKind>(kind_->currentData().toInt()));
  model_->Reset();
  table_->scrollToBottom();
}

void TrafficWindow::SaveCommand() {
  const std::optional<std::string> path =
      prompts_.SaveOtherFile("Save Traffic", "Text (*.txt);;JSON Lines (*.jsonl);;Capture (*.pcap)", "txt");
  if (!path) return;
  std::string error;
  if (!view_.Save(*path, error)) prompts_.ShowMessage(*path + ": not saved: " + error);
}

void ShowTrafficWindow(UserPrompts& prompts) {
  static QPointer<TrafficWindow> window;
  if (!window) window = new TrafficWindow(ActiveTrafficLog(), prompts);
  // Qt blocks the input of every window outside the running modal window:
  // the traffic window becomes that window's child window, as help does.
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == window) owner = window->parentWidget();
  if (owner != window->parentWidget()) window->setParent(owner, window->windowFlags());
  window->show();
  window->raise();
  window->activateWindow();
}

bool TrafficKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_T && key->modifiers() == Qt::ControlModifier) {
      ShowTrafficWindow(prompts_);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace plinth
