// The gzip format (RFC 1952) around Beast's deflate, for answers a browser
// asks to have compressed: a large board's JSON shrinks to a tenth.
#pragma once

#include <string>

std::string Gzip(const std::string& bytes);
