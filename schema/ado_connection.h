#pragma once

#include "schema/provider.h"

#include <QObject>
#include <memory>
#include <string>

namespace korvista {

// The provider connection a TDatabase owns: keeps its string, opens synchronously, closed or open.
class TADOConnection : public QObject {
    Q_OBJECT
public:
    explicit TADOConnection(QObject* owner = nullptr);
    ~TADOConnection() override;
    TADOConnection(const TADOConnection&) = delete;
    TADOConnection& operator=(const TADOConnection&) = delete;

    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }

    const std::string& ConnectionString() const { return connectionString_; }
    // Taken only when it differs from the string held; does not close an open connection.
    void SetConnectionString(const std::string& value);

    // How long a session opened from now on waits on its server.
    const SessionLimits& Limits() const { return limits_; }
    void SetLimits(const SessionLimits& value) { limits_ = value; }

    bool Connected() const { return session_ != nullptr; }
    void Open();  // nothing when open; throws korvista::Error with the provider's message
    void Close(); // nothing when closed
    // Makes the connection open over a session opened elsewhere (a provider of a test, for one),
    // replacing any current one; the connection string is left as it is.
    void OpenWith(std::unique_ptr<ProviderSession> session);

    // Valid only while open; throws korvista::Error when closed.
    ProviderSession& Session();

private:
    bool loginPrompt_ = true;
    std::string connectionString_;
    SessionLimits limits_;
    std::unique_ptr<ProviderSession> session_;
};

} // namespace korvista
