#include "BoardState.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "AtomicFile.h"

namespace {

const char Magic[8] = {'P', 'E', 'G', 'S', 'T', 'A', 'T', 'E'};
const std::size_t HeaderSize = 20;
const std::size_t FirstRowSize = StatusRecord::Size + 8;
const std::size_t WordRowSize = FirstRowSize + 4 + 8 + StatusRecord::Size;
const std::size_t KnownRowSize = WordRowSize + 8;
const std::size_t MaxRowSize = 64 * 1024;
const std::size_t MaxStateBytes = 256u << 20;

std::array<std::uint32_t, 256> CrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

std::uint32_t Crc32(const unsigned char* data, std::size_t length) {
    static const std::array<std::uint32_t, 256> table = CrcTable();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutI64(std::string& out, std::int64_t value) {
    std::uint64_t v = static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t GetLe(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return v;
}

// A file that was not read is never written over: it goes aside (replacing
// an older one) so that its rows can still be had by hand.
StateLoad SetAside(const std::string& path, const char* suffix, StateLoad kind, std::string& problem) {
    const std::string aside = path + suffix;
    if (!MoveReplacing(path, aside)) {
        problem += "; it could not be renamed to " + aside + ": " + std::strerror(errno);
        return StateLoad::Stuck;
    }
    problem += "; kept as " + aside;
    return kind;
}

}  // namespace

std::uint32_t StateChecksum(const std::string& bytes) {
    return Crc32(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string EncodeBoardState(const std::vector<StoredRow>& rows) {
    std::string out(Magic, sizeof Magic);
    PutU32(out, StateVersion);
    PutU32(out, static_cast<std::uint32_t>(rows.size()));
    PutU32(out, static_cast<std::uint32_t>(KnownRowSize));
    out.reserve(HeaderSize + rows.size() * KnownRowSize + 4);
    for (const StoredRow& row : rows) {
        out.append(reinterpret_cast<const char*>(row.record.Bytes()), StatusRecord::Size);
        PutI64(out, row.storedMs);
        out += static_cast<char>(row.word.source == RowSource::Browser ? 1 : 0);
        out += static_cast<char>(row.word.hasDesk ? 1 : 0);
        out += static_cast<char>(row.word.hasUntil ? 1 : 0);
        out += '\0';
        PutI64(out, row.word.untilMs);
        out.append(reinterpret_cast<const char*>(row.word.desk.Bytes()), StatusRecord::Size);
        PutI64(out, row.word.sinceMs);
    }
    PutU32(out, Crc32(reinterpret_cast<const unsigned char*>(out.data()), out.size()));
    return out;
}

bool DecodeBoardState(const std::string& bytes, std::vector<StoredRow>& rows, std::string& problem) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < HeaderSize + 4) {
        problem = "it is truncated (" + std::to_string(bytes.size()) + " bytes)";
        return false;
    }
    if (std::memcmp(p, Magic, sizeof Magic) != 0) {
        problem = "it is not a board state file";
        return false;
    }
    std::uint32_t version = static_cast<std::uint32_t>(GetLe(p + 8, 4));
    std::uint64_t count = GetLe(p + 12, 4);
    std::uint64_t rowSize = GetLe(p + 16, 4);
    if (version != StateVersion) {
        problem = "its version " + std::to_string(version) + " is unknown";
        return false;
    }
    if (rowSize < FirstRowSize || rowSize > MaxRowSize) {
        problem = "its row size " + std::to_string(rowSize) + " is impossible";
        return false;
    }
    if (HeaderSize + count * rowSize + 4 != bytes.size()) {
        problem = "its length does not match its " + std::to_string(count) + " rows (truncated or damaged)";
        return false;
    }
    std::uint32_t stored = static_cast<std::uint32_t>(GetLe(p + bytes.size() - 4, 4));
    if (Crc32(p, bytes.size() - 4) != stored) {
        problem = "its checksum does not match";
        return false;
    }
    std::vector<StoredRow> taken;
    taken.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const unsigned char* row = p + HeaderSize + i * rowSize;
        StoredRow r;
        r.record = StatusRecord(row, StatusRecord::Size);
        r.storedMs = static_cast<std::int64_t>(GetLe(row + StatusRecord::Size, 8));
        if (rowSize >= WordRowSize) {
            const unsigned char* word = row + FirstRowSize;
            r.word.source = word[0] == 1 ? RowSource::Browser : RowSource::Desk;
            r.word.hasDesk = word[1] != 0;
            r.word.hasUntil = word[2] != 0;
            r.word.untilMs = static_cast<std::int64_t>(GetLe(word + 4, 8));
            r.word.desk = StatusRecord(word + 12, StatusRecord::Size);
        } else {
            r.word.hasDesk = true;
            r.word.desk = r.record;
        }
        // An older file's rows have stood, as far as anybody knows, since they were last heard.
        r.word.sinceMs = rowSize >= KnownRowSize ? static_cast<std::int64_t>(GetLe(row + WordRowSize, 8)) : r.storedMs;
        taken.push_back(r);
    }
    rows.swap(taken);
    return true;
}

StateLoad LoadStateFile(const std::string& path, std::vector<StoredRow>& rows, std::string& problem) {
    rows.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (errno == ENOENT) return StateLoad::Missing;
        problem = std::string("it cannot be read: ") + std::strerror(errno);
        return SetAside(path, ".unreadable", StateLoad::Unreadable, problem);
    }
    std::string bytes;
    char chunk[65536];
    bool tooLarge = false;
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (bytes.size() > MaxStateBytes) {
            tooLarge = true;
            break;
        }
    }
    if (file.bad() && !tooLarge) {
        problem = "it cannot be read";
        file.close();
        return SetAside(path, ".unreadable", StateLoad::Unreadable, problem);
    }
    if (tooLarge) {
        problem = "it is larger than 256 MiB";
    } else if (DecodeBoardState(bytes, rows, problem)) {
        return StateLoad::Loaded;
    }
    rows.clear();
    file.close();
    return SetAside(path, ".damaged", StateLoad::Damaged, problem);
}

bool SaveStateFile(const std::string& path, const std::vector<StoredRow>& rows, std::string& error) {
    return WriteFileAtomically(path, EncodeBoardState(rows), 0640, error);
}
