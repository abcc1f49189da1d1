#pragma once

#include "schema/ado_connection.h"

#include <QObject>
#include <string>

namespace korvista {

// One database: owns its provider connection, opens on request, logs a failed open.
class TDatabase : public QObject {
    Q_OBJECT
public:
    explicit TDatabase(QObject* owner);
    ~TDatabase() override;

    TADOConnection& ADO() { return *ado_; }
    const TADOConnection& ADO() const { return *ado_; }

    const std::string& ConnectionString() const { return FConnectionString; }
    void SetConnectionString(const std::string& value);

    void Connect();
    void Disconnect();

private:
    TADOConnection* ado_;
    std::string FConnectionString;
};

} // namespace korvista
