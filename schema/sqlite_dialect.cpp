#include "schema/catalogue_dialect.h"

namespace korvista {

std::unique_ptr<EngineDialect> MakeSqliteDialect() {
    return nullptr;
}

} // namespace korvista
