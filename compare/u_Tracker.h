#pragma once

#include "schema/field_types.h"

#include <QObject>
#include <cstdint>
#include <string>

namespace korvista {

// Base of items that can be matched; owned through QObject's parent/child list.
class TCustomTrackerItem : public QObject {
    Q_OBJECT
public:
    explicit TCustomTrackerItem(QObject* owner);
    virtual bool IsEqual(const TCustomTrackerItem* other) const;
};

// One column of one table of one database.
class TFieldItem : public TCustomTrackerItem {
    Q_OBJECT
public:
    explicit TFieldItem(QObject* owner);

    std::string FieldName;
    TFieldType DataType = ftUnknown;
    std::int32_t Length = 0;
    bool Nullable = false;

    // Name (ASCII upper-cased), length, type and nullability must all agree.
    bool IsEqual(const TCustomTrackerItem* other) const override;
};

// A new descriptor of the column as the describing rule gave it; owner as for the constructor.
TFieldItem* NewFieldItem(const FieldDef& definition, QObject* owner);

} // namespace korvista
