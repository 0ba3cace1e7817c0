#include "PasswordHash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <vector>

namespace {

const char* const Scheme = "pbkdf2-sha256";
const std::size_t HashBytes = 32;

bool BytesOfHex(const std::string& hex, std::string& bytes) {
    if (hex.size() % 2) return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (std::size_t j = i; j < i + 2; ++j) {
            const char c = hex[j];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
    }
    return true;
}

struct Parts {
    std::uint32_t rounds = 0;
    std::string salt, hash;
};

std::string Split(const std::string& stored, Parts& parts) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t at; (at = stored.find('$', from)) != std::string::npos; from = at + 1)
        fields.push_back(stored.substr(from, at - from));
    fields.push_back(stored.substr(from));
    if (fields.size() != 4 || fields[0] != Scheme) return "not a pbkdf2-sha256 hash";
    if (fields[1].empty() || fields[1].size() > 9 || fields[1].find_first_not_of("0123456789") != std::string::npos)
        return "its rounds are not a number";
    parts.rounds = static_cast<std::uint32_t>(std::stoul(fields[1]));
    if (parts.rounds == 0) return "its rounds are 0";
    if (!BytesOfHex(fields[2], parts.salt) || parts.salt.empty()) return "its salt is not hex";
    if (!BytesOfHex(fields[3], parts.hash) || parts.hash.size() != HashBytes) return "its hash is not 32 bytes of hex";
    return std::string();
}

}  // namespace

std::string Pbkdf2Sha256(const std::string& password, const std::string& salt, std::uint32_t rounds,
                         std::size_t length) {
    std::string out(length, '\0');
    PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                      reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                      static_cast<int>(rounds), EVP_sha256(), static_cast<int>(length),
                      reinterpret_cast<unsigned char*>(&out[0]));
    return out;
}

std::string Sha256(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

bool RandomBytes(std::size_t count, std::string& bytes) {
    bytes.assign(count, '\0');
    return RAND_bytes(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(count)) == 1;
}

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool HashPassword(const std::string& password, std::string& stored, std::uint32_t rounds) {
    std::string salt;
    if (!RandomBytes(PasswordSaltBytes, salt)) return false;
    stored = std::string(Scheme) + "$" + std::to_string(rounds) + "$" + HexOf(salt) + "$" +
             HexOf(Pbkdf2Sha256(password, salt, rounds, HashBytes));
    return true;
}

std::string StoredHashProblem(const std::string& stored) {
    Parts parts;
    return Split(stored, parts);
}

bool PasswordMatches(const std::string& password, const std::string& stored) {
    Parts parts;
    if (!Split(stored, parts).empty() || password.size() > MaxPasswordBytes) return false;
    const std::string computed = Pbkdf2Sha256(password, parts.salt, parts.rounds, HashBytes);
    return CRYPTO_memcmp(computed.data(), parts.hash.data(), HashBytes) == 0;
}
