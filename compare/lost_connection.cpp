#include "compare/lost_connection.h"

namespace korvista {

ConnectionLost LostConnection(int database, const std::string& doing, const ConnectionLost& lost) {
    return ConnectionLost("database " + std::to_string(database) + " lost its connection while " + doing +
                          ": " + lost.what());
}

std::string ReadingTable(const std::string& table) {
    return "reading table " + table;
}

std::string LookingUpTable(const std::string& table) {
    return "looking up table " + table;
}

} // namespace korvista
