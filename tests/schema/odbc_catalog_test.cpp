#include "schema/odbc_catalog.h"
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

TEST(OdbcCatalog, ListsDriversAndDataSourcesOfTheDriverManager) {
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
    OdbcCatalog catalog;
    EXPECT_NO_THROW(catalog = ReadOdbcCatalog());
    const auto restore = [](const char* name, const QByteArray& value) {
        value.isNull() ? unsetenv(name) : setenv(name, value.constData(), 1);
    };
    restore("ODBCSYSINI", oldSys);
    restore("ODBCINSTINI", oldInst);
    restore("ODBCINI", oldIni);

    ASSERT_EQ(catalog.drivers.size(), 2U);
    EXPECT_EQ(catalog.drivers[0].name, "Proefdriver Een");
    EXPECT_EQ(catalog.drivers[0].description, "De eerste");
    EXPECT_EQ(catalog.drivers[1].name, "Proefdriver Twee");
    EXPECT_EQ(catalog.drivers[1].description, "");
    EXPECT_EQ(catalog.drivers[0].file, "/nonexistent/libeen.so");
    EXPECT_EQ(DriverFileOf(catalog, "DSN=SysteemBron;Uid=x"), "/nonexistent/libeen.so");
    ASSERT_EQ(catalog.dataSources.size(), 2U);
    EXPECT_EQ(catalog.dataSources[0].name, "gebruikersbron");
    EXPECT_EQ(catalog.dataSources[0].driver, "Proefdriver Twee");
    EXPECT_EQ(catalog.dataSources[1].name, "systeembron");
    EXPECT_EQ(catalog.dataSources[1].driver, "Proefdriver Een");
}

TEST(OdbcCatalog, DriverFileOfFollowsTheDriverOrTheDataSource) {
    OdbcCatalog catalog;
    catalog.drivers = {{"PostgreSQL Unicode", "", "/usr/lib/psqlodbcw.so"}, {"Zonder bestand", "", ""}};
    catalog.dataSources = {{"shop", "PostgreSQL Unicode"}, {"elders", "Onbekende driver"}};
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
        EXPECT_EQ(DriverFileOf(catalog, c.connection), c.file) << c.connection;
    EXPECT_THROW(DriverFileOf(catalog, "Driver={open"), Error);
}

} // namespace
} // namespace korvista
