// The sending settings in the settings file's section [Mail]: the server, the
// user name, a CA file, and the message's From, To and Reply-To. The
// password is never among them (see secretstore.h). Values are code page
// 932 bytes in the file, as the section's other keys; each is written only
// when the user sets it, so a file of a user who never sends keeps its bytes.
#pragma once

#include <QString>

#include <string>

struct SendSettings {
    QString server;  // Server: smtps://host:465 or smtp://host:587
    QString user;    // User: empty for a server without authentication
    QString caFile;  // CaFile: a private CA's certificate, empty for the system's
    QString from;    // From
    QString to;      // To: one or more addresses, separated by commas
    QString replyTo; // ReplyTo: may be empty

    bool operator==(const SendSettings&) const = default;
};

// Reads the section of the settings file at path (a missing file or key
// reads as empty).
SendSettings loadSendSettings(const std::string& path);
// Writes the server, the user name and the CA file. Throws MMEditError when
// the file cannot be written.
void saveServerSettings(const std::string& path, const SendSettings& settings);
// Writes From, To and Reply-To.
void saveAddresses(const std::string& path, const SendSettings& settings);
