// The quality engineers' accounts: each has a name and a password of their
// own, and every change is signed in the name of the one who signed in. The
// record store keeps each account's Argon2id hash; the audit trail keeps
// each account's state (enabled or not) and the fingerprint of its hash, so
// a hash put in the store by hand is not taken. The first account is made at
// first use; on an installation of an earlier version, whoever knows the
// shared password makes it, with a password of their own, and the shared one
// is used no more. Wrong passwords are kept in the trail and slow the next
// try down; the next sign-in after five of them is told who tried and when.
// No window here.
#pragma once

#include "records/record_store.h"

#include <cstdint>
#include <string>
#include <vector>

/// The audit trail's names of what happened to an account.
extern const char* const kAccountAdded;    ///< "account added"
extern const char* const kAccountDisabled; ///< "account disabled"
extern const char* const kAccountEnabled;  ///< "account enabled"
extern const char* const kAccountPassword; ///< "account password set"

struct Account {
    std::string name;
    bool enabled = true;
    std::string fingerprint; ///< of the hash kept when its password was set
    int64_t addedAt = 0;
    std::string addedBy;
    /// The password was last set by someone else (made or reset): by whom, when.
    std::string passwordSetBy;
    int64_t passwordSetAt = 0;
    bool intact = true; ///< its entries in the trail are as they were written
};

/// An account's state as the trail keeps it: "Anna Rossi — enabled, key
/// sha256:…"; read back, false for other text.
std::string AccountValue(const std::string& name, bool enabled, const std::string& fingerprint);
bool ParseAccountValue(const std::string& text, std::string* name, bool* enabled,
                       std::string* fingerprint);

enum class AccountsMode {
    FirstUse, ///< no account, no shared password: the first signature makes one
    Shared,   ///< an earlier version's shared password, no account yet
    Accounts,
};

/// What a sign-in found.
struct SignInResult {
    bool ok = false;
    std::string why;            ///< the refusal in words
    bool wrongPassword = false; ///< refused for the password itself
    bool waiting = false;       ///< refused until the wait after wrong ones ends
    std::string name;           ///< the account's name as it was made
    /// The wrong passwords typed since the last signed change, when there
    /// were at least five: who tried and when, to be told at this sign-in.
    std::vector<Change> triedBefore;
    /// Set when someone else set this account's password (made or reset).
    std::string passwordSetBy;
    int64_t passwordSetAt = 0;
};

class QualityAccounts {
  public:
    /// `sharedKeyPath`: the shared password file of an earlier version.
    QualityAccounts(RecordStore& store, std::string sharedKeyPath);

    AccountsMode Mode() const { return m_mode; }
    /// Every account, in the order they were made.
    const std::vector<Account>& List() const { return m_accounts; }
    const Account* Find(const std::string& name) const;
    /// Why nothing can be signed now, "" when it can.
    const std::string& Unusable() const { return m_unusable; }

    /// Checks `name` and `password` at `now` (wall clock). A wrong password,
    /// an unknown or disabled account is kept in the trail as `wrong` (its
    /// press and values) with the name typed; after five the next try waits.
    SignInResult SignIn(const std::string& name, const std::string& password, int64_t now,
                        const Change& wrong);
    /// First use (`shared` empty) or an earlier version's shared password:
    /// makes the first account, in its own name. `change` gives the time,
    /// PC and reason; the shared password is checked as SignIn checks.
    SignInResult MakeFirst(const std::string& name, const std::string& password,
                           const std::string& shared, const Change& change, const Change& wrong);

    /// Changes signed by `signer` (who, pcName, at, reason): a new account,
    /// an account disabled or enabled again, a password set. False, with the
    /// reason, when refused: a name taken, the last enabled account, a short
    /// password.
    bool Add(const std::string& name, const std::string& password, const Change& signer,
             std::string* why);
    bool SetEnabled(const std::string& name, bool enabled, const Change& signer, std::string* why);
    bool SetPassword(const std::string& name, const std::string& password, const Change& signer,
                     std::string* why);

  private:
    void Load();
    bool Keep(const char* what, const std::string& name, bool enabled, const std::string& hash,
              const Change& signer, std::string* why);
    SignInResult Refused(const std::string& typedName, int64_t now, const Change& wrong,
                         const std::string& why);
    /// The wait after wrong passwords, "" when none.
    std::string Wait(int64_t now);
    RecordStore& m_store;
    std::string m_sharedKeyPath;
    AccountsMode m_mode = AccountsMode::FirstUse;
    std::vector<Account> m_accounts;
    std::string m_unusable;
};

/// The text that tells a sign-in of the wrong passwords before it, "" when
/// there is nothing to tell.
std::string TriedBeforeText(const SignInResult& result);
