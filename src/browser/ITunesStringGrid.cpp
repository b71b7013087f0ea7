// SPDX-License-Identifier: GPL-3.0-or-later
#include "browser/ITunesStringGrid.h"

#include "browser/CellText.h"
#include "browser/GridModel.h"
#include "browser/SongColumns.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <qdrawutil.h>

#include <algorithm>

namespace korvello {

namespace {

constexpr int kDefaultColWidth = 64;
constexpr int kMinColWidth = 4;
// A header press this close to a section's edge belongs to the column border (where a
// drag resizes the column), not to a sort click.
constexpr int kBorderZone = 4;
constexpr int kTextMargin = 2;
constexpr int kGlyphWidth = 7;
constexpr int kGlyphHeight = 4;
constexpr int kDragScrollInterval = 50; // milliseconds

// Tahoma first; where it is not installed Noto Sans stands in for it, as it does for the
// skinned controls (DejaVu Sans is wider). The others carry the scripts that Tahoma lacks
// (Japanese, Chinese, Korean, Arabic, Hebrew, emoji).
QFont GridFont() {
    QFont font;
    font.setFamilies({"Tahoma", "Noto Sans", "DejaVu Sans", "Noto Sans CJK JP", "Noto Sans Arabic",
                      "Noto Sans Hebrew", "Noto Color Emoji"});
    font.setPointSize(8);
    return font;
}

// Header cells and fixed cells look like raised sky-blue buttons.
void DrawRaisedCell(QPainter* painter, const QRect& rect) {
    const QPalette palette(GridModel::FixedColor());
    const QBrush fill(GridModel::FixedColor());
    qDrawWinButton(painter, rect, palette, false, &fill);
}

// Draws a picture centred in `rect` at its own size, cut to the rect.
void DrawPictureCentred(QPainter* painter, const QRect& rect, const QPixmap& picture) {
    QRect target(QPoint(0, 0), picture.deviceIndependentSize().toSize());
    target.moveCenter(rect.center());
    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->drawPixmap(target, picture);
    painter->restore();
}

} // namespace

CellTextLayout LayOutCellText(const QString& text, const QFontMetrics& metrics, int width) {
    if (!text.isRightToLeft())
        return {text, Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter};
    // The logical end is elided, which a right-to-left line shows on its left.
    return {metrics.elidedText(text, Qt::ElideRight, std::max(width, 0)),
            Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter};
}

// Paints one cell straight from the grid's storage: background band or mark colour, the
// picture and the clipped single-line text. It skips QStyledItemDelegate's per-cell
// option building, which is most of the cost of painting a screen of cells.
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(const GridModel* model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = model_->GridRow(index.row());
        const int col = index.column();
        const QRect rect = option.rect;
        QColor textColor = model_->TextColor();
        if (model_->IsFixedCell(col, row)) {
            DrawRaisedCell(painter, rect);
            textColor = Qt::black;
        } else if (model_->Marked(row)) {
            painter->fillRect(rect, GridModel::MarkColor());
            textColor = Qt::black;
        } else if ((row - model_->FixedRows()) % 2 == 0) {
            painter->fillRect(rect, GridModel::BandColor());
        } else {
            painter->fillRect(rect, option.palette.base());
        }

        const std::string_view text = model_->Cell(col, row);
        const QPixmap picture = model_->Picture(col, row);
        QRect textRect = rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
        if (!picture.isNull()) {
            if (text.empty()) {
                DrawPictureCentred(painter, rect, picture);
                return;
            }
            const int width = picture.deviceIndependentSize().toSize().width();
            DrawPictureCentred(painter, QRect(textRect.left(), rect.top(), width, rect.height()),
                               picture);
            textRect.setLeft(textRect.left() + width + kTextMargin);
        }
        if (text.empty())
            return;
        painter->setFont(option.font);
        painter->setPen(textColor);
        const CellTextLayout layout =
            LayOutCellText(QString::fromUtf8(text), QFontMetrics(option.font), textRect.width());
        painter->drawText(textRect, static_cast<int>(layout.alignment) | Qt::TextSingleLine,
                          layout.text);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int row = model_->GridRow(index.row());
        const int col = index.column();
        int width = option.fontMetrics.horizontalAdvance(QString::fromUtf8(model_->Cell(col, row)));
        const QPixmap picture = model_->Picture(col, row);
        if (!picture.isNull())
            width += picture.deviceIndependentSize().toSize().width() + kTextMargin;
        return {width + 2 * kTextMargin, kGridRowHeight};
    }

private:
    const GridModel* model_;
};

// The grid's column header: row 0 of the cells drawn as raised buttons with a sort glyph,
// a height that the grid sets, and clicks that sort unless they fall on a column border.
class GridHeader : public QHeaderView {
public:
    explicit GridHeader(TITunesStringGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {}

    void SetHeight(int height) {
        if (height == height_)
            return;
        height_ = height;
        updateGeometry();
    }

    QSize sizeHint() const override { return {QHeaderView::sizeHint().width(), height_}; }
    QSize minimumSizeHint() const override {
        return {QHeaderView::minimumSizeHint().width(), height_};
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (!rect.isValid())
            return;
        painter->save();
        DrawRaisedCell(painter, rect);
        QRect textRect = rect.adjusted(kTextMargin + 1, 0, -(kTextMargin + 1), 0);
        if (isSortIndicatorShown() && sortIndicatorSection() == logicalIndex) {
            const int right = rect.right() - kTextMargin - 2;
            const int left = right - kGlyphWidth + 1;
            const int mid = (left + right) / 2;
            const int top = rect.center().y() - kGlyphHeight / 2;
            const int bottom = top + kGlyphHeight - 1;
            QPolygon glyph;
            if (sortIndicatorOrder() == Qt::AscendingOrder)
                glyph << QPoint(left, bottom) << QPoint(right, bottom) << QPoint(mid, top);
            else
                glyph << QPoint(left, top) << QPoint(right, top) << QPoint(mid, bottom);
            painter->setPen(Qt::black);
            painter->setBrush(Qt::black);
            painter->drawPolygon(glyph);
            textRect.setRight(left - kTextMargin);
        }
        painter->setFont(font());
        painter->setPen(Qt::black);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          model()->headerData(logicalIndex, Qt::Horizontal).toString());
        painter->restore();
    }

    void mousePressEvent(QMouseEvent* event) override {
        const int x = event->position().toPoint().x();
        const int col = logicalIndexAt(x);
        pressedCol_ = -1;
        if (event->button() == Qt::LeftButton && col >= 0 && !NearBorder(col, x))
            pressedCol_ = col;
        QHeaderView::mousePressEvent(event);
        event->accept();
        if (event->button() == Qt::RightButton && col >= 0)
            grid_->HeaderRightPressed(col);
    }

    // The second click of a quick pair arrives as a double click: away from a column
    // border it is one more click, so its release reverses the sort again.
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const int x = event->position().toPoint().x();
        const int col = logicalIndexAt(x);
        if (event->button() == Qt::LeftButton && col >= 0 && !NearBorder(col, x)) {
            pressedCol_ = col;
            event->accept();
            return;
        }
        QHeaderView::mouseDoubleClickEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        QHeaderView::mouseReleaseEvent(event);
        event->accept();
        int sortCol = -1;
        if (event->button() == Qt::LeftButton && pressedCol_ >= 0 &&
            logicalIndexAt(event->position().toPoint().x()) == pressedCol_)
            sortCol = pressedCol_;
        pressedCol_ = -1;
        grid_->HeaderReleased(event->button(), sortCol, event->globalPosition().toPoint());
    }

private:
    bool NearBorder(int col, int x) const {
        const int left = sectionViewportPosition(col);
        return x < left + kBorderZone || x >= left + sectionSize(col) - kBorderZone;
    }

    TITunesStringGrid* grid_;
    int height_ = kGridRowHeight;
    int pressedCol_ = -1;
};

TITunesStringGrid::TITunesStringGrid(QWidget* parent)
    : QTableView(parent), model_(new GridModel(this)), header_(new GridHeader(this)),
      dragScrollTimer_(new QTimer(this)), headerHeight_(kGridRowHeight) {
    const QFont font = GridFont();
    setFont(font);
    QFont bold = font;
    bold.setBold(true);
    header_->setFont(bold);

    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(new GridDelegate(model_, this));

    // Marks replace Qt's selection; the grid handles every gesture itself.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setDragEnabled(false);
    setAutoScroll(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Right presses and releases must reach the mouse handlers (the cell callback, the
    // popup menu) rather than turn into a context-menu event for the parent.
    setContextMenuPolicy(Qt::PreventContextMenu);
    header_->setContextMenuPolicy(Qt::PreventContextMenu);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Left to itself the view derives the step from the row count, and a wheel notch in a
    // big table moves less than the system's line count of rows; one row a step keeps it.
    verticalScrollBar()->setSingleStep(kGridRowHeight);
    horizontalScrollBar()->setSingleStep(kGridRowHeight);

    QHeaderView* rows = verticalHeader();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(kGridRowHeight);
    rows->hide();

    // Sorting is the grid's own (a click near a border must not sort), so the header's
    // clickable sections, which would flip the sort indicator by themselves, stay off.
    header_->setSectionsClickable(false);
    header_->setSectionsMovable(false);
    header_->setHighlightSections(false);
    header_->setStretchLastSection(false);
    header_->setMinimumSectionSize(kMinColWidth);
    header_->setDefaultSectionSize(kDefaultColWidth);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->hide();

    dragScrollTimer_->setInterval(kDragScrollInterval);
    connect(dragScrollTimer_, &QTimer::timeout, this, [this] {
        if (press_.active && model_->IsMarkableRow(press_.row))
            DragTo(dragY_);
        else
            dragScrollTimer_->stop();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &TITunesStringGrid::AfterModelReset);
    connect(header_, &QHeaderView::sectionResized, this, &TITunesStringGrid::OnSectionResized);
}

TITunesStringGrid::~TITunesStringGrid() = default;

std::string TITunesStringGrid::Cells(int col, int row) const {
    return std::string(model_->Cell(col, row));
}

void TITunesStringGrid::SetCells(int col, int row, const std::string& text) {
    model_->SetCell(col, row, text);
}

void TITunesStringGrid::SetRowCells(int row, std::span<const std::string> texts) {
    model_->SetRowTexts(row, texts);
}

void TITunesStringGrid::SetTextsSource(
    std::function<void(std::int32_t record, std::vector<std::string>& texts)> source) {
    model_->SetTextsSource(std::move(source));
}

void TITunesStringGrid::SetRowRecord(int row, std::int32_t record) {
    model_->SetRowRecord(row, record);
}

void TITunesStringGrid::WriteWaitingRows() {
    model_->WriteWaitingRows();
}

int TITunesStringGrid::RowCount() const {
    return model_->RowCount();
}

void TITunesStringGrid::SetRowCount(int rows) {
    const QScopedValueRollback<bool> guard(applyingWidths_, true);
    model_->SetRowCount(rows);
    std::erase_if(rowHeights_, [this](const auto& entry) { return entry.first >= RowCount(); });
    ForgetLostRows();
}

int TITunesStringGrid::ColCount() const {
    return model_->ColCount();
}

void TITunesStringGrid::SetColCount(int cols) {
    const int old = ColCount();
    {
        const QScopedValueRollback<bool> guard(applyingWidths_, true);
        model_->SetColCount(cols);
    }
    colWidths_.resize(static_cast<std::size_t>(ColCount()), kDefaultColWidth);
    if (sortCol_ >= ColCount())
        ResetSort();
    if (!model_->Updating()) {
        for (int c = old; c < ColCount(); ++c)
            ApplyColumnWidth(c);
    }
}

int TITunesStringGrid::ColWidths(int col) const {
    if (col < 0 || col >= ColCount())
        return 0;
    return colWidths_[static_cast<std::size_t>(col)];
}

void TITunesStringGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= ColCount())
        return;
    colWidths_[static_cast<std::size_t>(col)] = std::max(width, 0);
    if (!model_->Updating())
        ApplyColumnWidth(col);
}

int TITunesStringGrid::RowHeights(int row) const {
    if (row < 0 || row >= RowCount())
        return 0;
    if (row < model_->HeaderRows())
        return headerHeight_;
    const auto it = rowHeights_.find(row);
    return it == rowHeights_.end() ? kGridRowHeight : it->second;
}

void TITunesStringGrid::SetRowHeights(int row, int height) {
    if (row < 0 || row >= RowCount())
        return;
    height = std::max(height, 0);
    if (row < model_->HeaderRows()) {
        headerHeight_ = height;
        header_->SetHeight(height);
        updateGeometries();
        return;
    }
    // Only rows that differ from the uniform height are remembered and sized one by one;
    // the 16-pixel rows of a refill cost nothing here.
    if (height == kGridRowHeight) {
        if (rowHeights_.erase(row) == 0)
            return;
    } else {
        rowHeights_[row] = height;
    }
    if (!model_->Updating())
        verticalHeader()->resizeSection(model_->ModelRow(row), height);
}

int TITunesStringGrid::FixedRows() const {
    return model_->FixedRows();
}

void TITunesStringGrid::SetFixedRows(int n) {
    {
        const QScopedValueRollback<bool> guard(applyingWidths_, true);
        model_->SetFixedRows(n);
    }
    header_->SetHeight(headerHeight_);
    header_->setVisible(model_->HeaderRows() > 0);
    ForgetLostRows();
}

int TITunesStringGrid::FixedCols() const {
    return model_->FixedCols();
}

void TITunesStringGrid::SetFixedCols(int n) {
    model_->SetFixedCols(n);
}

void TITunesStringGrid::ClearCells() {
    model_->ClearCells();
    ResetSort();
}

void TITunesStringGrid::SetCellPicture(int col, int row, const QPixmap& picture) {
    model_->SetPicture(col, row, picture);
}

bool TITunesStringGrid::RowMarked(int row) const {
    return model_->Marked(row);
}

void TITunesStringGrid::SetRowMarked(int row, bool marked) {
    model_->SetMarked(row, marked);
}

void TITunesStringGrid::MarkRows(int first, int count) {
    if (count <= 0 || first >= RowCount())
        return;
    const long long last =
        std::min<long long>(static_cast<long long>(first) + count - 1, RowCount() - 1);
    first = std::max(first, 0);
    if (first > last)
        return;
    model_->MarkRange(first, static_cast<int>(last), true);
}

int TITunesStringGrid::MarkedRowCount() const {
    return model_->MarkedCount();
}

void TITunesStringGrid::BeginUpdate() {
    model_->BeginUpdate();
}

void TITunesStringGrid::EndUpdate() {
    const QScopedValueRollback<bool> guard(applyingWidths_, true);
    model_->EndUpdate();
}

void TITunesStringGrid::RepaintAll() {
    viewport()->update();
    header_->viewport()->update();
    update();
}

void TITunesStringGrid::SetPopupMenu(QMenu* menu) {
    popup_ = menu;
}

void TITunesStringGrid::SetColumnsResizable(bool resizable) {
    header_->setSectionResizeMode(resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
    // Switching the mode sizes sections anew; the grid's widths stay the ones in force.
    if (!model_->Updating())
        ApplyColumnWidths();
}

void TITunesStringGrid::SetScrollBarsBoth(bool both) {
    setHorizontalScrollBarPolicy(both ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void TITunesStringGrid::SetCellTextColor(const QColor& color) {
    model_->SetTextColor(color);
}

int TITunesStringGrid::GridRowAt(int y) const {
    const int modelRow = rowAt(y);
    return modelRow < 0 ? -1 : model_->GridRow(modelRow);
}

int TITunesStringGrid::FirstDataRow() const {
    return FixedRows();
}

int TITunesStringGrid::LastDataRow() const {
    return RowCount() - 1;
}

void TITunesStringGrid::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (focusPolicy() & Qt::ClickFocus)
        setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    const int row = GridRowAt(pos.y());
    const int col = columnAt(pos.x());
    if (event->button() == Qt::LeftButton) {
        press_ = LeftPress{};
        press_.active = true;
        press_.row = row;
        press_.mods = event->modifiers();
        if (press_.mods & Qt::ControlModifier)
            press_.marksBefore = model_->Marks();
    } else if (event->button() == Qt::RightButton) {
        if (row >= 0 && col >= 0 && OnRightClickCell)
            OnRightClickCell(row, col);
    }
}

void TITunesStringGrid::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!press_.active || !(event->buttons() & Qt::LeftButton) ||
        !model_->IsMarkableRow(press_.row))
        return;
    DragTo(event->position().toPoint().y());
}

void TITunesStringGrid::DragTo(int y) {
    // Past the top or bottom edge the grid scrolls a row at a time, and keeps scrolling
    // on a timer while the mouse stays out there, so a run can reach any row.
    QScrollBar* bar = verticalScrollBar();
    const int height = viewport()->height();
    dragY_ = y;
    if (y < 0 || y >= height) {
        bar->setValue(bar->value() + (y < 0 ? -kGridRowHeight : kGridRowHeight));
        y = y < 0 ? 0 : std::max(height - 1, 0);
        if (!dragScrollTimer_->isActive())
            dragScrollTimer_->start();
    } else {
        dragScrollTimer_->stop();
    }
    int row = GridRowAt(y);
    if (row < 0)
        row = LastDataRow(); // below the last row
    row = std::clamp(row, FirstDataRow(), LastDataRow());
    if (!press_.dragging && row == press_.row)
        return;
    press_.dragging = true;
    if (!(press_.mods & Qt::ShiftModifier) || !model_->IsMarkableRow(anchorRow_))
        anchorRow_ = press_.row;
    if (press_.mods & Qt::ControlModifier)
        model_->ReplaceMarks(press_.marksBefore);
    else
        model_->ClearMarks();
    model_->MarkRange(anchorRow_, row, true);
    SetCurrentRow(row);
}

void TITunesStringGrid::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton && press_.active) {
        dragScrollTimer_->stop();
        const LeftPress press = std::move(press_);
        press_ = LeftPress{};
        if (OnClick)
            OnClick();
        // A drag marked its run while it went; only a click marks on release.
        if (!press.dragging)
            ApplyClickMarks(press.row, press.mods);
    }
    if (OnMouseUp)
        OnMouseUp(button);
    if (button == Qt::RightButton && popup_)
        popup_->popup(event->globalPosition().toPoint());
}

void TITunesStringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press like the first.
    mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const int row = GridRowAt(pos.y());
    const int col = columnAt(pos.x());
    if (row >= 0 && col >= 0 && OnDblClickCell)
        OnDblClickCell(row, col);
}

void TITunesStringGrid::ApplyClickMarks(int row, Qt::KeyboardModifiers mods) {
    // The OnClick handler ran just before and may have changed the rows.
    if (!model_->IsMarkableRow(row))
        return;
    const bool ctrl = mods & Qt::ControlModifier;
    if (mods & Qt::ShiftModifier) {
        if (!model_->IsMarkableRow(anchorRow_))
            anchorRow_ = row;
        if (!ctrl)
            model_->ClearMarks();
        model_->MarkRange(anchorRow_, row, true);
    } else if (ctrl) {
        model_->SetMarked(row, !model_->Marked(row));
        anchorRow_ = row;
    } else {
        model_->ClearMarks();
        model_->SetMarked(row, true);
        anchorRow_ = row;
    }
    SetCurrentRow(row);
}

void TITunesStringGrid::keyPressEvent(QKeyEvent* event) {
    if (OnKeyDown)
        OnKeyDown(event->key(), event->modifiers());
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        MoveCurrent(event->key(), event->modifiers());
        break;
    case Qt::Key_Space:
        if (model_->IsMarkableRow(currentRow_)) {
            model_->SetMarked(currentRow_, !model_->Marked(currentRow_));
            anchorRow_ = currentRow_;
        }
        break;
    case Qt::Key_Left:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}

void TITunesStringGrid::MoveCurrent(int key, Qt::KeyboardModifiers mods) {
    const int first = FirstDataRow();
    const int last = LastDataRow();
    if (first > last)
        return;
    const int page = std::max(1, viewport()->height() / kGridRowHeight);
    const int from = model_->IsMarkableRow(currentRow_) ? currentRow_ : -1;
    int to = first;
    switch (key) {
    case Qt::Key_Up:
        to = from < 0 ? first : from - 1;
        break;
    case Qt::Key_Down:
        to = from < 0 ? first : from + 1;
        break;
    case Qt::Key_PageUp:
        to = from < 0 ? first : from - page;
        break;
    case Qt::Key_PageDown:
        to = from < 0 ? first : from + page;
        break;
    case Qt::Key_End:
        to = last;
        break;
    default: // Home
        to = first;
        break;
    }
    to = std::clamp(to, first, last);

    const bool ctrl = mods & Qt::ControlModifier;
    if (mods & Qt::ShiftModifier) {
        if (!model_->IsMarkableRow(anchorRow_))
            anchorRow_ = from >= 0 ? from : to;
        if (!ctrl)
            model_->ClearMarks();
        model_->MarkRange(anchorRow_, to, true);
    } else if (ctrl) {
        model_->SetMarked(to, true);
        anchorRow_ = to;
    } else {
        model_->ClearMarks();
        model_->SetMarked(to, true);
        anchorRow_ = to;
    }
    SetCurrentRow(to);
    ScrollToRow(to);
}

void TITunesStringGrid::SetCurrentRow(int row) {
    if (row == currentRow_)
        return;
    currentRow_ = row;
    viewport()->update();
}

void TITunesStringGrid::ScrollToRow(int row) {
    // Rows just added may not have reached the scroll bar's range yet.
    executeDelayedItemsLayout();
    const int modelRow = model_->ModelRow(row);
    const int top = rowViewportPosition(modelRow);
    const int bottom = top + rowHeight(modelRow);
    QScrollBar* bar = verticalScrollBar();
    if (top < 0)
        bar->setValue(bar->value() + top);
    else if (bottom > viewport()->height())
        bar->setValue(bar->value() + bottom - viewport()->height());
}

void TITunesStringGrid::ForgetLostRows() {
    if (!model_->IsMarkableRow(currentRow_))
        currentRow_ = -1;
    if (!model_->IsMarkableRow(anchorRow_))
        anchorRow_ = -1;
}

void TITunesStringGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    // The current row, which the keys move, wears a dotted frame while the grid has focus.
    if (!hasFocus() || !model_->IsMarkableRow(currentRow_))
        return;
    const int modelRow = model_->ModelRow(currentRow_);
    const int width = std::min(viewport()->width(), header_->length() - horizontalOffset());
    const QRect frame(0, rowViewportPosition(modelRow), width, rowHeight(modelRow));
    if (width <= 0 || !frame.intersects(event->rect()))
        return;
    QPainter painter(viewport());
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void TITunesStringGrid::focusInEvent(QFocusEvent* event) {
    // QAbstractItemView's version would pick a current index of its own; the grid keeps
    // its current row itself.
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TITunesStringGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TITunesStringGrid::HeaderRightPressed(int col) {
    if (OnRightClickCell)
        OnRightClickCell(0, col);
}

void TITunesStringGrid::HeaderReleased(Qt::MouseButton button, int sortCol,
                                       const QPoint& globalPos) {
    if (button == Qt::LeftButton) {
        if (OnClick)
            OnClick();
        if (sortCol >= 0)
            SortByHeader(sortCol);
    }
    if (OnMouseUp)
        OnMouseUp(button);
    if (button == Qt::RightButton && popup_)
        popup_->popup(globalPos);
}

void TITunesStringGrid::SortByHeader(int col) {
    if (RowCount() - FixedRows() < 2)
        return;
    bool allow = true;
    if (OnCanSort)
        OnCanSort(col, allow);
    if (!allow || col >= ColCount() || RowCount() - FixedRows() < 2)
        return;
    const bool ascending = col == sortCol_ ? !sortAscending_ : true;
    model_->SortRows(col, ascending);
    sortCol_ = col;
    sortAscending_ = ascending;
    header_->setSortIndicator(col, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    header_->setSortIndicatorShown(true);
}

void TITunesStringGrid::ResetSort() {
    sortCol_ = -1;
    sortAscending_ = true;
    header_->setSortIndicatorShown(false);
    header_->viewport()->update();
}

void TITunesStringGrid::AfterModelReset() {
    // A reset gives the header fresh sections of the default size.
    ApplyColumnWidths();
    ApplyRowHeights();
    ForgetLostRows();
    viewport()->update();
}

void TITunesStringGrid::ApplyColumnWidths() {
    for (int c = 0; c < ColCount(); ++c)
        ApplyColumnWidth(c);
}

void TITunesStringGrid::ApplyColumnWidth(int col) {
    if (col >= header_->count() || col >= static_cast<int>(colWidths_.size()))
        return;
    const QScopedValueRollback<bool> guard(applyingWidths_, true);
    const int width = colWidths_[static_cast<std::size_t>(col)];
    const bool hidden = width == 0;
    if (header_->isSectionHidden(col) != hidden)
        header_->setSectionHidden(col, hidden);
    if (!hidden && header_->sectionSize(col) != width)
        header_->resizeSection(col, width);
}

void TITunesStringGrid::ApplyRowHeights() {
    for (const auto& [row, height] : rowHeights_) {
        if (row >= model_->HeaderRows() && row < RowCount())
            verticalHeader()->resizeSection(model_->ModelRow(row), height);
    }
}

void TITunesStringGrid::OnSectionResized(int col, int /*oldSize*/, int newSize) {
    // Only the user's border drags reach here; the grid's own sizing is guarded.
    if (applyingWidths_ || col < 0 || col >= static_cast<int>(colWidths_.size()))
        return;
    if (!header_->isSectionHidden(col))
        colWidths_[static_cast<std::size_t>(col)] = newSize;
}

} // namespace korvello
