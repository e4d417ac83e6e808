#include "gui/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "adjust/sparse_normals.h"
#include "gui/converter_app.h"

namespace fenwix {

namespace {
// Side of the icon in the About box, in pixels.
constexpr int ICON_SIZE = 48;
}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(QStringLiteral("About Fenwix"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* icon = new QLabel;
  icon->setObjectName(QStringLiteral("iconLabel"));
  icon->setPixmap(ProgramIcon().pixmap(ICON_SIZE, ICON_SIZE));
  auto* version = new QLabel(QStringLiteral("Fenwix Version " FENWIX_VERSION));
  version->setObjectName(QStringLiteral("versionLabel"));
  // The same build line as --version prints.
  auto* build = new QLabel(QStringLiteral("Built with the %1 ordering for the adjustment test")
                               .arg(QString::fromUtf8(BuildOrderingName())));
  build->setObjectName(QStringLiteral("buildLabel"));
  auto* licence =
      new QLabel(QStringLiteral("Copyright (c) 2026 The Fenwix developers\n"
                                "Released under the MIT licence (the file LICENSE).\n"
                                "Uses Qt (LGPL-3), Expat (MIT) and {fmt} (MIT)."));
  licence->setObjectName(QStringLiteral("licenceLabel"));
  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(ICON_SIZE / 3);
  auto* text = new QVBoxLayout;
  text->addWidget(version);
  text->addWidget(build);
  text->addWidget(licence);
  row->addLayout(text, 1);
  row->addWidget(ok, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace fenwix
