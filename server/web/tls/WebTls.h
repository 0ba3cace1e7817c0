// HTTPS for the web view (the service's only): the certificate and its key
// from PEM files, TLS 1.2 and later only, read again on a reload so that a
// renewed certificate needs no restart. Connections already open keep the
// certificate they began with.
#pragma once

#include <memory>
#include <string>

class WebTransport;
class TlsTransport;

class WebTls {
public:
    WebTls();
    // False, with the reason, when the files cannot be used (missing, not
    // PEM, a key that is not the certificate's); what served before serves on.
    bool Load(const std::string& certificateFile, const std::string& keyFile, std::string& error);
    // What carries the web view's connections (WebServer::transport).
    std::shared_ptr<WebTransport> Transport() const;

private:
    std::shared_ptr<TlsTransport> transport;
};
