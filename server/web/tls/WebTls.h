// HTTPS for the web view (the service's only): the certificate and its key
// from PEM files or one PFX file, TLS 1.2 and later only, read again on a reload so that a
// renewed certificate needs no restart. Connections already open keep the
// certificate they began with.
#pragma once

#include <memory>
#include <string>

class WebTransport;
class TlsTransport;

// A certificate given as a PFX file (.pfx or .p12, as Windows exports one), which holds its key.
bool IsPfxFile(const std::string& path);

class WebTls {
public:
    WebTls();
    // False, with the reason, when the files cannot be used (missing, not
    // PEM, a key that is not the certificate's, a PFX's wrong password); what
    // served before serves on. A PFX file needs no key file; its password's
    // file (the first line) may be empty for none.
    bool Load(const std::string& certificateFile, const std::string& keyFile, const std::string& passwordFile,
              std::string& error);
    // What carries the web view's connections (WebServer::transport).
    std::shared_ptr<WebTransport> Transport() const;

private:
    std::shared_ptr<TlsTransport> transport;
};
