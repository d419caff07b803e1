// Stands in for planexo-pdftext as a hostile file could make it behave, chosen by
// PLANEXO_MISBEHAVE: crash (a fault after the first page), hang (prints its header and waits),
// bomb (allocates without end), garbage (an output that breaks the protocol).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main()
{
    const char *how = std::getenv("PLANEXO_MISBEHAVE");
    const std::string mode = how ? how : "";
#ifdef _WIN32
    // Line ends as the real helper writes them, not as a text-mode stream turns them.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::printf("planexo-pdftext 1\npages 2\npage 1 61200 79200 1\n100 100 900 900 0 Hola\n");
    std::fflush(stdout);
    if (mode == "crash") std::abort();
    if (mode == "hang")
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    if (mode == "bomb") {
        std::vector<char *> blocks;
        for (;;) {
            char *block = static_cast<char *>(std::malloc(size_t(16) << 20));
            if (!block) return 86; // what planexo-pdftext answers when out of memory
            std::memset(block, 1, size_t(16) << 20);
            blocks.push_back(block);
        }
    }
    std::printf("page 3 61200 79200 0\nend\n");
    return 0;
}
