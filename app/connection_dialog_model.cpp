#include "app/connection_dialog_model.h"

#include "support/ascii.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace korvista {

namespace {

using M = TConnectionModel;

// Where a key goes when a page adds it; keys the pages do not know keep their place after these.
constexpr std::array<const char*, 9> kOrder = {M::kProvider,   M::kDriver, M::kDsn,
                                               M::kDataSource, M::kServer, M::kPort,
                                               M::kDatabase,   M::kUser,   M::kPassword};

std::size_t Rank(const std::string& key) {
    const auto it =
        std::find_if(kOrder.begin(), kOrder.end(), [&](const char* k) { return AsciiEqualsNoCase(key, k); });
    return static_cast<std::size_t>(std::distance(kOrder.begin(), it));
}

std::vector<std::string> PageKeys(TProviderKind kind) {
    switch (kind) {
    case TProviderKind::pkSqlite:
        return {M::kDataSource};
    case TProviderKind::pkOdbcDriver:
        return {M::kServer, M::kPort, M::kDatabase, M::kUser, M::kPassword};
    case TProviderKind::pkOdbcDataSource:
        return {M::kUser, M::kPassword};
    case TProviderKind::pkOther:
        break;
    }
    return {};
}

bool Contains(const std::vector<std::string>& keys, const std::string& key) {
    return std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return AsciiEqualsNoCase(k, key); });
}

} // namespace

TConnectionModel::TConnectionModel(const std::string& initial) : FSettings(ConnectionString::Parse(initial)) {
    const auto provider = FSettings.Get(kProvider);
    FKeepOdbcProvider = provider && AsciiEqualsNoCase(*provider, "ODBC");
    if (IsBlankText(initial))
        SelectProvider({TProviderKind::pkSqlite, {}});
}

TProviderChoice TConnectionModel::Provider() const {
    // The same reading as the provider layer: a Provider key other than ODBC decides alone.
    if (const auto provider = FSettings.Get(kProvider); provider && !AsciiEqualsNoCase(*provider, "ODBC")) {
        if (AsciiEqualsNoCase(*provider, "SQLite"))
            return {TProviderKind::pkSqlite, {}};
        return {TProviderKind::pkOther, *provider};
    }
    // The ODBC driver manager takes whichever of DSN and Driver comes first.
    for (const auto& [key, value] : FSettings.Entries()) {
        if (AsciiEqualsNoCase(key, kDsn))
            return {TProviderKind::pkOdbcDataSource, value};
        if (AsciiEqualsNoCase(key, kDriver))
            return {TProviderKind::pkOdbcDriver, value};
    }
    return {TProviderKind::pkOther, {}};
}

void TConnectionModel::SelectProvider(const TProviderChoice& choice) {
    const TProviderChoice old = Provider();
    if (old == choice)
        return;

    const std::vector<std::string> oldKeys = PageKeys(old.kind);
    const std::vector<std::string> newKeys = PageKeys(choice.kind);
    for (const std::string& key : oldKeys) {
        if (Contains(newKeys, key))
            continue;
        if (const auto value = FSettings.Get(key)) {
            FPutAside.Set(key, *value);
            FSettings.Remove(key);
        }
    }

    const auto odbcProvider = [this] {
        if (!FKeepOdbcProvider)
            FSettings.Remove(kProvider);
        else if (const auto p = FSettings.Get(kProvider); !p || !AsciiEqualsNoCase(*p, "ODBC"))
            Insert(kProvider, "ODBC");
    };
    switch (choice.kind) {
    case TProviderKind::pkSqlite:
        FSettings.Remove(kDriver);
        FSettings.Remove(kDsn);
        Insert(kProvider, "SQLite");
        break;
    case TProviderKind::pkOdbcDriver:
        FSettings.Remove(kDsn);
        odbcProvider();
        Insert(kDriver, choice.name);
        break;
    case TProviderKind::pkOdbcDataSource:
        FSettings.Remove(kDriver);
        odbcProvider();
        Insert(kDsn, choice.name);
        break;
    case TProviderKind::pkOther:
        if (choice.name.empty())
            odbcProvider();
        else
            Insert(kProvider, choice.name);
        break;
    }

    for (const std::string& key : newKeys) {
        const auto kept = FPutAside.Get(key);
        if (kept && !FSettings.Get(key))
            Insert(key, *kept);
        FPutAside.Remove(key);
    }
}

std::string TConnectionModel::Compose() const {
    std::string text = FSettings.ToString();
    if (!text.empty() && text.back() == ';')
        text.pop_back();
    return text;
}

std::string TConnectionModel::Value(const std::string& key) const {
    return FSettings.Get(key).value_or("");
}

void TConnectionModel::SetValue(const std::string& key, const std::string& value) {
    if (value.empty())
        FSettings.Remove(key);
    else
        Insert(key, value);
}

void TConnectionModel::ReplaceEntries(const std::vector<std::pair<std::string, std::string>>& entries) {
    ConnectionString settings;
    for (const auto& [key, value] : entries) {
        if (!IsBlankText(key))
            settings.Set(key, value);
    }
    FSettings = settings;
}

void TConnectionModel::Insert(const std::string& key, const std::string& value) {
    if (FSettings.Get(key)) {
        FSettings.Set(key, value);
        return;
    }
    std::vector<std::pair<std::string, std::string>> entries = FSettings.Entries();
    const std::size_t rank = Rank(key);
    auto position = entries.begin();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (Rank(it->first) < rank)
            position = std::next(it);
    }
    entries.insert(position, {key, value});
    ConnectionString rebuilt;
    for (const auto& [k, v] : entries)
        rebuilt.Set(k, v);
    FSettings = rebuilt;
}

std::optional<std::string> MaskedValue(const std::string& key, const std::string& value,
                                       const std::string& maskCharacter) {
    if (IsPasswordKey(key)) {
        std::string mask;
        for (const char c : value) {
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
                mask += maskCharacter;
        }
        return mask;
    }
    std::string masked = MaskPasswords(value);
    if (masked == value)
        return std::nullopt;
    return masked;
}

} // namespace korvista
