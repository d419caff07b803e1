#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

// A loopback TCP relay that holds every chunk of data for a fixed delay in each direction, so that
// a local database server answers as if it stood across a network. It counts round trips: each time
// a client speaks after it has been answered (or first), so data streamed without waiting for an
// answer counts once.
class DelayProxy {
  public:
    DelayProxy(std::string targetHost, int targetPort, std::chrono::milliseconds delay);
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    // Listens on 127.0.0.1 (port 0: any free port) and relays on a thread of its own; the port.
    int start(int listenPort = 0);
    // Listens and relays on the calling thread until stop() (the standalone program).
    int listen(int listenPort = 0);
    void run();
    void stop();

    int port() const { return m_port; }
    long roundTrips() const { return m_roundTrips.load(); }
    long connections() const { return m_connections.load(); }
    void resetCounts()
    {
        m_roundTrips = 0;
        m_connections = 0;
    }
    // Cuts a connection at the k-th round trip counted from now (0: never): its request never
    // reaches the server, or, after it, the server's answer never reaches the client. Either way
    // both sides see the link drop.
    enum class Drop { Request, Answer };
    void dropAtRoundTrip(long k, Drop drop = Drop::Request)
    {
        m_dropMode = drop;
        m_dropAt = k > 0 ? m_roundTrips.load() + k : 0;
        m_dropped = false;
    }
    bool dropped() const { return m_dropped.load(); }

  private:
    std::string m_host;
    int m_targetPort;
    std::chrono::milliseconds m_delay;
    int m_listenFd = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
    std::atomic<long> m_roundTrips{0};
    std::atomic<long> m_connections{0};
    std::atomic<long> m_dropAt{0};
    std::atomic<Drop> m_dropMode{Drop::Request};
    std::atomic<bool> m_dropped{false};
};
