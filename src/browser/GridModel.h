#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The cell storage of TITunesStringGrid, offered to Qt's table view as a table model.
//
// The program addresses cells by the grid's own row numbers, in which row 0 is the header
// row when the grid has fixed rows; the model leaves that header row out of its rows and
// offers its texts as the horizontal header instead. Cells stay UTF-8 and are turned into
// QString only when the view asks for them, so a refill of 50,000 songs costs no
// conversions; a row keeps all its texts in one block, so a row costs one allocation
// rather than one per cell, and a row not yet written costs none. Marks live here too:
// they colour whole rows, so the view learns of a changed mark through the same
// dataChanged signal as of a changed text.

#include <QAbstractTableModel>
#include <QColor>
#include <QPixmap>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvello {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Colours of the painted rows, shared by the model's roles and the grid's painting.
    static QColor BandColor() { return QColor(251, 254, 204); }
    static QColor MarkColor() { return QColor(197, 212, 242); }
    static QColor FixedColor() { return QColor(166, 202, 240); }

    explicit GridModel(QObject* parent = nullptr);

    // Storage, in the grid's row numbers. Reads outside the table give empty values and
    // writes outside it are dropped.
    // The view stays valid until the row is written to or the table changes shape.
    std::string_view Cell(int col, int row) const;
    void SetCell(int col, int row, const std::string& text);
    // Gives cell c of `row` the text texts[c], and every cell past the given ones the empty
    // text, in one write: a table fill pays one allocation for the row's texts instead of
    // growing them cell by cell. Texts past the column count are dropped.
    void SetRowTexts(int row, std::span<const std::string> texts);

    // Rows written later: a row may hold, in place of its texts, the number of the record
    // they come from. The texts source writes a record's texts (as SetRowTexts takes them)
    // when anything first reads the row: a view painting it, a sort, the program reading
    // a cell. A fill of many rows then stores one number a row and converts only the rows
    // that are read. Any write to the row, and ClearCells, ends its wait. Without a source
    // a waiting row reads empty.
    using TextsSource = std::function<void(std::int32_t record, std::vector<std::string>& texts)>;
    void SetTextsSource(TextsSource source);
    void SetRowRecord(int row, std::int32_t record);
    // Writes every waiting row now, as a fill would have: before the records change.
    void WriteWaitingRows();
    int WaitingRows() const { return waitingRows_; }
    QPixmap Picture(int col, int row) const;
    void SetPicture(int col, int row, const QPixmap& picture);
    void ClearCells();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    void SetRowCount(int rows);
    int ColCount() const { return colCount_; }
    void SetColCount(int cols);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int n);
    int FixedCols() const { return fixedCols_; }
    void SetFixedCols(int n);
    // 1 when the first fixed row is shown as the view's horizontal header, else 0.
    int HeaderRows() const { return fixedRows_ > 0 ? 1 : 0; }
    bool IsFixedCell(int col, int row) const { return row < fixedRows_ || col < fixedCols_; }
    // Rows that the user's gestures may mark: the data rows.
    bool IsMarkableRow(int row) const { return row >= fixedRows_ && row < RowCount(); }

    bool Marked(int row) const;
    void SetMarked(int row, bool marked);
    // Sets the marks of rows first..last (either order), clamped to the table.
    void MarkRange(int first, int last, bool marked);
    void ClearMarks();
    // Gives every row the mark it has in `marks` (rows past its end are unmarked).
    void ReplaceMarks(const std::vector<char>& marks);
    const std::vector<char>& Marks() const { return marks_; }
    int MarkedCount() const { return markedCount_; }

    void SetTextColor(const QColor& color);
    QColor TextColor() const { return textColor_; }

    // Between BeginUpdate and the matching EndUpdate setters send no signals; the outermost
    // EndUpdate resets the model once.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateDepth_ > 0; }

    // Moves whole data rows (fixed rows stay) into the order of column `col`; marks stay at
    // their row positions. Cells that both read as numbers compare by value and come
    // before the other cells, which compare as text without regard to letter case; equal
    // cells keep their order.
    void SortRows(int col, bool ascending);

    // Grid row of a model row and back.
    int GridRow(int modelRow) const { return modelRow + HeaderRows(); }
    int ModelRow(int gridRow) const { return gridRow - HeaderRows(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // A row keeps only the cells up to its last written one, all in one block: the cell
    // count, each cell's end, then the cells' bytes; missing cells read as empty, and a
    // row without texts holds no block, so growing the table allocates nothing per row.
    // Its pictures are one of the model's picture sets, which rows share.
    struct Row {
        std::unique_ptr<char[]> cells;
        std::int32_t record = -1;   // waiting for its texts from this record, or -1
        std::int32_t pictures = -1; // index into pictureSets_, or -1 for none
    };
    // The pictures of a row, by column.
    using PictureSet = std::vector<std::pair<int, QPixmap>>;

    bool InRange(int col, int row) const;
    // Writes the texts of a waiting row; reads are const, the row's content is not changed
    // by it, only made real.
    void WriteWaitingRow(Row& r) const;
    void StopWaiting(Row& r);
    void WriteTexts(Row& r, std::span<const std::string> texts) const;
    // The number of the picture set equal to `set`, added when there is none yet.
    std::int32_t InternPictures(const PictureSet& set);
    // Tells the views (or the header, for a header row) that a row's texts changed.
    void RowTextsChanged(int row);
    void SetMarkSilently(int row, bool marked);
    // Tells the view that rows first..last (grid rows) changed, unless inside an update.
    void RowsChanged(int first, int last, const QList<int>& roles = {});
    void CellChanged(int col, int row, const QList<int>& roles);

    mutable std::vector<Row> rows_;
    std::vector<PictureSet> pictureSets_;
    // Each set's columns and pictures' cache keys, to its index in pictureSets_.
    std::map<std::vector<std::pair<int, qint64>>, std::int32_t> pictureSetOf_;
    // The last picture change: rows of one picture set given the same picture in the same
    // column (the song table's icon on every row) end in the same set.
    struct PictureChange {
        std::int32_t from = -2;
        int col = -1;
        qint64 key = 0;
        std::int32_t to = -1;
    };
    PictureChange lastChange_;
    TextsSource textsSource_;
    mutable int waitingRows_ = 0;
    mutable std::vector<std::string> scratch_;
    std::vector<char> marks_;
    int markedCount_ = 0;
    int colCount_ = 0;
    int fixedRows_ = 0;
    int fixedCols_ = 0;
    int updateDepth_ = 0;
    QColor textColor_ = Qt::black;
};

// True when `text` is a plain decimal number (blanks around it, a sign, digits with one
// optional decimal point); its value goes to `value`.
bool ParseGridNumber(std::string_view text, double& value);

} // namespace korvello
