#include "app/list_view.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

namespace korvista {

namespace {

// The height of one line of text, from the top of the tallest glyph to the bottom of the lowest one:
// some faces draw the underscore below their descent, and the row must hold it.
int TextLineHeight(const QFontMetrics& metrics) {
    const int below = std::max(metrics.descent(), metrics.boundingRect(QLatin1Char('_')).bottom() + 1);
    return metrics.ascent() + below;
}

// Draws every cell inside its grid lines, at the right and the bottom edge of the cell, so that no line
// covers a glyph. A list with the keyboard focus shows its selection in the highlight colour, a list
// without it in a paler shade of it, so the selection stays visible and the focus can be seen.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TListView* list) : QStyledItemDelegate(list), list_(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        cell.rect.adjust(0, 0, -1, -1);
        if (!list_->hasFocus()) {
            const QColor base = option.palette.color(QPalette::Base);
            const QColor highlight = option.palette.color(QPalette::Active, QPalette::Highlight);
            const auto mix = [](int a, int b) { return (a * 65 + b * 35) / 100; };
            const QColor pale(mix(base.red(), highlight.red()), mix(base.green(), highlight.green()),
                              mix(base.blue(), highlight.blue()));
            for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                cell.palette.setColor(group, QPalette::Highlight, pale);
                cell.palette.setColor(group, QPalette::HighlightedText,
                                      option.palette.color(QPalette::Active, QPalette::Text));
            }
        }
        QStyledItemDelegate::paint(painter, cell, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight).darker(110));
        const QRect r = option.rect;
        painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter->restore();
    }

    // Rows hold one line of text without pictures, and every column has a set width: the height comes
    // from the font alone (a blank line above and below the text, then the grid line), the width is an
    // estimate. Laying the text out here would cost more than the rest of a refill.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int characters = static_cast<int>(index.data(Qt::DisplayRole).toString().size());
        return QSize(option.fontMetrics.averageCharWidth() * characters + 6,
                     TextLineHeight(option.fontMetrics) + 3);
    }

private:
    TListView* list_;
};

// The header's captions never change, but the toolkit measures them again whenever the rows are replaced,
// which the comparison run does twice a table. The height is kept until the font or the style changes.
class ListHeader : public QHeaderView {
public:
    explicit ListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

    QSize sizeHint() const override {
        if (height_ < 0)
            height_ = QHeaderView::sizeHint().height();
        return QSize(length(), height_);
    }

protected:
    // The header shares the list's selection only to highlight sections, which it does not.
    QRegion visualRegionForSelection(const QItemSelection& selection) const override {
        return highlightSections() ? QHeaderView::visualRegionForSelection(selection) : QRegion();
    }

    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            height_ = -1;
        QHeaderView::changeEvent(event);
    }

private:
    mutable int height_ = -1;
};

} // namespace

TListView::TListView(QWidget* parent, const QString& name, const std::vector<Column>& columns)
    : QTreeWidget(parent) {
    setObjectName(name);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setItemDelegate(new GridDelegate(this));
    auto* listHeader = new ListHeader(this);
    listHeader->setDefaultAlignment(header()->defaultAlignment());
    setHeader(listHeader);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);

    // The selection stays highlighted when the list loses the focus.
    QPalette pal = palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    setPalette(pal);

    QStringList captions;
    for (const Column& column : columns)
        captions << column.caption;
    setHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        if (columns[static_cast<std::size_t>(i)].width == AutoSize)
            autoSizeColumn_ = i;
        else
            setColumnWidth(i, columns[static_cast<std::size_t>(i)].width);
    }

    setMouseTracking(true);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this));
    connect(&hoverTimer_, &QTimer::timeout, this, &TListView::OnHoverTimeout);
    FitAutoSizeColumn();
}

void TListView::SetRows(const std::vector<Row>& rows) {
    const int wanted = static_cast<int>(rows.size());
    while (topLevelItemCount() > wanted)
        delete takeTopLevelItem(topLevelItemCount() - 1);
    const int kept = topLevelItemCount();
    if (kept > 0) {
        {
            // One change for all kept rows instead of one per cell.
            const QSignalBlocker quiet(model());
            for (int i = 0; i < kept; ++i) {
                QTreeWidgetItem* item = topLevelItem(i);
                const Row& row = rows[static_cast<std::size_t>(i)];
                for (int c = 0; c < columnCount(); ++c)
                    item->setText(c, c < row.cells.size() ? row.cells[c] : QString());
                item->setData(0, Qt::UserRole, row.data);
            }
        }
        emit model()->dataChanged(model()->index(0, 0), model()->index(kept - 1, columnCount() - 1));
    }
    if (wanted > kept) {
        QList<QTreeWidgetItem*> added;
        added.reserve(wanted - kept);
        for (int i = kept; i < wanted; ++i) {
            auto* item = new QTreeWidgetItem(rows[static_cast<std::size_t>(i)].cells);
            item->setData(0, Qt::UserRole, rows[static_cast<std::size_t>(i)].data);
            added.append(item);
        }
        addTopLevelItems(added);
    }
}

int TListView::SelectedIndex() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListView::SelectRow(int index) {
    if (index < 0 || index >= topLevelItemCount()) {
        clearSelection();
        return;
    }
    const bool scroll = hasAutoScroll();
    setAutoScroll(false); // the current row moves with the selection, the view stays where it is
    selectionModel()->setCurrentIndex(model()->index(index, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    setAutoScroll(scroll);
}

void TListView::ShowRow(int index) {
    QTreeWidgetItem* row = topLevelItem(index);
    if (!row || viewport()->rect().contains(visualItemRect(row)))
        return;
    // A row at a time would scroll for every row, a page at a time only once a page.
    scrollToItem(row, QAbstractItemView::PositionAtTop);
}

void TListView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    viewport()->update(); // the selection changes colour with the focus
}

void TListView::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    viewport()->update();
}

void TListView::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    // A press below the rows leaves no row selected.
    if (event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid())
        clearSelection();
}

void TListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit Click();
}

void TListView::mouseMoveEvent(QMouseEvent* event) {
    QTreeWidget::mouseMoveEvent(event);
    if (!hotTrack_ || event->buttons() != Qt::NoButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.row() == hoverIndex_.row() && hoverIndex_.isValid())
        return;
    hoverIndex_ = index.isValid() ? model()->index(index.row(), 0) : QModelIndex();
    if (hoverIndex_.isValid())
        hoverTimer_.start();
    else
        hoverTimer_.stop();
}

void TListView::leaveEvent(QEvent* event) {
    hoverTimer_.stop();
    hoverIndex_ = QModelIndex();
    QTreeWidget::leaveEvent(event);
}

void TListView::OnHoverTimeout() {
    if (hotTrack_ && hoverIndex_.isValid())
        selectionModel()->setCurrentIndex(hoverIndex_,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QRegion TListView::visualRegionForSelection(const QItemSelection& selection) const {
    // Selections are whole rows of a flat list: the band from the first to the last row of each range,
    // found without measuring every cell as the tree view would.
    QRegion region;
    if (!viewport()->updatesEnabled())
        return region; // nothing could be repainted now; enabling updates again repaints everything
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid())
            continue;
        const QRect top = visualRect(model()->index(range.top(), 0));
        const QRect bottom = visualRect(model()->index(range.bottom(), 0));
        if (top.isValid() && bottom.isValid())
            region += QRect(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1);
    }
    return region;
}

void TListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles) {
    // Rows are one line of text each, as high as the font makes them: changed texts only need a repaint,
    // and a list that cannot repaint now repaints in full once it can again.
    if (!viewport()->updatesEnabled())
        return;
    QTreeWidget::dataChanged(topLeft, bottomRight, roles);
}

void TListView::updateGeometries() {
    QTreeWidget::updateGeometries();
    FitAutoSizeColumn();
}

void TListView::FitAutoSizeColumn() {
    if (autoSizeColumn_ < 0 || fitting_)
        return;
    int others = 0;
    for (int i = 0; i < columnCount(); ++i)
        if (i != autoSizeColumn_)
            others += columnWidth(i);
    const int width = std::max(0, viewport()->width() - others);
    if (columnWidth(autoSizeColumn_) == width)
        return;
    const QScopedValueRollback fitting(fitting_, true);
    setColumnWidth(autoSizeColumn_, width);
}

} // namespace korvista
