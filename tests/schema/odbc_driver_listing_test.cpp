#include "schema/odbc_driver_listing.h"
#include "support/errors.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace korvista {
namespace {

// ---------------------------------------------------------------------------------------------
// The driver manager's lists, from ini files of the test's own

TEST(OdbcDriverListing, ListsDriversAndDataSourcesOfTheDriverManager) {
    QTemporaryDir dir;
    std::ofstream(dir.filePath("odbcinst.ini").toStdString())
        << "[Proefdriver Een]\nDescription=De eerste\nDriver=/nonexistent/libeen.so\n\n"
        << "[Proefdriver Twee]\nDriver=/nonexistent/libtwee.so\n";
    std::ofstream(dir.filePath("odbc.ini").toStdString()) << "[systeembron]\nDriver=Proefdriver Een\n";
    std::ofstream(dir.filePath("user.ini").toStdString()) << "[gebruikersbron]\nDriver=Proefdriver Twee\n";

    const auto set = [](const char* name, const QString& value) {
        setenv(name, value.toUtf8().constData(), 1);
    };
    const QByteArray oldSys = qgetenv("ODBCSYSINI"), oldInst = qgetenv("ODBCINSTINI"),
                     oldIni = qgetenv("ODBCINI");
    set("ODBCSYSINI", dir.path());
    set("ODBCINSTINI", "odbcinst.ini");
    set("ODBCINI", dir.filePath("user.ini"));
    OdbcDriverListing listing;
    EXPECT_NO_THROW(listing = ReadOdbcDriverListing());
    const auto restore = [](const char* name, const QByteArray& value) {
        value.isNull() ? unsetenv(name) : setenv(name, value.constData(), 1);
    };
    restore("ODBCSYSINI", oldSys);
    restore("ODBCINSTINI", oldInst);
    restore("ODBCINI", oldIni);

    ASSERT_EQ(listing.drivers.size(), 2U);
    EXPECT_EQ(listing.drivers[0].name, "Proefdriver Een");
    EXPECT_EQ(listing.drivers[0].description, "De eerste");
    EXPECT_EQ(listing.drivers[1].name, "Proefdriver Twee");
    EXPECT_EQ(listing.drivers[1].description, "");
    EXPECT_EQ(listing.drivers[0].file, "/nonexistent/libeen.so");
    EXPECT_EQ(DriverFileOf(listing, "DSN=SysteemBron;Uid=x"), "/nonexistent/libeen.so");
    ASSERT_EQ(listing.dataSources.size(), 2U);
    EXPECT_EQ(listing.dataSources[0].name, "gebruikersbron");
    EXPECT_EQ(listing.dataSources[0].driver, "Proefdriver Twee");
    EXPECT_EQ(listing.dataSources[1].name, "systeembron");
    EXPECT_EQ(listing.dataSources[1].driver, "Proefdriver Een");
}

TEST(OdbcDriverListing, DriverFileOfFollowsTheDriverOrTheDataSource) {
    OdbcDriverListing listing;
    listing.drivers = {{"PostgreSQL Unicode", "", "/usr/lib/psqlodbcw.so"}, {"Zonder bestand", "", ""}};
    listing.dataSources = {{"shop", "PostgreSQL Unicode"}, {"elders", "Onbekende driver"}};
    struct Case {
        const char* connection;
        const char* file;
    };
    const Case cases[] = {
        {"Driver={PostgreSQL Unicode};Server=s", "/usr/lib/psqlodbcw.so"},
        {"driver={postgresql unicode}", "/usr/lib/psqlodbcw.so"},
        {"Driver=/opt/lib/libmaodbc.so;DSN=shop", "/opt/lib/libmaodbc.so"},
        {"DSN=SHOP;Uid=u", "/usr/lib/psqlodbcw.so"},
        {"DSN=elders", ""},
        {"DSN=nergens", ""},
        {"Driver=Zonder bestand", ""},
        {"Server=s", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DriverFileOf(listing, c.connection), c.file) << c.connection;
    EXPECT_THROW(DriverFileOf(listing, "Driver={open"), Error);
}

} // namespace
} // namespace korvista
