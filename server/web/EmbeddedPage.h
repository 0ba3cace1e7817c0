// The page, its script and its style, embedded at build time from page/.
#pragma once

#include <cstddef>
#include <string>

struct EmbeddedFile {
    const char* path;  // "/", "/app.js", "/app.css"
    const char* contentType;
    const unsigned char* data;
    std::size_t size;
};

// Null for a path that is not one of the page's files.
const EmbeddedFile* FindPageFile(const std::string& path);
