#pragma once

#include <QTimer>
#include <QTreeWidget>
#include <vector>

namespace korvista {

// A report-style list: one row per item, full-row single selection that stays visible without focus,
// grid lines, no editing, no sorting, a flat frame, and at most one auto-size column.
class TListView : public QTreeWidget {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        int width; // AutoSize: the client width less the other columns
    };
    static constexpr int AutoSize = -1;

    TListView(QWidget* parent, const QString& name, const std::vector<Column>& columns);

    struct Row {
        QStringList cells;
        QVariant data; // kept under Qt::UserRole of the first cell
    };
    // Replaces every row by the given ones. Rows already there take the new texts in place, so that a
    // list refilled with as many rows as before costs no more than one repaint.
    void SetRows(const std::vector<Row>& rows);

    // Index of the selected row, -1 when none.
    int SelectedIndex() const;
    // Selects row index (clears the selection when there is no such row) without scrolling and
    // without a click.
    void SelectRow(int index);
    // Scrolls row index into view when any of it is hidden, putting it at the top where the list allows.
    void ShowRow(int index);

    // Hot-track selection: a pointer resting on a row for the hover time selects it.
    void SetHotTrack(bool value) { hotTrack_ = value; }
    bool HotTrack() const { return hotTrack_; }
    void SetHoverTime(int ms) { hoverTimer_.setInterval(ms); }
    int HoverTime() const { return hoverTimer_.interval(); }

signals:
    // A left mouse click anywhere in the rows area, on a row or below the rows.
    void Click();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void updateGeometries() override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    void FitAutoSizeColumn();
    void OnHoverTimeout();

    int autoSizeColumn_ = -1;
    bool fitting_ = false;
    bool hotTrack_ = false;
    QTimer hoverTimer_;
    QPersistentModelIndex hoverIndex_;
};

} // namespace korvista
