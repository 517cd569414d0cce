#include "ui/plant_check_window.h"

#include <QBuffer>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstring>

#include "base/atomic_file.h"
#include "base/text_scan.h"
#include "logic/check_report_formats.h"
#include "ui/button_column.h"
#include "ui/help_window.h"
#include "ui/main_dialog.h"

namespace plinth {
namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Every state has an icon of the desktop's theme beside its words, so that
// nothing is told by colour alone.
QIcon StateIcon(const QStyle& style, CheckRowState state) {
  switch (state) {
    case CheckRowState::kNotChecked: return {};
    case CheckRowState::kMatch: return style.standardIcon(QStyle::SP_DialogApplyButton);
    case CheckRowState::kDiffers: return style.standardIcon(QStyle::SP_MessageBoxWarning);
    case CheckRowState::kNotCheckable: return style.standardIcon(QStyle::SP_MessageBoxQuestion);
    case CheckRowState::kNotInList: return style.standardIcon(QStyle::SP_MessageBoxInformation);
    case CheckRowState::kTaken:
    case CheckRowState::kAdded: return style.standardIcon(QStyle::SP_DialogSaveButton);
  }
  return {};
}

QPushButton* Button(QWidget* parent, const char* label, const char* name) {
  auto* button = new QPushButton(QString::fromUtf8(label), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

// The report's page laid out by Qt's rich text, on any paged device.
void PrintReport(const CheckReport& report, QPagedPaintDevice& device) {
  QTextDocument document;
  document.setHtml(Q(ReportHtml(report)));
  document.print(&device);
}

}  // namespace

// The main window's list as the check window changes it: through the same
// steps as an edit and an Add.
class PlantCheckWindow::ListAdapter : public CheckedList {
 public:
  explicit ListAdapter(MainDialog& main) : main_(main) {}
  const DataList& Slaves() const override { return main_.Config().dataList; }
  bool ReplaceSlave(int row, const SlaveRecord& r) override { return main_.ReplaceSlave(row, r); }
  bool AppendSlave(const SlaveRecord& r) override { return main_.AppendSlave(r); }

 private:
  MainDialog& main_;
};

PlantCheckWindow::PlantCheckWindow(MainDialog& main, PlantCheckOptions options, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      main_(main),
      options_(options),
      prompts_(prompts),
      list_(std::make_unique<ListAdapter>(main)),
      logic_(*list_, prompts) {
  setObjectName(QStringLiteral("plantCheckWindow"));
  setWindowTitle(QStringLiteral("Plant check"));
  SetHelpTopic(this, kHelpPlantCheck);

  main_.ControlsToFields();
  sweep_ = new QCheckBox(QStringLiteral("S&weep the master's network for modules not in the list"), this);
  sweep_->setObjectName(QStringLiteral("sweepCheck"));
  sweep_->setChecked(options_.sweep);
  const std::string master = main_.MasterIpText();
  const auto network = SweepNetwork(master);
  network_ = new QLabel(this);
  network_->setText(network ? QStringLiteral("Master %1, network %2/24, port %3")
                                  .arg(Q(master), Q(FormatIpv4(*network)), QString::number(options_.port))
                            : QStringLiteral("The master's IP-Address cannot be read: no sweep."));
  sweep_->setEnabled(network.has_value());

  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("checkProgress"));
  bar_->setFormat(QStringLiteral("%v of %m addresses"));
  bar_->setRange(0, 1);
  bar_->setValue(0);

  table_ = new QTreeWidget(this);
  table_->setObjectName(QStringLiteral("resultTable"));
  table_->setHeaderLabels({QStringLiteral("Node"), QStringLiteral("IP Address"), QStringLiteral("Result"),
                           QStringLiteral("Expected"), QStringLiteral("Found")});
  table_->setRootIsDecorated(false);
  table_->setUniformRowHeights(true);
  table_->setAlternatingRowColors(true);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setAllColumnsShowFocus(true);
  const int em = fontMetrics().averageCharWidth();
  for (int c = 0; const int chars : {6, 15, 52, 40, 40}) table_->header()->resizeSection(c++, chars * em);
  auto* results = new QLabel(QStringLiteral("Res&ults"), this);
  results->setBuddy(table_);
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("summaryLabel"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  checkButton_ = Button(this, "&Check", "checkButton");
  checkButton_->setDefault(true);
  cancelButton_ = Button(this, "Cancel", "cancelButton");
  takeButton_ = Button(this, "&Take found values", "takeButton");
  addButton_ = Button(this, "&Add to list", "addButton");
  saveButton_ = Button(this, "Save &report...", "saveReportButton");
  printButton_ = Button(this, "&Print...", "printButton");
  pdfButton_ = Button(this, "Save as P&DF...", "pdfButton");
  closeButton_ = Button(this, "Cl&ose", "closeButton");

  auto* left = new QVBoxLayout;
  left->addWidget(sweep_);
  left->addWidget(network_);
  left->addWidget(bar_);
  left->addWidget(results);
  left->addWidget(table_, 1);
  left->addWidget(summary_);
  PlaceBesideButtonColumn(*this, left,
                          {checkButton_, cancelButton_, takeButton_, addButton_, saveButton_, printButton_, pdfButton_,
                           closeButton_});
  // Reading order: the sweep, the results, then the buttons from the top.
  setTabOrder(sweep_, table_);
  setTabOrder(table_, checkButton_);
  resize(1240, 520);

  connect(checkButton_, &QPushButton::clicked, this, &PlantCheckWindow::StartCheck);
  connect(cancelButton_, &QPushButton::clicked, this, &PlantCheckWindow::CancelCheck);
  connect(takeButton_, &QPushButton::clicked, this, &PlantCheckWindow::TakeFoundValues);
  connect(addButton_, &QPushButton::clicked, this, &PlantCheckWindow::AddToList);
  connect(saveButton_, &QPushButton::clicked, this, &PlantCheckWindow::SaveReport);
  connect(printButton_, &QPushButton::clicked, this, &PlantCheckWindow::Print);
  connect(pdfButton_, &QPushButton::clicked, this, &PlantCheckWindow::SaveAsPdf);
  connect(closeButton_, &QPushButton::clicked, this, &PlantCheckWindow::reject);
  connect(table_, &QTreeWidget::itemSelectionChanged, this, &PlantCheckWindow::UpdateButtons);
  connect(&poll_, &QTimer::timeout, this, &PlantCheckWindow::Poll);
  Refresh();
}

// The check's threads end within moments once cancelled; the check waits for them.
PlantCheckWindow::~PlantCheckWindow() = default;

void PlantCheckWindow::StartCheck() {
  if (check_) return;
  PlantCheckOptions options = options_;
  options.sweep = sweep_->isEnabled() && sweep_->isChecked();
  main_.ControlsToFields();
  // The file is that of the list as the check takes it, not as it is once the check ends.
  checkedFile_ = CheckRecord{};
  DescribeWindowFile(checkedFile_, main_.ConfigPath(), main_.Config());
  check_ = std::make_unique<PlantCheck>(logic_.Snapshot(), main_.MasterIpText(), options);
  if (!check_->Start()) {
    check_.reset();
    prompts_.ShowMessage("Check thread failed!");
    return;
  }
  bar_->setRange(0, std::max(1, check_->Total()));
  bar_->setValue(0);
  summary_->setText(QStringLiteral("Checking..."));
  poll_.start(kPollMs);
  UpdateButtons();
}

void PlantCheckWindow::CancelCheck() {
  if (check_) check_->Cancel();  // the next poll sees the workers end
}

void PlantCheckWindow::Poll() {
  if (!check_) return;
  bar_->setValue(check_->Done());
  if (!check_->WaitUntilDone(std::chrono::milliseconds(0))) return;
  poll_.stop();
  if (check_->Cancelled()) {
    summary_->setText(logic_.HasReport()
                          ? QStringLiteral("Check cancelled; the results shown are those of the check before.")
                          : QStringLiteral("Check cancelled."));
  } else {
    CheckReport report = check_->Report();
    report.record.filePath = checkedFile_.filePath;
    report.record.fileSize = checkedFile_.fileSize;
    report.record.fileChecksum = checkedFile_.fileChecksum;
    report.record.unsavedChanges = checkedFile_.unsavedChanges;
    logic_.SetReport(std::move(report));
    Refresh();
  }
  check_.reset();
  UpdateButtons();
  if (closeWhenDone_) QDialog::reject();
}

void PlantCheckWindow::Refresh() {
  const QStyle& style = *this->style();
  table_->clear();
  for (const CheckRow& row : logic_.Rows()) {
    auto* item = new QTreeWidgetItem(table_, {Q(row.node), Q(row.ipAddress), Q(row.result), Q(row.expected), Q(row.found)});
    item->setIcon(2, StateIcon(style, row.state));
    item->setToolTip(2, Q(row.result));
  }
  summary_->setText(Q(logic_.Summary()));
  UpdateButtons();
}

std::vector<int> PlantCheckWindow::SelectedRows() const {
  std::vector<int> rows;
  for (int i = 0; i < table_->topLevelItemCount(); ++i)
    if (table_->topLevelItem(i)->isSelected()) rows.push_back(i);
  return rows;
}

void PlantCheckWindow::UpdateButtons() {
  const bool running = check_ != nullptr;
  const bool report = logic_.HasReport() && !running;
  const std::vector<int> selected = SelectedRows();
  checkButton_->setEnabled(!running);
  sweep_->setEnabled(!running && SweepNetwork(main_.MasterIpText()).has_value());
  cancelButton_->setEnabled(running);
  takeButton_->setEnabled(report && logic_.CanTake(selected));
  addButton_->setEnabled(report && logic_.CanAdd(selected));
  for (QPushButton* b : {saveButton_, printButton_, pdfButton_}) b->setEnabled(report);
}

void PlantCheckWindow::TakeFoundValues() {
  logic_.TakeFoundValues(SelectedRows());
  Refresh();
}

void PlantCheckWindow::AddToList() {
  logic_.AddToList(SelectedRows());
  Refresh();
}

void PlantCheckWindow::SaveReport() { logic_.SaveReport(); }

void PlantCheckWindow::Print() {
  if (!logic_.HasReport()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) PrintReport(logic_.Report(), printer);
}

void PlantCheckWindow::SaveAsPdf() {
  if (!logic_.HasReport()) return;
  const std::optional<std::string> path = prompts_.SaveOtherFile("Save as PDF", "PDF (*.pdf)", "pdf");
  if (!path) return;
  // Drawn in memory, then written as the other reports are: whole or not at all.
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setTitle(QStringLiteral("Commissioning report"));
    PrintReport(logic_.Report(), writer);
  }
  const QByteArray& bytes = pdf.data();
  int reason = 0;
  if (WriteFileAtomically(*path, std::vector<uint8_t>(bytes.begin(), bytes.end()), &reason) != WriteFileError::None)
    prompts_.ShowMessage(*path + ": cannot write: " + std::strerror(reason));
}

void PlantCheckWindow::reject() {
  if (!check_) {
    QDialog::reject();
    return;
  }
  closeWhenDone_ = true;
  CancelCheck();
}

}  // namespace plinth
