#include "MsgFrm.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include <algorithm>

namespace {
constexpr int kListWidth = 480;
constexpr int kListTop = 12;       // gap between the message and the list
constexpr int kCloseOffset = 502;  // close button below the message's bottom
constexpr int kExtraHeight = 559;  // window height beyond message and button
}  // namespace

// ---------------------------------------------------------------------------
// TReportModel

TReportModel::TReportModel(const QStringList* Reports, int32_t ColCount, QObject* Parent)
    : QAbstractTableModel(Parent), FReports(Reports), FColCount(ColCount) {}

QString TReportModel::Cell(qsizetype Index) const {
    if (!FReports || Index < 0 || Index >= FReports->size())
        return QString();
    return FReports->at(Index);
}

int TReportModel::rowCount(const QModelIndex& Parent) const {
    if (Parent.isValid() || FColCount <= 0 || !FReports)
        return 0;
    // The first group of cells is the heading row; a trailing partial group
    // is not shown.
    return int(std::max<qsizetype>(FReports->size() / FColCount - 1, 0));
}

int TReportModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : std::max(FColCount, 0);
}

QString TReportModel::ReportListData(int Row, int Col) const {
    return Cell(qsizetype(Row + 1) * FColCount + Col);
}

QVariant TReportModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Role != Qt::DisplayRole)
        return QVariant();
    return ReportListData(Index.row(), Index.column());
}

QVariant TReportModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return QVariant();
    return Cell(Section);
}

// ---------------------------------------------------------------------------
// TMsgForm

TMsgForm::TMsgForm(QWidget* AOwner, int32_t ColCount, const QStringList* Reports,
                   const QString& SrcFileName, const QString& AMessage)
    : TBrelMsgForm(AOwner,
                   AMessage + QStringLiteral("<BR><BR><B>Below are all the recovered messages:</B>")),
      FReports(Reports),
      FColCount(ColCount),
      FSrcFileName(SrcFileName) {
    imgIcon->hide();

    palReportList = new QFrame(this);
    palReportList->setObjectName(QStringLiteral("palReportList"));
    palReportList->setFrameShape(QFrame::StyledPanel);
    FReportList = new QTreeView(palReportList);
    FReportList->setObjectName(QStringLiteral("ReportList"));
    FReportList->setRootIsDecorated(false);
    FReportList->setUniformRowHeights(true);
    FReportList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FReportList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FReportList->setAllColumnsShowFocus(true);
    FReportList->header()->setStretchLastSection(false);
    FModel = new TReportModel(FReports, FColCount, this);
    FReportList->setModel(FModel);
    palReportList->resize(kListWidth, kCloseOffset - 2 * kListTop);
    FReportList->setGeometry(palReportList->contentsRect());
    SetColumnWidths();
}

void TMsgForm::SetColumnWidths() {
    if (FColCount <= 0)
        return;
    const int width = std::max(FReportList->width() / FColCount, 90);
    for (int i = 0; i < FColCount; ++i)
        FReportList->header()->resizeSection(i, width);
    FReportList->header()->resizeSection(0, 85);
    if (FColCount > 1)
        FReportList->header()->resizeSection(1, 370);
}

void TMsgForm::ArrangeControls() {
    TBrelMsgForm::ArrangeControls();
    const int labelBottom = labMsg->geometry().bottom() + 1;
    const int width = std::max(labMsg->x() + kMessageWidth, labMsg->x() + kListWidth) + 24;
    palReportList->move(labMsg->x(), labelBottom + kListTop);
    btnClose->move((width - btnClose->width()) / 2, labelBottom + kCloseOffset);
    setFixedSize(width, labMsg->height() + btnClose->height() + kExtraHeight);
}
