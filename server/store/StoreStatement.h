// Inside the store: a prepared statement and SQLite's words for a failure.
#pragma once

#include <cstdint>
#include <sqlite3.h>
#include <string>

// A prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
    Statement& Blob(int at, const std::string& bytes) {
        sqlite3_bind_blob(s, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Text(int at, const std::string& text) {
        sqlite3_bind_text(s, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Number(int at, std::int64_t n) {
        sqlite3_bind_int64(s, at, n);
        return *this;
    }
    Statement& Null(int at) {
        sqlite3_bind_null(s, at);
        return *this;
    }
    int Step() { return sqlite3_step(s); }
    void Reset() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(s, column);
        return data ? std::string(static_cast<const char*>(data),
                                  static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                    : std::string();
    }
    std::int64_t Int(int column) const { return sqlite3_column_int64(s, column); }
    bool IsNull(int column) const { return sqlite3_column_type(s, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* s = nullptr;
};

inline std::string Why(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }
