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

    // How long the connection waits on its server, from the next Connect on; by default SessionLimits{}.
    const SessionLimits& Limits() const { return ado_->Limits(); }
    void SetLimits(const SessionLimits& value) { ado_->SetLimits(value); }

    void Connect();
    void Disconnect();

    // The provider's message from the last Connect that failed; empty after one that did not.
    const std::string& LastOpenError() const { return FLastOpenError; }

private:
    TADOConnection* ado_;
    std::string FConnectionString;
    std::string FLastOpenError;
};

} // namespace korvista
