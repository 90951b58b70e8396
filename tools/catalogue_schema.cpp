// Prints the statements that create the catalogue's fourteen tables, one per
// line, so that tools outside the server (the sample-catalogue generator)
// create exactly the schema the server creates.
#include <cstdio>

#include "catalog/CatalogueSchema.h"

int main() {
  for (const std::string& statement : qb::CatalogueCreateStatements()) {
    std::printf("%s\n", statement.c_str());
  }
  return 0;
}
