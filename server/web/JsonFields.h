// The fields of the JSON bodies the update routes take: texts strictly in
// Windows-1252 and within their limits, the name and the code as /status
// takes them, said in the words the page shows.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

bool ToWindows1252(const std::string& utf8, std::string& out);
bool TakeText(const nlohmann::json& body, const char* field, const char* label, std::size_t limit, bool required,
              std::string& out, std::string& error);
bool TakeCode(const nlohmann::json& body, std::string& code, std::string& error);
bool TakeName(const nlohmann::json& body, std::string& name, std::string& error);
// False, with what to say, for a body that is not a JSON object.
bool ParseJsonObject(const std::string& text, nlohmann::json& body, std::string& error);
