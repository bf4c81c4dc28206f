#include "station/quality_accounts.h"
#include "station/translate.h"

#include "records/quality_password.h"
#include "station/limits.h"
#include "station/local_time.h"

#include <algorithm>
#include <cctype>

const char* const kAccountAdded = N_("account added");
const char* const kAccountDisabled = N_("account disabled");
const char* const kAccountEnabled = N_("account enabled");
const char* const kAccountPassword = N_("account password set");

namespace {

const char* const kDash = " \xE2\x80\x94 ";
const char* const kEnabledWord = "enabled, key ";
const char* const kDisabledWord = "disabled, key ";

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

/// What is wrong with a new account's name, "" when it may be used.
std::string NameProblem(const std::string& name, const std::vector<Account>& accounts) {
    if (name.empty()) return Tr("enter the quality engineer's name");
    if (name.size() > 60) return Tr("the name is longer than 60 characters");
    if (name.front() == '(' || name.find(kDash + 1) != std::string::npos ||
        std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return Tr("the name may not begin with \"(\" nor hold a dash \"\xE2\x80\x94\" or a control "
                  "character");
    for (const Account& a : accounts)
        if (Folded(a.name) == Folded(name))
            return TrFormat("there is an account named %s already", a.name.c_str());
    return "";
}

} // namespace

std::string AccountValue(const std::string& name, bool enabled, const std::string& fingerprint) {
    return name + kDash + (enabled ? kEnabledWord : kDisabledWord) + fingerprint;
}

bool ParseAccountValue(const std::string& text, std::string* name, bool* enabled,
                       std::string* fingerprint) {
    const size_t dash = text.rfind(kDash);
    if (dash == std::string::npos || dash == 0) return false;
    const std::string state = text.substr(dash + std::string(kDash).size());
    for (const bool on : {true, false}) {
        const std::string word = on ? kEnabledWord : kDisabledWord;
        if (state.rfind(word, 0) == 0 && state.compare(word.size(), 7, "sha256:") == 0) {
            *name = text.substr(0, dash);
            *enabled = on;
            *fingerprint = state.substr(word.size());
            return true;
        }
    }
    return false;
}

QualityAccounts::QualityAccounts(RecordStore& store, std::string sharedKeyPath)
    : m_store(store), m_sharedKeyPath(std::move(sharedKeyPath)) {
    Load();
}

void QualityAccounts::Load() {
    m_accounts.clear();
    m_unusable.clear();
    std::vector<Change> entries;
    for (const char* what : {kAccountAdded, kAccountDisabled, kAccountEnabled, kAccountPassword})
        for (Change& c : m_store.ChangesOf(what))
            entries.push_back(std::move(c));
    std::sort(entries.begin(), entries.end(),
              [](const Change& a, const Change& b) { return a.id < b.id; });
    for (const Change& c : entries) {
        std::string name, fingerprint;
        bool enabled = false;
        if (!ParseAccountValue(c.newValue, &name, &enabled, &fingerprint)) continue;
        auto it = std::find_if(m_accounts.begin(), m_accounts.end(),
                               [&](const Account& a) { return a.name == name; });
        if (it == m_accounts.end()) {
            if (c.what != kAccountAdded) continue;
            m_accounts.push_back(Account{});
            it = m_accounts.end() - 1;
            it->name = name;
            it->addedAt = c.at;
            it->addedBy = c.who;
        }
        it->enabled = enabled;
        it->fingerprint = fingerprint;
        if (c.what == kAccountAdded || c.what == kAccountPassword) {
            it->passwordSetBy = c.who == name ? "" : c.who;
            it->passwordSetAt = c.at;
        }
        if (!m_store.ChangeIntact(c.id, nullptr)) it->intact = false;
    }
    if (!m_accounts.empty()) {
        m_mode = AccountsMode::Accounts;
        return;
    }
    Change set;
    const bool everSet = m_store.LastChange(kPasswordSetChange, "", &set);
    const QualityPassword shared(m_sharedKeyPath);
    const PasswordState state = shared.State(everSet);
    m_mode = state == PasswordState::NotSet ? AccountsMode::FirstUse : AccountsMode::Shared;
    if (state == PasswordState::Missing)
        m_unusable =
            TrFormat("the password file %s is missing, though a password was set %s by "
                     "%s. Restore it from a backup",
                     m_sharedKeyPath.c_str(), IsoDateTime(set.at).c_str(), set.who.c_str());
    else if (state == PasswordState::Damaged)
        m_unusable = TrFormat("the password file %s is damaged. Restore it from a backup",
                              m_sharedKeyPath.c_str());
    else if (state == PasswordState::Set)
        m_unusable = QualityKeyRefusal(m_store, shared);
}

const Account* QualityAccounts::Find(const std::string& name) const {
    for (const Account& a : m_accounts)
        if (Folded(a.name) == Folded(name)) return &a;
    return nullptr;
}

std::string QualityAccounts::Wait(int64_t now) {
    const int64_t wait = AttemptsFromTrail(m_store.Changes("", 200)).WaitSeconds(now);
    if (wait == 0) return "";
    return TrFormat("too many wrong passwords: try again in %lld s", static_cast<long long>(wait));
}

SignInResult QualityAccounts::Refused(const std::string& typedName, int64_t now,
                                      const Change& wrong, const std::string& why) {
    // Refused attempts are part of the trail too.
    Change refused = wrong;
    refused.at = now;
    refused.who = typedName;
    refused.what = kWrongPasswordChange;
    m_store.AddChange(refused, nullptr);
    SignInResult result;
    result.wrongPassword = why.empty();
    result.why = why.empty() ? Tr("wrong password") : why;
    return result;
}

SignInResult QualityAccounts::SignIn(const std::string& name, const std::string& password,
                                     int64_t now, const Change& wrong) {
    SignInResult result;
    if (!m_unusable.empty()) {
        result.why = m_unusable;
        return result;
    }
    if (m_mode != AccountsMode::Accounts) {
        result.why = Tr("no quality engineer's account is made yet");
        return result;
    }
    if (result.why = Wait(now); !result.why.empty()) {
        result.waiting = true;
        return result;
    }
    const Account* account = Find(name);
    if (account == nullptr)
        return Refused(name, now, wrong, TrFormat("there is no account named %s", name.c_str()));
    const std::string own = account->name;
    if (!account->intact) {
        result.why = TrFormat("the account of %s was changed in the audit trail after it was "
                              "written; a quality engineer must set its password again",
                              own.c_str());
        return result;
    }
    const auto keys = m_store.QualityKeys();
    const auto key = keys.find(own);
    if (key == keys.end() || HashFingerprint(key->second) != account->fingerprint) {
        result.why = TrFormat("the password kept for %s is not the one the audit trail holds; a "
                              "quality engineer must set it again",
                              own.c_str());
        return result;
    }
    if (!PasswordMatchesHash(key->second, password)) return Refused(own, now, wrong, "");
    if (!account->enabled)
        return Refused(own, now, wrong, TrFormat("the account of %s is disabled", own.c_str()));
    const std::vector<Change> before = WrongPasswordsSinceSigned(m_store.Changes("", 200));
    if (before.size() >= static_cast<size_t>(PasswordAttempts::kFreeTries))
        result.triedBefore = before;
    result.ok = true;
    result.name = own;
    result.passwordSetBy = account->passwordSetBy;
    result.passwordSetAt = account->passwordSetAt;
    return result;
}

SignInResult QualityAccounts::MakeFirst(const std::string& name, const std::string& password,
                                        const std::string& shared, const Change& change,
                                        const Change& wrong) {
    SignInResult result;
    if (!m_unusable.empty()) {
        result.why = m_unusable;
        return result;
    }
    if (m_mode == AccountsMode::Accounts) {
        result.why = Tr("the first account is made already");
        return result;
    }
    if (m_mode == AccountsMode::Shared) {
        if (result.why = Wait(change.at); !result.why.empty()) {
            result.waiting = true;
            return result;
        }
        if (!QualityPassword(m_sharedKeyPath).Matches(shared))
            return Refused(name, change.at, wrong, "");
        // The shared password's file was the key in force: it is told apart.
        if (!KeepQualityKeyFingerprint(m_store, QualityPassword(m_sharedKeyPath), change,
                                       &result.why))
            return result;
    }
    if (result.why = NameProblem(name, m_accounts); !result.why.empty()) return result;
    std::string hash;
    if (!HashPassword(password, &hash, &result.why)) return result;
    Change entry = change;
    entry.who = name;
    entry.reason = m_mode == AccountsMode::Shared
                       ? "the first account, made with the shared password of an earlier "
                         "version, which is used no more"
                       : "the first account, made at first use";
    if (!Keep(kAccountAdded, name, true, hash, entry, &result.why)) return result;
    result.ok = true;
    result.name = name;
    return result;
}

bool QualityAccounts::Keep(const char* what, const std::string& name, bool enabled,
                           const std::string& hash, const Change& signer, std::string* why) {
    const Account* before = Find(name);
    Change entry = signer;
    entry.what = what;
    entry.press = "";
    entry.oldValue = before ? AccountValue(before->name, before->enabled, before->fingerprint) : "";
    entry.newValue = AccountValue(
        name, enabled, hash.empty() && before ? before->fingerprint : HashFingerprint(hash));
    const bool kept = m_store.KeepAccountEntry(entry, name, hash, why);
    Load();
    return kept;
}

bool QualityAccounts::Add(const std::string& name, const std::string& password,
                          const Change& signer, std::string* why) {
    if (std::string problem = NameProblem(name, m_accounts); !problem.empty()) {
        if (why) *why = problem;
        return false;
    }
    std::string hash;
    return HashPassword(password, &hash, why) && Keep(kAccountAdded, name, true, hash, signer, why);
}

bool QualityAccounts::SetEnabled(const std::string& name, bool enabled, const Change& signer,
                                 std::string* why) {
    const Account* account = Find(name);
    auto refuse = [why](const std::string& text) {
        if (why) *why = text;
        return false;
    };
    if (account == nullptr) return refuse(TrFormat("there is no account named %s", name.c_str()));
    if (account->enabled == enabled)
        return refuse(TrFormat(enabled ? "the account of %s is enabled already"
                                       : "the account of %s is disabled already",
                               account->name.c_str()));
    const size_t others =
        std::count_if(m_accounts.begin(), m_accounts.end(),
                      [&](const Account& a) { return a.enabled && a.name != account->name; });
    if (!enabled && others == 0)
        return refuse(TrFormat("the account of %s is the last one enabled: nobody could sign a "
                               "change",
                               account->name.c_str()));
    const std::string own = account->name;
    return Keep(enabled ? kAccountEnabled : kAccountDisabled, own, enabled, "", signer, why);
}

bool QualityAccounts::SetPassword(const std::string& name, const std::string& password,
                                  const Change& signer, std::string* why) {
    const Account* account = Find(name);
    if (account == nullptr) {
        if (why) *why = TrFormat("there is no account named %s", name.c_str());
        return false;
    }
    const std::string own = account->name;
    const bool enabled = account->enabled;
    std::string hash;
    return HashPassword(password, &hash, why) &&
           Keep(kAccountPassword, own, enabled, hash, signer, why);
}

std::string TriedBeforeText(const SignInResult& result) {
    std::string text;
    if (!result.triedBefore.empty()) {
        text = TrFormat("%zu wrong passwords were typed since the last signed change:",
                        result.triedBefore.size());
        for (size_t i = result.triedBefore.size(); i-- > 0;) {
            const Change& c = result.triedBefore[i];
            text += "\n" + TrFormat("%s  as \"%s\" on %s", IsoDateTime(c.at).c_str(), c.who.c_str(),
                                    c.pcName.c_str());
        }
    }
    if (!result.passwordSetBy.empty()) {
        if (!text.empty()) text += "\n\n";
        text += TrFormat("Your password was set by %s %s: set one of your own under Modify "
                         "\xE2\x86\x92 Quality Engineers\xE2\x80\xA6",
                         result.passwordSetBy.c_str(), IsoDateTime(result.passwordSetAt).c_str());
    }
    return text;
}
