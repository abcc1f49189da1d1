#include "compare/u_Tracker.h"

#include "support/ascii.h"

namespace korvista {

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
    return AsciiUpper(field->FieldName) == AsciiUpper(FieldName) && field->Length == Length &&
           field->DataType == DataType && field->Nullable == Nullable;
}

TFieldItem* NewFieldItem(const FieldDef& definition, QObject* owner) {
    auto* field = new TFieldItem(owner);
    field->FieldName = definition.name;
    field->DataType = definition.dataType;
    field->Length = definition.size;
    field->Nullable = !definition.required;
    return field;
}

} // namespace korvista
