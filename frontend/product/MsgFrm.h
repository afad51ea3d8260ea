// MsgFrm: TMsgForm, the report window shown after a successful repair.
//
// Below the result message it lists the recovered messages: the main
// window's report cells grouped by the announced column count, the first
// group being the column headings. The list reads the main window's cell
// list on demand (it is not copied), so the main window keeps the cells
// until this window has closed.
#pragma once

#include "BrelMgfm.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>

class QFrame;
class QTreeView;

// The report cells as a table: rows are the cell groups after the heading
// group; a missing cell reads as an empty text.
class TReportModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TReportModel(const QStringList* Reports, int32_t ColCount, QObject* Parent = nullptr);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation,
                        int Role = Qt::DisplayRole) const override;

    // Text of column Col (0-based) of row Row (0-based, headings excluded).
    QString ReportListData(int Row, int Col) const;

private:
    QString Cell(qsizetype Index) const;

    const QStringList* FReports;
    int32_t FColCount;
};

class TMsgForm : public TBrelMsgForm {
    Q_OBJECT

public:
    TMsgForm(QWidget* AOwner, int32_t ColCount, const QStringList* Reports,
             const QString& SrcFileName, const QString& AMessage);

    QTreeView* ReportList() const { return FReportList; }
    TReportModel* Model() const { return FModel; }

protected:
    void ArrangeControls() override;

private:
    void SetColumnWidths();

    const QStringList* FReports;
    int32_t FColCount;
    QString FSrcFileName;
    QFrame* palReportList;
    QTreeView* FReportList;
    TReportModel* FModel;
};
