#include "app/image_list.h"

#include <QPixmap>
#include <QString>

namespace korvista {

TImageList::TImageList(QObject* owner, int size) : QObject(owner), size_(size, size) {
    for (int i = 0; i < PictureCount; ++i) {
        QIcon icon;
        // Rendered once at the list's size, like a bitmap list; the disabled look is derived from it.
        const QPixmap pixmap = QIcon(QStringLiteral(":/pictures/picture%1.svg").arg(i)).pixmap(size_);
        if (!pixmap.isNull())
            icon.addPixmap(pixmap);
        icons_.push_back(icon);
    }
}

QIcon TImageList::Icon(int index) const {
    if (index < 0 || index >= Count())
        return QIcon();
    return icons_[static_cast<std::size_t>(index)];
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/pictures/korvista.svg"));
}

} // namespace korvista
