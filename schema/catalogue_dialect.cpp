#include "schema/catalogue_dialect.h"

#include "schema/dialect_registry.h"

namespace korvista {

std::unique_ptr<EngineDialect> DialectForDbmsName(const std::string& dbmsName) {
    const EngineIdentity* engine = EngineForDbmsName(dbmsName);
    return engine ? engine->makeDialect() : nullptr;
}

} // namespace korvista
