// JSON written straight into a string, as the board's largest answer needs:
// thousands of rows for every reader every two seconds cost a fraction of
// building a document first. The same text as nlohmann's dump: no spaces,
// UTF-8 as is, control characters as \u00xx, and a byte that is not UTF-8
// (a directory's text comes from outside) replaced by U+FFFD, never thrown on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonText {
public:
    JsonText& Begin(char bracket);  // '{' or '['
    JsonText& End(char bracket);    // '}' or ']'
    JsonText& Key(const char* key);
    JsonText& String(const std::string& utf8);
    JsonText& Number(std::int64_t value);
    JsonText& Bool(bool value);
    JsonText& Null();
    const std::string& Text() const { return out; }

private:
    void Separate();  // a comma before every value but a container's first, and none after a key
    std::string out;
    std::vector<bool> first;
    bool afterKey = false;
};

// `utf8` quoted and escaped into `out`.
void AppendJsonString(std::string& out, const std::string& utf8);
