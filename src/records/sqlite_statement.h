// A prepared SQLite statement of the record store, finalised whatever
// happens; for the store's own files only.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

/// One prepared statement, finalised whatever happens.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, int64_t value) {
        sqlite3_bind_int64(m_stmt, i, value);
        return *this;
    }
    Statement& Bind(int i, double value) {
        sqlite3_bind_double(m_stmt, i, value);
        return *this;
    }
    Statement& BindBlob(int i, const std::string& bytes) {
        sqlite3_bind_blob(m_stmt, i, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    /// SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    /// Ready to be stepped again with new values.
    void Reset() {
        if (m_stmt) sqlite3_reset(m_stmt);
    }
    std::string Text(int column) const {
        const unsigned char* text = sqlite3_column_text(m_stmt, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                    : std::string();
    }
    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool Null(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    double Real(int column) const { return sqlite3_column_double(m_stmt, column); }
    std::string Blob(int column) const {
        const void* bytes = sqlite3_column_blob(m_stmt, column);
        return bytes ? std::string(static_cast<const char*>(bytes),
                                   static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string();
    }
    std::string Error() const { return sqlite3_errmsg(m_db); }

  private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};
