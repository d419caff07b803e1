#include "DelayProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Chunk {
    Clock::time_point due;
    std::string data; // empty: the sender closed
    size_t sent = 0;
};

// Data travelling one way: read from `from`, written to `to` once due.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> queue;
    bool readClosed = false;
};

struct Pair {
    Direction up;         // client -> server
    Direction down;       // server -> client
    bool answered = true; // the client has received something since it last spoke
    bool closed = false;
    bool dropAnswer = false; // the next answer is lost with the link
};

void setNonBlocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int connectTo(const std::string &host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo *a = found; a; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
        close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    return fd;
}

} // namespace

DelayProxy::DelayProxy(std::string targetHost, int targetPort, std::chrono::milliseconds delay)
    : m_host(std::move(targetHost)), m_targetPort(targetPort), m_delay(delay)
{
}

DelayProxy::~DelayProxy()
{
    stop();
}

int DelayProxy::listen(int listenPort)
{
    m_listenFd = socket(AF_INET, SOCK_STREAM, 0);
    if (m_listenFd < 0) throw std::runtime_error("socket");
    const int one = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(listenPort));
    if (bind(m_listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 16) != 0)
        throw std::runtime_error("cannot listen on port " + std::to_string(listenPort));
    socklen_t len = sizeof addr;
    getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    setNonBlocking(m_listenFd);
    if (pipe(m_wake) != 0) throw std::runtime_error("pipe");
    return m_port;
}

int DelayProxy::start(int listenPort)
{
    const int port = listen(listenPort);
    m_thread = std::thread([this] { run(); });
    return port;
}

void DelayProxy::stop()
{
    if (m_wake[1] >= 0) {
        const char c = 0;
        [[maybe_unused]] const ssize_t n = write(m_wake[1], &c, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    for (int *fd : {&m_listenFd, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void DelayProxy::run()
{
    std::vector<std::unique_ptr<Pair>> pairs;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const Clock::time_point now = Clock::now();
        std::vector<pollfd> fds{{m_listenFd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        int timeout = -1;
        for (const auto &p : pairs) {
            for (Direction *d : {&p->up, &p->down}) {
                short events = d->readClosed ? 0 : POLLIN;
                fds.push_back({d->from, events, 0});
                if (d->queue.empty()) continue;
                if (d->queue.front().due <= now) {
                    fds.push_back({d->to, POLLOUT, 0}); // due: wait until it can be written
                } else {
                    const auto wait =
                        std::chrono::ceil<std::chrono::milliseconds>(d->queue.front().due - now);
                    if (timeout < 0 || wait.count() < timeout) timeout = int(wait.count());
                }
            }
        }
        if ((poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) || fds[1].revents) {
            for (const auto &p : pairs) {
                close(p->up.from);
                close(p->up.to);
            }
            return;
        }
        if (fds[0].revents & POLLIN) {
            const int client = accept(m_listenFd, nullptr, nullptr);
            if (client >= 0) {
                const int server = connectTo(m_host, m_targetPort);
                if (server < 0) {
                    close(client);
                } else {
                    setNonBlocking(client);
                    setNonBlocking(server);
                    auto p = std::make_unique<Pair>();
                    p->up.from = p->down.to = client;
                    p->up.to = p->down.from = server;
                    pairs.push_back(std::move(p));
                    ++m_connections;
                }
            }
        }
        // Read what arrived; it becomes due after the delay.
        for (auto &p : pairs) {
            for (Direction *d : {&p->up, &p->down}) {
                if (d->readClosed) continue;
                const ssize_t n = read(d->from, buffer.data(), buffer.size());
                if (n > 0) {
                    if (d == &p->up && p->answered) {
                        p->answered = false;
                        const long trip = ++m_roundTrips;
                        if (trip == m_dropAt.load()) {
                            m_dropped = true;
                            if (m_dropMode.load() == Drop::Request) {
                                p->closed = true;
                                break;
                            }
                            p->dropAnswer = true;
                        }
                    }
                    if (d == &p->down && p->dropAnswer) {
                        p->closed = true;
                        break;
                    }
                    d->queue.push_back({Clock::now() + m_delay, std::string(buffer.data(), size_t(n))});
                } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    d->readClosed = true;
                    d->queue.push_back({Clock::now() + m_delay, std::string()});
                }
            }
        }
        // Write what is due.
        const Clock::time_point later = Clock::now();
        for (auto &p : pairs) {
            for (Direction *d : {&p->up, &p->down}) {
                while (!d->queue.empty() && d->queue.front().due <= later && !p->closed) {
                    Chunk &c = d->queue.front();
                    if (c.data.empty()) {
                        p->closed = true;
                        break;
                    }
                    const ssize_t n = write(d->to, c.data.data() + c.sent, c.data.size() - c.sent);
                    if (n < 0) {
                        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
                        p->closed = true;
                        break;
                    }
                    c.sent += size_t(n);
                    if (d == &p->down) p->answered = true;
                    if (c.sent < c.data.size()) break;
                    d->queue.pop_front();
                }
            }
        }
        for (auto it = pairs.begin(); it != pairs.end();) {
            if ((*it)->closed) {
                close((*it)->up.from);
                close((*it)->up.to);
                it = pairs.erase(it);
            } else {
                ++it;
            }
        }
    }
}
