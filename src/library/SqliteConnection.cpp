#include "library/SqliteConnection.h"

#include <sqlite3.h>

#include <utility>

namespace spinlorex {

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

void SqliteStatement::bind(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::bind(int index, double value) {
    sqlite3_bind_double(statement_, index, value);
}

void SqliteStatement::bindText(int index, std::string_view text) {
    sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void SqliteStatement::bindBlob(int index, std::span<const unsigned char> bytes) {
    // A zero-length blob, not a NULL, for no bytes.
    static const unsigned char kNothing = 0;
    sqlite3_bind_blob64(statement_, index, bytes.empty() ? &kNothing : bytes.data(), bytes.size(),
                        SQLITE_TRANSIENT);
}

int SqliteStatement::step() {
    return statement_ == nullptr ? SQLITE_MISUSE : sqlite3_step(statement_) & 0xFF;
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::real(int column) const { return sqlite3_column_double(statement_, column); }

std::string_view SqliteStatement::text(int column) const {
    const unsigned char* bytes = sqlite3_column_text(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    if (bytes == nullptr || length <= 0) return {};
    return {reinterpret_cast<const char*>(bytes), static_cast<size_t>(length)};
}

std::span<const unsigned char> SqliteStatement::blob(int column) const {
    const void* bytes = sqlite3_column_blob(statement_, column);
    const int length = sqlite3_column_bytes(statement_, column);
    if (bytes == nullptr || length <= 0) return {};
    return {static_cast<const unsigned char*>(bytes), static_cast<size_t>(length)};
}

SqliteConnection::~SqliteConnection() { close(); }

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)) {}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

int SqliteConnection::open(const std::string& name, int flags) {
    close();
    const int code = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) close();
    return code & 0xFF;
}

void SqliteConnection::close() {
    // Statements still prepared keep it open until they go.
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void SqliteConnection::setBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_, milliseconds); }

int SqliteConnection::exec(const char* sql) {
    if (db_ == nullptr) return SQLITE_MISUSE;
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) & 0xFF;
}

SqliteStatement SqliteConnection::prepare(std::string_view sql, int* code) {
    sqlite3_stmt* statement = nullptr;
    const int result = db_ == nullptr
                           ? SQLITE_MISUSE
                           : sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()),
                                                &statement, nullptr);
    if (code != nullptr) *code = result & 0xFF;
    return SqliteStatement(statement);
}

int SqliteConnection::queryInteger(const char* sql, int64_t& value) {
    int code = SQLITE_OK;
    SqliteStatement statement = prepare(sql, &code);
    if (code != SQLITE_OK) return code;
    code = statement.step();
    if (code == SQLITE_ROW) {
        value = statement.integer(0);
        return SQLITE_OK;
    }
    return code == SQLITE_DONE ? SQLITE_ERROR : code;
}

std::string SqliteConnection::message() const {
    return db_ == nullptr ? std::string("cannot be opened") : std::string(sqlite3_errmsg(db_));
}

}  // namespace spinlorex
