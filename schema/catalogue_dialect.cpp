#include "schema/catalogue_dialect.h"

#include "support/ascii.h"

namespace korvista {

std::unique_ptr<EngineDialect> DialectForDbmsName(const std::string& dbmsName) {
    const std::string name = AsciiLower(dbmsName);
    if (name == "postgresql")
        return MakePostgreSqlDialect();
    if (name == "mariadb" || name == "mysql")
        return MakeMariaDbDialect();
    if (name == "sqlite")
        return MakeSqliteDialect();
    return nullptr;
}

} // namespace korvista
