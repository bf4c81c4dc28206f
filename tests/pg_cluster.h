// A PostgreSQL cluster of a test's own: initdb into a temporary directory,
// the server listening on 127.0.0.1 on a free port only, with TLS (a
// certificate signed by a CA the cluster makes), run as an
// unprivileged user (postgres refuses root: when the tests run as root, the
// server runs as the "postgres" user), stopped by its PID.
#pragma once

#include <string>
#include <sys/types.h>

class PgCluster {
  public:
    PgCluster() = default;
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    /// Makes the cluster with a database "presses" and a login "press3"
    /// whose password is kept in a libpq password file; false with the
    /// reason (no PostgreSQL installed, initdb failed, …).
    bool Create(std::string* why);
    /// Starts the server (again, on the same port); false when it does not
    /// answer within 30 s.
    bool Start(std::string* why);
    /// Stops the server at once (its PID, SIGINT: a fast shutdown).
    void Stop();
    /// Stops every process of the server where it is (SIGSTOP), or lets
    /// them go on: a server that hangs, its connections open and silent.
    void Freeze(bool frozen);
    bool Running() const { return m_pid > 0; }
    int Port() const { return m_port; }
    /// The connection string a recorder would have in config.ini, with the
    /// password file beside it; `password` other than the right one writes a
    /// second file with that password instead.
    std::string Connection(const std::string& password = "") const;
    /// The CA that signed the server's certificate (for 127.0.0.1).
    std::string CaFile() const;
    /// The cluster's superuser on `database` (to change the schema by hand).
    std::string AdminConnection(const std::string& database = "postgres") const;

  private:
    bool RunAsServerUser(const std::string& command, std::string* why) const;
    std::string m_dir, m_bin;
    int m_port = 0;
    pid_t m_pid = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
};
