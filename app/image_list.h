#pragma once

#include <QIcon>
#include <QObject>
#include <QSize>
#include <vector>

namespace korvista {

// The seven pictures of the tool at one size; index i is resources/picturei.svg.
class TImageList : public QObject {
    Q_OBJECT
public:
    static constexpr int PictureCount = 7;

    TImageList(QObject* owner, int size);

    QSize Size() const { return size_; }
    int Count() const { return static_cast<int>(icons_.size()); }
    // A null icon for an index outside the list.
    QIcon Icon(int index) const;

private:
    QSize size_;
    std::vector<QIcon> icons_;
};

// The program icon.
QIcon ProgramIcon();

} // namespace korvista
