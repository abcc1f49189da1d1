#include "schema/catalogue_dialect.h"

namespace korvista {

std::unique_ptr<EngineDialect> MakePostgreSqlDialect() {
    return nullptr;
}

} // namespace korvista
