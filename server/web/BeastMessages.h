// Between Beast's HTTP messages and the routes' plain requests and answers,
// for the session and for the fuzzer's parse of raw bytes alike.
#pragma once

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdint>
#include <string>

#include "WebRoutes.h"

typedef boost::beast::http::request<boost::beast::http::string_body> HttpRequest;
typedef boost::beast::http::response<boost::beast::http::string_body> HttpResponse;
typedef boost::beast::http::request_parser<boost::beast::http::string_body> HttpParser;

// A request's limits: 8 KiB of header, an update's body.
void LimitRequest(HttpParser& parser);
// What a request that could not be parsed is answered with: 431, 413 or 400.
int ParseRefusal(const boost::beast::error_code& ec);

// The sender as the board's change log names it (IPv4, network order; 0 for any other).
std::uint32_t AddressOf(const std::string& dotted);
WebRequest RequestOf(const HttpRequest& message);
HttpResponse ResponseOf(const WebResponse& answer, unsigned version, bool head);
