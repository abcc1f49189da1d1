#pragma once

namespace korvista::bench {

// korvista-cli on two MariaDB databases of [tables] x [columns] against, in the same run, one catalogue
// query per database made by the server's own client (`mariadb`); prints both and their ratio. Needs the
// test servers (KORVISTA_TEST_SERVERS_ENV); says so and returns without them.
void MeasureMariaDbPair(int tables, int columns, int runs);

} // namespace korvista::bench
