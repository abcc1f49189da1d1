#include "schema/ado_connection.h"

#include "support/errors.h"

#include <utility>

namespace korvista {

TADOConnection::TADOConnection(QObject* owner) : QObject(owner) {}

TADOConnection::~TADOConnection() = default;

void TADOConnection::SetConnectionString(const std::string& value) {
    if (value != connectionString_)
        connectionString_ = value;
}

void TADOConnection::Open() {
    if (session_)
        return;
    // Assigned only on success, so a failed open leaves the connection closed.
    session_ = OpenProviderSession(connectionString_, limits_);
}

void TADOConnection::Close() {
    session_.reset();
}

void TADOConnection::OpenWith(std::unique_ptr<ProviderSession> session) {
    if (!session)
        throw Error("No open session was given.");
    session_ = std::move(session);
}

ProviderSession& TADOConnection::Session() {
    if (!session_)
        throw Error("The connection is not open.");
    return *session_;
}

} // namespace korvista
