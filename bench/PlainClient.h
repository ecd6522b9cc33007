// The plain client of the read benchmarks: a blocking loopback socket that sends whole
// commands and receives exactly the bytes asked for, with nothing of the program between.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace PlainClient {

// A connected socket to 127.0.0.1:iPort with Nagle off, or -1.
inline int Connect(int iPort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(iPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

inline bool SendAll(int fd, const std::string& s) {
    std::size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

inline bool RecvAll(int fd, std::uint8_t* p, std::size_t iCount) {
    std::size_t done = 0;
    while (done < iCount) {
        const ssize_t n = recv(fd, p + done, iCount - done, 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Receives one answer "<iLead bytes>#9<nine digits><data>" and the iTrailer bytes behind it
// (line ends): the data goes to pTarget + iAt, iAt moves on, at most iLimit bytes in all. False
// for an answer cut short or one that would not fit.
inline bool RecvBlock(int fd, std::size_t iLead, std::size_t iTrailer, std::uint8_t* pTarget, std::size_t& iAt,
                      std::size_t iLimit) {
    std::uint8_t header[32];
    const std::size_t iHeader = iLead + 11;
    if (iHeader > sizeof header || !RecvAll(fd, header, iHeader)) return false;
    const auto iCount = static_cast<std::size_t>(std::stoull(std::string(reinterpret_cast<char*>(header) + iLead + 2, 9)));
    if (iAt + iCount > iLimit || !RecvAll(fd, pTarget + iAt, iCount)) return false;
    iAt += iCount;
    std::uint8_t trailer[4] = {};
    if (iTrailer <= sizeof trailer) RecvAll(fd, trailer, iTrailer);
    return true;
}

} // namespace PlainClient
