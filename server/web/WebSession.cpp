#include "WebSession.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

bool WebPeerGone(beast::error_code ec) {
    return ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
           ec == asio::error::connection_reset || ec == asio::error::operation_aborted;
}

template class WebSession<beast::tcp_stream>;
