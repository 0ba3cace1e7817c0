#include "WebTls.h"

#include <boost/asio/ssl.hpp>
#include <mutex>
#include <boost/beast/ssl.hpp>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>

#include <array>
#include <fstream>
#include <memory>
#include <iterator>

#include "AsciiText.h"
#include "WebConnection.h"
#include "WebSession.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace ssl = asio::ssl;

typedef beast::ssl_stream<beast::tcp_stream> TlsStream;

// A browser that asked for http:// on the HTTPS port is told so in words, not left with an empty reply.
const char PlainHttpAnswer[] =
    "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 73\r\n"
    "Connection: close\r\n\r\nThis board is served over HTTPS: open its address with https:// instead.\n";
static_assert(sizeof "This board is served over HTTPS: open its address with https:// instead.\n" - 1 == 73,
              "the length said");

// TLS: the handshake before the first request. Its first bytes are read first (within the
// connection's time limit): a TLS handshake begins with a record of type 22, plain HTTP
// with a letter, which is answered in plain words and closed.
template <>
struct Transport<TlsStream> {
    static constexpr bool secure = true;
    template <class Done>
    static void Open(TlsStream& stream, Done done) {
        auto first = std::make_shared<std::array<char, 512>>();
        beast::get_lowest_layer(stream).async_read_some(
            asio::buffer(*first),
            [&stream, first, done = std::move(done)](beast::error_code ec, std::size_t n) mutable {
                if (ec) return done(ec);
                if ((*first)[0] != 0x16) {
                    asio::async_write(beast::get_lowest_layer(stream),
                                      asio::buffer(PlainHttpAnswer, sizeof PlainHttpAnswer - 1),
                                      [first, done = std::move(done)](beast::error_code, std::size_t) mutable {
                                          done(asio::error::operation_not_supported);
                                      });
                    return;
                }
                stream.async_handshake(ssl::stream_base::server, asio::buffer(first->data(), n),
                                       [first, done = std::move(done)](beast::error_code handshook,
                                                                       std::size_t) mutable { done(handshook); });
            });
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

bool Slurp(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The certificate, its key and its chain from a PFX file into the context.
bool UsePfx(SSL_CTX* native, const std::string& file, const std::string& passwordFile, std::string& error) {
    std::string bytes, password;
    if (!Slurp(file, bytes) || bytes.empty() || bytes.size() > 1024 * 1024) {
        error = "the PFX file " + file + " cannot be read";
        return false;
    }
    if (!passwordFile.empty()) {
        if (!Slurp(passwordFile, password)) {
            error = "the PFX file's password file " + passwordFile + " cannot be read";
            return false;
        }
        password = password.substr(0, password.find('\n'));
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }
    const unsigned char* from = reinterpret_cast<const unsigned char*>(bytes.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &from, static_cast<long>(bytes.size()));
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    bool good = p12 && PKCS12_parse(p12, password.c_str(), &key, &certificate, &chain) == 1 && key && certificate;
    if (!good) {
        error = "the PFX file " + file + " cannot be opened: not a PFX file, or the password is wrong";
    } else if (SSL_CTX_use_certificate(native, certificate) != 1 || SSL_CTX_use_PrivateKey(native, key) != 1) {
        error = "the PFX file " + file + " cannot be used: " + Reason(boost::system::error_code());
        good = false;
    }
    for (int i = 0; good && chain && i < sk_X509_num(chain); ++i)
        SSL_CTX_add1_chain_cert(native, sk_X509_value(chain, i));
    ERR_clear_error();
    sk_X509_pop_free(chain, X509_free);
    X509_free(certificate);
    EVP_PKEY_free(key);
    PKCS12_free(p12);
    return good;
}

}  // namespace

bool IsPfxFile(const std::string& path) {
    const std::string lower = AsciiLower(path);
    return lower.size() > 4 &&
           (lower.compare(lower.size() - 4, 4, ".pfx") == 0 || lower.compare(lower.size() - 4, 4, ".p12") == 0);
}

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

bool WebTls::Load(const std::string& certificateFile, const std::string& keyFile, const std::string& passwordFile,
                  std::string& error) {
    auto made = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX* native = made->native_handle();
    SSL_CTX_set_min_proto_version(native, TLS1_2_VERSION);
    made->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                      ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
    SSL_CTX_set_options(native, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    boost::system::error_code ec;
    ERR_clear_error();
    if (IsPfxFile(certificateFile)) {
        if (!UsePfx(native, certificateFile, passwordFile, error)) return false;
    } else {
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
    }
    if (SSL_CTX_check_private_key(native) != 1) {
        ERR_clear_error();
        error = "the key is not the key of the certificate " + certificateFile;
        return false;
    }
    transport->Use(made);
    return true;
}
