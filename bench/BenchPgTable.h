#pragma once
// The table both server benchmarks fetch: `rows` rows of eight columns of
// the usual kinds (integer, text, numeric, timestamp, date, hash, real and a
// Japanese text with NULLs), owned by the test user and analysed.

#include <cstdio>
#include <string>

#include "support/PgServer.h"

inline bool MakePgBenchTable(TPgServer& server, long rows) {
  const std::string make =
      "CREATE TABLE bench AS SELECT n AS id, 'name ' || n AS name, (n * 1.5)::numeric(12,2) AS amount, "
      "timestamp '2020-01-01' + n * interval '1 second' AS stamp, date '2020-01-01' + n % 3650 AS day, "
      "md5(n::text) AS code, n::float8 / 3 AS ratio, "
      "CASE WHEN n % 7 = 0 THEN NULL ELSE 'テキスト' || n END AS memo FROM generate_series(1, " +
      std::to_string(rows) + ") AS s(n)";
  if (server.Admin(make) && server.Admin("ALTER TABLE bench OWNER TO quser") && server.Admin("VACUUM ANALYZE bench"))
    return true;
  std::fprintf(stderr, "%s\n", server.Error().c_str());
  return false;
}
