#include "WebTls.h"

#include <boost/asio/ssl.hpp>
#include <mutex>
#include <boost/beast/ssl.hpp>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include "WebConnection.h"
#include "WebSession.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace ssl = asio::ssl;

typedef beast::ssl_stream<beast::tcp_stream> TlsStream;

// TLS: the handshake before the first request.
template <>
struct Transport<TlsStream> {
    static constexpr bool secure = true;
    template <class Done>
    static void Open(TlsStream& stream, Done done) {
        stream.async_handshake(ssl::stream_base::server, std::move(done));
    }
};

template class WebSession<TlsStream>;

namespace {

// OpenSSL's own words for what failed, or the system's.
std::string Reason(const boost::system::error_code& ec) {
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0) return ec.message();
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace

class TlsTransport : public WebTransport {
public:
    std::shared_ptr<WebConnection> Open(asio::ip::tcp::socket socket, WebServer::Impl& server) override {
        std::shared_ptr<ssl::context> now;
        {
            std::lock_guard<std::mutex> guard(lock);
            now = context;
        }
        // Each connection's TLS state holds its own reference to the context it began with.
        return std::make_shared<WebSession<TlsStream>>(server, std::move(socket), *now);
    }
    void Use(std::shared_ptr<ssl::context> made) {
        std::lock_guard<std::mutex> guard(lock);
        context = std::move(made);
    }

private:
    std::mutex lock;
    std::shared_ptr<ssl::context> context;
};

WebTls::WebTls() : transport(std::make_shared<TlsTransport>()) {}

std::shared_ptr<WebTransport> WebTls::Transport() const { return transport; }

bool WebTls::Load(const std::string& certificateFile, const std::string& keyFile, std::string& error) {
    auto made = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX* native = made->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    made->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                      ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    boost::system::error_code ec;
    ERR_clear_error();
    made->use_certificate_chain_file(certificateFile, ec);
    if (ec) {
        error = "the certificate " + certificateFile + " cannot be used: " + Reason(ec);
        return false;
    }
    made->use_private_key_file(keyFile, ssl::context::pem, ec);
    if (ec) {
        error = "the key " + keyFile + " cannot be used: " + Reason(ec);
        return false;
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        ERR_clear_error();
        error = "the key " + keyFile + " is not the key of the certificate " + certificateFile;
        return false;
    }
    transport->Use(made);
    return true;
}
