#include "logdlg.h"

#include "BrelUtils.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QToolTip>
#include <QVBoxLayout>

namespace {
const char kCaption[] = "Include S&ystem Information";
}

TSaveLogDialog::TSaveLogDialog(QWidget* owner) : QFileDialog(owner) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);

    FPanel = new QWidget(this);
    FPanel->setObjectName(QStringLiteral("InfoPanel"));
    auto* box = new QVBoxLayout(FPanel);
    box->setContentsMargins(0, 0, 0, 0);
    FSysInfoCheck = new QCheckBox(QString::fromLatin1(kCaption), FPanel);
    FSysInfoCheck->setObjectName(QStringLiteral("SystemInfoCheckBox"));
    FSysInfoCheck->setToolTip(QStringLiteral("Include system information in the log file"));
    FSysInfoCheck->setChecked(true);
    box->addWidget(FSysInfoCheck, 0, Qt::AlignTop);

    // Qt's own dialog lays its controls out in a grid: the panel takes a new
    // row below them, across the whole width.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(FPanel, grid->rowCount(), 0, 1, grid->columnCount());
    else if (layout())
        layout()->addWidget(FPanel);
}

TSaveLogDialog::~TSaveLogDialog() = default;

bool TSaveLogDialog::Execute() {
    return exec() == QDialog::Accepted && !FileName().isEmpty();
}

QString TSaveLogDialog::FileName() const {
    return selectedFiles().value(0);
}

bool TSaveLogDialog::IncludeSysInfo() const {
    return FSysInfoCheck->isChecked();
}

void TSaveLogDialog::SetIncludeSysInfo(bool value) {
    FSysInfoCheck->setChecked(value);
}

void TSaveLogDialog::SetFilter(const QString& filter) {
    setNameFilters(FilterToNameFilters(filter));
}

void TSaveLogDialog::showEvent(QShowEvent* event) {
    FSysInfoCheck->setText(QString::fromLatin1(kCaption));
    QFileDialog::showEvent(event);
}

void TSaveLogDialog::done(int result) {
    QToolTip::hideText();
    QFileDialog::done(result);
}
