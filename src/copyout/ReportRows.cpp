// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/ReportRows.h"

#include "copyout/ResultTexts.h"
#include "platform/Platform.h"

namespace korvello {

ReportRows::ReportRows(IPlatform& platform, QObject* parent)
    : QAbstractTableModel(parent), platform_(platform) {}

void ReportRows::Fill(const std::vector<std::string>* titles,
                      const std::vector<std::string>* outcomes) {
    const std::size_t count = titles != nullptr ? titles->size() : 0;
    std::size_t length = 0;
    for (std::size_t k = 0; k < count; ++k) {
        length += (*titles)[k].size();
        if (outcomes != nullptr && k < outcomes->size())
            length += (*outcomes)[k].size();
    }
    std::string texts;
    texts.reserve(length);
    std::vector<std::size_t> starts;
    starts.reserve(2 * count + 1);
    for (std::size_t k = 0; k < count; ++k) {
        starts.push_back(texts.size());
        texts += (*titles)[k];
        starts.push_back(texts.size());
        if (outcomes != nullptr && k < outcomes->size())
            texts += (*outcomes)[k];
    }
    starts.push_back(texts.size());
    beginResetModel();
    texts_ = std::move(texts);
    starts_ = std::move(starts);
    shownOutcomes_.clear();
    endResetModel();
}

int ReportRows::rowCount(const QModelIndex& parent) const {
    // Two starts per row and the end of the last.
    return parent.isValid() ? 0 : static_cast<int>(starts_.size() / 2);
}

int ReportRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

std::string_view ReportRows::Stored(int row, int column) const {
    const std::size_t cell = 2 * static_cast<std::size_t>(row) + static_cast<std::size_t>(column);
    return std::string_view(texts_).substr(starts_[cell], starts_[cell + 1] - starts_[cell]);
}

QString ReportRows::Text(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column > 1)
        return {};
    const std::string_view stored = Stored(row, column);
    if (column == 0)
        return QString::fromUtf8(stored.data(), static_cast<qsizetype>(stored.size()));
    if (const auto found = shownOutcomes_.constFind(row); found != shownOutcomes_.cend())
        return *found;
    std::string outcome(stored);
    // Paths are shown as the user knows them: in their Linux form.
    if (!IsResultText(outcome)) {
        std::string shown = platform_.DisplayPath(outcome);
        if (!shown.empty())
            outcome = std::move(shown);
    }
    QString text = QString::fromStdString(outcome);
    shownOutcomes_.insert(row, text);
    return text;
}

QVariant ReportRows::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return Text(index.row(), index.column());
}

QVariant ReportRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("Title");
    if (section == 1)
        return QStringLiteral("Copy path");
    return {};
}

} // namespace korvello
