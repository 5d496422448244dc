#pragma once
// The server benchmarks' table of `rows` rows x 8 columns (see
// BenchPgTable.h) in the private MariaDB server: the same values in
// MariaDB's own types, in a utf8mb4 InnoDB table of the test database.

#include <cstdio>
#include <string>

#include "support/MariaServer.h"

inline bool MakeMariaBenchTable(TMariaServer& server, long rows) {
  const std::string make =
      "SET NAMES utf8mb4; USE quorrel; CREATE TABLE bench ENGINE=InnoDB AS SELECT seq AS id, "
      "CONCAT('name ', seq) AS name, CAST(seq * 1.5 AS DECIMAL(12,2)) AS amount, "
      "TIMESTAMP'2020-01-01 00:00:00' + INTERVAL seq SECOND AS stamp, "
      "DATE'2020-01-01' + INTERVAL (seq % 3650) DAY AS day, MD5(seq) AS code, seq / 3e0 AS ratio, "
      "CASE WHEN seq % 7 = 0 THEN NULL ELSE CONCAT('テキスト', seq) END AS memo FROM seq_1_to_" +
      std::to_string(rows) + "; ANALYZE TABLE bench";
  if (server.Admin(make)) return true;
  std::fprintf(stderr, "%s\n", server.Error().c_str());
  return false;
}
