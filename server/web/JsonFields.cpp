#include "JsonFields.h"

#include "StatusRecord.h"
#include "Windows1252.h"

// Strictly: a character the board cannot show is refused, never made '?'.
bool ToWindows1252(const std::string& utf8, std::string& out) {
    out = Utf8ToWindows1252(utf8);
    return Windows1252ToUtf8(out) == utf8;
}

bool TakeText(const nlohmann::json& body, const char* field, const char* label, std::size_t limit, bool required,
              std::string& out, std::string& error) {
    auto it = body.find(field);
    if (it == body.end() || it->is_null()) {
        if (required) error = std::string("The ") + label + " is missing.";
        out.clear();
        return !required;
    }
    if (!it->is_string()) {
        error = std::string("The ") + label + " must be text.";
        return false;
    }
    if (!ToWindows1252(it->get<std::string>(), out)) {
        error = std::string("The ") + label + " has a character the board cannot show.";
        return false;
    }
    if (out.size() > limit) {
        error = std::string("The ") + label + " is longer than " + std::to_string(limit) + " characters.";
        return false;
    }
    return true;
}

bool TakeCode(const nlohmann::json& body, std::string& code, std::string& error) {
    return TakeText(body, "code", "code", 64, false, code, error);
}

bool TakeName(const nlohmann::json& body, std::string& name, std::string& error) {
    if (!TakeText(body, "name", "name", StatusRecord::NameSize - 1, true, name, error)) return false;
    if (name.empty()) {
        error = "The name is missing.";
        return false;
    }
    return true;
}

bool ParseJsonObject(const std::string& text, nlohmann::json& body, std::string& error) {
    body = nlohmann::json::parse(text, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        error = "The request is not a JSON object.";
        return false;
    }
    return true;
}
