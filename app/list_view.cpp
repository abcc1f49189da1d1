#include "app/list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

namespace korvista {

namespace {

// Draws the grid line at the right and bottom edge of every cell.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight).darker(110));
        const QRect r = option.rect;
        painter->drawLine(r.right(), r.top(), r.right(), r.bottom());
        painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(0, 1);
    }
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
    fitting_ = true;
    setColumnWidth(autoSizeColumn_, width);
    fitting_ = false;
}

} // namespace korvista
