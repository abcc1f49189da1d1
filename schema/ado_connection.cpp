#include "schema/ado_connection.h"

#include "support/errors.h"

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
    session_ = OpenProviderSession(connectionString_);
}

void TADOConnection::Close() {
    session_.reset();
}

ProviderSession& TADOConnection::Session() {
    if (!session_)
        throw Error("The connection is not open.");
    return *session_;
}

} // namespace korvista
