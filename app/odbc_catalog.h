#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvista {

struct OdbcDriver {
    std::string name;
    std::string description; // the Description attribute of odbcinst.ini; may be empty
};

struct OdbcDataSource {
    std::string name;
    std::string driver; // the description the driver manager gives, normally the driver's name
};

// What the ODBC driver manager offers on this machine.
struct OdbcCatalog {
    std::vector<OdbcDriver> drivers;
    std::vector<OdbcDataSource> dataSources; // user data sources first, then system ones
};

// Asks the driver manager (SQLDrivers, SQLDataSources); throws korvista::Error when it cannot.
// Nothing installed gives an empty catalogue, not an error.
OdbcCatalog ReadOdbcCatalog();

// How the connection dialog obtains the catalogue; tests hand in their own.
using OdbcCatalogSource = std::function<OdbcCatalog()>;

} // namespace korvista
