// The SMTP password in the desktop's secret store (the Secret Service:
// GNOME Keyring, KWallet), never in the settings file. An item is found by
// the server's address and the user name, so another program (secret-tool)
// can put it there too:
//   secret-tool store --label="MMEdit" server smtps://host:465 user NAME
#pragma once

#include <QString>

#include <optional>

class SecretStore {
  public:
    virtual ~SecretStore() = default;
    // Whether a secret store answers (without one the password is asked for
    // each time).
    virtual bool available() = 0;
    // The password kept for the server and user, if any.
    virtual std::optional<QString> find(const QString& server, const QString& user) = 0;
    // Keeps the password; false when there is no store to keep it in.
    virtual bool keep(const QString& server, const QString& user, const QString& password) = 0;
    // Forgets it (a password the server refused).
    virtual void forget(const QString& server, const QString& user) = 0;
};

// The Secret Service through libsecret, on the session bus. Without a
// session bus nothing is asked of it.
class DesktopSecretStore : public SecretStore {
  public:
    bool available() override;
    std::optional<QString> find(const QString& server, const QString& user) override;
    bool keep(const QString& server, const QString& user, const QString& password) override;
    void forget(const QString& server, const QString& user) override;
};
