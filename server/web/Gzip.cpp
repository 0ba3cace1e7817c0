#include "Gzip.h"

#include <boost/beast/zlib/deflate_stream.hpp>
#include <boost/crc.hpp>

namespace zlib = boost::beast::zlib;

std::string Gzip(const std::string& bytes) {
    // Header: magic, deflate, no flags, no time, no extra flags, unknown system.
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    zlib::deflate_stream deflate;
    deflate.reset(6, 15, 8, zlib::Strategy::normal);
    const std::size_t head = out.size();
    out.resize(head + deflate.upper_bound(bytes.size()) + 16);
    zlib::z_params z;
    z.next_in = bytes.data();
    z.avail_in = bytes.size();
    z.next_out = &out[head];
    z.avail_out = out.size() - head;
    boost::system::error_code ec;
    deflate.write(z, zlib::Flush::finish, ec);
    out.resize(head + z.total_out);
    boost::crc_32_type crc;
    crc.process_bytes(bytes.data(), bytes.size());
    const std::uint32_t trailer[2] = {crc.checksum(), static_cast<std::uint32_t>(bytes.size())};
    for (std::uint32_t value : trailer)
        for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
    return out;
}
