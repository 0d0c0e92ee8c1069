#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace spinlorex {

// A statement prepared on a SqliteConnection, finalized when it goes. Steps return
// SQLite's primary result codes (SQLITE_ROW, SQLITE_DONE or an error). One thread at a time, the
// connection's.
class SqliteStatement {
public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool valid() const { return statement_ != nullptr; }

    // Parameters count from 1. Texts and blobs are copied.
    void bind(int index, int64_t value);
    void bind(int index, double value);
    void bindText(int index, std::string_view text);
    void bindBlob(int index, std::span<const unsigned char> bytes);

    int step();
    // Ready to step again from the start, its parameters cleared.
    void reset();

    // Columns count from 0; valid until the next step or reset.
    int64_t integer(int column) const;
    double real(int column) const;
    std::string_view text(int column) const;
    std::span<const unsigned char> blob(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
};

// One connection to an SQLite database file, closed when it goes. One thread at a time.
class SqliteConnection {
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&& other) noexcept;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    // Opens `name` (a path, or a "file:" URI when `flags` hold SQLITE_OPEN_URI) with
    // sqlite3_open_v2's `flags`. Returns SQLite's result code; isOpen() is false after a
    // failure.
    int open(const std::string& name, int flags);
    bool isOpen() const { return db_ != nullptr; }
    void close();

    // How long a statement waits for another connection's lock before it fails busy.
    void setBusyTimeout(int milliseconds);

    // Runs every statement of `sql`; SQLite's result code.
    int exec(const char* sql);
    // The statement of `sql`, invalid when it cannot be prepared (`code` then says why).
    SqliteStatement prepare(std::string_view sql, int* code = nullptr);
    // The first column of the first row of `sql` as an integer; SQLite's result code.
    int queryInteger(const char* sql, int64_t& value);

    // SQLite's description of the last failure.
    std::string message() const;

private:
    sqlite3* db_ = nullptr;
};

}  // namespace spinlorex
