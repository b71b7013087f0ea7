// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/GridModel.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>

namespace korvello {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's collator orders the C locale by code point, letter case included ("Zoo" before
// "apple"); the English collation is ICU's root order and ignores case as asked.
QCollator SortCollator() {
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The sort keys of one column's cells, made once per cell: a number, or a collation key
// of the text, so the sort itself only compares numbers and byte strings.
class ColumnSortKeys {
public:
    explicit ColumnSortKeys(int count)
        : numbers_(static_cast<std::size_t>(count), 0.0),
          textKeyOf_(static_cast<std::size_t>(count), -1) {}

    void Set(int i, std::string_view text, const QCollator& collator) {
        double value = 0;
        if (ParseGridNumber(text, value)) {
            numbers_[static_cast<std::size_t>(i)] = value;
        } else {
            textKeyOf_[static_cast<std::size_t>(i)] = static_cast<int>(textKeys_.size());
            textKeys_.push_back(collator.sortKey(ToQString(text)));
        }
    }

    // Numbers first, then texts: comparing a number with a text as text while comparing
    // two numbers by value would not be a consistent order ("9" < "10" < "1a" < "9").
    bool Less(int a, int b) const {
        const int ka = textKeyOf_[static_cast<std::size_t>(a)];
        const int kb = textKeyOf_[static_cast<std::size_t>(b)];
        if ((ka < 0) != (kb < 0))
            return ka < 0;
        if (ka < 0)
            return numbers_[static_cast<std::size_t>(a)] < numbers_[static_cast<std::size_t>(b)];
        return textKeys_[static_cast<std::size_t>(ka)].compare(
                   textKeys_[static_cast<std::size_t>(kb)]) < 0;
    }

    // The cells' indexes in sorted order; equal cells keep their order.
    std::vector<int> Order(bool ascending) const {
        std::vector<int> order(numbers_.size());
        std::iota(order.begin(), order.end(), 0);
        if (ascending)
            std::stable_sort(order.begin(), order.end(),
                             [this](int a, int b) { return Less(a, b); });
        else
            std::stable_sort(order.begin(), order.end(),
                             [this](int a, int b) { return Less(b, a); });
        return order;
    }

private:
    std::vector<double> numbers_;
    std::vector<int> textKeyOf_; // index into textKeys_, or -1 for a number
    std::vector<QCollatorSortKey> textKeys_;
};

// A row's cell block: the cell count, each cell's end (all uint32), then the cells' bytes.
std::uint32_t ReadCount(const char* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint32_t CellCount(const char* block) {
    return block == nullptr ? 0 : ReadCount(block);
}

std::string_view CellOf(const char* block, std::size_t col) {
    const std::uint32_t count = CellCount(block);
    if (col >= count)
        return {};
    const char* ends = block + sizeof(std::uint32_t);
    const std::uint32_t begin = col == 0 ? 0 : ReadCount(ends + (col - 1) * sizeof(std::uint32_t));
    const std::uint32_t end = ReadCount(ends + col * sizeof(std::uint32_t));
    const char* text = ends + count * sizeof(std::uint32_t);
    return std::string_view(text + begin, end - begin);
}

// A block of `count` cells, cell c being cellAt(c); trailing empty cells are not stored,
// and a row of empty cells holds no block at all.
template <class CellAt> std::unique_ptr<char[]> MakeCells(std::size_t count, CellAt cellAt) {
    while (count > 0 && cellAt(count - 1).empty())
        --count;
    if (count == 0)
        return nullptr;
    std::size_t length = 0;
    for (std::size_t c = 0; c < count; ++c)
        length += cellAt(c).size();
    const std::size_t header = (count + 1) * sizeof(std::uint32_t);
    auto block = std::make_unique_for_overwrite<char[]>(header + length);
    const auto count32 = static_cast<std::uint32_t>(count);
    std::memcpy(block.get(), &count32, sizeof count32);
    char* ends = block.get() + sizeof(std::uint32_t);
    char* text = block.get() + header;
    std::uint32_t end = 0;
    for (std::size_t c = 0; c < count; ++c) {
        const std::string_view cell = cellAt(c);
        if (!cell.empty())
            std::memcpy(text + end, cell.data(), cell.size());
        end += static_cast<std::uint32_t>(cell.size());
        std::memcpy(ends + c * sizeof(std::uint32_t), &end, sizeof end);
    }
    return block;
}

} // namespace

bool ParseGridNumber(std::string_view text, double& value) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    std::size_t i = begin;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Checked by hand first: from_chars alone would also take "inf", "nan" and exponents,
    // and a title such as "Inf" must stay text.
    const std::size_t digitsBegin = i;
    bool anyDigit = false;
    bool point = false;
    for (; i < end; ++i) {
        if (IsDigit(text[i])) {
            anyDigit = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!anyDigit)
        return false;
    double parsed = 0;
    const auto result = std::from_chars(text.data() + digitsBegin, text.data() + end, parsed,
                                        std::chars_format::fixed);
    if (result.ec != std::errc() || result.ptr != text.data() + end)
        return false;
    value = negative ? -parsed : parsed;
    return true;
}

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

bool GridModel::InRange(int col, int row) const {
    return col >= 0 && col < colCount_ && row >= 0 && row < RowCount();
}

std::string_view GridModel::Cell(int col, int row) const {
    if (!InRange(col, row))
        return {};
    Row& r = rows_[static_cast<std::size_t>(row)];
    WriteWaitingRow(r);
    return CellOf(r.cells.get(), static_cast<std::size_t>(col));
}

void GridModel::SetCell(int col, int row, const std::string& text) {
    if (!InRange(col, row))
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    WriteWaitingRow(r);
    const auto c = static_cast<std::size_t>(col);
    const std::uint32_t count = CellCount(r.cells.get());
    if (c >= count && text.empty())
        return;
    const char* old = r.cells.get();
    r.cells = MakeCells(std::max<std::size_t>(count, c + 1), [&](std::size_t k) {
        return k == c ? std::string_view(text) : CellOf(old, k);
    });
    CellChanged(col, row, {Qt::DisplayRole});
}

void GridModel::WriteTexts(Row& r, std::span<const std::string> texts) const {
    const std::size_t count = std::min(texts.size(), static_cast<std::size_t>(colCount_));
    r.cells = MakeCells(count, [&](std::size_t c) { return std::string_view(texts[c]); });
}

void GridModel::WriteWaitingRow(Row& r) const {
    if (r.record < 0)
        return;
    const std::int32_t record = r.record;
    r.record = -1;
    --waitingRows_;
    scratch_.clear();
    if (textsSource_)
        textsSource_(record, scratch_);
    WriteTexts(r, scratch_);
}

void GridModel::StopWaiting(Row& r) {
    if (r.record >= 0) {
        r.record = -1;
        --waitingRows_;
    }
}

void GridModel::SetRowTexts(int row, std::span<const std::string> texts) {
    if (row < 0 || row >= RowCount())
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    StopWaiting(r);
    WriteTexts(r, texts);
    RowTextsChanged(row);
}

void GridModel::RowTextsChanged(int row) {
    if (Updating())
        return;
    if (row >= HeaderRows())
        RowsChanged(row, row, {Qt::DisplayRole});
    else if (colCount_ > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, colCount_ - 1);
}

void GridModel::SetTextsSource(TextsSource source) {
    textsSource_ = std::move(source);
}

void GridModel::SetRowRecord(int row, std::int32_t record) {
    if (row < 0 || row >= RowCount() || record < 0)
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    StopWaiting(r);
    r.cells.reset();
    r.record = record;
    ++waitingRows_;
    RowTextsChanged(row);
}

void GridModel::WriteWaitingRows() {
    for (Row& r : rows_) {
        if (waitingRows_ == 0)
            break;
        WriteWaitingRow(r);
    }
}

QPixmap GridModel::Picture(int col, int row) const {
    if (!InRange(col, row))
        return {};
    const std::int32_t set = rows_[static_cast<std::size_t>(row)].pictures;
    if (set < 0)
        return {};
    for (const auto& [c, picture] : pictureSets_[static_cast<std::size_t>(set)]) {
        if (c == col)
            return picture;
    }
    return {};
}

std::int32_t GridModel::InternPictures(const PictureSet& set) {
    if (set.empty())
        return -1;
    std::vector<std::pair<int, qint64>> signature;
    signature.reserve(set.size());
    for (const auto& [col, picture] : set)
        signature.emplace_back(col, picture.cacheKey());
    const auto [it, added] = pictureSetOf_.try_emplace(
        std::move(signature), static_cast<std::int32_t>(pictureSets_.size()));
    if (added)
        pictureSets_.push_back(set);
    return it->second;
}

void GridModel::SetPicture(int col, int row, const QPixmap& picture) {
    if (!InRange(col, row))
        return;
    Row& r = rows_[static_cast<std::size_t>(row)];
    const qint64 key = picture.isNull() ? 0 : picture.cacheKey();
    if (lastChange_.from == r.pictures && lastChange_.col == col && lastChange_.key == key &&
        !picture.isNull()) {
        r.pictures = lastChange_.to;
        CellChanged(col, row, {Qt::DecorationRole});
        return;
    }
    PictureSet pictures =
        r.pictures < 0 ? PictureSet() : pictureSets_[static_cast<std::size_t>(r.pictures)];
    auto it = std::find_if(pictures.begin(), pictures.end(),
                           [col](const auto& entry) { return entry.first == col; });
    if (picture.isNull()) {
        if (it == pictures.end())
            return;
        pictures.erase(it);
    } else if (it == pictures.end()) {
        pictures.emplace_back(col, picture);
    } else {
        it->second = picture;
    }
    const std::int32_t from = r.pictures;
    r.pictures = InternPictures(pictures);
    if (!picture.isNull())
        lastChange_ = {from, col, key, r.pictures};
    CellChanged(col, row, {Qt::DecorationRole});
}

void GridModel::ClearCells() {
    for (auto& row : rows_) {
        row.cells.reset();
        row.pictures = -1;
        row.record = -1;
    }
    pictureSets_.clear();
    pictureSetOf_.clear();
    lastChange_ = PictureChange();
    waitingRows_ = 0;
    if (Updating())
        return;
    if (HeaderRows() > 0 && colCount_ > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, colCount_ - 1);
    RowsChanged(HeaderRows(), RowCount() - 1, {Qt::DisplayRole, Qt::DecorationRole});
}

void GridModel::SetRowCount(int rows) {
    rows = std::max(rows, 0);
    const int old = RowCount();
    if (rows == old)
        return;
    const int header = HeaderRows();
    const int oldModelRows = std::max(old - header, 0);
    const int newModelRows = std::max(rows - header, 0);
    const bool signal = !Updating() && oldModelRows != newModelRows;
    if (rows < old) {
        if (signal)
            beginRemoveRows(QModelIndex(), newModelRows, oldModelRows - 1);
        for (int r = rows; r < old; ++r) {
            markedCount_ -= marks_[static_cast<std::size_t>(r)] ? 1 : 0;
            waitingRows_ -= rows_[static_cast<std::size_t>(r)].record >= 0 ? 1 : 0;
        }
        rows_.resize(static_cast<std::size_t>(rows));
        marks_.resize(static_cast<std::size_t>(rows));
        if (signal)
            endRemoveRows();
    } else {
        if (signal)
            beginInsertRows(QModelIndex(), oldModelRows, newModelRows - 1);
        rows_.resize(static_cast<std::size_t>(rows));
        marks_.resize(static_cast<std::size_t>(rows), 0);
        if (signal)
            endInsertRows();
    }
    // The header row appearing or going away changes the header's texts.
    if (!Updating() && header > 0 && (old == 0 || rows == 0) && colCount_ > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, colCount_ - 1);
}

void GridModel::SetColCount(int cols) {
    cols = std::max(cols, 0);
    const int old = colCount_;
    if (cols == old)
        return;
    if (cols < old) {
        // Header sections exist whether or not there are rows, so the header hears of
        // every column change through the column signals.
        // A waiting row gets its texts at the old width, then loses those past the new one.
        WriteWaitingRows();
        if (!Updating())
            beginRemoveColumns(QModelIndex(), cols, old - 1);
        colCount_ = cols;
        // Each picture set loses its pictures past the new width once; rows follow.
        std::vector<std::int32_t> cutSet(pictureSets_.size());
        for (std::size_t set = 0; set < cutSet.size(); ++set) {
            PictureSet cut = pictureSets_[set];
            std::erase_if(cut, [cols](const auto& entry) { return entry.first >= cols; });
            cutSet[set] = InternPictures(cut);
        }
        lastChange_ = PictureChange();
        for (auto& row : rows_) {
            const char* wide = row.cells.get();
            if (CellCount(wide) > static_cast<std::uint32_t>(cols))
                row.cells = MakeCells(static_cast<std::size_t>(cols),
                                      [wide](std::size_t c) { return CellOf(wide, c); });
            if (row.pictures >= 0)
                row.pictures = cutSet[static_cast<std::size_t>(row.pictures)];
        }
        if (!Updating())
            endRemoveColumns();
    } else {
        if (!Updating())
            beginInsertColumns(QModelIndex(), old, cols - 1);
        colCount_ = cols;
        if (!Updating())
            endInsertColumns();
    }
}

void GridModel::SetFixedRows(int n) {
    n = std::max(n, 0);
    if (n == fixedRows_)
        return;
    const bool headerChanges = (n > 0) != (fixedRows_ > 0);
    if (headerChanges && !Updating()) {
        beginResetModel();
        fixedRows_ = n;
        endResetModel();
        return;
    }
    fixedRows_ = n;
    RowsChanged(HeaderRows(), RowCount() - 1);
}

void GridModel::SetFixedCols(int n) {
    n = std::max(n, 0);
    if (n == fixedCols_)
        return;
    fixedCols_ = n;
    RowsChanged(HeaderRows(), RowCount() - 1);
}

bool GridModel::Marked(int row) const {
    return row >= 0 && row < RowCount() && marks_[static_cast<std::size_t>(row)] != 0;
}

void GridModel::SetMarkSilently(int row, bool marked) {
    char& mark = marks_[static_cast<std::size_t>(row)];
    if ((mark != 0) == marked)
        return;
    mark = marked ? 1 : 0;
    markedCount_ += marked ? 1 : -1;
}

void GridModel::SetMarked(int row, bool marked) {
    if (row < 0 || row >= RowCount() || Marked(row) == marked)
        return;
    SetMarkSilently(row, marked);
    RowsChanged(row, row, {Qt::BackgroundRole, Qt::ForegroundRole});
}

void GridModel::MarkRange(int first, int last, bool marked) {
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 0);
    last = std::min(last, RowCount() - 1);
    if (first > last)
        return;
    int changedFirst = -1;
    int changedLast = -1;
    for (int r = first; r <= last; ++r) {
        if (Marked(r) == marked)
            continue;
        SetMarkSilently(r, marked);
        if (changedFirst < 0)
            changedFirst = r;
        changedLast = r;
    }
    if (changedFirst >= 0)
        RowsChanged(changedFirst, changedLast, {Qt::BackgroundRole, Qt::ForegroundRole});
}

void GridModel::ClearMarks() {
    ReplaceMarks({});
}

void GridModel::ReplaceMarks(const std::vector<char>& marks) {
    int changedFirst = -1;
    int changedLast = -1;
    for (int r = 0; r < RowCount(); ++r) {
        const bool wanted =
            static_cast<std::size_t>(r) < marks.size() && marks[static_cast<std::size_t>(r)] != 0;
        if (Marked(r) == wanted)
            continue;
        SetMarkSilently(r, wanted);
        if (changedFirst < 0)
            changedFirst = r;
        changedLast = r;
    }
    if (changedFirst >= 0)
        RowsChanged(changedFirst, changedLast, {Qt::BackgroundRole, Qt::ForegroundRole});
}

void GridModel::SetTextColor(const QColor& color) {
    if (color == textColor_)
        return;
    textColor_ = color;
    RowsChanged(HeaderRows(), RowCount() - 1, {Qt::ForegroundRole});
}

void GridModel::BeginUpdate() {
    if (updateDepth_++ == 0)
        beginResetModel();
}

void GridModel::EndUpdate() {
    if (updateDepth_ == 0)
        return;
    if (--updateDepth_ == 0)
        endResetModel();
}

void GridModel::SortRows(int col, bool ascending) {
    const int first = fixedRows_;
    const int count = RowCount() - first;
    if (col < 0 || col >= colCount_ || count < 2)
        return;

    const QCollator collator = SortCollator();
    ColumnSortKeys keys(count);
    for (int i = 0; i < count; ++i)
        keys.Set(i, Cell(col, first + i), collator);
    const std::vector<int> order = keys.Order(ascending);

    std::vector<Row> sorted;
    sorted.reserve(static_cast<std::size_t>(count));
    for (int index : order)
        sorted.push_back(std::move(rows_[static_cast<std::size_t>(first + index)]));
    std::move(sorted.begin(), sorted.end(), rows_.begin() + first);
    // Row positions keep their identity (marks, the current row), so for the view this is
    // new content in the same rows rather than moved rows.
    RowsChanged(first, RowCount() - 1, {Qt::DisplayRole, Qt::DecorationRole});
}

void GridModel::RowsChanged(int first, int last, const QList<int>& roles) {
    if (Updating() || colCount_ == 0)
        return;
    first = std::max(ModelRow(first), 0);
    last = std::min(ModelRow(last), rowCount() - 1);
    if (first > last)
        return;
    Q_EMIT dataChanged(index(first, 0), index(last, colCount_ - 1), roles);
}

void GridModel::CellChanged(int col, int row, const QList<int>& roles) {
    if (Updating())
        return;
    if (row < HeaderRows()) {
        Q_EMIT headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    const QModelIndex cell = index(ModelRow(row), col);
    Q_EMIT dataChanged(cell, cell, roles);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(RowCount() - HeaderRows(), 0);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colCount_;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const int row = GridRow(index.row());
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return ToQString(Cell(col, row));
    case Qt::DecorationRole: {
        const QPixmap picture = Picture(col, row);
        return picture.isNull() ? QVariant() : QVariant(picture);
    }
    case Qt::BackgroundRole:
        if (IsFixedCell(col, row))
            return FixedColor();
        if (Marked(row))
            return MarkColor();
        // The other band is the palette's base colour, which the view paints by itself.
        return (row - fixedRows_) % 2 == 0 ? QVariant(BandColor()) : QVariant();
    case Qt::ForegroundRole:
        return IsFixedCell(col, row) || Marked(row) ? QColor(Qt::black) : textColor_;
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || HeaderRows() == 0)
        return {};
    if (section < 0 || section >= colCount_)
        return {};
    return ToQString(Cell(section, 0));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

} // namespace korvello
