#pragma once

// A snapshot keeps what a comparison reads of a database: its tables and views in catalogue order and each
// table's column descriptions as the provider gave them to the describing rule, as versioned JSON with one
// column per line. "Provider=Snapshot;Data Source=FILE" opens one as a read-only database.

#include "schema/connection_string.h"
#include "schema/provider.h"

#include <memory>
#include <string>

namespace korvista {

constexpr int kSnapshotVersion = 1;

// The snapshot text of a schema; stable: the same schema always gives the same bytes.
std::string WriteSnapshot(const DatabaseSchema& schema);

// Reads snapshot text; throws korvista::Error naming the file and the place of what is wrong (a line and
// column for bad JSON, a path such as tables[2].columns[0].type for a field of the wrong kind).
DatabaseSchema ParseSnapshot(const std::string& text, const std::string& fileName);

// Reads the snapshot file; throws korvista::Error naming the file when it is missing, not a regular file,
// unreadable or malformed.
DatabaseSchema ReadSnapshotFile(const std::string& fileName);

// Writes the snapshot to the file, replacing it only once the whole text is written.
void WriteSnapshotFile(const DatabaseSchema& schema, const std::string& fileName);

// The provider for "Provider=Snapshot": "Data Source" names the snapshot file.
std::unique_ptr<ProviderSession> OpenSnapshotSession(const ConnectionString& settings);

} // namespace korvista
