// Makes the PostgreSQL cluster that the server test processes of one test
// run copy instead of running initdb each (see TPgServer::MakeTemplate).

#include <cstdio>
#include <string>

#include "support/PgServer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  std::string why;
  if (!TPgServer::MakeTemplate(argv[1], &why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  return 0;
}
