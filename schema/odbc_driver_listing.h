#pragma once

// What the ODBC driver manager offers on this machine: its drivers and data sources.

#include <functional>
#include <string>
#include <vector>

namespace korvista {

struct OdbcDriver {
    std::string name;
    std::string description; // the Description attribute of odbcinst.ini; may be empty
    std::string file = {};   // the Driver attribute: the driver's library; may be empty
};

struct OdbcDataSource {
    std::string name;
    std::string driver; // the description the driver manager gives, normally the driver's name
};

struct OdbcDriverListing {
    std::vector<OdbcDriver> drivers;
    std::vector<OdbcDataSource> dataSources; // user data sources first, then system ones
};

// Asks the driver manager (SQLDrivers, SQLDataSources); throws korvista::Error when it cannot.
// Nothing installed gives an empty listing, not an error.
OdbcDriverListing ReadOdbcDriverListing();

// How the connection dialog obtains the listing; tests hand in their own.
using OdbcDriverListingSource = std::function<OdbcDriverListing()>;

// The library file of the driver that the connection string reaches (its Driver key, or the driver of its
// DSN), from the driver manager's lists; empty when they do not say. Names compare without ASCII letter case.
std::string DriverFileOf(const OdbcDriverListing& listing, const std::string& connectionString);

} // namespace korvista
