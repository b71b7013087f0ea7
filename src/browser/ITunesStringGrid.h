#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TITunesStringGrid: the one table widget behind the song table and the three category
// lists.
//
// The program reads and writes cells, pictures, sizes and row marks by column and row
// number, where row 0 is the header row when the grid has a fixed row. The grid marks rows
// itself for the user's mouse and key gestures (Qt's own selection is switched off: marks
// are whole rows, and a selection model with thousands of disjoint ranges would be slow),
// tells the program of clicks and keys through the On... callbacks and sorts its data rows
// by a header click. The cells live in a GridModel; the view paints them with uniform
// 16-pixel rows so that tens of thousands of rows scroll smoothly.

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

class QMenu;
class QTimer;

namespace korvello {

class GridModel;
class GridHeader;

class TITunesStringGrid : public QTableView {
    Q_OBJECT
public:
    explicit TITunesStringGrid(QWidget* parent = nullptr);
    ~TITunesStringGrid() override;

    std::string Cells(int col, int row) const;
    void SetCells(int col, int row, const std::string& text);
    // The texts of a whole row at once, from column 0 on; the columns past them are
    // emptied. For fills: one write instead of one per cell.
    void SetRowCells(int row, std::span<const std::string> texts);
    // A row whose texts are written when it is first read (painted, sorted, or read by
    // Cells): `source` writes the texts of a record, from column 0 on, as SetRowCells takes
    // them. See GridModel::SetTextsSource.
    void SetTextsSource(
        std::function<void(std::int32_t record, std::vector<std::string>& texts)> source);
    void SetRowRecord(int row, std::int32_t record);
    // Writes every row still waiting for its texts: before the records they come from change.
    void WriteWaitingRows();

    // New rows are blank and unmarked; shrinking drops the rows and their marks.
    int RowCount() const;
    void SetRowCount(int rows);
    int ColCount() const;
    void SetColCount(int cols);
    // 0 hides the column. Reads give what the user sees now, a dragged width too.
    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int RowHeights(int row) const;
    void SetRowHeights(int row, int height);
    // With one fixed row, row 0 is drawn as the column header from its cells. Fixed columns
    // are drawn like header cells. The user's gestures never mark fixed rows.
    int FixedRows() const;
    void SetFixedRows(int n);
    int FixedCols() const;
    void SetFixedCols(int n);
    // Empties every cell and picture; the row count and the marks stay. The header's sort
    // glyph goes too, since the content it described is gone.
    void ClearCells();
    void SetCellPicture(int col, int row, const QPixmap& picture);

    bool RowMarked(int row) const;
    void SetRowMarked(int row, bool marked);
    // Marks rows first..first+count-1 that exist; never clears a mark.
    void MarkRows(int first, int count);
    int MarkedRowCount() const;

    // A refill wrapped in BeginUpdate/EndUpdate costs one model reset instead of a signal
    // per cell and row. The pair may nest.
    void BeginUpdate();
    void EndUpdate();
    void RepaintAll();

    // Opened (never modally) at the cursor after the right button's release; not owned.
    void SetPopupMenu(QMenu* menu);
    void SetColumnsResizable(bool resizable);
    // Both scroll bars, or the vertical one alone.
    void SetScrollBarsBoth(bool both);
    void SetCellTextColor(const QColor& color);

    // OnClick: release of the left button, before that click's marks are applied.
    std::function<void()> OnClick;
    // Release of any button, after the click's marks.
    std::function<void(Qt::MouseButton button)> OnMouseUp;
    // Press of the right button over a cell (row 0 for the header row).
    std::function<void(int row, int col)> OnRightClickCell;
    std::function<void(int row, int col)> OnDblClickCell;
    // Every key press, before the grid's own key handling.
    std::function<void(int key, Qt::KeyboardModifiers mods)> OnKeyDown;
    // Asked before a header click sorts; `allow` starts true.
    std::function<void(int col, bool& allow)> OnCanSort;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class GridHeader;

    // What the left button's press left for its move and release events.
    struct LeftPress {
        bool active = false;
        bool dragging = false;
        int row = -1;
        Qt::KeyboardModifiers mods;
        std::vector<char> marksBefore; // for a Ctrl drag, which adds its run to these
    };

    int GridRowAt(int y) const;
    int FirstDataRow() const;
    int LastDataRow() const;
    void ApplyClickMarks(int row, Qt::KeyboardModifiers mods);
    void DragTo(int y);
    void MoveCurrent(int key, Qt::KeyboardModifiers mods);
    void SetCurrentRow(int row);
    void ScrollToRow(int row);
    void ForgetLostRows();

    // Called by the header for presses and releases over it.
    void HeaderRightPressed(int col);
    void HeaderReleased(Qt::MouseButton button, int sortCol, const QPoint& globalPos);
    void SortByHeader(int col);
    void ResetSort();

    void AfterModelReset();
    void ApplyColumnWidths();
    void ApplyColumnWidth(int col);
    void ApplyRowHeights();
    void OnSectionResized(int col, int oldSize, int newSize);

    GridModel* model_;        // owned by the widget through Qt's parent
    GridHeader* header_;      // owned by the widget through Qt's parent
    QTimer* dragScrollTimer_; // owned by the widget through Qt's parent
    int dragY_ = 0;           // where the dragging mouse last was, for the timer
    QPointer<QMenu> popup_;
    std::vector<int> colWidths_;
    std::map<int, int> rowHeights_; // data rows whose height is not the uniform one
    int headerHeight_;
    int currentRow_ = -1;
    int anchorRow_ = -1;
    int sortCol_ = -1;
    bool sortAscending_ = true;
    bool applyingWidths_ = false;
    LeftPress press_;
};

} // namespace korvello
