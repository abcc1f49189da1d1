#pragma once

#include "schema/field_types.h"

#include <QObject>
#include <cstdint>
#include <string>

namespace korvista {

// Upper-cases the bytes a..z only; every other byte, UTF-8 sequences included, stays as it is.
std::string AsciiUpperCase(const std::string& text);

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

} // namespace korvista
