#pragma once

#include <QWidget>
#include <functional>

namespace korvista {

// Height of the panel above a splitter for a requested height, total being the panel's height plus
// that of the control below: each side keeps at least MinSize, and a panel dragged to MinSize or less
// collapses to 0.
int SplitterPanelHeight(int requested, int total);

// A horizontal bar that resizes the panel above it while it is dragged.
class TSplitterBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinSize = 30;
    static constexpr int Thickness = 3;

    TSplitterBar(QWidget* parent, const QString& name);

    // Reads the panel's height when a drag starts and sets it while the bar moves.
    void SetTarget(std::function<int()> height, std::function<void(int)> setHeight);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<int()> height_;
    std::function<void(int)> setHeight_;
    bool dragging_ = false;
    int startY_ = 0;
    int startHeight_ = 0;
};

} // namespace korvista
