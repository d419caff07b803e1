// planexo-delayproxy LISTEN_PORT TARGET_HOST TARGET_PORT [DELAY_MS]
// Relays loopback connections to a server, holding every chunk DELAY_MS (10) each way. Prints its
// port, then the round trips so far on every SIGUSR1 and at SIGTERM or SIGINT.
#include "DelayProxy.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {
DelayProxy *s_proxy = nullptr;
int s_signal[2] = {-1, -1};

void onSignal(int number)
{
    const char c = char(number);
    [[maybe_unused]] const ssize_t n = write(s_signal[1], &c, 1);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s LISTEN_PORT TARGET_HOST TARGET_PORT [DELAY_MS]\n", argv[0]);
        return 2;
    }
    const int delay = argc > 4 ? std::atoi(argv[4]) : 10;
    DelayProxy proxy(argv[2], std::atoi(argv[3]), std::chrono::milliseconds(delay));
    s_proxy = &proxy;
    const int port = proxy.start(std::atoi(argv[1]));
    std::printf("listening on 127.0.0.1:%d, %d ms each way\n", port, delay);
    std::fflush(stdout);
    if (pipe(s_signal) != 0) return 1;
    std::signal(SIGUSR1, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    for (;;) {
        char c = 0;
        if (read(s_signal[0], &c, 1) != 1) continue;
        std::printf("round trips: %ld, connections: %ld\n", proxy.roundTrips(), proxy.connections());
        std::fflush(stdout);
        if (c != SIGUSR1) break;
    }
    proxy.stop();
    return 0;
}
