#include <gtest/gtest.h>

#include "Loopback.h"

TEST(ErrorTextTable, HoldsExactlyTheFortyThreeTexts) {
    TestManager();
    const std::map<int, std::string> expected = {{10004, "Interrupted function call"},
                                                 {10013, "Permission denied"},
                                                 {10014, "Bad address"},
                                                 {10022, "Invalid argument"},
                                                 {10024, "Too many open files"},
                                                 {10035, "Resource temporarily unavailable"},
                                                 {10036, "Operation now in progress"},
                                                 {10037, "Operation already in progress"},
                                                 {10038, "Socket operation on nonsocket"},
                                                 {10039, "Destination address required"},
                                                 {10040, "Message too long"},
                                                 {10041, "Protocol wrong type for socket"},
                                                 {10042, "Bad protocol option"},
                                                 {10043, "Protocol not supported"},
                                                 {10044, "Socket type not supported"},
                                                 {10045, "Operation not supported"},
                                                 {10046, "Protocol family not supported"},
                                                 {10047, "Address family not supported by protocol family"},
                                                 {10048, "Address already in use"},
                                                 {10049, "Cannot assign requested address"},
                                                 {10050, "Network is down"},
                                                 {10051, "Network is unreachable"},
                                                 {10052, "Network dropped connection on reset"},
                                                 {10053, "Software caused connection abort"},
                                                 {10054, "Connection reset by peer"},
                                                 {10055, "No buffer space available"},
                                                 {10056, "Socket is already connected"},
                                                 {10057, "Socket is not connected"},
                                                 {10058, "Cannot send after socket shutdown"},
                                                 {10060, "Connection timed out"},
                                                 {10061, "Connection refused"},
                                                 {10064, "Host is down"},
                                                 {10065, "No route to host"},
                                                 {10067, "Too many processes"},
                                                 {10091, "Network subsystem is unavailable"},
                                                 {10092, "Winsock.dll version out of range"},
                                                 {10093, "Successful WSAStartup not yet performed"},
                                                 {10101, "Graceful shutdown in progress"},
                                                 {10109, "Class type not found"},
                                                 {11001, "Host not found"},
                                                 {11002, "Nonauthoritative host not found"},
                                                 {11003, "This is a nonrecoverable error"},
                                                 {11004, "Valid name, no data record of requested type"}};
    ASSERT_EQ(ErrorTextTable().size(), 43u);
    for (const auto& row : expected) EXPECT_STREQ(ErrorText(row.first), row.second.c_str()) << row.first;
    for (int code : {0, 10009, 10059, -1, 99999}) EXPECT_STREQ(ErrorText(code), "unhandled error") << code;
    EXPECT_EQ(ErrorTextTable().size(), 43u);
}

TEST(CExcept, CopiesAreIndependent) {
    CExcept* original = new CExcept("bind failed! Address already in use", 70000, "Winsock_impl/Socket.cpp");
    CExcept copy(*original);
    delete original;
    EXPECT_EQ(copy.GetText(), "bind failed! Address already in use");
}

#if !defined(_WIN32)
#include <cerrno>

#include "SocketPlatform.h"

// The system's errors in Windows Sockets numbers, so every text is the one Windows gives.
TEST(ErrorTextTable, TheSystemsErrorsAreTheirWindowsNumbers) {
    const std::pair<int, int> rows[] = {
        {EINTR, 10004},        {EACCES, 10013},        {EPERM, 10013},       {EINVAL, 10022},       {EMFILE, 10024},
        {ENFILE, 10024},       {EAGAIN, 10035},        {EINPROGRESS, 10036}, {EBADF, 10038},        {ENOTSOCK, 10038},
        {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ENETUNREACH, 10051}, {ECONNABORTED, 10053}, {ECONNRESET, 10054},
        {EPIPE, 10054},        {ENOBUFS, 10055},       {ENOMEM, 10055},      {ENOTCONN, 10057},     {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},  {ENOENT, 0},
    };
    for (const auto& row : rows) EXPECT_EQ(platform::SocketErrorNumber(row.first), row.second) << row.first;
}
#endif
