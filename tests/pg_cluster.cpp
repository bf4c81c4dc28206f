#include "pg_cluster.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>
#include <thread>

namespace {

const char* const kAdminPassword = "cluster-admin-secret";
const char* const kPressPassword = "press3-secret";

/// A port nobody listens on at the moment, on 127.0.0.1.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
}

std::string FindServerBin() {
    for (const char* version : {"15", "16", "17", "14", "13"}) {
        const std::string bin = std::string("/usr/lib/postgresql/") + version + "/bin";
        if (access((bin + "/initdb").c_str(), X_OK) == 0) return bin;
    }
    return "";
}

} // namespace

PgCluster::~PgCluster() {
    Stop();
    if (!m_dir.empty()) std::system(("rm -rf '" + m_dir + "'").c_str());
}

bool PgCluster::RunAsServerUser(const std::string& command, std::string* why) const {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(m_gid) != 0 || setuid(m_uid) != 0))
            _exit(126);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    if (why) *why = "failed: " + command;
    return false;
}

bool PgCluster::Create(std::string* why) {
    m_bin = FindServerBin();
    if (m_bin.empty()) {
        if (why) *why = "no PostgreSQL server installed (postgresql-15)";
        return false;
    }
    char pattern[] = "/tmp/vemo-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        if (why) *why = "no temporary directory";
        return false;
    }
    m_dir = pattern;
    m_uid = geteuid();
    m_gid = getegid();
    if (m_uid == 0) {
        const passwd* user = getpwnam("postgres");
        if (!user) {
            if (why) *why = "running as root without a \"postgres\" user to run the server";
            return false;
        }
        m_uid = user->pw_uid;
        m_gid = user->pw_gid;
        if (chown(m_dir.c_str(), m_uid, m_gid) != 0) {
            if (why) *why = "cannot hand " + m_dir + " to the postgres user";
            return false;
        }
    }
    WriteFile(m_dir + "/admin.pw", kAdminPassword, 0644);
    if (chown((m_dir + "/admin.pw").c_str(), m_uid, m_gid) != 0) {
        if (why) *why = "cannot hand the password file to the postgres user";
        return false;
    }
    if (!RunAsServerUser(m_bin + "/initdb -D '" + m_dir + "/data' -U admin --auth=scram-sha-256" +
                             " --pwfile='" + m_dir + "/admin.pw' -E UTF8 --no-sync" + " > '" +
                             m_dir + "/initdb.log' 2>&1",
                         why))
        return false;
    // The server's certificate, signed by a CA of the test's own, for
    // 127.0.0.1: a recorder verifies it as it would the plant's.
    const std::string d = "'" + m_dir + "'";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    WriteFile(m_dir + "/server.ext", "subjectAltName=IP:127.0.0.1\n", 0644);
    const std::string certificates =
        "cd " + d + " && { openssl req -x509" + ec + " -days 3 -subj /CN=vemo-test-ca" +
        " -keyout ca.key -out ca.crt && openssl req" + ec + " -subj /CN=127.0.0.1" +
        " -keyout server.key -out server.csr && openssl x509 -req -in server.csr -CA ca.crt" +
        " -CAkey ca.key -CAcreateserial -days 3 -extfile server.ext -out server.crt" +
        " && chmod 600 server.key; } > certificates.log 2>&1";
    if (!RunAsServerUser(certificates, why)) {
        if (why) *why = "no certificates for the test's server (openssl): " + *why;
        return false;
    }
    m_port = FreePort();
    // Any port: a test may put a relay between the recorder and the server.
    WriteFile(m_dir + "/press3.pgpass",
              std::string("127.0.0.1:*:presses:press3:") + kPressPassword + "\n", 0600);
    // No password in a connection string, the administrator's neither.
    WriteFile(m_dir + "/admin.pgpass",
              "127.0.0.1:" + std::to_string(m_port) + ":*:admin:" + kAdminPassword + "\n", 0600);
    if (!Start(why)) return false;
    // The plant's database and a recorder's login, as a plant would set them up.
    PGconn* admin = PQconnectdb(AdminConnection().c_str());
    bool ok = PQstatus(admin) == CONNECTION_OK;
    for (const std::string& sql :
         {std::string("CREATE DATABASE presses"),
          "CREATE ROLE press3 LOGIN PASSWORD '" + std::string(kPressPassword) + "'",
          std::string("ALTER DATABASE presses OWNER TO press3")})
        if (ok) {
            PGresult* r = PQexec(admin, sql.c_str());
            ok = PQresultStatus(r) == PGRES_COMMAND_OK;
            PQclear(r);
        }
    if (!ok && why) *why = PQerrorMessage(admin);
    PQfinish(admin);
    return ok;
}

bool PgCluster::Start(std::string* why) {
    if (m_pid > 0) return true;
    const std::string data = m_dir + "/data", port = std::to_string(m_port);
    const std::string server = m_bin + "/postgres";
    m_pid = fork();
    if (m_pid == 0) {
        // The server, listening on 127.0.0.1 only, its socket in its own
        // directory, its log beside it.
        const int log = open((m_dir + "/server.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(m_gid) != 0 || setuid(m_uid) != 0))
            _exit(126);
        // A test that dies on the way takes its server with it (a fast
        // shutdown); set after the change of user, which clears it.
        prctl(PR_SET_PDEATHSIG, SIGINT);
        execl(server.c_str(), "postgres", "-D", data.c_str(), "-h", "127.0.0.1", "-p", port.c_str(),
              "-k", m_dir.c_str(), "-c", "fsync=off", "-c", "ssl=on", "-c",
              ("ssl_cert_file=" + m_dir + "/server.crt").c_str(), "-c",
              ("ssl_key_file=" + m_dir + "/server.key").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string ping = "host=127.0.0.1 port=" + port + " dbname=postgres connect_timeout=2";
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
        if (PQping(ping.c_str()) == PQPING_OK) return true;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            if (why) *why = "the server ended at its start (see " + m_dir + "/server.log)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (why) *why = "the server did not answer within 30 s";
    Stop();
    return false;
}

void PgCluster::Freeze(bool frozen) {
    if (m_pid <= 0) return;
    // The backends are sessions of their own: each child of the server is
    // signalled, found by its parent in /proc.
    std::vector<pid_t> processes = {m_pid};
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
            if (pid <= 0) continue;
            std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
            std::string line;
            std::getline(stat, line);
            // pid (name) state ppid …; the name may hold spaces.
            const size_t close = line.rfind(')');
            if (close == std::string::npos) continue;
            char state = 0;
            int parent = 0;
            if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
                parent == m_pid)
                processes.push_back(pid);
        }
        closedir(proc);
    }
    for (pid_t pid : processes)
        kill(pid, frozen ? SIGSTOP : SIGCONT);
}

void PgCluster::Stop() {
    if (m_pid <= 0) return;
    Freeze(false);
    kill(m_pid, SIGINT);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string PgCluster::Connection(const std::string& password) const {
    // The right password's file is written once, when the cluster is made:
    // recorders on several threads read it at the same time.
    const std::string file = m_dir + (password.empty() ? "/press3.pgpass" : "/other.pgpass");
    if (!password.empty())
        WriteFile(file,
                  "127.0.0.1:" + std::to_string(m_port) + ":presses:press3:" + password + "\n",
                  0600);
    return "host=127.0.0.1 port=" + std::to_string(m_port) +
           " dbname=presses user=press3 passfile=" + file + " sslrootcert=" + CaFile();
}

std::string PgCluster::CaFile() const {
    return m_dir + "/ca.crt";
}

std::string PgCluster::AdminConnection(const std::string& database) const {
    return "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=" + database +
           " user=admin passfile=" + m_dir + "/admin.pgpass sslrootcert=" + CaFile();
}
