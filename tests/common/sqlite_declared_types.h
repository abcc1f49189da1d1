#pragma once

// SQLite declared types, each as SQLite accepts it in CREATE TABLE, with the column description in ADO's
// terms that the type model gives it. Shared by the pure type tests, the built-in provider's tests and
// the tests of both SQLite roads (built-in and ODBC driver) on one file.

#include <cstdint>
#include <vector>

namespace korvista::testing {

struct SqliteTypeCase {
    const char* declared;
    std::int32_t type; // ADO DataTypeEnum code
    std::int32_t definedSize = 0;
    std::uint8_t precision = 0;
    std::uint8_t numericScale = 0;
};

// Every logical type SQLite declares by name, national variants and the names other engines' DDL brings,
// then names that only SQLite's affinity rules know.
inline const std::vector<SqliteTypeCase>& SqliteTypeCases() {
    static const std::vector<SqliteTypeCase> cases = {
        {"TINYINT", 16},
        {"tinyint unsigned", 17},
        {"SMALLINT", 2},
        {"int2", 2},
        {"smallint unsigned", 18},
        {"smallserial", 2},
        {"INTEGER", 3},
        {"int", 3},
        {"MediumInt", 3},
        {"INT4", 3},
        {"int unsigned", 19},
        {"serial", 3},
        {"BIGINT", 20},
        {"INT8", 20},
        {"bigint unsigned", 21},
        {"bigserial", 20},
        {"unsigned  big   int", 21},
        {"NUMERIC", 131, 0, 18, 0},
        {"DECIMAL(10,2)", 131, 0, 10, 2},
        {"numeric(7)", 131, 0, 7, 0},
        {"numeric(9,0)", 131, 0, 9, 0},
        {"numeric(18,2)", 131, 0, 18, 2},
        {"decimal ( 12 , 4 )", 131, 0, 12, 4},
        {"money", 6, 0, 19, 4},
        {"MONEY(19,2)", 6, 0, 19, 4},
        {"smallmoney", 6, 0, 19, 4},
        {"REAL", 4},
        {"FLOAT4", 4},
        {"DOUBLE", 5},
        {"double precision", 5},
        {"FLOAT", 5},
        {"FLOAT8", 5},
        {"BOOLEAN", 11},
        {"BOOL", 11},
        {"BIT", 11},
        {"bit(1)", 11},
        {"bit(8)", 128, 8},
        {"bit varying(12)", 204, 12},
        {"CHAR", 129, 1},
        {"CHARACTER(10)", 129, 10},
        {"NCHAR", 129, 1},
        {"nchar(10)", 129, 10},
        {"NATIVE CHARACTER(70)", 129, 70},
        {"VARCHAR", 201},
        {"varchar(20)", 200, 20},
        {"varchar(4000)", 200, 4000},
        {"CHARACTER VARYING(30)", 200, 30},
        {"VARYING CHARACTER(40)", 200, 40},
        {"NVARCHAR", 201},
        {"nvarchar(30)", 200, 30},
        {"NATIONAL VARYING CHARACTER(12)", 200, 12},
        {"VARCHAR2(50)", 200, 50},
        {"TEXT", 201},
        {"CLOB", 201},
        {"NTEXT", 201},
        {"LONGTEXT", 201},
        {"STRING", 201},
        {"json", 201},
        {"jsonb", 201},
        {"xml", 201},
        {"BINARY", 128, 1},
        {"BINARY(16)", 128, 16},
        {"VARBINARY", 205},
        {"VARBINARY(8)", 204, 8},
        {"BLOB", 205},
        {"bytea", 205},
        {"MEDIUMBLOB", 205},
        {"", 205},
        {"DATE", 133},
        {"TIME", 134},
        {"time with time zone", 134},
        {"timetz", 134},
        {"DATETIME", 135},
        {"TIMESTAMP", 135},
        {"timestamp(6)", 135},
        {"timestamp with time zone", 135},
        {"timestamptz", 135},
        {"timestamp without time zone", 135},
        {"datetime2", 135},
        {"smalldatetime", 135},
        {"datetimeoffset", 135},
        {"year", 2},
        {"UUID", 72},
        {"GUID", 72},
        {"UNIQUEIDENTIFIER", 72},
        {"inet", 200, 43},
        {"cidr", 200, 43},
        {"macaddr", 200, 17},
        {"macaddr8", 200, 23},
        {"interval", 200, 66},
        // Names the table does not know follow SQLite's affinity rules, INT winning over the rest.
        {"FLOATING POINT", 3},
        {"CHAR VARYING(5)", 200, 5},
        {"LONG VARCHAR", 201},
        {"DOUBLE VALUE", 5},
        {"CUSTOM DOMAIN", 131, 0, 18, 0},
    };
    return cases;
}

} // namespace korvista::testing
