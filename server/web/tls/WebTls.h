// HTTPS for the web view (the service's only): the certificate and its key
// from PEM files, TLS 1.2 and later only, read again on a reload so that a
// renewed certificate needs no restart. Connections already open keep the
// certificate they began with.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "WebConnection.h"

namespace boost {
namespace asio {
namespace ssl {
class context;
}
}  // namespace asio
}  // namespace boost

class WebTls : public WebTransport {
public:
    // False, with the reason, when the files cannot be used (missing, not
    // PEM, a key that is not the certificate's); what served before serves on.
    bool Load(const std::string& certificateFile, const std::string& keyFile, std::string& error);
    bool Loaded();
    std::shared_ptr<WebConnection> Open(boost::asio::ip::tcp::socket socket, WebServer::Impl& server) override;

private:
    std::mutex lock;
    std::shared_ptr<boost::asio::ssl::context> context;
};
