#include "gui/xml_file_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace fenwix {

namespace {

// Rows shown without scrolling: a campaign is a few days.
constexpr int VISIBLE_ROWS = 3;

// The local files among dropped URLs.
QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files.append(url.toLocalFile());
  }
  return files;
}

}  // namespace

XmlFileList::XmlFileList(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("xmlFileListPanel"));
  setAcceptDrops(true);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("xmlFileList"));
  list_->setToolTip(QStringLiteral(
      "The Topcon XML files, read in this order as one job. Drop files here to add them."));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  setFocusProxy(list_);
  // The list takes drops through this widget, not as a reordering of its own.
  list_->setAcceptDrops(false);
  const int row_height = list_->fontMetrics().height() + 4;
  list_->setFixedHeight(VISIBLE_ROWS * row_height + 2 * list_->frameWidth() + 2);

  auto* add = new QPushButton(QStringLiteral("Add..."), this);
  add->setObjectName(QStringLiteral("xmlAddButton"));
  remove_ = new QPushButton(QStringLiteral("Remove"), this);
  remove_->setObjectName(QStringLiteral("xmlRemoveButton"));
  up_ = new QPushButton(QStringLiteral("Up"), this);
  up_->setObjectName(QStringLiteral("xmlUpButton"));
  down_ = new QPushButton(QStringLiteral("Down"), this);
  down_->setObjectName(QStringLiteral("xmlDownButton"));

  // Enter in the window means Close (or the focused button): none of these is a default.
  for (QPushButton* button : {add, remove_, up_, down_}) button->setAutoDefault(false);
  auto* buttons = new QVBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(2);
  auto* top = new QHBoxLayout;
  top->setSpacing(2);
  top->addWidget(add);
  top->addWidget(remove_);
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(2);
  bottom->addWidget(up_);
  bottom->addWidget(down_);
  buttons->addLayout(top);
  buttons->addLayout(bottom);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);

  connect(add, &QPushButton::clicked, this, [this] {
    if (chooser_) Append(chooser_());
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (row < 0) return;
    delete list_->takeItem(row);
    UpdateButtons();
    emit Changed();
  });
  connect(up_, &QPushButton::clicked, this, [this] { Move(-1); });
  connect(down_, &QPushButton::clicked, this, [this] { Move(1); });
  connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
  UpdateButtons();
}

void XmlFileList::SetFiles(const QStringList& files) {
  list_->clear();
  for (const QString& file : files) {
    if (!file.isEmpty()) list_->addItem(file);
  }
  UpdateButtons();
}

QStringList XmlFileList::Files() const {
  QStringList files;
  for (int i = 0; i < list_->count(); ++i) files.append(list_->item(i)->text());
  return files;
}

void XmlFileList::SetFirst(const QString& file) {
  if (list_->count() == 0) {
    if (!file.isEmpty()) list_->addItem(file);
  } else if (file.isEmpty() && list_->count() == 1) {
    list_->clear();
  } else {
    list_->item(0)->setText(file);
  }
  UpdateButtons();
}

QString XmlFileList::CurrentFile() const {
  const QListWidgetItem* item = list_->currentItem();
  if (item == nullptr && list_->count() > 0) item = list_->item(list_->count() - 1);
  return item == nullptr ? QString() : item->text();
}

void XmlFileList::Append(const QStringList& files) {
  const QStringList present = Files();
  bool added = false;
  for (const QString& file : files) {
    if (file.isEmpty() || present.contains(file) || QFileInfo(file).isDir()) continue;
    list_->addItem(file);
    added = true;
  }
  if (!added) return;
  list_->setCurrentRow(list_->count() - 1);
  UpdateButtons();
  emit Changed();
}

void XmlFileList::Move(int step) {
  const int row = list_->currentRow();
  const int to = row + step;
  if (row < 0 || to < 0 || to >= list_->count()) return;
  list_->insertItem(to, list_->takeItem(row));
  list_->setCurrentRow(to);
  UpdateButtons();
  emit Changed();
}

void XmlFileList::UpdateButtons() {
  const int row = list_->currentRow();
  remove_->setEnabled(row >= 0);
  up_->setEnabled(row > 0);
  down_->setEnabled(row >= 0 && row + 1 < list_->count());
}

void XmlFileList::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void XmlFileList::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedFiles(event->mimeData());
  if (files.isEmpty()) return;
  Append(files);
  event->acceptProposedAction();
}

}  // namespace fenwix
