// libsecret's headers come first: GLib's use "signals" as a name.
#include <libsecret/secret.h>

#include "secretstore.h"

#include <QByteArray>
#include <QFileInfo>

namespace {

// The items of the program: found by server and user alone, so that items
// another program stored (secret-tool) are found too.
const SecretSchema* schema() {
    static const SecretSchema s = {"org.mmedit.MMEdit.Smtp",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {{"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                    {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                   0,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr,
                                   nullptr};
    return &s;
}

bool sessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus"));
}

} // namespace

bool DesktopSecretStore::available() {
    if (!sessionBus()) return false;
    // A look-up that finds nothing tells whether a store answers at all.
    GError* error = nullptr;
    gchar* found =
        secret_password_lookup_sync(schema(), nullptr, &error, "server", "", "user", "", nullptr);
    secret_password_free(found);
    if (error) {
        g_error_free(error);
        return false;
    }
    return true;
}

std::optional<QString> DesktopSecretStore::find(const QString& server, const QString& user) {
    if (!sessionBus()) return std::nullopt;
    const QByteArray s = server.toUtf8(), n = user.toUtf8();
    GError* error = nullptr;
    gchar* found = secret_password_lookup_sync(schema(), nullptr, &error, "server", s.constData(),
                                               "user", n.constData(), nullptr);
    if (error) g_error_free(error);
    if (!found) return std::nullopt;
    QString password = QString::fromUtf8(found);
    secret_password_free(found);
    return password;
}

bool DesktopSecretStore::keep(const QString& server, const QString& user, const QString& password) {
    if (!sessionBus()) return false;
    const QByteArray s = server.toUtf8(), n = user.toUtf8(), p = password.toUtf8();
    const QByteArray label = "MMEdit: " + n + " " + s;
    GError* error = nullptr;
    const gboolean kept = secret_password_store_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), p.constData(), nullptr, &error,
        "server", s.constData(), "user", n.constData(), nullptr);
    if (error) g_error_free(error);
    return kept;
}

void DesktopSecretStore::forget(const QString& server, const QString& user) {
    if (!sessionBus()) return;
    const QByteArray s = server.toUtf8(), n = user.toUtf8();
    GError* error = nullptr;
    secret_password_clear_sync(schema(), nullptr, &error, "server", s.constData(), "user",
                               n.constData(), nullptr);
    if (error) g_error_free(error);
}
