#include "compare/u_Tracker.h"

namespace korvista {

std::string AsciiUpperCase(const std::string& text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 0x20);
    return result;
}

TCustomTrackerItem::TCustomTrackerItem(QObject* owner) : QObject(owner) {}

bool TCustomTrackerItem::IsEqual(const TCustomTrackerItem* /*other*/) const {
    return false;
}

TFieldItem::TFieldItem(QObject* owner) : TCustomTrackerItem(owner) {}

bool TFieldItem::IsEqual(const TCustomTrackerItem* other) const {
    // Anything but a field descriptor matches nothing.
    const auto* field = dynamic_cast<const TFieldItem*>(other);
    if (field == nullptr)
        return false;
    return AsciiUpperCase(field->FieldName) == AsciiUpperCase(FieldName) && field->Length == Length &&
           field->DataType == DataType && field->Nullable == Nullable;
}

} // namespace korvista
