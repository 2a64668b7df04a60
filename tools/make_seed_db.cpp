// make_seed_db SCRIPT.sql OUTPUT.db
// Builds a plain SQLite database from an SQL script at build time, so the
// seed databases in the resources are generated from reviewable text.

#include <sqlcipher/sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SCRIPT.sql OUTPUT.db\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 1;
    }
    std::stringstream script;
    script << in.rdbuf();

    // Build beside the target and rename, so an interrupted build never leaves
    // a half-written seed that looks up to date.
    const std::string out = argv[2];
    const std::string tmp = out + ".part";
    std::remove(tmp.c_str());

    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(tmp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char *err = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, script.str().c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", argv[1], err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        sqlite3_close(db);
        std::remove(tmp.c_str());
        return 1;
    }
    if (sqlite3_close(db) != SQLITE_OK || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "%s: cannot write\n", out.c_str());
        return 1;
    }
    return 0;
}
