#include "schema/dialect_registry.h"

#include "support/ascii.h"

#include <algorithm>
#include <string>

namespace korvista {

const EngineIdentity* EngineForDbmsName(std::string_view dbmsName) {
    const std::string name = AsciiLower(dbmsName);
    for (const EngineIdentity* engine : RegisteredEngines())
        if (std::find(engine->dbmsNames.begin(), engine->dbmsNames.end(), name) != engine->dbmsNames.end())
            return engine;
    return nullptr;
}

const EngineIdentity* EngineForDriverFile(std::string_view driverFileName) {
    const std::string name = AsciiLower(driverFileName);
    for (const EngineIdentity* engine : RegisteredEngines())
        for (std::string_view part : engine->driverFiles)
            if (name.find(part) != std::string::npos)
                return engine;
    return nullptr;
}

} // namespace korvista
