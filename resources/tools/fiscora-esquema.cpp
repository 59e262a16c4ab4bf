// Build-time tool: creates the empty local database from the version-0 schema file, brought to
// the newest version by the program's own upgrade steps (data/LocalSchema.h).
// Usage: fiscora-esquema SCHEMA.sql OUTPUT
// The database is written next to OUTPUT under a temporary name and renamed into place, so an
// interrupted build never leaves a half-made file behind.
#include "data/LocalSchema.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: fiscora-esquema ESQUEMA.sql SAIDA\n");
        return 2;
    }
    std::ifstream schemaFile(argv[1], std::ios::binary);
    if (!schemaFile) {
        std::fprintf(stderr, "fiscora-esquema: não foi possível ler %s\n", argv[1]);
        return 1;
    }
    std::stringstream schema;
    schema << schemaFile.rdbuf();

    const std::string output = argv[2];
    const std::string temporary = output + ".tmp";
    std::remove(temporary.c_str());

    sqlite3* db = nullptr;
    if (sqlite3_open_v2(temporary.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::fprintf(stderr, "fiscora-esquema: %s\n", db ? sqlite3_errmsg(db) : "sem memória");
        sqlite3_close(db);
        return 1;
    }
    std::string script = "BEGIN;\n" + schema.str();
    for (const char* step : fiscora::schema::kSteps)
        script += step;
    script += "PRAGMA user_version = " + std::to_string(fiscora::schema::kVersion) + ";\nCOMMIT;\n";
    char* message = nullptr;
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::fprintf(stderr, "fiscora-esquema: %s: %s\n", argv[1], message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        sqlite3_close(db);
        std::remove(temporary.c_str());
        return 1;
    }
    if (sqlite3_close(db) != SQLITE_OK || std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::fprintf(stderr, "fiscora-esquema: não foi possível gravar %s\n", output.c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
