#include "sendsettings.h"

#include "settings/profile.h"
#include "text/cp932.h"
#include "text/fileio.h"

namespace {

constexpr char kSection[] = "Mail";

QString read(const ProfileFile& ini, const char* key) {
    return cp932::decode(ini.readString(kSection, key, ""));
}

void write(ProfileFile& ini, const char* key, const QString& value) {
    ini.writeString(kSection, key, cp932::encode(value.trimmed()).bytes);
}

} // namespace

SendSettings loadSendSettings(const std::string& path) {
    const ProfileFile ini = ProfileFile::load(path);
    SendSettings s;
    s.server = read(ini, "Server");
    s.user = read(ini, "User");
    s.caFile = read(ini, "CaFile");
    s.from = read(ini, "From");
    s.to = read(ini, "To");
    s.replyTo = read(ini, "ReplyTo");
    return s;
}

void saveServerSettings(const std::string& path, const SendSettings& settings) {
    if (path.empty()) return;
    ProfileFile ini = ProfileFile::load(path);
    write(ini, "Server", settings.server);
    write(ini, "User", settings.user);
    write(ini, "CaFile", settings.caFile);
    fileio::writeAll(path, ini.bytes());
}

void saveAddresses(const std::string& path, const SendSettings& settings) {
    if (path.empty()) return;
    ProfileFile ini = ProfileFile::load(path);
    write(ini, "From", settings.from);
    write(ini, "To", settings.to);
    write(ini, "ReplyTo", settings.replyTo);
    fileio::writeAll(path, ini.bytes());
}
