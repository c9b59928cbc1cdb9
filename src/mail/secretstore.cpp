// libsecret's headers come first: GLib's use "signals" as a name.
#include <libsecret/secret.h>

#include "secretstore.h"

#include "dynamiclibrary.h"

#include <QByteArray>
#include <QFileInfo>

#include <dlfcn.h>

namespace {

// libsecret, loaded when the store is first asked: it brings GLib's object
// and I/O libraries, which a start of the program would otherwise load and
// set up though most runs never ask.
struct Secret {
    decltype(&secret_password_lookup_sync) lookup = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_password_free) free = nullptr;
};

using dynamiclibrary::findFunction;

// The library (its interface version as the system installs it), loaded
// once; without its functions when it cannot be loaded.
const Secret& secretLibrary() {
    static const Secret loaded = [] {
        Secret s;
        void* library = ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library || !findFunction(library, "secret_password_lookup_sync", s.lookup) ||
            !findFunction(library, "secret_password_store_sync", s.store) ||
            !findFunction(library, "secret_password_clear_sync", s.clear) ||
            !findFunction(library, "secret_password_free", s.free))
            s = Secret();
        return s;
    }();
    return loaded;
}

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

// A session bus to reach the store through, and the library to ask it with.
bool reachable() {
    return sessionBus() && secretLibrary().lookup;
}

} // namespace

bool DesktopSecretStore::available() {
    if (!reachable()) return false;
    // A look-up that finds nothing tells whether a store answers at all.
    GError* error = nullptr;
    const Secret& lib = secretLibrary();
    gchar* found = lib.lookup(schema(), nullptr, &error, "server", "", "user", "", nullptr);
    lib.free(found);
    if (error) {
        g_error_free(error);
        return false;
    }
    return true;
}

std::optional<QString> DesktopSecretStore::find(const QString& server, const QString& user) {
    if (!reachable()) return std::nullopt;
    const QByteArray s = server.toUtf8(), n = user.toUtf8();
    GError* error = nullptr;
    const Secret& lib = secretLibrary();
    gchar* found = lib.lookup(schema(), nullptr, &error, "server", s.constData(), "user",
                              n.constData(), nullptr);
    if (error) g_error_free(error);
    if (!found) return std::nullopt;
    QString password = QString::fromUtf8(found);
    lib.free(found);
    return password;
}

bool DesktopSecretStore::keep(const QString& server, const QString& user, const QString& password) {
    if (!reachable()) return false;
    const QByteArray s = server.toUtf8(), n = user.toUtf8(), p = password.toUtf8();
    const QByteArray label = "MMEdit: " + n + " " + s;
    GError* error = nullptr;
    const gboolean kept = secretLibrary().store(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), p.constData(), nullptr, &error,
        "server", s.constData(), "user", n.constData(), nullptr);
    if (error) g_error_free(error);
    return kept;
}

void DesktopSecretStore::forget(const QString& server, const QString& user) {
    if (!reachable()) return;
    const QByteArray s = server.toUtf8(), n = user.toUtf8();
    GError* error = nullptr;
    secretLibrary().clear(schema(), nullptr, &error, "server", s.constData(), "user", n.constData(),
                          nullptr);
    if (error) g_error_free(error);
}
