#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// ReportRows, the rows of the copy report: each song's title and what became of it. The
// texts of a job are kept in one block, and a cell's text is made only when the view asks
// for it, so a job of 100,000 songs shows at once and costs a few bytes a row.

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvello {

class IPlatform;

class ReportRows : public QAbstractTableModel {
public:
    ReportRows(IPlatform& platform, QObject* parent);

    // The rows of a job: one per title; a song without an outcome (the outcomes may be
    // missing or shorter) has an empty one. Both lists are copied; they need not outlive
    // the call.
    void Fill(const std::vector<std::string>* titles, const std::vector<std::string>* outcomes);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // The cell's text as shown: the title, or the outcome with a copy's path in its Linux
    // form (a result text as it stands).
    QString Text(int row, int column) const;
    std::string_view Stored(int row, int column) const;

    IPlatform& platform_;
    // Title and outcome of every row, one after another; starts_[2 * row + column] is
    // where a cell's text begins, and the next entry where it ends (empty: no rows).
    std::string texts_;
    std::vector<std::size_t> starts_;
    // The shown outcomes made so far, by row: a path's Linux form may take a look at the
    // disk, which is done once per row.
    mutable QHash<int, QString> shownOutcomes_;
};

} // namespace korvello
