#include "app/splitter_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace korvista {

int SplitterPanelHeight(int requested, int total) {
    const int height = std::min(requested, total - TSplitterBar::MinSize);
    return height <= TSplitterBar::MinSize ? 0 : height;
}

TSplitterBar::TSplitterBar(QWidget* parent, const QString& name) : QWidget(parent) {
    setObjectName(name);
    setCursor(Qt::SizeVerCursor);
    setFixedHeight(Thickness);
    setFocusPolicy(Qt::NoFocus);
}

void TSplitterBar::SetTarget(std::function<int()> height, std::function<void(int)> setHeight) {
    height_ = std::move(height);
    setHeight_ = std::move(setHeight);
}

void TSplitterBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), false, 1);
}

void TSplitterBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !height_)
        return;
    dragging_ = true;
    startY_ = event->globalPosition().toPoint().y();
    startHeight_ = height_();
}

void TSplitterBar::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !setHeight_)
        return;
    // Live: the panel follows the pointer while dragging.
    setHeight_(startHeight_ + event->globalPosition().toPoint().y() - startY_);
}

void TSplitterBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

} // namespace korvista
