// mae-pgload: copies a SQLite registry (e.g. one from mae-generate) into a PostgreSQL database.
//
//   mae-pgload REGISTRY.db CONNECTION
//
// CONNECTION is the program's ODBC connection string for the PostgreSQL driver
// ("Driver=PostgreSQL Unicode;Server=...;Port=...;Database=...;UID=...;PWD=...", as
// scripts/pg-server.sh writes it) or a libpq connection string ("host=... dbname=...").

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "server/PgLoad.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s REGISTRY.db CONNECTION\n", argv[0]);
        return 2;
    }
    std::string connection = argv[2];
    if (connection.find(';') != std::string::npos) {
        connection = mae::pgload::LibpqConnInfo(connection);
    }
    try {
        auto start = std::chrono::steady_clock::now();
        mae::pgload::LoadSummary s = mae::pgload::LoadSqliteIntoPostgres(argv[1], connection);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d tables, %lld rows, %d indexes copied in %.2f s\n", s.tables, s.rows,
                    s.indexes, seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mae-pgload: %s\n", e.what());
        return 1;
    }
    return 0;
}
