// Passwords kept only as PBKDF2-HMAC-SHA256 of a random salt (libcrypto on
// both builds), in the form "pbkdf2-sha256$ROUNDS$SALT$HASH", salt and hash
// in hex; compared in constant time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

const std::uint32_t PasswordRounds = 600000;
const std::size_t PasswordSaltBytes = 16;
// A longer password is refused, so that a hash never costs what a request chooses.
const std::size_t MaxPasswordBytes = 1024;

std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, std::uint32_t rounds,
                         std::size_t length);
// SHA-256 of `bytes`: how a session's token is kept, so that the store never holds one.
std::string Sha256(const std::string& bytes);
// From the system's generator; false when it has none to give.
bool RandomBytes(std::size_t count, std::string& bytes);
std::string HexOf(const std::string& bytes);

// False only when the system gives no random salt.
bool HashPassword(const std::string& password, std::string& stored, std::uint32_t rounds = PasswordRounds);
// Empty when `stored` is a hash this code reads, else what is wrong with it.
std::string StoredHashProblem(const std::string& stored);
// The same time for a wrong password as for a right one of the same hash.
bool PasswordMatches(const std::string& password, const std::string& stored);
