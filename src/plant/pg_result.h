// A libpq result, cleared whatever happens. Only the plant library includes it.
#pragma once

#include <libpq-fe.h>

struct PgResult {
    explicit PgResult(PGresult* r) : result(r) {}
    ~PgResult() { PQclear(result); }
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    PGresult* result;
};
