#include "schema/u_Database.h"

#include "schema/connection_string.h"
#include "support/u_Utility.h"

#include <exception>

namespace korvista {

TDatabase::TDatabase(QObject* owner) : QObject(owner), ado_(new TADOConnection(this)) {
    ado_->SetLoginPrompt(false);
}

TDatabase::~TDatabase() {
    Disconnect();
    delete ado_;
    ado_ = nullptr;
}

void TDatabase::SetConnectionString(const std::string& value) {
    if (value == FConnectionString)
        return;
    if (ado_->Connected())
        ado_->Close();
    ado_->SetConnectionString(value);
    FConnectionString = value;
}

void TDatabase::Connect() {
    FLastOpenError.clear();
    if (FConnectionString.empty())
        return;
    try {
        ado_->Open();
    } catch (const std::exception& error) {
        FLastOpenError = error.what();
        // The log is read by others than the user: passwords stay out of it.
        TDebug::LogFmt("Error opening database using connectionstring: %s",
                       {MaskPasswords(FConnectionString)}, "");
    }
}

void TDatabase::Disconnect() {
    if (ado_ && ado_->Connected())
        ado_->Close();
}

} // namespace korvista
