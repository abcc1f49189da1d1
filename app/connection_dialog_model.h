#pragma once

#include "schema/connection_string.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvista {

enum class TProviderKind {
    pkSqlite,         // the built-in provider, Provider=SQLite
    pkOdbcDriver,     // Driver={name} with server, port, database and login
    pkOdbcDataSource, // DSN=name with login
    pkOther           // a provider this dialog has no page for, or ODBC without driver or data source
};

struct TProviderChoice {
    TProviderKind kind = TProviderKind::pkOther;
    std::string name; // driver, data source or foreign provider; empty for SQLite
    bool operator==(const TProviderChoice&) const = default;
};

// The connection string behind the dialog's pages, without any widget. The string itself is the one
// state: the provider and the fields are read from its keys, so keys that no page knows simply stay.
class TConnectionModel {
public:
    // A blank string starts on the built-in provider. Throws korvista::Error when initial cannot be read.
    explicit TConnectionModel(const std::string& initial = {});

    TProviderChoice Provider() const;
    // Values that only the old provider's page knows are put aside and come back when that
    // provider is chosen again, so trying another provider loses nothing.
    void SelectProvider(const TProviderChoice& choice);

    std::string Value(const std::string& key) const; // empty when absent
    // A page field: an empty value removes the key; a new key goes to its usual place.
    void SetValue(const std::string& key, const std::string& value);

    const std::vector<std::pair<std::string, std::string>>& Entries() const { return FSettings.Entries(); }
    // The key list as edited on the "Alle" page; rows without a key are dropped.
    void ReplaceEntries(const std::vector<std::pair<std::string, std::string>>& entries);

    // key=value pairs joined by ";", without a closing ";".
    std::string Compose() const;

    // Keys of the page fields.
    static constexpr const char* kProvider = "Provider";
    static constexpr const char* kDataSource = "Data Source";
    static constexpr const char* kDriver = "Driver";
    static constexpr const char* kDsn = "DSN";
    static constexpr const char* kServer = "Server";
    static constexpr const char* kPort = "Port";
    static constexpr const char* kDatabase = "Database";
    static constexpr const char* kUser = "Uid";
    static constexpr const char* kPassword = "Pwd";

private:
    void Insert(const std::string& key, const std::string& value);

    ConnectionString FSettings;
    ConnectionString FPutAside;
    bool FKeepOdbcProvider = false;
};

// How the "Alle" page shows a value: a password as one mask character per character, as a password
// field shows it, and a value holding passwords of its own (Extended Properties) with those masked.
// Nothing when the value is shown as it is.
std::optional<std::string> MaskedValue(const std::string& key, const std::string& value,
                                       const std::string& maskCharacter);

} // namespace korvista
