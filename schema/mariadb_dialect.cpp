#include "schema/catalogue_dialect.h"

namespace korvista {

std::unique_ptr<EngineDialect> MakeMariaDbDialect() {
    return nullptr;
}

} // namespace korvista
