// A reverse proxy in front of the web view that terminates TLS: only from the
// addresses named may X-Forwarded-Proto and X-Forwarded-For be believed; from
// anywhere else they are anybody's words.
#pragma once

#include <string>
#include <vector>

// The addresses of a list written with spaces or commas between them; false
// with the word that is no IP address.
bool ParseProxyAddresses(const std::string& text, std::vector<std::string>& addresses, std::string& wrong);

// When `peer` is one of `proxies`: whether the proxy says HTTPS, and the
// address it says it had the request from (the last of X-Forwarded-For, the
// one the proxy itself added). Otherwise the request stays as it came.
void BelieveProxy(const std::vector<std::string>& proxies, const std::string& forwardedProto,
                  const std::string& forwardedFor, bool& secure, std::string& peer);
